#!/usr/bin/env bash
# Tovinel: builds the native library and tests with clang-14 under AddressSanitizer and
# UndefinedBehaviorSanitizer (build/sanitize) and runs the same unit tests there. Any report fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build/sanitize
flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g -O1"
# Only the unit tests: no executable checks and, above all, not these runs again.
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS="$flags" -DTOVINEL_EXE= -DTOVINEL_HARDENING_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"
# No leak checks: the launcher allocates nothing, and LeakSanitizer needs ptrace, which containers
# often forbid.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:detect_stack_use_after_return=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# The sanitizers of clang 14 cannot place their shadow memory on kernels with 32 bits of mmap
# randomisation; there the runs go without address randomisation, when the system allows that.
no_aslr=()
if [ "$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 0)" -gt 28 ] && setarch "$(uname -m)" -R true 2>/dev/null; then
    no_aslr=(setarch "$(uname -m)" -R)
fi
# check_json plays the tool on every sample medium three times over, for the form of its JSON; under
# the sanitizers that costs a minute and a half and meets no code check_tests does not run there.
"${no_aslr[@]}" ctest --test-dir "$build" --output-on-failure -E '^check_json$'
