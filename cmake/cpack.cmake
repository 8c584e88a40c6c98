# Packages of what `cmake --install` puts in place (package.cmake), made by
# `cpack` in the build tree: a .deb for Debian and Ubuntu and a .tar.gz for
# other Linux systems, or from a Windows build a .zip. Their names carry the
# version given to project(), which the programs' --version prints too.
set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR Vantrel)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert BMP and PNG pictures into C source")
# Lines of Debian's width: the .deb's control file keeps them as they are.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "vantrel converts BMP and PNG pictures into C headers, or headers and\n"
  "sources, of 32-bit words that a program compiles in; vantrel-preview turns\n"
  "such headers back into PNG pictures. The CMake package, find_package(Vantrel),\n"
  "gives vantrel_add_headers(), which converts a target's pictures as it builds.")
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
