#!/usr/bin/env bash
# Tovinel: installs what the build and the tests need on Debian 12, and nothing when all is there.
# Needs root (or sudo) only when something is missing.
set -euo pipefail

packages=(
    cmake make g++ libgtest-dev                              # native core and unit tests
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686         # the 32-bit Windows executable
    mingw-w64-i686-dev
    g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev          # the checker's 64-bit test twin (wine64)
    python3 python3-pefile                                   # checks that read the built executable
    python3-unicorn                                          # the built executable in a CPU emulator
    wine wine32:i386 wine64 xvfb xauth                       # the executable end to end, 32- and 64-bit
    locales                                                  # a double-byte code page (932) for Wine
    clang-14 libclang-rt-14-dev clang-tidy-14 cppcheck       # fuzzing, sanitizers, static analysis
    libarchive-dev pkg-config xorriso python3-jsonschema     # the checker: ISO images, JSON output
    genisoimage                                              # a UDF bridge image for the checker's tests
    python3-pil osslsigncode openssl                         # branding, signing and the release
)

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

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    japanese_locale
    exit 0
fi

if [ "$(id -u)" -ne 0 ] && [ ${#as_root[@]} -eq 0 ]; then
    echo "setup: missing ${missing[*]}; run as root or install sudo" >&2
    exit 1
fi
echo "setup: installing ${missing[*]}"
# Wine's 32-bit half comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${as_root[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
japanese_locale
