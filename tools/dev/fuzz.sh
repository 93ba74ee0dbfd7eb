#!/usr/bin/env bash
# Tovinel: builds the libFuzzer targets (build/fuzz, clang-14, ASan and UBSan) and runs each for a
# bounded time, starting from the committed seed corpus. Any finding fails the run.
# Usage: tools/dev/fuzz.sh [--build-only | --no-build] [target...]
#   targets: command_line_tail launcher_folder ini_reader launch_decision check_lines check_autorun
#   udf_image (default: all)
#   FUZZ_SECONDS per target (default 10; the checker's targets at most CHECK_FUZZ_SECONDS, default
#   6, for they guard a tool, not the launcher); 0 replays the seed corpus and stops. Longer runs
#   are for a developer's machine: FUZZ_SECONDS=600 tools/dev/fuzz.sh udf_image.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build/fuzz
seconds=${FUZZ_SECONDS:-10}

build_targets=1 run_targets=1
case "${1:-}" in
    --build-only) build_targets=1 run_targets=0; shift ;;
    --no-build) build_targets=0; shift ;;
esac
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(command_line_tail launcher_folder ini_reader launch_decision check_lines check_autorun
                                     udf_image)

# The longest input worth trying: a command line or a module path is a few hundred bytes; the .ini
# reader reads files in 4096-byte pieces, so its inputs cross a piece boundary; a UDF image is up to
# 64 sectors of 2050-byte records (fuzz_udf_image.cpp), its seeds 20 to 43.
max_len_of() {
    case "$1" in
        command_line_tail) echo 512 ;;
        launcher_folder) echo 700 ;;
        ini_reader) echo 9000 ;;
        launch_decision) echo 4096 ;;
        check_lines) echo 9000 ;;
        check_autorun) echo 8192 ;;
        udf_image) echo 131200 ;;
        *) echo "fuzz: unknown target $1" >&2; exit 2 ;;
    esac
}

if [ "$build_targets" = 1 ]; then
    flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g -O1"
    CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
        -DTOVINEL_FUZZ=ON -DCMAKE_CXX_FLAGS="$flags" >/dev/null
    cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"
fi
[ "$run_targets" = 1 ] || exit 0

# No leak checks: the launcher allocates nothing, and LeakSanitizer needs ptrace, which containers
# often forbid.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# The sanitizers of clang 14 cannot place their shadow memory on kernels with 32 bits of mmap
# randomisation; there the runs go without address randomisation, when the system allows that.
no_aslr=()
if [ "$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 0)" -gt 28 ] && setarch "$(uname -m)" -R true 2>/dev/null; then
    no_aslr=(setarch "$(uname -m)" -R)
fi
for target in "${targets[@]}"; do
    target_seconds=$seconds
    case "$target" in
        check_* | udf_image) [ "$seconds" -le "${CHECK_FUZZ_SECONDS:-6}" ] || target_seconds=${CHECK_FUZZ_SECONDS:-6} ;;
    esac
    binary=$build/tests/fuzz/fuzz_$target
    seeds=$root/tests/fuzz/corpus/$target
    [ -x "$binary" ] || { echo "fuzz: $binary is not built; run tools/dev/fuzz.sh --build-only" >&2; exit 2; }
    [ -d "$seeds" ] || { echo "fuzz: no seed corpus $seeds" >&2; exit 2; }
    # New inputs go to the build folder's corpus (listed first); the committed seeds stay as they are.
    work=$build/corpus/$target
    artifacts=$build/artifacts/$target
    mkdir -p "$work" "$artifacts"
    options=(-max_len="$(max_len_of "$target")" -timeout=10 -rss_limit_mb=2048 -detect_leaks=0 -print_final_stats=1
             -artifact_prefix="$artifacts/")
    [ -f "$root/tests/fuzz/$target.dict" ] && options+=(-dict="$root/tests/fuzz/$target.dict")
    if [ "$target_seconds" = 0 ]; then
        echo "fuzz: $target: replaying $(ls "$seeds" | wc -l) seeds"
        "${no_aslr[@]}" "$binary" "${options[@]}" -runs=0 "$seeds"
    else
        echo "fuzz: $target: $target_seconds s"
        "${no_aslr[@]}" "$binary" "${options[@]}" -max_total_time="$target_seconds" "$work" "$seeds"
    fi
done
