# What `cmake --install` puts in place: the programs, this README and
# LICENSE, and the CMake package that lets another project's build use them:
#   find_package(Vantrel 1.0)  ->  Vantrel::vantrel, Vantrel::vantrel-preview,
#                                  vantrel_add_headers()
# A project that builds Vantrel itself (add_subdirectory, FetchContent) gets
# the same names from the aliases below.
include(CMakePackageConfigHelpers)

add_executable(Vantrel::vantrel ALIAS vantrel)
add_executable(Vantrel::vantrel-preview ALIAS vantrel-preview)

# Windows has no shared bin and share/doc to join: there the programs, the
# README and LICENSE sit together at the top of their folder (or .zip),
# where a user who unpacks it looks first.
if(WIN32)
  set(program_folder .)
  set(doc_folder .)
else()
  set(program_folder bin)
  set(doc_folder share/doc/vantrel)
endif()
install(TARGETS vantrel vantrel-preview EXPORT VantrelTargets RUNTIME DESTINATION ${program_folder})
install(FILES README.md LICENSE DESTINATION ${doc_folder})

set(package_folder lib/cmake/Vantrel)
install(EXPORT VantrelTargets NAMESPACE Vantrel:: DESTINATION ${package_folder})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/VantrelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VantrelConfig.cmake INSTALL_DESTINATION ${package_folder})
# 1.x takes any 1.y request of y <= x.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VantrelConfigVersion.cmake
  COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES ${PROJECT_BINARY_DIR}/VantrelConfig.cmake ${PROJECT_BINARY_DIR}/VantrelConfigVersion.cmake
  ${CMAKE_CURRENT_LIST_DIR}/VantrelFunctions.cmake ${CMAKE_CURRENT_LIST_DIR}/VantrelSetAside.cmake
  DESTINATION ${package_folder})
