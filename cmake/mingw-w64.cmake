# Shared part of the MinGW-w64 toolchain files: set mingw_triple and the
# wine loader that runs its programs (mingw_wine), then include this. Debian's cross compilers (g++-mingw-w64-x86-64 and
# g++-mingw-w64-i686) build static, self-contained Windows programs with it.

set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model, named explicitly so that the system's choice of
# default variant does not matter. The program converts and writes on
# threads of its own, and GoogleTest needs std::mutex and
# std::condition_variable, which GCC 12's win32 model lacks. Linked statically,
# winpthread ends up inside the .exe instead of beside it.
set(CMAKE_C_COMPILER ${mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Users copy vantrel.exe alone into their build scripts' folders: it must not
# need libgcc, libstdc++ or winpthread DLLs next to it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Debian's wine64 and wine32 packages put their loaders, wine64 and wine, in
# /usr/lib/wine; /usr/bin/wine comes only with the recommended wine package,
# and is a script that falls back to wine64 when the 32-bit loader is
# missing, so the loader itself is looked for first.
find_program(VANTREL_WINE NAMES ${mingw_wine} HINTS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
# The 32-bit loader is itself a 32-bit Linux program, which a kernel built
# without 32-bit support cannot start: the tests are then built, not run,
# and the configure step says so.
if(VANTREL_WINE)
  execute_process(COMMAND ${VANTREL_WINE} --version RESULT_VARIABLE wine_status OUTPUT_QUIET ERROR_QUIET)
  if(wine_status EQUAL 0)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VANTREL_WINE})
  else()
    message(STATUS "${VANTREL_WINE} does not start on this machine (${wine_status}): the Windows tests are built, not run")
  endif()
endif()
