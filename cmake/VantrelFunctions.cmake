# vantrel_add_headers(<target> IMAGES <picture>... [COMBINED [NAME <file>]]
#                     [BACKGROUND <RRGGBB>] [FORM HEADER|SPLIT|ASM] [FRAMES]
#                     [LAYOUT <layout>] [MATRIX BT601|BT709] [RANGE FULL|LIMITED])
#
# Converts the pictures (any format vantrel reads) at build time, in the build tree, and
# gives the results to <target>, which may have been made in another folder
# than the call. Without COMBINED each picture gets its own header; with it,
# all go into one "data.h", or the file NAME gives. The files are named as
# vantrel names them, which it tells when the project is configured
# (vantrel --list-outputs): "logo.png" gives "logo.h", "anim.apng" gives
# "anim.ah". With FRAMES, every frame of an animation (vantrel --frames);
# LAYOUT (YUYV, UYVY, YVYU, VYUY, NV12, NV21, I420, YV12, YUV444, in either
# case), MATRIX and RANGE give vantrel's --layout, --matrix and --range. The FORM:
#   HEADER  headers alone, the data defined in them;
#   SPLIT   a header of declarations and a C source of definitions
#           (vantrel --split: logo.h and logo.c);
#   ASM     the same, the source pulling the words in as assembler data
#           from files of their own, which compiles fastest but only with
#           GCC and Clang (vantrel --asm).
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
# The program is the installed Vantrel::vantrel (find_package), or, with
# Vantrel built beside the caller (add_subdirectory, FetchContent), the one
# built for the build machine when the project is configured
# (host-build.cmake).

