# Cross build of the 64-bit Windows DLL with Debian's mingw-w64 toolchain
# (packages g++-mingw-w64-x86-64-win32 or -posix, binutils-mingw-w64-x86-64).
#   cmake --preset windows        (or: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake ...)
# Programs built here run on Linux through Wine when it is installed
# (CMAKE_CROSSCOMPILING_EMULATOR), so ctest runs the Windows tests directly.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_ranvique_triplet x86_64-w64-mingw32)
# The win32 thread flavour first: it needs no threading DLL at all.
find_program(CMAKE_C_COMPILER NAMES ${_ranvique_triplet}-gcc-win32 ${_ranvique_triplet}-gcc-posix
             ${_ranvique_triplet}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${_ranvique_triplet}-g++-win32 ${_ranvique_triplet}-g++-posix
             ${_ranvique_triplet}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_ranvique_triplet}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_ranvique_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Headers may come from the host too: the stb headers are platform-neutral
# and live in the source tree or /usr/include.
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)

# Programs carry the toolchain's C and C++ runtimes, so that they start on a
# Windows system (or under Wine) without libgcc_s_seh-1.dll or libstdc++-6.dll.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Debian's wine64 package puts the loader outside PATH.
find_program(RANVIQUE_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(RANVIQUE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${RANVIQUE_WINE}")
endif()
