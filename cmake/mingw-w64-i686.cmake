# 32-bit Windows with Debian's MinGW-w64 cross compiler:
#   cmake --preset mingw32
# Nothing here runs the result: wine64 alone cannot start 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(mingw_triple i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
