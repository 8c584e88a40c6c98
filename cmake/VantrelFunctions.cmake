# vantrel_add_headers(<target> IMAGES <picture>... [COMBINED [NAME <file>]]
#                     [BACKGROUND <RRGGBB>] [FORM HEADER|SPLIT|ASM])
#
# Converts the pictures (BMP or PNG) at build time, in the build tree, and
# gives the results to <target>. Without COMBINED each picture gets its own
# header, named as vantrel names it ("logo.png" gives "logo.h"); with it, all
# go into one "data.h", or the file NAME gives. The FORM:
#   HEADER  headers alone, the data defined in them;
#   SPLIT   a header of declarations and a C source of definitions
#           (vantrel --split: logo.h and logo.c);
#   ASM     the same, the source pulling the words in as assembler data
#           from files beside it, which compiles fastest but only with GCC
#           and Clang (vantrel --asm: logo.le.bin and logo.be.bin too).
# Without FORM, ASM where the target's compiler is GCC or Clang with its own
# command line, SPLIT elsewhere. The headers and sources join the target's
# sources; the folder of the headers is searched by #include "..." alone
# where the compiler can be told so (-iquote), so that "time.h" made from
# time.png never stands for <time.h>; other compilers get an ordinary include
# path and are refused, when the project is configured, a header named like
# a standard one. Everything is made again exactly when its picture or the
# vantrel program changes. vantrel runs with --quiet: the build shows its
# own line for each conversion, and a picture vantrel refuses fails it with
# vantrel's error line alone, leaving no header or source of its own behind.
#
# The program is Vantrel::vantrel: the installed one (find_package), or the
# one built beside the caller (add_subdirectory, FetchContent), which in a
# build for another processor is built for the build machine
# (host-build.cmake).

