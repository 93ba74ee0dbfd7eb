#!/usr/bin/env bash
# Tovinel: installs what the build and the tests need on Debian 12, and nothing when all is there.
# Needs root (or sudo) only when something is missing.
set -euo pipefail

packages=(
    cmake make g++ libgtest-dev                              # native core and unit tests
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686         # the 32-bit Windows executable
    mingw-w64-i686-dev
    python3 python3-pefile                                   # checks that read the built executable
    wine wine32:i386 xvfb xauth                              # the executable end to end
    clang-14 libclang-rt-14-dev clang-tidy-14 cppcheck       # fuzzing, sanitizers, static analysis
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "setup: missing ${missing[*]}; run as root or install sudo" >&2; exit 1; }
    as_root=(sudo)
fi
echo "setup: installing ${missing[*]}"
# Wine's 32-bit half comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${as_root[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
