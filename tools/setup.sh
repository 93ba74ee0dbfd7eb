#!/usr/bin/env bash
# Tovinel: installs what the build and the tests need on Debian 12, and nothing when all is there.
# Usage: tools/setup.sh [build|test]   build: what building, signing and packing a release need;
#                                      test (the default): that and every tool the tests run.
# Needs root (or sudo) only when something is missing, or to hand 32-bit x86 programs to qemu-i386
# where the kernel runs none (tools/steps/wine_i386_emulation.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

build_packages=(
    cmake make g++                                           # the native tovinel-check
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686         # the 32-bit Windows executables
    mingw-w64-i686-dev
    python3 python3-pefile                                   # checks that read the built executable
    libarchive-dev pkg-config                                # the checker: ISO images
    libudfread-dev                                           # the checker: the UDF file system of images
    libssl-dev                                               # the checker: who signed the launcher
    libpng-dev                                               # tovinel-brand: the publisher's PNG icon
    osslsigncode openssl                                     # signing and the release
    dpkg-dev file                                            # its Debian package (dpkg-shlibdeps)
)
test_packages=(
    libgtest-dev                                             # unit tests
    python3-unicorn                                          # the built executable in a CPU emulator
    wine wine32:i386 wine64 xvfb xauth                       # the executable end to end (a WOW64 prefix)
    locales                                                  # a double-byte code page (932) for Wine
    clang-14 libclang-rt-14-dev clang-tidy-14 cppcheck       # fuzzing, sanitizers, static analysis
    xorriso python3-jsonschema                               # the checker's tests: ISO images, JSON output
    genisoimage                                              # a UDF bridge image for the checker's tests
    udftools python3-pycdlib                                 # UDF-only and UDF bridge images for them
)
case ${1:-test} in
    build) packages=("${build_packages[@]}") ;;
    test) packages=("${build_packages[@]}" "${test_packages[@]}") ;;
    *) sed -n '3,4p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
esac

as_root=()
if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null; then
    as_root=(sudo)
fi

# Wine takes the ANSI code page from the Unix locale: ja_JP.UTF-8 gives code page 932.
japanese_locale() {
    locale -a 2>/dev/null | grep -qix 'ja_JP.utf8' && return 0
    echo "setup: generating the locale ja_JP.UTF-8"
    grep -qx 'ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null ||
        echo 'ja_JP.UTF-8 UTF-8' | "${as_root[@]}" tee -a /etc/locale.gen >/dev/null
    "${as_root[@]}" locale-gen >/dev/null
}

# Wine runs 32-bit Windows programs only as 32-bit x86 processes: where the kernel runs none, hand
# them to qemu-i386 (tools/steps/wine_i386_emulation.sh); where it cannot, the Wine tests skip.
wine_i386() {
    # shellcheck source=tools/steps/wine_i386_emulation.sh
    . "$root/tools/steps/wine_i386_emulation.sh"
    wine_i386_emulation "$root/tests/wine/emulation/noreplace.c" ||
        echo "setup: the 32-bit Wine tests will be skipped, and the demo shows tovinel-check instead" >&2
}

# What only the tests need beyond packages.
test_machine() {
    japanese_locale
    wine_i386
}

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    [ "${1:-test}" = build ] || test_machine
    exit 0
fi

if [ "$(id -u)" -ne 0 ] && [ ${#as_root[@]} -eq 0 ]; then
    echo "setup: missing ${missing[*]}; run as root or install sudo" >&2
    exit 1
fi
echo "setup: installing ${missing[*]}"
# Wine's 32-bit half comes from the i386 architecture.
if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${as_root[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# A mirror in the middle of a sync serves an index that fails its size check ("Mirror sync in
# progress?"): apt then keeps the lists it had. Try once more after a pause, then install from what
# the lists hold: most packages are usually there all the same.
if ! "${as_root[@]}" apt-get update -q; then
    echo "setup: apt-get update failed; trying once more in 15 s"
    sleep 15
    "${as_root[@]}" apt-get update -q ||
        echo "setup: apt-get update failed again; installing from the package lists this machine has" >&2
fi
if ! "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"; then
    # Tell the packages apt cannot install from the rest, install the rest, and say what failed.
    installable=() failed=()
    for package in "${missing[@]}"; do
        if apt-get install -s -q --no-install-recommends "$package" >/dev/null 2>&1; then
            installable+=("$package")
        else
            failed+=("$package")
        fi
    done
    [ ${#installable[@]} -eq 0 ] ||
        "${as_root[@]}" apt-get install -y -q --no-install-recommends "${installable[@]}" || failed=("${missing[@]}")
    echo "setup: could not install ${failed[*]}: the package index may be stale (a mirror in the middle of a" \
         "sync); try again later with tools/setup.sh${1:+ $1}, or after apt-get update on another mirror" >&2
    for package in "${failed[@]}"; do
        # Without a build package nothing builds; without a test package only its tests skip or fail.
        if [[ " ${build_packages[*]} " == *" $package "* ]]; then
            exit 1
        fi
    done
fi
[ "${1:-test}" = build ] || test_machine
