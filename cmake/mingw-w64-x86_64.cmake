# 64-bit Windows with Debian's MinGW-w64 cross compiler:
#   cmake --preset mingw64
# Its programs run under wine64 when that is installed, which is how CTest
# runs the Windows tests.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(mingw_triple x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Debian's wine64 package puts its loader in /usr/lib/wine; /usr/bin/wine64
# comes only with the recommended wine package.
find_program(VANTREL_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(VANTREL_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VANTREL_WINE64})
endif()
