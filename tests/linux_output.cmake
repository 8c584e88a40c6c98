# Converts the same bitmaps with the Windows program (under EMULATOR) and the
# Linux program and requires the same exit statuses, the same messages and
# byte for byte the same headers, once the Windows text's CR LF line endings
# are made LF. Every Windows line has to end with CR LF, every Linux line
# with LF alone.
#
# cmake -DEMULATOR=wine64 -DPROGRAM=vantrel.exe -DCORPUS=vantrel_corpus.exe
#       -DSAMPLE=sample.bmp -DLINUX_BUILD=build -DWORK=dir -P linux_output.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${CMAKE_COMMAND} --build ${LINUX_BUILD} --target vantrel
                OUTPUT_VARIABLE log ERROR_VARIABLE log RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "The Linux program did not build in ${LINUX_BUILD}; "
                      "configure it first (cmake --preset default):\n${log}")
endif()
set(linux_program ${LINUX_BUILD}/vantrel)

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/windows ${WORK}/linux)
execute_process(COMMAND ${EMULATOR} ${CORPUS} WORKING_DIRECTORY ${WORK}/windows RESULT_VARIABLE failed
                OUTPUT_FILE ${WORK}/corpus.log ERROR_FILE ${WORK}/corpus.log)
if(failed)
  file(READ ${WORK}/corpus.log log)
  message(FATAL_ERROR "vantrel_corpus failed (${failed}):\n${log}")
endif()
file(COPY ${SAMPLE} DESTINATION ${WORK}/windows)
file(COPY ${WORK}/windows/ DESTINATION ${WORK}/linux)

set(mismatches 0)
function(mismatch)
  string(CONCAT what ${ARGV})
  message(SEND_ERROR "${what}")
  math(EXPR n "${mismatches} + 1")
  set(mismatches ${n} PARENT_SCOPE)
endfunction()

# Sets <var> to the file's text with LF line endings, and <bare_lf> to the
# number of its line breaks that are not CR LF. CMake itself reads CR LF as
# LF, so the file's size tells how many CRs that took out.
function(read_text var bare_lf file)
  file(READ ${file} text)
  file(SIZE ${file} size)
  string(LENGTH "${text}" length)
  string(REPLACE "\n" "" joined "${text}")
  string(LENGTH "${joined}" joined_length)
  math(EXPR n "${length} - ${joined_length} - (${size} - ${length})")
  set(${var} "${text}" PARENT_SCOPE)
  set(${bare_lf} ${n} PARENT_SCOPE)
endfunction()

# Compares two text files: the same text, every Windows line ending in CR LF,
# no Linux line in CR LF. With SEPARATORS, a "\" in the Windows text counts
# as "/".
function(compare_text what linux_file windows_file)
  read_text(linux_text linux_bare ${linux_file})
  read_text(windows_text windows_bare ${windows_file})
  if(ARGV3 STREQUAL "SEPARATORS")
    string(REPLACE "\\" "/" windows_text "${windows_text}")
  endif()
  string(LENGTH "${linux_text}" linux_length)
  file(SIZE ${linux_file} linux_size)
  if(NOT linux_size EQUAL linux_length)
    mismatch("${what}: CR LF in the Linux text")
  endif()
  if(NOT windows_bare EQUAL 0)
    mismatch("${what}: ${windows_bare} Windows line breaks without CR")
  endif()
  if(NOT linux_text STREQUAL windows_text)
    mismatch("${what} differs:\nLinux:\n${linux_text}\nWindows:\n${windows_text}")
  endif()
  set(mismatches ${mismatches} PARENT_SCOPE)
endfunction()

# Compares every header both programs have written so far.
function(compare_headers)
  # Header names end in "h", not always in ".h": scan.bitmap gives scan.bith.
  file(GLOB_RECURSE linux_headers RELATIVE ${WORK}/linux ${WORK}/linux/*h)
  file(GLOB_RECURSE windows_headers RELATIVE ${WORK}/windows ${WORK}/windows/*h)
  if(NOT linux_headers STREQUAL windows_headers)
    mismatch("different headers:\n  Linux:   ${linux_headers}\n  Windows: ${windows_headers}")
  endif()
  foreach(header IN LISTS linux_headers)
    compare_text(${header} ${WORK}/linux/${header} ${WORK}/windows/${header})
  endforeach()
  set(mismatches ${mismatches} PARENT_SCOPE)
endfunction()

# run(LINUX args... [WINDOWS args...]): the Windows arguments default to the
# Linux ones. Messages are compared with "\" read as "/".
set(runs 0)
function(run)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "" "LINUX;WINDOWS")
  if(NOT DEFINED arg_WINDOWS)
    set(arg_WINDOWS ${arg_LINUX})
  endif()
  # Files, not variables: CMake would read CR LF as LF, and a wineserver that
  # the run starts inherits pipes and keeps them open for seconds.
  execute_process(COMMAND ${linux_program} ${arg_LINUX} WORKING_DIRECTORY ${WORK}/linux
                  OUTPUT_FILE ${WORK}/linux.out ERROR_FILE ${WORK}/linux.err RESULT_VARIABLE linux_status)
  execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${arg_WINDOWS} WORKING_DIRECTORY ${WORK}/windows
                  OUTPUT_FILE ${WORK}/windows.out ERROR_FILE ${WORK}/windows.err RESULT_VARIABLE windows_status)
  file(READ ${WORK}/linux.err linux_err)
  file(READ ${WORK}/windows.err windows_err)
  compare_text("the messages of vantrel ${arg_WINDOWS}" ${WORK}/linux.out ${WORK}/windows.out SEPARATORS)
  if(NOT linux_status STREQUAL windows_status OR NOT "${linux_err}${windows_err}" STREQUAL "")
    mismatch("vantrel ${arg_WINDOWS}: exit status ${linux_status} on Linux, ${windows_status} on Windows\n"
             "${linux_err}${windows_err}")
  endif()
  compare_headers()
  math(EXPR n "${runs} + 1")
  set(runs ${n} PARENT_SCOPE)
  set(mismatches ${mismatches} PARENT_SCOPE)
endfunction()

file(GLOB bitmaps RELATIVE ${WORK}/linux ${WORK}/linux/*.bmp ${WORK}/linux/*.BMP)
list(APPEND bitmaps a scan.bitmap pics/logo.bmp pics/sub/2.bmp)
list(SORT bitmaps)
set(unique ${bitmaps})
list(REMOVE_ITEM unique my_icon.bmp)

run(LINUX ${bitmaps})
run(LINUX -a ${unique})
run(LINUX -a my-icon.bmp my_icon.bmp)
run(LINUX pics/logo.bmp pics/sub/2.bmp WINDOWS pics\\logo.bmp pics/sub\\2.bmp)
run(LINUX -a sample.bmp pics/logo.bmp pics/sub/2.bmp WINDOWS -a sample.bmp pics\\logo.bmp pics\\sub\\2.bmp)
foreach(bad IN ITEMS bad/cut.bmp bad/palette.bmp bad/signature.bmp bad/huge.bmp missing.bmp bad)
  run(LINUX sample.bmp ${bad} w1.bmp)
  run(LINUX -a sample.bmp ${bad} w1.bmp)
endforeach()

list(LENGTH bitmaps count)
if(mismatches GREATER 0)
  message(FATAL_ERROR "${mismatches} differences between the Windows and the Linux program")
endif()
message(STATUS "${runs} runs on ${count} bitmaps: the same statuses, messages and headers")
