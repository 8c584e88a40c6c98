# libFuzzer targets for what a run does with one input (tests/fuzz_reader.cpp)
# and for the preview's parser of headers (tests/fuzz_header.cpp).
# Small limits, so that small inputs reach block reads, the conversion
# thread and the writer's thread, and no input spends the run filling a
# huge buffer; they are lowered here only.
add_executable(vantrel_fuzz tests/fuzz_reader.cpp ${common_sources} ${reader_sources} ${converter_sources})
target_include_directories(vantrel_fuzz PRIVATE ${source_folders})
target_link_libraries(vantrel_fuzz PRIVATE Threads::Threads ${png_libraries})
target_compile_definitions(vantrel_fuzz PRIVATE VANTREL_MAX_PIXELS=1048576 VANTREL_PREFETCH_BYTES=0
  VANTREL_BLOCK_BYTES=512 VANTREL_BACKGROUND_PIXELS=64 VANTREL_TEXT_BUFFER_BYTES=4096)
add_executable(vantrel_fuzz_header tests/fuzz_header.cpp preview/text_source.cpp preview/header_parser.cpp
  preview/colour.cpp ${common_sources})
target_include_directories(vantrel_fuzz_header PRIVATE preview src/common)
# The common pieces name the decoders' versions.
target_link_libraries(vantrel_fuzz_header PRIVATE ${png_libraries})
foreach(target vantrel_fuzz vantrel_fuzz_header)
  target_compile_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
  target_link_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined)
endforeach()
# 60 s unless this configure asks for another length
# (-DVANTREL_FUZZ_SECONDS=3600), which later configures do not keep.
set(fuzz_seconds 60)
if(DEFINED CACHE{VANTREL_FUZZ_SECONDS})
  set(fuzz_seconds ${VANTREL_FUZZ_SECONDS})
  unset(VANTREL_FUZZ_SECONDS CACHE)
endif()
set(fuzz_seeds "")
foreach(folder regressions bmpsuite/g bmpsuite/b bmpsuite/q bmpsuite/x pngsuite writers qoi tga jpeg gif webp formats)
  list(APPEND fuzz_seeds "${PROJECT_SOURCE_DIR}/tests/files/${folder}")
endforeach()
# New inputs go to the first folder, in the build tree; the seeds stay
# untouched. A crash leaves its input as crash-* in the build tree.
file(MAKE_DIRECTORY "${PROJECT_BINARY_DIR}/fuzz-corpus" "${PROJECT_BINARY_DIR}/fuzz-header-corpus")
enable_testing()
add_test(NAME fuzz_reader
  COMMAND vantrel_fuzz -max_total_time=${fuzz_seconds} -print_final_stats=1
          -artifact_prefix=${PROJECT_BINARY_DIR}/ ${PROJECT_BINARY_DIR}/fuzz-corpus ${fuzz_seeds})
# Seeded with headers vantrel wrote: one image, several, CR LF line ends.
add_test(NAME fuzz_header
  COMMAND vantrel_fuzz_header -max_total_time=${fuzz_seconds} -print_final_stats=1
          -artifact_prefix=${PROJECT_BINARY_DIR}/header- ${PROJECT_BINARY_DIR}/fuzz-header-corpus
          ${PROJECT_SOURCE_DIR}/tests/files/headers)
