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
status=0
/usr/bin/python3 "$root/tools/steps/demo_wine.py" "$root/build/win32/tovinel.exe" "$root/build/win32/wine-helpers" ||
    status=$?
if [ "$status" -eq 77 ]; then
    # Wine runs 32-bit programs where the kernel runs them, or qemu-i386 does (tools/setup.sh sets it
    # up where it can). Where neither does (no root, no binfmt_misc), show the same decision code,
    # built natively, playing the sample medium on a simulated machine.
    echo
    echo "Instead, tovinel-check plays the launcher's own decision code on the sample medium:"
    "$root/tools/build.sh" checker >/dev/null
    check="$root/build/native/checker/tovinel-check"
    echo
    echo "1. The product is not installed."
    "$check" "$root/examples/medium" | sed 's/^/   /' || true
    echo
    echo "2. The product is installed, and Tovinel is started with the argument /demo."
    "$check" --installed='"C:\Program Files\Tovinel Example\APP.EXE"' --tail=/demo "$root/examples/medium" |
        sed 's/^/   /' || true
elif [ "$status" -ne 0 ]; then
    exit "$status"
fi

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
