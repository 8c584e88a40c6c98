# 32-bit Windows with Debian's MinGW-w64 cross compiler:
#   cmake --preset mingw32
# Its programs run under wine's 32-bit loader (Debian's wine32:i386 package)
# when that is installed, which is how CTest runs the Windows tests.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(mingw_triple i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Debian's wine32 package puts its loader in /usr/lib/wine, beside wine64's;
# /usr/bin/wine comes only with the recommended wine package, and is a script
# that falls back to wine64 when the 32-bit loader is missing, so the loader
# itself is looked for first.
find_program(VANTREL_WINE32 NAMES wine HINTS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(VANTREL_WINE32)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VANTREL_WINE32})
endif()
