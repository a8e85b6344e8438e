# Cross-compiles for 64-bit Windows with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64-posix) and runs what it built under Wine.
#   cmake --preset windows
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triplet x86_64-w64-mingw32)
# The -posix variants have the thread support that GoogleTest needs.
set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages are also found in any prefix the user names (CMAKE_PREFIX_PATH).
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# The compiler's runtime (libgcc, libstdc++, winpthread) is linked in, so that
# programs built with this file need nothing beyond the system's own DLLs.
# The project does the same for its own programs and DLLs in any MinGW build;
# this is for other projects built with this file (the install tests'
# consumers). Wine is not named here: the tests find it when they are built,
# so that a build without tests (the zip) needs no Wine.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
