#!/usr/bin/env bash
# Tovinel: prints the size of the built tovinel.exe, by section, and its largest functions (map file).
# A benchmark, not a test: it prints figures to watch, and fails only when nothing is built.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
exe=${1:-$root/build/win32/tovinel.exe}
map=$root/build/win32/launcher/tovinel.map
[ -f "$exe" ] || { echo "size_report: $exe not built; run tools/build.sh win32" >&2; exit 1; }
echo "tovinel.exe: $(stat -c %s "$exe") bytes ($(( ($(stat -c %s "$exe") + 1023) / 1024 )) KiB)"
i686-w64-mingw32-objdump -h "$exe" | while read -r idx name size _; do
    if [[ $idx =~ ^[0-9]+$ ]]; then printf '  %-8s %6d bytes\n' "$name" "$((16#$size))"; fi
done
if [ -f "$map" ]; then
    echo "largest functions:"
    # A map line " .text$name" is followed by one with its address (0 when dropped) and size.
    awk '/^ \.text\$/{ name=substr($1, 7); getline; if ($2 ~ /^0x/ && $1 != "0x00000000") print $2, name }' "$map" |
        while read -r size name; do printf '  %6d %s\n' "$((size))" "$name"; done | sort -rn | head -8
fi
