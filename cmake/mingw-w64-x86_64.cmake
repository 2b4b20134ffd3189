# Cross-compiles for 64-bit Windows with MinGW-w64 (POSIX threads, static runtime).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SF_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${SF_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SF_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${SF_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SF_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static archives only: an import library (libz.dll.a) would make the program need a DLL beside it.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
