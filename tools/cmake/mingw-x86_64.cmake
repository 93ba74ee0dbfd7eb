# Tovinel: CMake toolchain for Debian's x86_64 mingw-w64 cross compiler.
# Builds only the 64-bit twin of tovinel-check.exe, which tests run under wine64 where no 32-bit
# program can run; the compilers come from g++-mingw-w64-x86-64-posix.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
