# 64-bit Windows with Debian's MinGW-w64 cross compiler:
#   cmake --preset mingw64
# Its programs run under wine64 when that is installed, which is how CTest
# runs the Windows tests.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(mingw_triple x86_64-w64-mingw32)
set(mingw_wine wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
