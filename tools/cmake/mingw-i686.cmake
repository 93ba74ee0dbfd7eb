# Tovinel: CMake toolchain for Debian's i686 mingw-w64 cross compiler.
# Builds the 32-bit Windows programs on Linux; the compilers come from g++-mingw-w64-i686-posix.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(tovinel_mingw_triplet i686-w64-mingw32)
set(CMAKE_C_COMPILER ${tovinel_mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${tovinel_mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${tovinel_mingw_triplet}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${tovinel_mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
