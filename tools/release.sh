#!/usr/bin/env bash
# Tovinel: makes a release: builds, runs every test, and packs dist/tovinel-<VERSION>.zip.
# Usage: tools/release.sh [--skip-tests]
#   --skip-tests   build and pack without running the tests (for a try; never for a release)
# Signs tovinel.exe and the Windows tovinel-check when a certificate is configured in the
# environment, as for tools/sign.sh (TOVINEL_SIGN_PKCS12, or TOVINEL_SIGN_CERT and TOVINEL_SIGN_KEY).
# Unsigned, two runs on the same sources give the same zip, byte for byte: every time stamp in it is
# the time of the last commit (or SOURCE_DATE_EPOCH). A signature carries its own signing time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
windows_checker=$root/build/win32/tovinel-check.exe
linux_checker=$root/build/native/checker/tovinel-check

tests=yes
case ${1:-} in
    --skip-tests) tests=no ;;
    "") ;;
    *) sed -n '3,4p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
esac

"$root/tools/setup.sh"
"$root/tools/build.sh" all
if [ ! -f "$windows_checker" ]; then
    echo "release: the Windows tovinel-check is missing: $windows_checker (tools/build.sh win32 makes it)." >&2
    echo "release: a release without it would lack what publishers run on Windows. No release written." >&2
    exit 1
fi
if [ "$tests" = yes ]; then
    ctest --test-dir "$root/build/native" --output-on-failure
fi

epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$root/build/win32/tovinel.exe" "$windows_checker" "$stage/"
# The tested Linux checker without its debugging symbols: the same code, a fraction of the size.
strip --strip-all -o "$stage/tovinel-check" "$linux_checker"

if [ -n "${TOVINEL_SIGN_PKCS12:-}${TOVINEL_SIGN_CERT:-}" ]; then
    for program in tovinel.exe tovinel-check.exe; do
        "$root/tools/sign.sh" "$stage/$program"
    done
fi

/usr/bin/python3 "$root/tools/check_exe.py" "$stage/tovinel.exe" >/dev/null ||
    { echo "release: tovinel.exe fails its checks; no release written" >&2; exit 1; }
/usr/bin/python3 "$root/tools/steps/pack_release.py" --epoch "$epoch" --exe "$stage/tovinel.exe" \
    --checker-linux "$stage/tovinel-check" --checker-windows "$stage/tovinel-check.exe"
