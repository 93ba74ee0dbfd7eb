# Tovinel: what both mingw-w64 toolchain files share; each sets CMAKE_SYSTEM_PROCESSOR (i686 or
# x86_64) first, which names Debian's cross compilers and their root.
set(CMAKE_SYSTEM_NAME Windows)
set(tovinel_mingw_triplet ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${tovinel_mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${tovinel_mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${tovinel_mingw_triplet}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${tovinel_mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
