# Packages of what `cmake --install` puts in place (package.cmake), made by
# `cpack` in the build tree: a .deb for Debian and Ubuntu and a .tar.gz for
# other Linux systems, or from a Windows build a .zip. Their names carry the
# version given to project(), which the programs' --version prints too.
set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR Vantrel)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert pictures into C source")
# Lines of Debian's width: the .deb's control file keeps them as they are.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "vantrel converts BMP, PNG, JPEG, GIF, WebP, QOI and TGA pictures into C\n"
  "headers, or headers and sources, of 32-bit words that a program compiles\n"
  "in; vantrel-preview turns such headers back into PNG pictures. The CMake\n"
  "package, find_package(Vantrel), gives vantrel_add_headers(), which converts\n"
  "a target's pictures as it builds.")
# A .deb must name its maintainer: -DVANTREL_PACKAGE_CONTACT=... names
# whoever builds and hands out the packages.
set(VANTREL_PACKAGE_CONTACT "Vantrel maintainers <maintainers@users.noreply.c-seed-7f1ad043.example>"
  CACHE STRING "Maintainer named in the packages")
set(CPACK_PACKAGE_CONTACT "${VANTREL_PACKAGE_CONTACT}")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_RESOURCE_FILE_README "${PROJECT_SOURCE_DIR}/README.md")
# The release build keeps its symbols; the packages need none of them.
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # vantrel-1.0-win64.zip or -win32.zip, after the build's pointer size.
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB TGZ)
  # The programs are built for one processor: vantrel-1.0-Linux-x86_64.tar.gz.
  set(CPACK_SYSTEM_NAME ${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR})

  # Debian's policy wants the licence in the machine-readable copyright
  # format and a changelog (gzip -9n: no name or time stamp, so that a
  # rebuild gives the same bytes) in /usr/share/doc/vantrel; the .tar.gz
  # gets them too. Both are made from LICENSE and the version, so that they
  # cannot fall behind.
  set(doc_dir ${PROJECT_BINARY_DIR}/package-doc)
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
  string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" holders "${licence}")
  set(holders "${CMAKE_MATCH_1}")
  string(FIND "${licence}" "Permission" terms_start)
  string(SUBSTRING "${licence}" ${terms_start} -1 terms)
  string(STRIP "${terms}" terms)
  # Continuation lines start with a space; an empty one is " .".
  string(REPLACE "\n\n" "\n.\n" terms "${terms}")
  string(REPLACE "\n" "\n " terms "${terms}")
  file(WRITE ${doc_dir}/copyright
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
    "Upstream-Name: vantrel\n"
    "Upstream-Contact: ${VANTREL_PACKAGE_CONTACT}\n\n"
    "Files: *\n"
    "Copyright: ${holders}\n"
    "License: Expat\n"
    " ${terms}\n")
  # The date honours SOURCE_DATE_EPOCH, as reproducible builds set it.
  string(TIMESTAMP released "%a, %d %b %Y %H:%M:%S +0000" UTC)
  file(WRITE ${doc_dir}/changelog
    "vantrel (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
    "  * Vantrel ${PROJECT_VERSION}.\n\n"
    " -- ${VANTREL_PACKAGE_CONTACT}  ${released}\n")
  find_program(VANTREL_GZIP gzip REQUIRED)
  execute_process(COMMAND ${VANTREL_GZIP} -9nf ${doc_dir}/changelog COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${doc_dir}/copyright ${doc_dir}/changelog.gz DESTINATION share/doc/vantrel)
endif()

# vantrel_1.0_amd64.deb, installed under /usr (CPack's default for a .deb):
# /usr/lib/cmake/Vantrel is where find_package() looks unasked.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
# dpkg-shlibdeps (dpkg-dev) names the libraries the programs link, libpng's
# among them, as the Debian packages and versions of the machine that built
# them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The CMake package is of use only to CMake.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS cmake)

include(CPack)
