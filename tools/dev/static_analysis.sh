#!/usr/bin/env bash
# Tovinel: static analysis of launcher/ with clang-tidy-14 (checks in .clang-tidy) or cppcheck 2.10.
# Any finding fails the run. Usage: tools/dev/static_analysis.sh clang-tidy|cppcheck [native build dir]
# clang-tidy reads the native build's compile_commands.json for the portable files; the Windows files
# are analysed as the i686 mingw-w64 target against Debian's mingw-w64 headers, so the Windows calls
# are checked against their real declarations.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tool=${1:?usage: static_analysis.sh clang-tidy|cppcheck [native build dir]}
build=${2:-$root/build/native}
cd "$root"

portable=(launcher/text.cpp launcher/command_split.cpp launcher/config.cpp launcher/decision.cpp launcher/startup.cpp
          simulated_windows/ini_reader.cpp simulated_windows/platform_posix.cpp)
windows=(launcher/platform_win32.cpp launcher/main_win32.cpp)

case "$tool" in
clang-tidy)
    [ -f "$build/compile_commands.json" ] || { echo "static_analysis: no $build/compile_commands.json" >&2; exit 2; }
    clang-tidy-14 --quiet -p "$build" "${portable[@]}"
    # --sysroot keeps the host's /usr/include out of the Windows search path.
    clang-tidy-14 --quiet "${windows[@]}" -- --target=i686-w64-mingw32 --sysroot=/usr/i686-w64-mingw32 \
        -std=c++17 -fno-exceptions -fno-rtti -ffreestanding -Ilauncher
    echo "clang-tidy: ${#portable[@]} portable and ${#windows[@]} Windows files clean"
    ;;
cppcheck)
    # Checked twice: as the 32-bit Windows executable sees the code (win32A: 32-bit long, the
    # windows library's knowledge of the Win32 calls) and as the 64-bit native build does.
    # Enabled: warning (faults), style, performance, portability, with inconclusive findings too.
    # Not enabled: unusedFunction (the .ini reader and text helpers are a library for the native
    # tools as well) and missingInclude (the system headers are not cppcheck's to read).
    options=(--enable=warning,style,performance,portability --inconclusive --std=c++17 --language=c++
             --inline-suppr --error-exitcode=1 --quiet -Ilauncher -Isimulated_windows)
    cppcheck "${options[@]}" --platform=win32A --library=windows -D_WIN32 "${portable[@]}" "${windows[@]}"
    cppcheck "${options[@]}" --platform=unix64 "${portable[@]}"
    echo "cppcheck: ${#portable[@]} portable and ${#windows[@]} Windows files clean"
    ;;
*)
    echo "static_analysis: unknown tool $tool" >&2
    exit 2
    ;;
esac
