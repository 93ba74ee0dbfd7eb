#!/usr/bin/env bash
# Tovinel: builds tovinel.exe and shows it at work on the sample medium in examples/medium.
# Installs what is missing first (tools/setup.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
"$root/tools/build.sh" win32
/usr/bin/python3 "$root/tools/check_exe.py" "$root/build/win32/tovinel.exe" | tail -2
echo
echo "The sample medium's Tovinel.ini:"
sed 's/^/    /' "$root/examples/medium/Tovinel.ini"
echo
# The launcher at work under Wine: a sample program that records how it was started stands in for
# the medium's setup program and for the installed application.
/usr/bin/python3 "$root/tools/demo_wine.py" "$root/build/win32/tovinel.exe" "$root/build/win32/wine-helpers"

# The sample medium as it will be burnt: an ISO image with Joliet and Rock Ridge names and the
# launcher in its root, checked by tovinel-check as Windows will see it.
"$root/tools/build.sh" checker >/dev/null
mkdir -p "$root/build/demo"
image=$root/build/demo/medium.iso
xorriso -as mkisofs -quiet -J -R -V TOVINEL_DEMO -o "$image" -graft-points \
    /="$root/examples/medium" /tovinel.exe="$root/build/win32/tovinel.exe" 2>/dev/null
echo
echo "The sample medium as an ISO image ($(stat -c %s "$image") bytes), checked as Windows will see it:"
echo "    \$ tovinel-check build/demo/medium.iso"
status=0
(cd "$root" && build/native/checker/tovinel-check build/demo/medium.iso) | sed 's/^/    /' || status=$?
echo "    (exit code $status)"
