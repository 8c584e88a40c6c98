# libFuzzer targets: one for each reader and one for what a run does with
# one input (all from tests/fuzz_reader.cpp), and one for the preview's
# parser of headers (tests/fuzz_header.cpp). Small limits, so that small
# inputs reach block reads, the conversion thread and the writer's thread,
# and no input spends the run filling a huge buffer; they are lowered here
# only, and so is the PNG reader's CRC check. The readers are compiled
# once, for every target.
set(fuzz_options -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)
add_library(vantrel_fuzz_readers STATIC ${common_sources} ${reader_sources})
target_include_directories(vantrel_fuzz_readers PUBLIC ${source_folders})
target_link_libraries(vantrel_fuzz_readers PUBLIC Threads::Threads ${png_libraries})
target_compile_definitions(vantrel_fuzz_readers PUBLIC VANTREL_MAX_PIXELS=1048576 VANTREL_PREFETCH_BYTES=0
  VANTREL_BLOCK_BYTES=512 VANTREL_FUZZ_ANY_CRC)
target_compile_options(vantrel_fuzz_readers PUBLIC ${fuzz_options})
target_link_options(vantrel_fuzz_readers INTERFACE -fsanitize=fuzzer,address,undefined)
add_executable(vantrel_fuzz tests/fuzz_reader.cpp ${converter_sources})
target_link_libraries(vantrel_fuzz PRIVATE vantrel_fuzz_readers)
target_compile_definitions(vantrel_fuzz PRIVATE VANTREL_BACKGROUND_PIXELS=64 VANTREL_TEXT_BUFFER_BYTES=4096)
set(fuzz_formats bmp png qoi tga jpeg gif webp)
foreach(format ${fuzz_formats})
  add_executable(vantrel_fuzz_${format} tests/fuzz_reader.cpp)
  target_link_libraries(vantrel_fuzz_${format} PRIVATE vantrel_fuzz_readers)
  target_compile_definitions(vantrel_fuzz_${format} PRIVATE VANTREL_FUZZ_OPEN=open_${format})
endforeach()
add_executable(vantrel_fuzz_header tests/fuzz_header.cpp preview/text_source.cpp preview/header_parser.cpp preview/layout_parser.cpp
  preview/colour.cpp)
target_include_directories(vantrel_fuzz_header PRIVATE preview)
target_link_libraries(vantrel_fuzz_header PRIVATE vantrel_fuzz_readers)
# 60 s each unless this configure asks for another length
# (-DVANTREL_FUZZ_SECONDS=3600), which later configures do not keep.
set(fuzz_seconds 60)
if(DEFINED CACHE{VANTREL_FUZZ_SECONDS})
  set(fuzz_seconds ${VANTREL_FUZZ_SECONDS})
  unset(VANTREL_FUZZ_SECONDS CACHE)
endif()
set(files "${PROJECT_SOURCE_DIR}/tests/files")
set(fuzz_seeds "")
foreach(folder regressions bmpsuite/g bmpsuite/b bmpsuite/q bmpsuite/x pngsuite writers qoi tga jpeg gif webp formats)
  list(APPEND fuzz_seeds "${files}/${folder}")
endforeach()
# New inputs go to the first folder, in the build tree; the seeds stay
# untouched. A crash leaves its input as crash-* in the build tree.
file(MAKE_DIRECTORY "${PROJECT_BINARY_DIR}/fuzz-corpus" "${PROJECT_BINARY_DIR}/fuzz-header-corpus")
enable_testing()
add_test(NAME fuzz_reader
  COMMAND vantrel_fuzz -max_total_time=${fuzz_seconds} -print_final_stats=1
          -artifact_prefix=${PROJECT_BINARY_DIR}/ ${PROJECT_BINARY_DIR}/fuzz-corpus ${fuzz_seeds})
# A reader's seeds are the files named for its format, wherever they are
# kept (regressions/ among them), listed for libFuzzer's -seed_inputs since
# the folders mix formats; a crash leaves its input as <format>-crash-*.
foreach(format ${fuzz_formats})
  string(REPLACE jpeg jpg extension ${format})
  file(GLOB seeds "${files}/*/*.${extension}" "${files}/bmpsuite/*/*.${extension}")
  list(JOIN seeds "," seeds)
  file(WRITE "${PROJECT_BINARY_DIR}/fuzz-${format}-seeds.txt" "${seeds}")
  file(MAKE_DIRECTORY "${PROJECT_BINARY_DIR}/fuzz-${format}-corpus")
  add_test(NAME fuzz_${format}
    COMMAND vantrel_fuzz_${format} -max_total_time=${fuzz_seconds} -print_final_stats=1
            -artifact_prefix=${PROJECT_BINARY_DIR}/${format}-
            -seed_inputs=@${PROJECT_BINARY_DIR}/fuzz-${format}-seeds.txt ${PROJECT_BINARY_DIR}/fuzz-${format}-corpus)
endforeach()
# Seeded with headers vantrel wrote: one image, several, CR LF line ends.
add_test(NAME fuzz_header
  COMMAND vantrel_fuzz_header -max_total_time=${fuzz_seconds} -print_final_stats=1
          -artifact_prefix=${PROJECT_BINARY_DIR}/header- ${PROJECT_BINARY_DIR}/fuzz-header-corpus
          ${files}/headers)
