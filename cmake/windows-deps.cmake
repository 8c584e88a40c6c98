# The MinGW-w64 build's decoders: zlib, libpng, libjpeg-turbo, giflib and
# libwebp, compiled from the Debian source packages pinned in
# debian-sources.cmake and linked statically. Linux decodes with Debian's
# builds of the same sources, so a picture gives the same words on both, and
# the .exe files still import nothing but the system's DLLs.
#
# They are built at configure time, so that find_package() finds them like
# any installed library, into VANTREL_DEPS_DIR/<triple>-<key>, the key a hash
# of the pins and of this recipe: a folder that holds its `complete` stamp is
# used as it is, and anything else is built afresh. Only what Vantrel links is
# kept: static libraries, headers and the CMake and pkg-config files.

set(VANTREL_DEPS_DIR "${CMAKE_BINARY_DIR}/deps" CACHE PATH
  "Where the Windows build keeps the decoders it compiles from Debian's sources (shareable between build trees)")
set(VANTREL_DEBIAN_MIRROR "" CACHE STRING
  "The Debian archive the Windows build downloads the decoders' source packages from (default: apt's own)")

# Where apt on this machine takes Debian's packages from, the -dev packages
# that the Linux build links among them: the first source whose suites name
# the release this machine runs (deb822 .sources files, then sources.list).
function(deps_apt_archive result)
  set(codename "")
  if(EXISTS /etc/os-release)
    file(STRINGS /etc/os-release release REGEX "^VERSION_CODENAME=")
    string(REGEX REPLACE "^VERSION_CODENAME=\"?([^\"]*)\"?$" "\\1" codename "${release}")
  endif()
  if(NOT codename)
    set(codename bookworm)
  endif()
  file(GLOB lists /etc/apt/sources.list.d/*.sources)
  foreach(list IN LISTS lists)
    file(READ "${list}" text)
    string(REPLACE "\n\n" ";" stanzas "${text}")
    foreach(stanza IN LISTS stanzas)
      if(stanza MATCHES "(^|\n)Suites:[^\n]*[ \t]${codename}([ \t]|\n|$)" AND
         stanza MATCHES "(^|\n)URIs:[ \t]*([^ \t\n]+)")
        set(${result} "${CMAKE_MATCH_2}" PARENT_SCOPE)
        return()
      endif()
    endforeach()
  endforeach()
  if(EXISTS /etc/apt/sources.list)
    file(STRINGS /etc/apt/sources.list lines REGEX "^deb[ \t]+[^ \t]+[ \t]+${codename}[ \t]")
    foreach(line IN LISTS lines)
      if(line MATCHES "^deb[ \t]+([^ \t]+)")
        set(${result} "${CMAKE_MATCH_1}" PARENT_SCOPE)
        return()
      endif()
    endforeach()
  endif()
  set(${result} "" PARENT_SCOPE)
endfunction()
set(deps_archive "${VANTREL_DEBIAN_MIRROR}")
if(NOT deps_archive)
  deps_apt_archive(deps_archive)
endif()
if(NOT deps_archive)
  message(FATAL_ERROR "No Debian archive found in apt's sources for the Windows build's decoders: "
                      "-DVANTREL_DEBIAN_MIRROR=<the archive's URL> names one")
endif()

execute_process(COMMAND ${CMAKE_C_COMPILER} -dumpmachine OUTPUT_VARIABLE deps_triple OUTPUT_STRIP_TRAILING_WHITESPACE)
file(SHA256 ${CMAKE_CURRENT_LIST_DIR}/debian-sources.cmake deps_pins_hash)
file(SHA256 ${CMAKE_CURRENT_LIST_FILE} deps_recipe_hash)
string(SHA256 deps_key "${deps_pins_hash} ${deps_recipe_hash}")
string(SUBSTRING ${deps_key} 0 12 deps_key)
set(deps_prefix "${VANTREL_DEPS_DIR}/${deps_triple}-${deps_key}")
set(deps_work "${VANTREL_DEPS_DIR}/work-${deps_triple}")

# Records one source package (see debian-sources.cmake), and warns when the
# Linux -dev package installed here is of another version: the two builds
# would then decode with different code.
set(deps_sources)
macro(debian_source name version folder dev_package)
  list(APPEND deps_sources ${name})
  set(deps_${name}_version ${version})
  set(deps_${name}_folder ${folder})
  set(deps_${name}_files ${ARGN})
  execute_process(COMMAND dpkg-query -W -f=\${Version} ${dev_package}
                  OUTPUT_VARIABLE deps_installed RESULT_VARIABLE deps_status ERROR_QUIET)
  if(deps_status EQUAL 0 AND NOT deps_installed STREQUAL "${version}")
    message(WARNING "The Windows build compiles ${name} ${version}; Linux has ${dev_package} ${deps_installed}")
  endif()
endmacro()
include(${CMAKE_CURRENT_LIST_DIR}/debian-sources.cmake)

# Runs a command of a library's build, its output appended to the library's
# log, which the error names.
function(deps_run name)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  file(APPEND "${deps_work}/${name}.log" "$ ${ARGN}\n${output}\n")
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "error: building ${name} for ${deps_triple} failed: see ${deps_work}/${name}.log")
  endif()
endfunction()

# Downloads a source package's files into the shared downloads folder, each
# checked against its pinned SHA-256 (a file already there is checked again),
# and unpacks it with dpkg-source, which applies Debian's patches, into
# deps_work/<name>.
function(deps_unpack name)
  set(downloads "${VANTREL_DEPS_DIR}/downloads")
  set(files ${deps_${name}_files})
  list(GET files 0 dsc)
  while(files)
    list(POP_FRONT files file hash)
    set(path "${downloads}/${file}")
    if(EXISTS "${path}")
      file(SHA256 "${path}" have)
      if(have STREQUAL hash)
        continue()
      endif()
    endif()
    set(url "${deps_archive}/${deps_${name}_folder}/${file}")
    message(STATUS "Downloading ${url}")
    file(DOWNLOAD "${url}" "${path}" EXPECTED_HASH SHA256=${hash} STATUS status)
    list(GET status 0 code)
    if(NOT code EQUAL 0)
      file(REMOVE "${path}")
      list(GET status 1 reason)
      message(FATAL_ERROR "error: can't download ${url}: ${reason}")
    endif()
  endwhile()
  deps_run(${name} ${VANTREL_DPKG_SOURCE} -x "${downloads}/${dsc}" "${deps_work}/${name}")
endfunction()

# Configures and builds a library's own CMake project for this triple, with
# the toolchain file Vantrel is built with.
function(deps_cmake name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "TARGETS;OPTIONS")
  deps_run(${name} ${CMAKE_COMMAND} -S "${deps_work}/${name}" -B "${deps_work}/${name}-build"
           -G "${CMAKE_GENERATOR}" -DCMAKE_MAKE_PROGRAM=${CMAKE_MAKE_PROGRAM}
           -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE} -DCMAKE_BUILD_TYPE=Release
           -DCMAKE_INSTALL_PREFIX=${deps_prefix} -DBUILD_SHARED_LIBS=OFF ${arg_OPTIONS})
  deps_run(${name} ${CMAKE_COMMAND} --build "${deps_work}/${name}-build" -j 2 --target ${arg_TARGETS})
endfunction()

function(deps_build)
  message(STATUS "Building the decoders for ${deps_triple} from Debian's sources into ${deps_prefix}")
  file(REMOVE_RECURSE "${deps_prefix}" "${deps_work}")
  file(MAKE_DIRECTORY "${deps_prefix}/include" "${deps_prefix}/lib" "${deps_work}")
  foreach(name IN LISTS deps_sources)
    deps_unpack(${name})
  endforeach()
  set(src "${deps_work}")

  # zlib's CMake project always builds a DLL too and installs both, so its
  # static library is built alone and copied under the name FindZLIB knows.
  deps_cmake(zlib TARGETS zlibstatic)
  file(COPY "${src}/zlib/zlib.h" "${src}/zlib-build/zconf.h" DESTINATION "${deps_prefix}/include")
  file(COPY_FILE "${src}/zlib-build/libzlibstatic.a" "${deps_prefix}/lib/libz.a")

  deps_cmake(libpng1.6 TARGETS install OPTIONS
    -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DSKIP_INSTALL_FILES=ON -DSKIP_INSTALL_EXPORT=ON
    -DZLIB_LIBRARY=${deps_prefix}/lib/libz.a -DZLIB_INCLUDE_DIR=${deps_prefix}/include)

  # libjpeg-turbo's SIMD code needs nasm; without it the library gives the
  # same samples (the SIMD code matches the C code bit for bit for the
  # integer DCT that decoding uses). Its install takes the programs along,
  # so the library and its four headers are copied.
  deps_cmake(libjpeg-turbo TARGETS jpeg-static OPTIONS -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF)
  file(COPY "${src}/libjpeg-turbo/jpeglib.h" "${src}/libjpeg-turbo/jerror.h" "${src}/libjpeg-turbo/jmorecfg.h"
            "${src}/libjpeg-turbo-build/jconfig.h" DESTINATION "${deps_prefix}/include")
  file(COPY "${src}/libjpeg-turbo-build/libjpeg.a" DESTINATION "${deps_prefix}/lib")

  # giflib has nothing but a Makefile, whose libgif.a target is the library.
  deps_run(giflib make -C "${src}/giflib" -j 2 CC=${CMAKE_C_COMPILER} AR=${CMAKE_AR} libgif.a)
  file(COPY "${src}/giflib/gif_lib.h" DESTINATION "${deps_prefix}/include")
  file(COPY "${src}/giflib/libgif.a" DESTINATION "${deps_prefix}/lib")

  # libwebp with its demux library (WebPAnimDecoder), none of its programs.
  set(webp_off)
  foreach(part ANIM_UTILS CWEBP DWEBP GIF2WEBP IMG2WEBP VWEBP WEBPINFO LIBWEBPMUX WEBPMUX EXTRAS)
    list(APPEND webp_off -DWEBP_BUILD_${part}=OFF)
  endforeach()
  deps_cmake(libwebp TARGETS install OPTIONS ${webp_off})

  file(REMOVE_RECURSE "${deps_prefix}/bin" "${deps_prefix}/share/man" "${deps_prefix}/share/doc" "${deps_work}")
  set(versions)
  foreach(name IN LISTS deps_sources)
    list(APPEND versions "${name} ${deps_${name}_version}")
  endforeach()
  list(JOIN versions "\n" versions)
  file(WRITE "${deps_prefix}/complete" "${versions}\n")
endfunction()

# One configure at a time builds in a shared VANTREL_DEPS_DIR; the others
# wait, then find the libraries complete.
file(LOCK "${VANTREL_DEPS_DIR}/lock" GUARD FILE)
if(NOT EXISTS "${deps_prefix}/complete")
  find_program(VANTREL_DPKG_SOURCE dpkg-source)
  if(NOT VANTREL_DPKG_SOURCE)
    message(FATAL_ERROR "dpkg-source not found (Debian: dpkg-dev): the Windows build unpacks its decoders' Debian sources with it")
  endif()
  string(TIMESTAMP deps_start "%s")
  deps_build()
  string(TIMESTAMP deps_end "%s")
  math(EXPR deps_seconds "${deps_end} - ${deps_start}")
  message(STATUS "Built the decoders for ${deps_triple} in ${deps_seconds} s")
endif()
file(LOCK "${VANTREL_DEPS_DIR}/lock" RELEASE)

# Searched first, and inside the toolchain's find root, so that find_package
# (PNG, ZLIB, JPEG, GIF, and WebP in CONFIG mode) takes these.
list(PREPEND CMAKE_FIND_ROOT_PATH "${deps_prefix}")
list(PREPEND CMAKE_PREFIX_PATH "${deps_prefix}")
