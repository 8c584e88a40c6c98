# vantrel_add_headers(<target> IMAGES <picture>... [COMBINED] [BACKGROUND <RRGGBB>])
#
# Converts the pictures (BMP or PNG) into C headers at build time, in the
# build tree, and gives them to <target>: its include path gets their
# folder, its sources the headers. Without COMBINED each picture gets its own
# header, named as vantrel names it ("logo.png" gives "logo.h"); with it, all
# go into one "data.h". A header is made again exactly when its picture or
# the vantrel program changes. A picture vantrel refuses fails the build with
# vantrel's error line, and leaves no header of its own behind.
#
# The program is Vantrel::vantrel: the installed one (find_package), or the
# one built beside the caller (add_subdirectory, FetchContent), which in a
# build for another processor is built for the build machine
# (host-build.cmake).

function(vantrel_add_headers target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "COMBINED" "BACKGROUND" "IMAGES")
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

  # A folder per target, so that two targets' headers of the same name do
  # not meet.
  set(folder "${CMAKE_CURRENT_BINARY_DIR}/vantrel-headers/${target}")
  file(MAKE_DIRECTORY "${folder}")

  set(pictures "")
  foreach(image IN LISTS arg_IMAGES)
    get_filename_component(image "${image}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    list(APPEND pictures "${image}")
  endforeach()

  set(headers "")
  if(arg_COMBINED)
    set(header "${folder}/data.h")
    # vantrel leaves data.h with the images before a picture it refuses, and
    # only Makefiles delete a failed command's output; so vantrel writes it
    # in a folder of its own, outside the include path, and it takes the
    # header's place only once vantrel has succeeded. The old header goes
    # first, so that a failure leaves none.
    set(unfinished "${CMAKE_CURRENT_BINARY_DIR}/vantrel-headers/.unfinished/${target}")
    file(MAKE_DIRECTORY "${unfinished}")
    add_custom_command(OUTPUT "${header}"
      COMMAND "${CMAKE_COMMAND}" -E rm -f "${header}"
      COMMAND Vantrel::vantrel ${options} --output-dir "${unfinished}" -a ${pictures}
      COMMAND "${CMAKE_COMMAND}" -E rename "${unfinished}/data.h" "${header}"
      DEPENDS ${pictures} Vantrel::vantrel
      COMMENT "Converting pictures into data.h"
      VERBATIM)
    list(APPEND headers "${header}")
  else()
    foreach(picture IN LISTS pictures)
      # vantrel's own rule: the last three characters become "h", and the
      # header goes into the output folder under its name alone.
      string(LENGTH "${picture}" length)
      math(EXPR kept "${length} - 3")
      string(SUBSTRING "${picture}" 0 ${kept} stem)
      get_filename_component(name "${stem}h" NAME)
      set(header "${folder}/${name}")
      if(header IN_LIST headers)
        message(FATAL_ERROR "vantrel_add_headers: two pictures would make ${name}")
      endif()
      add_custom_command(OUTPUT "${header}"
        COMMAND "${CMAKE_COMMAND}" -E rm -f "${header}"
        COMMAND Vantrel::vantrel ${options} --output-dir "${folder}" "${picture}"
        DEPENDS "${picture}" Vantrel::vantrel
        COMMENT "Converting ${picture}"
        VERBATIM)
      list(APPEND headers "${header}")
    endforeach()
  endif()
  target_sources(${target} PRIVATE ${headers})
  target_include_directories(${target} PRIVATE "${folder}")
endfunction()
