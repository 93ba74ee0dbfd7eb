#!/usr/bin/env bash
# Tovinel: builds tovinel.exe twice from scratch in two different folders and compares the bytes.
# Same sources must give the same file, whatever the folder or the time of the build.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for n in 1 2; do
    cmake -S "$root" -B "$work/build-$n" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/tools/cmake/mingw-i686.cmake" >/dev/null
    # tovinel.exe alone: the tree also holds tovinel-check.exe and the Wine helpers.
    cmake --build "$work/build-$n" --target tovinel >/dev/null
    sleep 1
done
if cmp "$work/build-1/tovinel.exe" "$work/build-2/tovinel.exe"; then
    echo "reproducible: two clean builds are byte-identical ($(stat -c %s "$work/build-1/tovinel.exe") bytes)"
else
    echo "NOT reproducible: two clean builds differ" >&2
    exit 1
fi