function(vantrel_add_headers target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "COMBINED;FRAMES" "BACKGROUND;NAME;FORM;LAYOUT;MATRIX;RANGE" "IMAGES")
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
  if(arg_FRAMES)
    list(APPEND options --frames)
  endif()
  foreach(choice "LAYOUT;yuyv|uyvy|yvyu|vyuy|nv12|nv21|i420|yv12|yuv444" "MATRIX;bt601|bt709" "RANGE;full|limited")
    list(GET choice 0 keyword)
    list(GET choice 1 values)
    if(DEFINED arg_${keyword})
      string(TOLOWER "${arg_${keyword}}" value)
      if(NOT value MATCHES "^(${values})$")
        message(FATAL_ERROR "vantrel_add_headers: ${keyword} ${arg_${keyword}} is not one of ${values}")
      endif()
      string(TOLOWER "--${keyword}" option)
      list(APPEND options ${option} ${value})
    endif()
  endforeach()
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

  # The program that converts, and that tells the names of what it will
  # make while the project is configured: the installed one (find_package),
  # or the one built for this machine beside the caller (host-build.cmake).
  # One file whatever the configuration, so that switching between them
  # converts nothing again.
  if(TARGET vantrel_host_program)
    set(program_target vantrel_host_program)
  elseif(TARGET Vantrel::vantrel)
    get_target_property(imported Vantrel::vantrel IMPORTED)
    if(NOT imported)
      message(FATAL_ERROR "vantrel_add_headers: works in a project that uses Vantrel (find_package, add_subdirectory), not in Vantrel's own")
    endif()
    set(program_target Vantrel::vantrel)
  else()
    message(FATAL_ERROR "vantrel_add_headers: no Vantrel::vantrel; find_package(Vantrel) first")
  endif()
  get_target_property(program ${program_target} LOCATION)
  if(NOT TARGET vantrel_host)
    # A new vantrel may name its files otherwise: the project is configured
    # again. (The one built here is built again as it is configured.)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${program}")
  endif()

  # A folder per target, so that two targets' headers of the same name do
  # not meet. vantrel writes in a second one, outside the include path (see
  # the commands below), whose files then take their places in the first.
  set(folder "${CMAKE_CURRENT_BINARY_DIR}/vantrel-headers/${target}")
  set(work "${CMAKE_CURRENT_BINARY_DIR}/vantrel-headers/.work/${target}")
  file(MAKE_DIRECTORY "${folder}" "${work}")

  set(pictures "")
  foreach(image IN LISTS arg_IMAGES)
    get_filename_component(image "${image}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    list(APPEND pictures "${image}")
  endforeach()
  set(name_option "")
  if(DEFINED arg_NAME)
    set(name_option --name "${arg_NAME}")
  endif()
  if(arg_COMBINED)
    set(conversion -a ${name_option} ${pictures})
  else()
    set(conversion ${pictures})
  endif()
  set(run_options --quiet ${options} ${form_option} --output-dir "${work}")

  # What vantrel will make, as it names it: one run's header, source and
  # identifiers, or each picture's.
  execute_process(COMMAND "${program}" --list-outputs ${run_options} ${conversion}
    RESULT_VARIABLE failed OUTPUT_VARIABLE listing ERROR_VARIABLE listing)
  if(failed)
    string(STRIP "${listing}" listing)
    message(FATAL_ERROR "vantrel_add_headers: ${program} refuses these pictures: ${listing}")
  endif()
  string(REGEX REPLACE "\n$" "" listing "${listing}")
  string(REPLACE ";" "\\;" listing "${listing}")
  string(REPLACE "\n" ";" listing "${listing}")
  set(names "")        # each run's header's name
  set(source_names "")  # its source's, or "-"
  set(identifiers "")
  foreach(line IN LISTS listing)
    if(NOT line MATCHES "^(header|source|identifier) (.*)$")
      message(FATAL_ERROR "vantrel_add_headers: ${program} --list-outputs printed \"${line}\"")
    endif()
    set(value "${CMAKE_MATCH_2}")
    get_filename_component(file "${value}" NAME)
    if(CMAKE_MATCH_1 STREQUAL "header")
      list(APPEND names "${file}")
      list(APPEND source_names -)
    elseif(CMAKE_MATCH_1 STREQUAL "source")
      list(POP_BACK source_names)
      list(APPEND source_names "${file}")
    else()
      list(APPEND identifiers "${value}")
    endif()
  endforeach()

  # Checked before any rule is made: the headers against each other and
  # against the target's earlier calls (whose rules for the same file CMake
  # would only refuse in words of its own), without regard to case, as
  # the file systems of Windows and macOS name files; and the
  # identifiers, which a program links once.
  get_property(made TARGET ${target} PROPERTY VANTREL_HEADER_NAMES)
  get_property(declared TARGET ${target} PROPERTY VANTREL_IDENTIFIERS)
  set(advice "")
  if(arg_COMBINED)
    set(advice "; give this call a NAME of its own")
  endif()
  set(headers "")
  foreach(name IN LISTS names)
    string(TOLOWER "${name}" lower)
    if(lower IN_LIST headers)
      message(FATAL_ERROR "vantrel_add_headers: two pictures would make ${name}, or one file where case is not told apart")
    elseif(lower IN_LIST made)
      message(FATAL_ERROR "vantrel_add_headers: an earlier call already makes ${name} for ${target}${advice}")
    endif()
    list(APPEND headers "${lower}")
  endforeach()
  set(these "")
  foreach(identifier IN LISTS identifiers)
    if(identifier IN_LIST these OR identifier IN_LIST declared)
      message(FATAL_ERROR "vantrel_add_headers: two pictures of ${target} would both be named ${identifier} in C; rename one")
    endif()
    list(APPEND these "${identifier}")
  endforeach()
  set_property(TARGET ${target} APPEND PROPERTY VANTREL_HEADER_NAMES ${headers})
  set_property(TARGET ${target} APPEND PROPERTY VANTREL_IDENTIFIERS ${these})
  if(not_quoting OR NOT quoting)
    # A compiler without -iquote (MSVC, clang-cl) searches the folder for
    # #include <...> too. It keeps the ordinary include path, which every
    # compiler has, rather than a folder of its own below it, which would
    # change how every program includes the headers; and the names that
    # would hide the library's own headers are refused. C23's headers; C++
    # has no other ".h" ones.
    set(standard assert.h complex.h ctype.h errno.h fenv.h float.h inttypes.h iso646.h limits.h locale.h math.h
      setjmp.h signal.h stdalign.h stdarg.h stdatomic.h stdbit.h stdbool.h stdckdint.h stddef.h stdint.h stdio.h
      stdlib.h stdnoreturn.h string.h tgmath.h threads.h time.h uchar.h wchar.h wctype.h)
    set(rename "rename the picture")
    if(arg_COMBINED)
      set(rename "choose another NAME")
    endif()
    foreach(name lower IN ZIP_LISTS names headers)
      if(lower IN_LIST standard)
        message(FATAL_ERROR "vantrel_add_headers: ${name} would hide the standard <${lower}> from ${target}'s "
                            "compiler, which has no include path for #include \"...\" alone; ${rename}")
      endif()
    endforeach()
  endif()

  # A rule per run of vantrel: each picture's, or the combined files'. The
  # files vantrel made last go aside into the work folder first, so that a
  # picture it refuses leaves none where the compiler looks (it leaves its
  # own files as they were, and combined ones with the images before the
  # failure); vantrel writes there, and its files then move into place.
  # A split form's header whose text is the same stays as it was, time and
  # all, so that only the source is compiled again: it is no output of the
  # rule but a byproduct, which Ninja looks at again after the rule (restat)
  # and the Makefile generator leaves alone (it touches a rule's second
  # outputs). The source, or the header alone, is the output, always touched,
  # so that it is newer than the picture. The word files of ASM stay in the
  # work folder, where the source names them; their names change with
  # their words, and with them the source.
  if(arg_COMBINED)
    set(runs COMBINED)
  else()
    set(runs ${pictures})
  endif()
  set(outputs "")
  set(headers_made "")
  set(sources "")
  foreach(run name source_name IN ZIP_LISTS runs names source_names)
    set(header "${folder}/${name}")
    set(moves COMMAND "${CMAKE_COMMAND}" -E rename "${work}/${name}" "${header}")
    if(source_name STREQUAL "-")
      set(output "${header}")
      set(byproducts "")
      set(aside "${header}")
    else()
      set(output "${folder}/${source_name}")
      set(byproducts BYPRODUCTS "${header}")
      set(aside "${header}" "${output}")
      list(APPEND moves COMMAND "${CMAKE_COMMAND}" -E rename "${work}/${source_name}" "${output}")
      list(APPEND sources "${output}")
    endif()
    if(arg_COMBINED)
      set(inputs ${pictures})
      set(comment "Converting pictures into ${name}")
    else()
      set(conversion "${run}")
      set(inputs "${run}")
      set(comment "Converting ${run}")
    endif()
    add_custom_command(OUTPUT "${output}" ${byproducts}
      COMMAND "${CMAKE_COMMAND}" -P "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/VantrelSetAside.cmake" "${work}" ${aside}
      COMMAND "${program}" ${run_options} ${conversion}
      ${moves}
      COMMAND "${CMAKE_COMMAND}" -E touch "${output}"
      DEPENDS ${inputs} "${program}"
      COMMENT "${comment}"
      VERBATIM)
    list(APPEND outputs "${output}")
    list(APPEND headers_made "${header}")
  endforeach()

  # The rules belong to this folder's target, on which the target waits:
  # the function may be called from another folder than the target's,
  # whose targets a rule here reaches with no other generator than Ninja.
  get_property(calls TARGET ${target} PROPERTY VANTREL_CALLS)
  math(EXPR calls "${calls} + 1")
  set_property(TARGET ${target} PROPERTY VANTREL_CALLS ${calls})
  string(MAKE_C_IDENTIFIER "vantrel_headers_${target}_${calls}" conversions)
  add_custom_target(${conversions} DEPENDS ${outputs})
  if(TARGET vantrel_host)
    add_dependencies(${conversions} vantrel_host)
  endif()
  add_dependencies(${target} ${conversions})
  set_source_files_properties(${headers_made} ${sources} TARGET_DIRECTORY ${target} PROPERTIES GENERATED TRUE)
  # The language named, since vantrel's names need not end in ".c"
  # (anim.apng gives anim.ac).
  if(sources)
    set_source_files_properties(${sources} TARGET_DIRECTORY ${target} PROPERTIES LANGUAGE ${data_language})
  endif()
  target_sources(${target} PRIVATE ${headers_made} ${sources})

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
