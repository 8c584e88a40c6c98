# Tests of the cross-built Windows programs: that they need no DLLs beside
# them, and, where an emulator runs them (wine64 for the mingw64 preset, the
# 32-bit wine loader for mingw32), the test program.

# A program copied alone onto any Windows machine has to run there, so the
# GCC runtimes (libstdc++-6.dll, libgcc_s_*.dll, libwinpthread-1.dll) are
# linked in statically: only the system's DLLs may be imported.
foreach(target IN ITEMS vantrel vantrel-preview vantrel_tests)
  add_test(NAME ${target}_system_dlls_only COMMAND ${CMAKE_OBJDUMP} -p $<TARGET_FILE:${target}>)
  set_tests_properties(${target}_system_dlls_only PROPERTIES
    PASS_REGULAR_EXPRESSION "DLL Name: KERNEL32.dll" FAIL_REGULAR_EXPRESSION "DLL Name: lib")
endforeach()

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  message(STATUS "No emulator for ${CMAKE_SYSTEM_NAME} ${CMAKE_SYSTEM_PROCESSOR} programs: the test programs are built, not run")
  return()
endif()

# Wine's own prefix inside the build tree keeps the tests away from the
# user's ~/.wine and starts every fresh build from the same state; its
# diagnostics would only clutter the output.
set(wine_environment "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix" "WINEDEBUG=-all")
# Wine takes the ANSI code page from the Unix locale and turns file names
# into Unix ones in the locale's character set. With no locale set (the C
# locale, as in many CI jobs) that set is ASCII and every non-ASCII name is
# mangled; with C.UTF-8, which glibc has without any locale package, names are UTF-8 on disk and
# the code page is 1252, as on a western Windows.
list(APPEND wine_environment "LC_ALL=C.UTF-8")
# Left to itself, the 32-bit loader makes a 64-bit prefix, where 32-bit
# programs run as on 64-bit Windows; one of 32-bit Windows has no 64-bit half
# to set up and is the platform this build is for.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  list(APPEND wine_environment "WINEARCH=win32")
endif()

# The first wine start creates the prefix, which takes from a few seconds to
# a minute; as a fixture of its own that time is not charged to a test.
add_test(NAME wine_prefix COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot --init)
set_tests_properties(wine_prefix PROPERTIES
  FIXTURES_SETUP wine ENVIRONMENT "${wine_environment}" TIMEOUT 600)

# Listed from the test sources, not by running the test program: listing
# would start wine at build time, before the prefix exists.
get_target_property(test_sources vantrel_tests SOURCES)
list(FILTER test_sources INCLUDE REGEX "^tests/")
gtest_add_tests(TARGET vantrel_tests SOURCES ${test_sources} TEST_LIST wine_tests)
set_tests_properties(${wine_tests} PROPERTIES
  FIXTURES_REQUIRED wine ENVIRONMENT "${wine_environment}" TIMEOUT 600
  SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]"
  # A test the preprocessor removed would otherwise pass by running nothing.
  FAIL_REGULAR_EXPRESSION "\\] 0 tests from 0 test suites ran")
