# Shared part of the MinGW-w64 toolchain files: set mingw_triple, then
# include this. Debian's cross compilers (g++-mingw-w64-x86-64 and
# g++-mingw-w64-i686) build static, self-contained Windows programs with it.

set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model, named explicitly so that the system's choice of
# default variant does not matter. The program itself needs no threads, but
# GoogleTest needs std::mutex and std::condition_variable, which GCC 12's
# win32 model lacks; both variants have std::filesystem. Linked statically,
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
