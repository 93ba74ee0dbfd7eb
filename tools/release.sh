#!/usr/bin/env bash
# Tovinel: makes a release of Tovinel's own toolkit: builds, runs every test, and packs
# dist/tovinel-<VERSION>.zip (tovinel.exe, tovinel-check.exe, tovinel-brand.exe, tovinel-check and
# tovinel-brand as a Debian package, the README, docs/ and a sample medium).
# Usage: tools/release.sh [--skip-tests]
#   --skip-tests   build only what ships and pack it, without the tests (for a try; never for a release)
# Built from a clean copy of the last commit in build/release, never from the build folders one
# works in: nothing built, branded or signed there by hand can reach a release. The programs are
# signed as copies in build/release/stage when a certificate is configured in the environment as
# for tools/sign.sh (TOVINEL_SIGN_PKCS12, or TOVINEL_SIGN_CERT and TOVINEL_SIGN_KEY): then every
# Windows program is signed, otherwise none is, and pack_release.py refuses anything between.
# Unsigned, two runs of the same commit give the same zip, byte for byte: every time stamp in it is
# the time of the last commit (or SOURCE_DATE_EPOCH). A signature carries its own signing time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

tests=yes
case ${1:-} in
    --skip-tests) tests=no ;;
    "") ;;
    *) sed -n '5,6p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
esac

commit=$(git -C "$root" rev-parse --verify HEAD 2>/dev/null) ||
    { echo "release: $root is no git checkout with a commit: a release is made from one" >&2; exit 1; }
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
    echo "release: uncommitted changes are left out: the release is made from ${commit:0:12}" >&2
fi
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct "$commit")}

release=$root/build/release
rm -rf "$release"
mkdir -p "$release/source" "$release/stage" "$release/package"
git -C "$root" archive "$commit" | tar -x -C "$release/source"
source=$release/source
built=$source/build

if [ "$tests" = yes ]; then
    "$source/tools/setup.sh" test
    "$source/tools/build.sh" all
    ctest --test-dir "$built/native" --output-on-failure
else
    "$source/tools/setup.sh" build
    "$source/tools/build.sh" release
fi
# The tested Linux checker and tovinel-brand as a Debian package, its dependencies read from the binaries.
log=$(cd "$built/native" && SOURCE_DATE_EPOCH=$epoch cpack -B "$release/package" 2>&1) ||
    { echo "$log" >&2; echo "release: cpack could not make the Debian package; no release written" >&2; exit 1; }

stage=$release/stage
cp "$built/win32/tovinel.exe" "$built/win32/tovinel-check.exe" "$built/win32/tovinel-brand.exe" \
    "$release"/package/tovinel-check_*.deb "$stage/"
signed=()
if [ -n "${TOVINEL_SIGN_PKCS12:-}${TOVINEL_SIGN_CERT:-}" ]; then
    for program in tovinel.exe tovinel-check.exe tovinel-brand.exe; do
        "$source/tools/sign.sh" "$stage/$program"
    done
    signed=(--signed)
fi

/usr/bin/python3 "$source/tools/check_exe.py" "$stage/tovinel.exe" >/dev/null ||
    { echo "release: tovinel.exe fails its checks; no release written" >&2; exit 1; }
/usr/bin/python3 "$source/tools/steps/pack_release.py" --epoch "$epoch" --out "$root/dist" "${signed[@]}" \
    --exe "$stage/tovinel.exe" --checker-windows "$stage/tovinel-check.exe" \
    --brand-windows "$stage/tovinel-brand.exe" \
    --checker-deb "$(ls "$stage"/tovinel-check_*.deb)"
