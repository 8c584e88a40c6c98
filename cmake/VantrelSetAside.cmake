# cmake -P VantrelSetAside.cmake <folder> <file>...
#
# Moves each file that exists into the folder, before vantrel_add_headers()
# converts its picture there again (VantrelFunctions.cmake): a picture that
# vantrel refuses then leaves none of its files where the compiler looks,
# while vantrel, finding its earlier header in the folder, leaves it as it
# was when its text is the same, so that the files including it are not
# compiled again. A move keeps the file's time, which a copy would not.
set(i 4)
while(i LESS CMAKE_ARGC)
  set(file "${CMAKE_ARGV${i}}")
  if(EXISTS "${file}")
    get_filename_component(name "${file}" NAME)
    file(RENAME "${file}" "${CMAKE_ARGV3}/${name}")
  endif()
  math(EXPR i "${i} + 1")
endwhile()
