# Vantrel inside the build of a project for another processor (firmware,
# say): its programs would not run on the machine that builds. A vantrel is
# built for that machine instead, with its own compiler, in a build of its
# own, and Vantrel::vantrel names it; VANTREL_EXECUTABLE may name one that
# is already there.
if(VANTREL_EXECUTABLE)
  add_executable(Vantrel::vantrel IMPORTED GLOBAL)
  set_target_properties(Vantrel::vantrel PROPERTIES IMPORTED_LOCATION "${VANTREL_EXECUTABLE}")
  return()
endif()

include(ExternalProject)
set(host_build "${PROJECT_BINARY_DIR}/host")
set(suffix "")
if(CMAKE_HOST_WIN32)
  set(suffix ".exe")
endif()
# The host's own compilers: neither the toolchain file nor its compilers
# reach this build. It takes the outer build's generator, which may keep a
# folder per configuration (Ninja Multi-Config, Visual Studio, Xcode) and
# build Debug unless told otherwise; so it is always Release, asked for both
# ways (CMAKE_BUILD_TYPE for the others, --config for these), and the
# Release output folder is named outright, since a generator adds no folder
# of its own to that one. vantrel then lands in the same place with every
# generator, the place imported below.
ExternalProject_Add(vantrel_host
  SOURCE_DIR "${PROJECT_SOURCE_DIR}"
  BINARY_DIR "${host_build}"
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release "-DCMAKE_RUNTIME_OUTPUT_DIRECTORY_RELEASE=${host_build}"
             -DVANTREL_BUILD_TESTING=OFF
  BUILD_COMMAND "${CMAKE_COMMAND}" --build "${host_build}" --config Release --target vantrel
  BUILD_BYPRODUCTS "${host_build}/vantrel${suffix}"
  INSTALL_COMMAND ""
  # Rebuilt when Vantrel's sources change.
  BUILD_ALWAYS TRUE)
add_executable(Vantrel::vantrel IMPORTED GLOBAL)
set_target_properties(Vantrel::vantrel PROPERTIES IMPORTED_LOCATION "${host_build}/vantrel${suffix}")
add_dependencies(Vantrel::vantrel vantrel_host)
