# Cross-compiles the programs for 64-bit Windows with Debian's MinGW-w64:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# Libraries built for Windows outside Debian's MinGW-w64 tree (the CI's
# static libpng) are found in the prefixes listed in SHAPETOOLS_MINGW_PREFIX:
#   ... -DSHAPETOOLS_MINGW_PREFIX=/path/to/prefix
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${SHAPETOOLS_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# One self-contained .exe per program, without the compiler's runtime DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
