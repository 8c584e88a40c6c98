# Fails when PROGRAM imports a DLL that Windows itself does not provide: the
# program has to run when copied alone onto any Windows machine, so the GCC
# runtimes must be linked in statically.
#
# cmake -DOBJDUMP=x86_64-w64-mingw32-objdump -DPROGRAM=vantrel.exe -P system_dlls.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} -p ${PROGRAM} failed")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
if(NOT imports)
  message(FATAL_ERROR "no imported DLLs found in ${PROGRAM}")
endif()
foreach(line IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${line}")
  string(TOLOWER "${dll}" dll)
  if(NOT dll MATCHES "^(kernel32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\\.dll$")
    message(SEND_ERROR "${PROGRAM} needs ${dll}")
  endif()
endforeach()
