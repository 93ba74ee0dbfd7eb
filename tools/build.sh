#!/usr/bin/env bash
# Tovinel: builds tovinel.exe, tovinel-check.exe and tovinel-brand.exe (build/win32) and the native
# library, tovinel-check, tovinel-brand and the tests (build/native).
# Usage: tools/build.sh [win32|native|checker|release|all] [-DOPTION=VALUE...]   (default all;
# checker: only tovinel-check, natively; release: only what a release ships, the Windows programs and
# both tools natively, without a test or a test helper, so that only tools/setup.sh build is needed)
# The options go to the cross build and stay in its cache: a publisher's branding, for instance
#   tools/build.sh win32 -DTOVINEL_ICON=logo.png -DTOVINEL_COMPANY_NAME="Maker Ltd"
# which the native tovinel-brand, built first, applies to tovinel.exe after each link.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
what=${1:-all}
shift || true
jobs=$(nproc 2>/dev/null || echo 2)
tests=-DTOVINEL_TESTS=ON
if [ "$what" = release ]; then
    tests=-DTOVINEL_TESTS=OFF
fi

configure_native() {
    cmake -S "$root" -B "$root/build/native" -DCMAKE_BUILD_TYPE=Debug "$tests" \
        -DTOVINEL_EXE="$root/build/win32/tovinel.exe" \
        -DTOVINEL_WINE_HELPERS="$root/build/win32/wine-helpers" \
        -DTOVINEL_CHECK_EXE="$root/build/win32/tovinel-check.exe" \
        -DTOVINEL_BRAND_EXE="$root/build/win32/tovinel-brand.exe" >/dev/null
}

if [ "$what" = all ] || [ "$what" = win32 ] || [ "$what" = release ]; then
    # The cross build brands tovinel.exe, when asked to, with the native tool.
    configure_native
    cmake --build "$root/build/native" -j "$jobs" --target tovinel-brand
    cmake -S "$root" -B "$root/build/win32" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/tools/cmake/mingw-i686.cmake" "$tests" \
        -DTOVINEL_BRAND_TOOL="$root/build/native/brand/tovinel-brand" "$@" >/dev/null
    cmake --build "$root/build/win32" -j "$jobs"
fi
if [ "$what" = all ] || [ "$what" = native ] || [ "$what" = checker ] || [ "$what" = release ]; then
    configure_native
    if [ "$what" = checker ]; then
        cmake --build "$root/build/native" -j "$jobs" --target tovinel-check
    else
        cmake --build "$root/build/native" -j "$jobs"
    fi
fi
