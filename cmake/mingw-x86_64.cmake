# Cross build of the 64-bit Windows DLL and its test programs with Debian's MinGW-w64.
# The -posix compilers are required: the win32 thread model has no std::thread/std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Test programs run under 64-bit wine; ctest prefixes them with this. Debian's `wine` script
# starts the 32-bit loader whenever wine32 is installed, so the 64-bit one is named directly.
set(VELLICOR_WINE64 /usr/lib/wine/wine64)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VELLICOR_WINE64})
