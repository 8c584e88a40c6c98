// The BMP reader's inside: what parsing the headers learns about a bitmap,
// and the decoders that trust it.
#ifndef VANTREL_BMP_DECODING_H
#define VANTREL_BMP_DECODING_H

#include <array>
#include <cstdint>
#include <span>

#include "image_reader.h"

// An index of 8 bits reaches no further, so later entries are never read.
constexpr uint32_t max_palette = 256;

enum class encoding { raw, rle8, rle4 };

// Where one colour channel sits in a 16- or 32-bit pixel; bits is 0 for
// none (alpha only).
struct channel {
    uint32_t mask;
    unsigned shift, bits;
};

// Everything decoding needs, fully validated against the file's length.
struct bmp_layout {
    int32_t width;      // 1..65535
    int32_t height;     // 1..65535, whichever way the rows are stored
    bool top_down;      // rows stored top row first (negative height field)
    unsigned bits;      // 1, 2, 4, 8, 16, 24 or 32 per pixel
    encoding coding;
    uint64_t offset;    // where the pixel data starts
    uint64_t stride;    // raw rows: bytes from one row to the next
    uint64_t row_bytes; // raw rows: bytes of pixels in a row, without padding
    uint32_t palette_size;                        // 1..256 when bits <= 8
    std::array<uint32_t, max_palette> palette;    // packed words
    channel red, green, blue, alpha;              // when bits is 16 or 32
    read_options options;                         // what alpha becomes
};


// Reads and checks the headers at the start of a file of file_size bytes,
// of which the first count are at hand.
image_error parse_header(const uint8_t* bytes, size_t count, uint64_t file_size, bmp_layout& layout);

// The file's bytes: those already read (from the file's start), and the
// rest from the source.
struct bmp_source {
    byte_source& bytes;
    std::span<const uint8_t> prefetched;
};

// Converts uncompressed rows into pixels, the picture's top row first,
// telling rows_done after each block how many rows from the top are
// complete.
image_error decode_rows(const bmp_source& source, const bmp_layout& layout, uint32_t* pixels,
                        const rows_done_fn& rows_done);

// Walks an RLE8 or RLE4 stream once without storing anything: every code,
// run and index is checked, so that a broken stream fails before the pixel
// buffer is allocated.
image_error check_rle(const bmp_source& source, const bmp_layout& layout);

// Decodes a stream that check_rle accepted. Fails only if the file has
// changed since.
image_error decode_rle(const bmp_source& source, const bmp_layout& layout, uint32_t* pixels);

#endif
