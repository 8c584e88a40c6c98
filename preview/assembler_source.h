// What the preview reads of an assembler form's source (vantrel --asm):
// each image's name, size, frames and place in the word files, whose
// little-endian one holds its words (or a layout's bytes). The source must
// be as Vantrel writes it; the word files' path is taken as the source
// names it, from the current directory, or else beside the source.
#ifndef VANTREL_PREVIEW_ASSEMBLER_SOURCE_H
#define VANTREL_PREVIEW_ASSEMBLER_SOURCE_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "byte_layouts.h"
#include "ycbcr_model.h"

struct assembled_image {
    std::string id;
    uint32_t width = 0, height = 0;
    std::vector<uint32_t> delays;  // with --frames
    uint64_t offset = 0, bytes = 0;
};

struct assembler_source {
    std::optional<ycbcr_model> model;
    std::optional<byte_layout> layout;
    std::string words_file;  // the little-endian word file
    std::vector<assembled_image> images;
};

// Whether text, a source's first bytes, is an assembler form's.
bool is_assembler_source(std::string_view text);

// Parses the whole source; false with error (without "error: ") set.
bool parse_assembler_source(std::string_view text, const std::string& file, assembler_source& source,
                            std::string& error);

#endif
