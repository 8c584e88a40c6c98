# A cross build finds no GoogleTest built for its target, so it compiles one
# from the sources Debian's libgtest-dev ships, as GTest::gtest_main like the
# installed package provides. Warnings in GoogleTest itself are not ours to
# fix, so they are off for it.
set(VANTREL_GTEST_SOURCE /usr/src/googletest/googletest CACHE PATH "GoogleTest sources for cross builds")

if(EXISTS "${VANTREL_GTEST_SOURCE}/src/gtest-all.cc")
  add_library(vantrel_gtest_main STATIC
    "${VANTREL_GTEST_SOURCE}/src/gtest-all.cc"
    "${VANTREL_GTEST_SOURCE}/src/gtest_main.cc")
  target_include_directories(vantrel_gtest_main SYSTEM PUBLIC "${VANTREL_GTEST_SOURCE}/include")
  target_include_directories(vantrel_gtest_main PRIVATE "${VANTREL_GTEST_SOURCE}")
  if(MSVC)
    target_compile_options(vantrel_gtest_main PRIVATE /W0)
  else()
    target_compile_options(vantrel_gtest_main PRIVATE -w)
  endif()
  add_library(GTest::gtest_main ALIAS vantrel_gtest_main)
  set(GTest_FOUND TRUE)
endif()
