#!/usr/bin/env bash
# Tovinel: plays the scenario table under Wine with x86-64 builds of the launcher and its test helpers,
# on a machine whose kernel runs no 32-bit x86 programs (where the Wine tests are skipped).
# Checks the same sources through Wine's real profile, registry, window and start functions, the code
# page 932 session and the show state; it cannot check the 32-bit build itself, nor its registry view.
# Needs g++-mingw-w64-x86-64-posix. Keeps its prefix in build/wine-check-64bit for the next run.
# Usage: tools/dev/wine_check_64bit.sh [--in-suite]
#   --in-suite   as a CTest test: skipped (exit 77) where Wine runs the real 32-bit tovinel.exe, whose
#                own Wine tests then play the table, and where Wine cannot run 64-bit programs either
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/build/wine-check-64bit
cxx=x86_64-w64-mingw32-g++-posix
export PYTHONPATH=$root/tests/wine
if [ "${1:-}" = --in-suite ]; then
    /usr/bin/python3 - <<'PYTHON'
import sys, wine_session
if wine_session.why_wine_cannot_run() is None:
    print("SKIPPED the x86-64 Wine check: Wine runs the 32-bit tovinel.exe here, in wine_scenarios.")
    sys.exit(wine_session.SKIPPED)
wine_session.skip_unless_wine_runs("the x86-64 Wine check", bits=64)
PYTHON
fi
if ! command -v "$cxx" >/dev/null; then
    echo "wine_check_64bit: needs $cxx: apt-get install g++-mingw-w64-x86-64-posix" >&2
    exit 1
fi
mkdir -p "$out/helpers"
launcher=(text.cpp command_split.cpp config.cpp decision.cpp startup.cpp main_win32.cpp platform_win32.cpp)
# The launcher as the release builds it (no C runtime, its own entry), less what only a 386 needs.
"$cxx" -std=c++17 -Os -Wall -Wextra -Werror -ffreestanding -fno-builtin -fno-exceptions -fno-rtti \
    -fno-stack-protector -fno-asynchronous-unwind-tables -I"$root/launcher" \
    "${launcher[@]/#/$root/launcher/}" -nostdlib -nostartfiles -Wl,--entry=tovinel_start \
    -Wl,--subsystem,windows -lkernel32 -luser32 -ladvapi32 -o "$out/tovinel.exe"
for helper in recorder window_holder starter; do
    "$cxx" -std=c++17 -O1 -Wall -Werror -static -mwindows "$root/tests/wine/$helper.cpp" \
        -o "$out/helpers/$helper.exe"
done
# The hand-over to the shell, through the launcher's own Windows seam (tests/wine/shell_start.cpp).
"$cxx" -std=c++17 -O1 -Wall -Werror -static -I"$root/launcher" "$root/tests/wine/shell_start.cpp" \
    "$root/launcher/platform_win32.cpp" "$root/launcher/text.cpp" -o "$out/helpers/shell_start.exe"
if [ ! -d "$out/prefix/drive_c" ]; then
    /usr/bin/python3 -c 'import sys, wine_session; wine_session.boot_prefix(sys.argv[1])' "$out/prefix"
fi
/usr/bin/python3 "$root/tests/wine/run_scenarios.py" --64-bit-build "$root/tests/scenarios/launcher.txt" \
    "$out/tovinel.exe" "$out/helpers" "$out/prefix" "$out/work"
/usr/bin/python3 "$root/tests/wine/run_shell_start.py" --64-bit-build "$out/helpers" "$out/prefix" "$out/work"
