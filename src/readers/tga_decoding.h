// The TGA reader's inside: what parsing the header learns about a file,
// and the readers of its rows that trust it.
#ifndef VANTREL_TGA_DECODING_H
#define VANTREL_TGA_DECODING_H

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "image_reader.h"

constexpr size_t tga_header_size = 18;

// Everything reading the rows needs, checked against the file's length.
struct tga_layout {
    int32_t width;            // 1..65535
    int32_t height;           // 1..65535
    bool top_down;            // rows stored top row first
    bool right_to_left;       // each row stored from its right end
    bool rle;                 // run-length packets rather than plain rows
    uint32_t pixel_bytes;     // 1, 2, 3 or 4 bytes a stored pixel
    uint8_t index_base;       // the stored index of the palette's entry 0: the colour map's first index
    uint64_t offset;          // where the pixel data starts
    sample_layout samples;    // the stored pixels, as row_converter reads them
};

// Whether the fields of the header at the start of head make a TGA file
// (the values and their combinations, not the file's length): what a file
// named .tga without a footer must show to be read as one.
bool tga_header_makes_sense(std::span<const uint8_t> head);

// The file's bytes: those read first, and the rest from the source.
struct tga_source {
    byte_source& bytes;
    std::vector<uint8_t> head;

    // Copies bytes [at, at + n) of the file into dest.
    image_error read(uint64_t at, size_t n, uint8_t* dest);
};

// Reads and checks the header, the ID and the colour map.
image_error parse_tga_header(tga_source& file, tga_layout& layout);

// Plain rows, read by their place in the file.
std::unique_ptr<image_reader> open_tga_raw_rows(tga_source source, const tga_layout& layout, image_error& error);

// Run-length rows: the packets walked and checked whole first, where each
// row starts recorded on the way; then each row decoded from there.
std::unique_ptr<image_reader> open_tga_rle_rows(tga_source source, const tga_layout& layout, image_error& error);

// A stored row made a row of samples, in place: reversed if stored from
// the right, its indices counted from the colour map's first entry.
void arrange_row(uint8_t* row, const tga_layout& layout);

#endif
