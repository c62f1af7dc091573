# Cross build for Windows with Debian's mingw-w64 (POSIX threads flavour). The target is a
# parameter, -DTAVOLIN_WINDOWS_TARGET=i686 (32-bit) or x86_64 (64-bit), as build-windows.sh
# passes it.
set(TAVOLIN_WINDOWS_TARGET "" CACHE STRING "Windows target: i686 or x86_64")
if(TAVOLIN_WINDOWS_TARGET STREQUAL "i686")
  set(CMAKE_SYSTEM_PROCESSOR x86)
elseif(TAVOLIN_WINDOWS_TARGET STREQUAL "x86_64")
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
else()
  message(FATAL_ERROR "TAVOLIN_WINDOWS_TARGET is i686 or x86_64: \"${TAVOLIN_WINDOWS_TARGET}\"")
endif()
# The compiler checks are projects of their own, which must see the same target.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TAVOLIN_WINDOWS_TARGET)

set(CMAKE_SYSTEM_NAME Windows)
set(TAVOLIN_MINGW_TRIPLET ${TAVOLIN_WINDOWS_TARGET}-w64-mingw32)

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
