# Cross build for 32-bit Windows with Debian's mingw-w64 (POSIX threads flavour).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TAVOLIN_MINGW_TRIPLET i686-w64-mingw32)

set(CMAKE_C_COMPILER ${TAVOLIN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVOLIN_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVOLIN_MINGW_TRIPLET}-windres)

# Libraries and headers of the target only (zlib from libz-mingw-w64-dev, and what
# build-windows.sh builds into the build folder, passed in CMAKE_PREFIX_PATH); programs of the
# host (javac, python3).
set(CMAKE_FIND_ROOT_PATH /usr/${TAVOLIN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
