# 32-bit Windows with Debian's MinGW-w64 cross compiler:
#   cmake --preset mingw32
# Its programs run under wine's 32-bit loader (Debian's wine32:i386 package)
# when that is installed, which is how CTest runs the Windows tests.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(mingw_triple i686-w64-mingw32)
set(mingw_wine wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
