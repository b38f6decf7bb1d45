# Cross build of the plug-in for 32-bit Windows with Debian's mingw-w64 i686 toolchain.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(MST_MINGW_PREFIX i686-w64-mingw32)
# The win32 thread model: the plug-in starts no threads, and this variant needs no
# winpthread DLL at run time.
find_program(CMAKE_CXX_COMPILER NAMES ${MST_MINGW_PREFIX}-g++-win32 ${MST_MINGW_PREFIX}-g++
             REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${MST_MINGW_PREFIX}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${MST_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# SSE2 doubles instead of the x87 stack, so the 32-bit build rounds every operation exactly as
# the 64-bit one does.
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
# The C++ runtime and the compiler's support library go inside the DLL: it may import only
# what every Windows system has.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
