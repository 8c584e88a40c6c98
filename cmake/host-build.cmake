# The vantrel that vantrel_add_headers() runs when Vantrel is part of
# another project's build (add_subdirectory, FetchContent): a program for
# the machine that builds, named vantrel_host_program. The function asks it
# for the names of the files it will make while the project is configured,
# so it must exist then, before anything is built; and in a build for
# another processor (firmware, say) the vantrel built beside the project
# would not run at all. So it is built here, as the project is configured,
# with the host's own compilers, in a build of its own; VANTREL_EXECUTABLE
# may name one that is already there.
if(VANTREL_EXECUTABLE)
  add_executable(vantrel_host_program IMPORTED GLOBAL)
  set_target_properties(vantrel_host_program PROPERTIES IMPORTED_LOCATION "${VANTREL_EXECUTABLE}")
  return()
endif()

set(host_build "${PROJECT_BINARY_DIR}/host")
set(suffix "")
if(CMAKE_HOST_WIN32)
  set(suffix ".exe")
endif()
# Nothing of the target's may reach the host's build: CMake takes a
# toolchain file and compilers from the environment as well as from its
# command line, and the flags from CFLAGS and the like.
set(clean_environment "${CMAKE_COMMAND}" -E env --unset=CMAKE_TOOLCHAIN_FILE --unset=CC --unset=CXX
  --unset=CFLAGS --unset=CXXFLAGS --unset=CPPFLAGS --unset=LDFLAGS --unset=CMAKE_BUILD_TYPE
  --unset=CMAKE_CONFIGURATION_TYPES --unset=CMAKE_GENERATOR_PLATFORM --unset=CMAKE_GENERATOR_TOOLSET)
# The outer build's generator, which may keep a folder per configuration
# (Ninja Multi-Config, Visual Studio, Xcode) and build Debug unless told
# otherwise; so it is always Release, asked for both ways (CMAKE_BUILD_TYPE
# for the others, --config for these), and the Release output folder is
# named outright, since a generator adds no folder of its own to that one.
# vantrel then lands in the same place with every generator.
cmake_host_system_information(RESULT processors QUERY NUMBER_OF_LOGICAL_CORES)
set(build_host "${CMAKE_COMMAND}" --build "${host_build}" --config Release --target vantrel --parallel ${processors})
if(NOT EXISTS "${host_build}/CMakeCache.txt")
  message(STATUS "Building vantrel for this machine in ${host_build}")
  set(make_program "")
  if(CMAKE_MAKE_PROGRAM)
    set(make_program "-DCMAKE_MAKE_PROGRAM=${CMAKE_MAKE_PROGRAM}")
  endif()
  execute_process(COMMAND ${clean_environment} "${CMAKE_COMMAND}" -S "${PROJECT_SOURCE_DIR}" -B "${host_build}"
                          -G "${CMAKE_GENERATOR}" ${make_program} -DCMAKE_BUILD_TYPE=Release
                          "-DCMAKE_RUNTIME_OUTPUT_DIRECTORY_RELEASE=${host_build}" -DVANTREL_BUILD_TESTING=OFF
                  RESULT_VARIABLE failed OUTPUT_VARIABLE log ERROR_VARIABLE log)
  if(failed)
    file(REMOVE "${host_build}/CMakeCache.txt")
    message(FATAL_ERROR "Configuring vantrel for this machine in ${host_build} failed:\n${log}")
  endif()
endif()
execute_process(COMMAND ${clean_environment} ${build_host} RESULT_VARIABLE failed OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(failed)
  message(FATAL_ERROR "Building vantrel for this machine in ${host_build} failed:\n${log}")
endif()

add_executable(vantrel_host_program IMPORTED GLOBAL)
set_target_properties(vantrel_host_program PROPERTIES IMPORTED_LOCATION "${host_build}/vantrel${suffix}")
# Kept up to date as the project builds, when Vantrel's sources change:
# every conversion waits for it, and is made again when vantrel is.
add_custom_target(vantrel_host COMMAND ${clean_environment} ${build_host}
  BYPRODUCTS "${host_build}/vantrel${suffix}" VERBATIM)
add_dependencies(vantrel_host_program vantrel_host)
