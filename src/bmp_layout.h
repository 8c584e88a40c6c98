// The reader's inside: what parsing the headers learns about a bitmap, and
// the decoders that trust it.
#ifndef VANTREL_BMP_LAYOUT_H
#define VANTREL_BMP_LAYOUT_H

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>

#include "bmp.h"

// The array size is printed as a signed 32-bit count. The fuzz build lowers
// this and the sizes below, so that its small inputs still reach block
// reads and the conversion thread, and no input spends the run filling a
// huge buffer.
#ifndef VANTREL_MAX_PIXELS
#define VANTREL_MAX_PIXELS INT32_MAX
#endif
// The first read takes this much, so that a small file (an icon of 64 x 64
// at 24 bits is 12 KiB) is read whole with one system call.
#ifndef VANTREL_PREFETCH_BYTES
#define VANTREL_PREFETCH_BYTES (64 << 10)
#endif
// Rows are read in blocks of about this size.
#ifndef VANTREL_BLOCK_BYTES
#define VANTREL_BLOCK_BYTES (1 << 20)
#endif
// Pictures of at least this many pixels are converted on a thread of their
// own while the writer formats the rows already done.
#ifndef VANTREL_BACKGROUND_PIXELS
#define VANTREL_BACKGROUND_PIXELS (1 << 20)
#endif

constexpr uint64_t max_pixels = VANTREL_MAX_PIXELS;
// The generated declarations are unsigned short.
constexpr int64_t max_dimension = 65535;
// An index of 8 bits reaches no further, so later entries are never read.
constexpr uint32_t max_palette = 256;

enum class encoding { raw, rle8, rle4 };

// Where one colour channel sits in a 16- or 32-bit pixel.
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
    channel red, green, blue;                     // when bits is 16 or 32
};

// Every byte the headers can consult: the file header, the largest info
// header, four masks after a 40-byte header and a full palette.
constexpr size_t head_bytes = 14 + 124 + 16 + 4 * max_palette;

// Reads and checks the headers at the start of a file of file_size bytes,
// of which the first count are at hand.
bmp_error parse_header(const uint8_t* bytes, size_t count, uint64_t file_size, bmp_layout& layout);

// The file's bytes: those already read (prefetched, from the file's start)
// and the rest through the stream.
struct bmp_source {
    FILE* file;
    uint64_t file_size;
    std::span<const uint8_t> prefetched;
};

// fseek for offsets up to 4 GiB, which a long may not hold.
bool seek_to(FILE* f, uint64_t position);

// Converts uncompressed rows into pixels, the picture's top row first,
// telling rows_done after each block how many rows from the top are
// complete; it returns false when the rest is no longer wanted.
bmp_error decode_rows(const bmp_source& source, const bmp_layout& layout, uint32_t* pixels,
                      const std::function<bool(uint64_t)>& rows_done);

// Walks an RLE8 or RLE4 stream once without storing anything: every code,
// run and index is checked, so that a broken stream fails before the pixel
// buffer is allocated.
bmp_error check_rle(const bmp_source& source, const bmp_layout& layout);

// Decodes a stream that check_rle accepted. Fails only if the file has
// changed since.
bmp_error decode_rle(const bmp_source& source, const bmp_layout& layout, uint32_t* pixels);

#endif
