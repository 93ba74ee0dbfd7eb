# Tovinel: CMake toolchain for Debian's i686 mingw-w64 cross compiler.
# Builds the 32-bit Windows launcher on Linux; the compilers come from g++-mingw-w64-i686.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
