// The BMP reader's inside: what parsing the headers learns about a bitmap,
// and the two readers of its rows that trust it.
#ifndef VANTREL_BMP_DECODING_H
#define VANTREL_BMP_DECODING_H

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "image_reader.h"

// An index of 8 bits reaches no further, so later entries are never read.
constexpr uint32_t max_palette = 256;

enum class encoding { raw, rle8, rle4 };

// Everything reading the rows needs, fully validated against the file's
// length.
struct bmp_layout {
    int32_t width;       // 1..65535
    int32_t height;      // 1..65535, whichever way the rows are stored
    bool top_down;       // rows stored top row first (negative height field)
    uint32_t bits;       // 1, 2, 4, 8, 16, 24 or 32 per pixel
    encoding coding;
    uint64_t offset;     // where the pixel data starts
    uint64_t stride;     // raw rows: bytes from one row to the next
    uint64_t row_bytes;  // raw rows: bytes of pixels in a row, without padding
    // The palette (1..256 entries when bits <= 8) or the masks (16 and 32
    // bits), and how the rows handed on are laid out: as stored, but for
    // RLE, whose rows come as one 8-bit index a pixel.
    sample_layout samples;
};

// Reads and checks the headers at the start of a file of file_size bytes,
// of which the first count are at hand.
image_error parse_header(const uint8_t* bytes, size_t count, uint64_t file_size, bmp_layout& layout);

// The file's bytes: those read first (from the file's start, all of a
// small file), and the rest from the source.
struct bmp_source {
    byte_source& bytes;
    std::vector<uint8_t> head;

    // Copies bytes [at, at + n) of the file into dest.
    image_error read(uint64_t at, size_t n, uint8_t* dest);
};

// The rows of uncompressed pixels, read in blocks by their place in the
// file, the picture's top row first whichever way they are stored.
std::unique_ptr<image_reader> open_raw_rows(bmp_source source, const bmp_layout& layout, image_error& error);

// An RLE8 or RLE4 stream: walked and checked whole first, without storing
// a pixel, where each row starts recorded on the way; then each row decoded
// from there when it is asked for.
std::unique_ptr<image_reader> open_rle_rows(bmp_source source, const bmp_layout& layout, image_error& error);

#endif