function(vantrel_add_headers target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "COMBINED" "BACKGROUND;NAME;FORM" "IMAGES")
  if(arg_UNPARSED_ARGUMENTS OR arg_KEYWORDS_MISSING_VALUES)
    message(FATAL_ERROR "vantrel_add_headers: unexpected arguments: ${arg_UNPARSED_ARGUMENTS} ${arg_KEYWORDS_MISSING_VALUES}")
  endif()
  if(NOT TARGET ${target})
    message(FATAL_ERROR "vantrel_add_headers: ${target} is not a target")
  endif()
  if(NOT arg_IMAGES)
    message(FATAL_ERROR "vantrel_add_headers: IMAGES names no picture")
  endif()
  set(options "")
  if(DEFINED arg_BACKGROUND)
    if(NOT arg_BACKGROUND MATCHES "^[0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f]$")
      message(FATAL_ERROR "vantrel_add_headers: BACKGROUND ${arg_BACKGROUND} is not RRGGBB")
    endif()
    set(options --background ${arg_BACKGROUND})
  endif()
  if(DEFINED arg_NAME)
    if(NOT arg_COMBINED)
      message(FATAL_ERROR "vantrel_add_headers: NAME names the combined header, and needs COMBINED")
    endif()
    # A name alone: the file goes into the target's folder of headers.
    if(NOT arg_NAME MATCHES "^[^/\\\\]+\\.h$")
      message(FATAL_ERROR "vantrel_add_headers: NAME ${arg_NAME} is not a file name ending in .h")
    endif()
  endif()
  if(DEFINED arg_FORM AND NOT arg_FORM MATCHES "^(HEADER|SPLIT|ASM)$")
    message(FATAL_ERROR "vantrel_add_headers: FORM ${arg_FORM} is not HEADER, SPLIT or ASM")
  endif()

  # The compilers of the folder that made the target, not the languages the
  # whole build has enabled: Vantrel's own project enables C for itself, and
  # a C++ project that builds it with add_subdirectory has no rule for C in
  # its own folders all the same.
  get_target_property(target_folder ${target} SOURCE_DIR)
  set(quoting "")     # languages whose compiler takes -iquote
  set(not_quoting "")
  set(data_language "")
  set(gnu_data_compiler FALSE)
  foreach(language C CXX OBJC OBJCXX)
    get_directory_property(loaded DIRECTORY "${target_folder}" DEFINITION CMAKE_${language}_COMPILER_LOADED)
    if(NOT loaded)
      continue()
    endif()
    get_directory_property(id DIRECTORY "${target_folder}" DEFINITION CMAKE_${language}_COMPILER_ID)
    get_directory_property(variant DIRECTORY "${target_folder}" DEFINITION CMAKE_${language}_COMPILER_FRONTEND_VARIANT)
    # GCC and Clang with their own command line; clang-cl takes MSVC's.
    set(gnu FALSE)
    if(id MATCHES "^(GNU|Clang|AppleClang)$" AND NOT variant STREQUAL "MSVC")
      set(gnu TRUE)
      list(APPEND quoting ${language})
    else()
      list(APPEND not_quoting ${language})
    endif()
    # The sources are C, and C++ too (the guard and the linkage in the
    # header are written for it): C++ compiles them where C is missing.
    if(NOT data_language AND language MATCHES "^(C|CXX)$")
      set(data_language ${language})
      set(gnu_data_compiler ${gnu})
    endif()
  endforeach()
  if(DEFINED arg_FORM)
    set(form ${arg_FORM})
    if(NOT form STREQUAL "HEADER" AND NOT data_language)
      message(FATAL_ERROR "vantrel_add_headers: FORM ${form} makes C sources, and ${target}'s folder has neither C nor C++ enabled")
    endif()
  elseif(gnu_data_compiler)
    set(form ASM)
  elseif(data_language)
    set(form SPLIT)
  else()
    # Nothing to compile a source with: the headers as before.
    set(form HEADER)
  endif()
  set(form_option "")
  if(form STREQUAL "SPLIT")
    set(form_option --split)
  elseif(form STREQUAL "ASM")
    set(form_option --asm)
  endif()

  # A folder per target, so that two targets' headers of the same name do
  # not meet.
  set(folder "${CMAKE_CURRENT_BINARY_DIR}/vantrel-headers/${target}")
  file(MAKE_DIRECTORY "${folder}")

  set(pictures "")
  foreach(image IN LISTS arg_IMAGES)
    get_filename_component(image "${image}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    list(APPEND pictures "${image}")
  endforeach()

  # The headers' names first, checked before any rule is made: against each
  # other, against the target's earlier calls (whose rules for the same file
  # CMake would only refuse in words of its own), and against the standard
  # headers where an ordinary include path would let them hide one.
  set(names "")
  if(arg_COMBINED)
    if(DEFINED arg_NAME)
      set(names "${arg_NAME}")
    else()
      set(names data.h)
    endif()
  else()
    foreach(picture IN LISTS pictures)
      # vantrel's own rule: the last three characters become "h", and the
      # header goes into the output folder under its name alone.
      string(LENGTH "${picture}" length)
      math(EXPR kept "${length} - 3")
      string(SUBSTRING "${picture}" 0 ${kept} stem)
      get_filename_component(name "${stem}h" NAME)
      if(name IN_LIST names)
        message(FATAL_ERROR "vantrel_add_headers: two pictures would make ${name}")
      endif()
      list(APPEND names "${name}")
    endforeach()
  endif()
  get_property(made TARGET ${target} PROPERTY VANTREL_HEADER_NAMES)
  set(advice "")
  if(arg_COMBINED)
    set(advice "; give this call a NAME of its own")
  endif()
  foreach(name IN LISTS names)
    if(name IN_LIST made)
      message(FATAL_ERROR "vantrel_add_headers: an earlier call already makes ${name} for ${target}${advice}")
    endif()
  endforeach()
  set_property(TARGET ${target} APPEND PROPERTY VANTREL_HEADER_NAMES ${names})
  if(not_quoting OR NOT quoting)
    # A compiler without -iquote (MSVC, clang-cl) searches the folder for
    # #include <...> too. It keeps the ordinary include path, which every
    # compiler has, rather than a folder of its own below it, which would
    # change how every program includes the headers; and the names that
    # would hide the library's own headers are refused. C23's headers; C++
    # has no other ".h" ones. Compared without case, for the file systems
    # of Windows and macOS.
    set(standard assert.h complex.h ctype.h errno.h fenv.h float.h inttypes.h iso646.h limits.h locale.h math.h
      setjmp.h signal.h stdalign.h stdarg.h stdatomic.h stdbit.h stdbool.h stdckdint.h stddef.h stdint.h stdio.h
      stdlib.h stdnoreturn.h string.h tgmath.h threads.h time.h uchar.h wchar.h wctype.h)
    set(rename "rename the picture")
    if(arg_COMBINED)
      set(rename "choose another NAME")
    endif()
    foreach(name IN LISTS names)
      string(TOLOWER "${name}" lower)
      if(lower IN_LIST standard)
        message(FATAL_ERROR "vantrel_add_headers: ${name} would hide the standard <${lower}> from ${target}'s "
                            "compiler, which has no include path for #include \"...\" alone; ${rename}")
      endif()
    endforeach()
  endif()

  set(outputs "")
  set(sources "")
  set(name_option "")
  if(DEFINED arg_NAME)
    set(name_option --name "${arg_NAME}")
  endif()
  if(arg_COMBINED AND form STREQUAL "HEADER")
    set(header "${folder}/${names}")
    # vantrel leaves data.h with the images before a picture it refuses, and
    # only Makefiles delete a failed command's output; so vantrel writes it
    # in a folder of its own, outside the include path, and it takes the
    # header's place only once vantrel has succeeded. The old header goes
    # first, so that a failure leaves none.
    set(unfinished "${CMAKE_CURRENT_BINARY_DIR}/vantrel-headers/.unfinished/${target}")
    file(MAKE_DIRECTORY "${unfinished}")
    add_custom_command(OUTPUT "${header}"
      COMMAND "${CMAKE_COMMAND}" -E rm -f "${header}"
      COMMAND Vantrel::vantrel --quiet ${options} --output-dir "${unfinished}" -a ${name_option} ${pictures}
      COMMAND "${CMAKE_COMMAND}" -E rename "${unfinished}/${names}" "${header}"
      DEPENDS ${pictures} Vantrel::vantrel
      COMMENT "Converting pictures into ${names}"
      VERBATIM)
    list(APPEND outputs "${header}")
  else()
    # Each picture's files, or a split form's combined ones, are written in
    # place: vantrel leaves them as they were when it fails (a split form's
    # files, which must agree, all of them, combined too), and the source of
    # ASM names its word files by the path vantrel wrote them at. The old
    # ones go first, so that a failure leaves none.
    if(arg_COMBINED)
      set(runs "${names}")
    else()
      set(runs "${pictures}")
    endif()
    foreach(run name IN ZIP_LISTS runs names)
      string(REGEX REPLACE "h$" "" stem "${folder}/${name}")
      set(files "${stem}h")
      if(NOT form STREQUAL "HEADER")
        list(APPEND files "${stem}c")
        list(APPEND sources "${stem}c")
      endif()
      if(form STREQUAL "ASM")
        # "logo.h" gives "logo.le.bin" and "logo.be.bin".
        string(REGEX REPLACE "\\.$" "" words "${stem}")
        list(APPEND files "${words}.le.bin" "${words}.be.bin")
        # The compiler's list of the files a source needs leaves out what
        # .incbin reads: a picture changed but not its size gives another
        # word file beside the same source text.
        set_source_files_properties("${stem}c" TARGET_DIRECTORY ${target}
          PROPERTIES OBJECT_DEPENDS "${words}.le.bin;${words}.be.bin")
      endif()
      if(arg_COMBINED)
        set(conversion -a ${name_option} ${pictures})
        set(comment "Converting pictures into ${name}")
        set(inputs ${pictures})
      else()
        set(conversion "${run}")
        set(comment "Converting ${run}")
        set(inputs "${run}")
      endif()
      add_custom_command(OUTPUT ${files}
        COMMAND "${CMAKE_COMMAND}" -E rm -f ${files}
        COMMAND Vantrel::vantrel --quiet ${options} ${form_option} --output-dir "${folder}" ${conversion}
        DEPENDS ${inputs} Vantrel::vantrel
        COMMENT "${comment}"
        VERBATIM)
      list(APPEND outputs "${stem}h")
    endforeach()
  endif()
  if(sources AND NOT data_language STREQUAL "C")
    set_source_files_properties(${sources} TARGET_DIRECTORY ${target} PROPERTIES LANGUAGE CXX)
  endif()
  target_sources(${target} PRIVATE ${outputs} ${sources})

  if(quoting)
    list(JOIN quoting "," languages)
    target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:${languages}>:-iquote${folder}>")
  endif()
  if(not_quoting AND quoting)
    list(JOIN not_quoting "," languages)
    target_include_directories(${target} PRIVATE "$<$<COMPILE_LANGUAGE:${languages}>:${folder}>")
  elseif(NOT quoting)
    target_include_directories(${target} PRIVATE "${folder}")
  endif()
endfunction()
