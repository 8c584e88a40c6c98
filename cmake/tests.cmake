# The tests: GoogleTest tests run by CTest, and on Windows builds under the
# emulator that runs them (windows-tests.cmake).
find_package(GTest)
if(NOT GTest_FOUND AND CMAKE_CROSSCOMPILING)
  include(${CMAKE_CURRENT_LIST_DIR}/gtest-from-source.cmake)
endif()
if(NOT GTest_FOUND)
  message(FATAL_ERROR "GoogleTest not found (Debian: libgtest-dev); -DVANTREL_BUILD_TESTING=OFF builds the programs alone")
endif()

enable_testing()
add_executable(vantrel_tests
  tests/conversion_test.cpp
  tests/reader_test.cpp
  tests/png_reader_test.cpp
  tests/names_test.cpp
  tests/cli_test.cpp
  tests/cli_options_test.cpp
  tests/compile_test.cpp
  tests/corpus_test.cpp
  tests/big_picture_test.cpp
  tests/split_forms_test.cpp)
target_sources(vantrel_tests PRIVATE tests/round_trip_test.cpp preview/colour.cpp)
target_compile_definitions(vantrel_tests PRIVATE VANTREL_PREVIEW="$<TARGET_FILE:vantrel-preview>")
add_dependencies(vantrel_tests vantrel-preview)
target_include_directories(vantrel_tests PRIVATE tests preview)
target_compile_definitions(vantrel_tests PRIVATE
  VANTREL_EXE="$<TARGET_FILE:vantrel>"
  VANTREL_CC="${CMAKE_C_COMPILER}"
  VANTREL_CXX="${CMAKE_CXX_COMPILER}"
  VANTREL_TEST_FILES="${PROJECT_SOURCE_DIR}/tests/files"
  $<$<OR:$<BOOL:${VANTREL_SANITIZE}>,$<BOOL:${VANTREL_TSAN}>>:VANTREL_SANITIZED>)
target_link_libraries(vantrel_tests PRIVATE vantrel_core GTest::gtest_main)
include(GoogleTest)
if(CMAKE_CROSSCOMPILING)
  include(${CMAKE_CURRENT_LIST_DIR}/windows-tests.cmake)
else()
  gtest_discover_tests(vantrel_tests DISCOVERY_TIMEOUT 60)
endif()

# The build integration as users meet it: a small project built against
# the installed package and with Vantrel in its build, with Ninja and
# Makefiles, and by GNU Make (tests/consumer/run.sh).
if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME consumer_project COMMAND bash "${PROJECT_SOURCE_DIR}/tests/consumer/run.sh" "${PROJECT_BINARY_DIR}"
                                         "${PROJECT_SOURCE_DIR}")
  set_tests_properties(consumer_project PROPERTIES LABELS build TIMEOUT 1200)
endif()
