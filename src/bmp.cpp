#include "bmp.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstring>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

// ---------------------------------------------------------------------------
// Colour conversion
//
// The JFIF equations are specified with binary64 coefficients and exact
// arithmetic, truncated toward zero. Plain double arithmetic rounds the
// products and sums and gets Y wrong for thousands of colours (most greys,
// whose exact luma lies just below an integer), and long double is only
// exact where it happens to be the x87 80-bit format. So the conversion is
// done in integers: every coefficient is an integer multiple of 2^-56
// (the smallest ones, 0.114 and 0.08131, have their last significand bit at
// 2^-56), so scaled by 2^56 each is an exact integer and each component an
// exact integer sum. For channels 0..255 every component lies in [0, 255.5],
// its scaled sum in [0, 2^64): unsigned 64-bit arithmetic, which wraps, ends
// on the exact value even when a negative term passes below zero on the way,
// and shifting right by 56 truncates it.

constexpr double scale = 0x1p56;

constexpr uint64_t fixed(double coefficient)
{
    return static_cast<uint64_t>(static_cast<int64_t>(coefficient * scale));
}

constexpr bool exact_in_fixed(double coefficient)
{
    return static_cast<double>(static_cast<int64_t>(coefficient * scale)) == coefficient * scale;
}

static_assert(exact_in_fixed(0.299) && exact_in_fixed(0.587) && exact_in_fixed(0.114));
static_assert(exact_in_fixed(-0.16874) && exact_in_fixed(-0.33126) && exact_in_fixed(0.5));
static_assert(exact_in_fixed(-0.41869) && exact_in_fixed(-0.08131));

constexpr uint64_t chroma_offset = uint64_t{128} << 56;

struct channel_terms {
    std::array<uint64_t, 256> y, cb, cr;
};

// One table per channel holding its three scaled products; the chroma offset
// rides on blue's entries so that a pixel costs nine loads and three adds.
constexpr channel_terms make_terms(double y, double cb, double cr, uint64_t offset)
{
    channel_terms t{};
    for (size_t v = 0; v < 256; ++v) {
        t.y[v] = fixed(y) * v;
        t.cb[v] = fixed(cb) * v + offset;
        t.cr[v] = fixed(cr) * v + offset;
    }
    return t;
}

constexpr channel_terms red_terms = make_terms(0.299, -0.16874, 0.5, 0);
constexpr channel_terms green_terms = make_terms(0.587, -0.33126, -0.41869, 0);
constexpr channel_terms blue_terms = make_terms(0.114, 0.5, -0.08131, chroma_offset);

inline uint32_t pack(uint8_t r, uint8_t g, uint8_t b)
{
    const auto y = static_cast<uint32_t>((red_terms.y[r] + green_terms.y[g] + blue_terms.y[b]) >> 56);
    const auto cb = static_cast<uint32_t>((red_terms.cb[r] + green_terms.cb[g] + blue_terms.cb[b]) >> 56);
    const auto cr = static_cast<uint32_t>((red_terms.cr[r] + green_terms.cr[g] + blue_terms.cr[b]) >> 56);
    return y << 24 | cb << 16 | y << 8 | cr;
}

// ---------------------------------------------------------------------------
// Header parsing

constexpr uint32_t file_header_size = 14;
constexpr uint32_t largest_info_header = 124;  // BITMAPV5HEADER
// An index of 8 bits reaches no further, so later entries are never read.
constexpr uint32_t max_palette = 256;
// Every byte the headers can consult: the file header, the largest info
// header, four masks after a 40-byte header and a full palette.
constexpr size_t head_bytes = file_header_size + largest_info_header + 16 + 4 * max_palette;
// The first read takes this much, so that a small file (an icon of 64 x 64
// at 24 bits is 12 KiB) is read whole with one system call.
constexpr size_t prefetch_bytes = size_t{64} << 10;

// The generated declarations are unsigned short.
constexpr int64_t max_dimension = 65535;
// The array size is printed as a signed 32-bit count. The fuzz build lowers
// the limit so that a single input cannot spend the whole run filling pixels.
#ifndef VANTREL_MAX_PIXELS
#define VANTREL_MAX_PIXELS INT32_MAX
#endif
constexpr uint64_t max_pixels = VANTREL_MAX_PIXELS;

// Compression codes of the Windows headers. The OS/2 2.x header gives 3 and
// 4 other meanings (Huffman 1D and RLE24), neither of which is decoded here.
enum : uint32_t { bi_rgb = 0, bi_rle8 = 1, bi_rle4 = 2, bi_bitfields = 3, bi_alphabitfields = 6 };

// Reads little-endian fields from the bytes at hand and refuses to read past
// them, so no field is ever made up from bytes the file does not have.
struct byte_reader {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;

    bool skip(size_t n)
    {
        if (size - pos < n)
            return false;
        pos += n;
        return true;
    }

    bool u8(uint8_t& v)
    {
        if (pos >= size)
            return false;
        v = data[pos++];
        return true;
    }

    bool u16(uint16_t& v)
    {
        if (size - pos < 2)
            return false;
        v = static_cast<uint16_t>(data[pos] | data[pos + 1] << 8);
        pos += 2;
        return true;
    }

    bool u32(uint32_t& v)
    {
        if (size - pos < 4)
            return false;
        v = static_cast<uint32_t>(data[pos]) | static_cast<uint32_t>(data[pos + 1]) << 8 |
            static_cast<uint32_t>(data[pos + 2]) << 16 | static_cast<uint32_t>(data[pos + 3]) << 24;
        pos += 4;
        return true;
    }
};

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

bool known_info_header(uint32_t size)
{
    // OS/2 1.x core (12), OS/2 2.x short and full (16, 64), and Windows
    // BITMAPINFOHEADER through BITMAPV5HEADER.
    return size == 12 || size == 16 || size == 64 || size == 40 || size == 52 || size == 56 || size == 108 ||
           size == 124;
}

// A mask must be one run of set bits inside the pixel.
bool make_channel(uint32_t mask, unsigned pixel_bits, channel& c)
{
    if (mask == 0 || (pixel_bits < 32 && mask >> pixel_bits != 0))
        return false;
    c.mask = mask;
    c.shift = static_cast<unsigned>(std::countr_zero(mask));
    const uint32_t run = mask >> c.shift;
    c.bits = static_cast<unsigned>(std::popcount(run));
    return (run & (run + 1)) == 0;
}

bmp_error parse_masks(const uint32_t (&masks)[4], unsigned bits, bmp_layout& layout)
{
    const uint32_t r = masks[0], g = masks[1], b = masks[2], a = masks[3];
    if (!make_channel(r, bits, layout.red) || !make_channel(g, bits, layout.green) ||
        !make_channel(b, bits, layout.blue))
        return bmp_error::bad_format;
    if ((r & g) != 0 || (r & b) != 0 || (g & b) != 0 || (a & (r | g | b)) != 0)
        return bmp_error::bad_format;
    return bmp_error::none;
}

// Reads the palette into packed words: the entries the header asks for (all
// 2^bits when it gives 0), but no more than fit before the pixel data and no
// more than an index can reach.
bmp_error parse_palette(byte_reader in, uint64_t space, uint64_t colours, uint32_t entry_size, bmp_layout& layout)
{
    const uint64_t wanted = colours != 0 ? colours : uint64_t{1} << layout.bits;
    layout.palette_size = static_cast<uint32_t>(std::min({wanted, space / entry_size, uint64_t{max_palette}}));
    // With no entry at all, no pixel could be given a colour.
    if (layout.palette_size == 0)
        return bmp_error::bad_format;
    for (uint32_t i = 0; i < layout.palette_size; ++i) {
        uint8_t b = 0, g = 0, r = 0;
        if (!in.u8(b) || !in.u8(g) || !in.u8(r) || !in.skip(entry_size - 3))
            return bmp_error::bad_format;
        layout.palette[i] = pack(r, g, b);
    }
    return bmp_error::none;
}

bmp_error parse_header(const uint8_t* bytes, size_t count, uint64_t file_size, bmp_layout& layout)
{
    byte_reader in{bytes, count};
    uint8_t sig_b = 0, sig_m = 0;
    if (!in.u8(sig_b) || !in.u8(sig_m) || sig_b != 'B' || sig_m != 'M')
        return bmp_error::bad_format;

    // The file-size field (bytes 2..5) is skipped: writers often get it wrong
    // (OS/2 files even put the header size there), and the file's real length
    // is what bounds the data anyway.
    uint32_t offset = 0, info_size = 0;
    if (!in.skip(8) || !in.u32(offset) || !in.u32(info_size))
        return bmp_error::bad_format;
    if (!known_info_header(info_size) || count < file_header_size + info_size)
        return bmp_error::bad_format;
    const bool os2_core = info_size == 12;
    const bool os2 = info_size == 16 || info_size == 64;

    // The OS/2 core header has unsigned 16-bit dimensions; the rest share the
    // Windows layout for every field read here. The image-size field is
    // skipped (often 0, and the file's length bounds the data), as are the
    // densities.
    int64_t width = 0, height = 0;
    uint16_t planes = 0, bits = 0;
    uint32_t compression = bi_rgb, colours = 0;
    if (os2_core) {
        uint16_t w = 0, h = 0;
        in.u16(w), in.u16(h);
        width = w, height = h;
    } else {
        uint32_t w = 0, h = 0;
        in.u32(w), in.u32(h);
        width = static_cast<int32_t>(w), height = static_cast<int32_t>(h);
    }
    in.u16(planes), in.u16(bits);
    if (info_size >= 40)
        in.u32(compression), in.skip(12), in.u32(colours);
    // Masks inside the header: BITMAPV2INFOHEADER (52) adds red, green and
    // blue, V3 (56) and later add alpha. The OS/2 64-byte header has other
    // fields there.
    uint32_t masks[4] = {};
    if (info_size >= 52 && !os2) {
        in.pos = file_header_size + 40;
        for (uint32_t i = 0; i < (info_size >= 56 ? 4u : 3u); ++i)
            in.u32(masks[i]);
    }
    // All fields above lie inside the header, whose bytes are at hand.
    in.pos = file_header_size + info_size;

    if (width <= 0 || height == 0 || planes != 1)
        return bmp_error::bad_format;

    const bool with_masks = !os2 && (compression == bi_bitfields || compression == bi_alphabitfields);
    if (os2 && compression > bi_rle4)
        return bmp_error::unsupported;  // Huffman 1D, RLE24
    if (compression > bi_bitfields && compression != bi_alphabitfields)
        return bmp_error::unsupported;  // JPEG, PNG, CMYK, ...
    if (bits == 64)
        return bmp_error::unsupported;
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return bmp_error::bad_format;
    if ((compression == bi_rle8 && bits != 8) || (compression == bi_rle4 && bits != 4) ||
        (with_masks && bits != 16 && bits != 32))
        return bmp_error::bad_format;
    // RLE rows are stored bottom-up only.
    if (compression != bi_rgb && !with_masks && height < 0)
        return bmp_error::bad_format;

    // Magnitude in 64 bits: height may be INT32_MIN.
    const int64_t rows = height < 0 ? -height : height;
    if (width > max_dimension || rows > max_dimension)
        return bmp_error::too_large;
    if (static_cast<uint64_t>(width) * static_cast<uint64_t>(rows) > max_pixels)
        return bmp_error::too_large;

    // A 40-byte header keeps its masks in the 12 (or, with alpha, 16) bytes
    // after it; the palette, if any, follows them.
    if (with_masks && info_size == 40) {
        for (uint32_t i = 0; i < (compression == bi_alphabitfields ? 4u : 3u); ++i)
            if (!in.u32(masks[i]))
                return bmp_error::bad_format;
    }
    const uint64_t palette_start = in.pos;
    if (offset < palette_start || offset > file_size)
        return bmp_error::bad_format;

    layout.width = static_cast<int32_t>(width);
    layout.height = static_cast<int32_t>(rows);
    layout.top_down = height < 0;
    layout.bits = bits;
    layout.coding = compression == bi_rle8 ? encoding::rle8 : compression == bi_rle4 ? encoding::rle4 : encoding::raw;
    layout.offset = offset;

    if (bits <= 8) {
        const bmp_error why = parse_palette(in, offset - palette_start, colours, os2_core ? 3 : 4, layout);
        if (why != bmp_error::none)
            return why;
    } else if (bits != 24) {
        // Without masks the defaults apply: 5-5-5 and 8-8-8, top bits unused.
        // Mask fields in a longer header mean nothing then.
        if (!with_masks) {
            const bool wide = bits == 32;
            masks[0] = wide ? 0xff0000 : 0x7c00, masks[1] = wide ? 0xff00 : 0x3e0, masks[2] = wide ? 0xff : 0x1f;
            masks[3] = 0;
        }
        const bmp_error why = parse_masks(masks, bits, layout);
        if (why != bmp_error::none)
            return why;
    }

    const uint64_t available = file_size - offset;
    if (layout.coding != encoding::raw) {
        // The shortest stream, one run or an end-of-bitmap code, is 2 bytes.
        return available < 2 ? bmp_error::truncated : bmp_error::none;
    }
    layout.row_bytes = (static_cast<uint64_t>(width) * bits + 7) / 8;
    layout.stride = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
    // The last row's padding holds no pixel, so a file that ends without it
    // still has the whole picture.
    const uint64_t data_size = layout.stride * static_cast<uint64_t>(rows - 1) + layout.row_bytes;
    return data_size > available ? bmp_error::truncated : bmp_error::none;
}

// ---------------------------------------------------------------------------
// Decoding

using file_ptr = std::unique_ptr<FILE, int (*)(FILE*)>;

// fseek takes a long, which is 32 bits on Windows, while a pixel offset may
// be anything up to 4 GiB.
bool seek_to(FILE* f, uint64_t position)
{
    if (position <= LONG_MAX)
        return std::fseek(f, static_cast<long>(position), SEEK_SET) == 0;
    if (std::fseek(f, 0, SEEK_SET) != 0)
        return false;
    while (position > 0) {
        const uint64_t step = position < LONG_MAX ? position : LONG_MAX;
        if (std::fseek(f, static_cast<long>(step), SEEK_CUR) != 0)
            return false;
        position -= step;
    }
    return true;
}

// An n-bit channel value scaled to 0..255 and rounded to nearest. The
// divisor 2^n - 1 is odd, so there are no ties to break.
uint8_t channel_value(const channel& c, uint32_t pixel)
{
    const uint64_t v = (pixel & c.mask) >> c.shift;
    if (c.bits == 8)
        return static_cast<uint8_t>(v);
    const uint64_t top = (uint64_t{1} << c.bits) - 1;
    return static_cast<uint8_t>((v * 510 + top) / (2 * top));
}

uint32_t pack_masked(const bmp_layout& layout, uint32_t pixel)
{
    return pack(channel_value(layout.red, pixel), channel_value(layout.green, pixel),
                channel_value(layout.blue, pixel));
}

// Converts one stored row into the record's mirrored row. Returns false for
// a palette index that has no entry.
bool decode_row(const bmp_layout& layout, const uint32_t* words16, const uint8_t* src, uint32_t* mirrored_row)
{
    const auto width = static_cast<size_t>(layout.width);
    uint32_t* dest = mirrored_row + width;
    switch (layout.bits) {
    case 24:
        for (size_t x = 0; x < width; ++x, src += 3)
            *--dest = pack(src[2], src[1], src[0]);
        return true;
    case 16:
        for (size_t x = 0; x < width; ++x, src += 2)
            *--dest = words16[src[0] | src[1] << 8];
        return true;
    case 32:
        for (size_t x = 0; x < width; ++x, src += 4)
            *--dest = pack_masked(layout, static_cast<uint32_t>(src[0]) | static_cast<uint32_t>(src[1]) << 8 |
                                              static_cast<uint32_t>(src[2]) << 16 |
                                              static_cast<uint32_t>(src[3]) << 24);
        return true;
    default: {
        // Palette indices of 1, 2, 4 or 8 bits, the leftmost pixel in the
        // most significant bits of each byte.
        const unsigned bits = layout.bits, per_byte = 8 / bits, low = (1u << bits) - 1;
        for (size_t x = 0; x < width; ++x) {
            const unsigned shift = 8 - bits * (1 + static_cast<unsigned>(x % per_byte));
            const unsigned index = src[x / per_byte] >> shift & low;
            if (index >= layout.palette_size)
                return false;
            *--dest = layout.palette[index];
        }
        return true;
    }
    }
}

// Reads the rows in blocks of about a megabyte, the picture's top first (so
// a bottom-up file from its end backwards), and converts them straight into
// the record's order. After each block, ready(rows) learns how many rows from
// the top are complete; it returns false when the rest is no longer wanted.
template <class Ready>
bmp_error decode_rows(FILE* f, const bmp_layout& layout, uint32_t* pixels, Ready&& ready,
                      std::span<const uint8_t> prefetched = {})
{
    // Every 16-bit value's word, made once rather than per pixel.
    std::vector<uint32_t> words16;
    if (layout.bits == 16) {
        words16.resize(65536);
        for (uint32_t v = 0; v < 65536; ++v)
            words16[v] = pack_masked(layout, v);
    }

    const auto width = static_cast<size_t>(layout.width);
    const auto height = static_cast<uint64_t>(layout.height);
    const uint64_t block_target = uint64_t{1} << 20;
    const uint64_t rows_per_block = std::clamp<uint64_t>(block_target / layout.stride, 1, height);
    const std::unique_ptr<uint8_t[], void (*)(void*)> block(
        static_cast<uint8_t*>(allocate_buffer(static_cast<size_t>(rows_per_block * layout.stride))), &std::free);
    if (!block)
        return bmp_error::out_of_memory;

    for (uint64_t top = 0; top < height;) {
        const uint64_t rows = std::min(rows_per_block, height - top);
        const uint64_t first_stored = layout.top_down ? top : height - top - rows;
        // The file's last row may lack its padding.
        const uint64_t bytes = (rows - 1) * layout.stride + layout.row_bytes;
        const uint64_t at = layout.offset + first_stored * layout.stride;
        if (at + bytes <= prefetched.size()) {
            std::memcpy(block.get(), prefetched.data() + at, static_cast<size_t>(bytes));
        } else {
            if (!seek_to(f, at))
                return bmp_error::read_failed;
            if (std::fread(block.get(), 1, static_cast<size_t>(bytes), f) != bytes)
                return std::ferror(f) ? bmp_error::read_failed : bmp_error::truncated;
        }
        for (uint64_t i = 0; i < rows; ++i) {
            const uint64_t stored = first_stored + i;
            const uint64_t image_row = layout.top_down ? stored : height - 1 - stored;
            if (!decode_row(layout, words16.data(), block.get() + i * layout.stride, pixels + image_row * width))
                return bmp_error::bad_format;
        }
        top += rows;
        if (!ready(top))
            break;
    }
    return bmp_error::none;
}

// Hands out the bytes of a file one at a time through a buffer, up to the
// file's end.
struct byte_stream {
    FILE* f;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(65536);
    size_t pos = 0, end = 0;

    bool next(uint8_t& v)
    {
        if (pos == end) {
            end = std::fread(buffer.data(), 1, buffer.size(), f);
            pos = 0;
            if (end == 0)
                return false;
        }
        v = buffer[pos++];
        return true;
    }
};

// Decodes an RLE8 or RLE4 stream: pairs of (count, index) runs, and escapes
// after a zero count for end of line (0), end of bitmap (1), a delta move (2)
// and absolute runs (3..255 indices, padded to a 16-bit boundary). Rows go
// bottom-up. Pixels the stream never sets keep palette entry 0.
bmp_error decode_rle(FILE* f, const bmp_layout& layout, uint32_t* pixels)
{
    const auto width = static_cast<uint64_t>(layout.width), height = static_cast<uint64_t>(layout.height);
    std::fill(pixels, pixels + width * height, layout.palette[0]);
    byte_stream in{f};
    const bool rle4 = layout.coding == encoding::rle4;
    uint64_t x = 0, y = 0;  // y counts rows from the bottom, as they are stored

    // The stream may end without an end-of-bitmap code once the top row is
    // complete; earlier, the picture is cut short.
    const auto stream_ended = [&] {
        if (std::ferror(f))
            return bmp_error::read_failed;
        const bool complete = y >= height || (y == height - 1 && x == width);
        return complete ? bmp_error::none : bmp_error::truncated;
    };
    const auto put = [&](unsigned index) {
        if (index >= layout.palette_size)
            return false;
        pixels[(height - 1 - y) * width + (width - 1 - x)] = layout.palette[index];
        ++x;
        return true;
    };

    for (;;) {
        uint8_t count = 0, value = 0;
        if (!in.next(count) || !in.next(value))
            return stream_ended();
        if (count > 0) {
            if (y >= height || count > width - x)
                return bmp_error::bad_format;
            for (unsigned i = 0; i < count; ++i)
                if (!put(rle4 ? (i % 2 == 0 ? value >> 4 : value & 15u) : value))
                    return bmp_error::bad_format;
            continue;
        }
        if (value == 0) {
            x = 0, ++y;
        } else if (value == 1) {
            return bmp_error::none;
        } else if (value == 2) {
            uint8_t dx = 0, dy = 0;
            if (!in.next(dx) || !in.next(dy))
                return stream_ended();
            x += dx, y += dy;
            if (x > width || y >= height)
                return bmp_error::bad_format;
        } else {
            if (y >= height || value > width - x)
                return bmp_error::bad_format;
            const unsigned stored = rle4 ? (value + 1u) / 2 : value;
            for (unsigned i = 0, left = value; i < stored + stored % 2; ++i) {
                uint8_t byte = 0;
                if (!in.next(byte))
                    return stream_ended();
                for (unsigned k = 0; k < (rle4 ? 2u : 1u) && left > 0 && i < stored; ++k, --left)
                    if (!put(rle4 ? (k == 0 ? byte >> 4 : byte & 15u) : byte))
                        return bmp_error::bad_format;
            }
        }
    }
}

// Big pictures in layouts whose conversion cannot fail once the headers are
// checked are converted on a thread of their own while the writer formats
// and writes the rows already done: conversion and writing then overlap
// instead of following each other.
constexpr uint64_t background_pixels = uint64_t{1} << 20;

bmp_error decode(FILE* f, const bmp_layout& layout, uint32_t* pixels, std::span<const uint8_t> prefetched)
{
    if (layout.coding == encoding::raw)
        return decode_rows(f, layout, pixels, [](uint64_t) { return true; }, prefetched);
    if (!seek_to(f, layout.offset))
        return bmp_error::read_failed;
    return decode_rle(f, layout, pixels);
}

bmp_image* fail(bmp_error& error, bmp_error why)
{
    error = why;
    return nullptr;
}

// Reads and checks the headers and allocates the record: everything but the
// pixels. The first read takes the head of the file, or all of a small one.
bmp_image* begin_image(FILE* f, uint64_t file_size, std::vector<uint8_t>& head, bmp_layout& layout,
                       bmp_error& error)
{
    error = bmp_error::none;
    head.resize(static_cast<size_t>(std::min<uint64_t>(file_size, prefetch_bytes)));
    head.resize(std::fread(head.data(), 1, head.size(), f));
    if (std::ferror(f))
        return fail(error, bmp_error::read_failed);
    const size_t got = std::min(head.size(), head_bytes);
    if (const bmp_error why = parse_header(head.data(), got, file_size, layout); why != bmp_error::none)
        return fail(error, why);

    const uint64_t count = static_cast<uint64_t>(layout.width) * static_cast<uint64_t>(layout.height);
    if (count > SIZE_MAX / sizeof(uint32_t))
        return fail(error, bmp_error::out_of_memory);
    auto* image = new (std::nothrow) bmp_image{layout.width, layout.height, nullptr};
    if (image)
        image->pixels = static_cast<uint32_t*>(allocate_buffer(static_cast<size_t>(count) * sizeof(uint32_t)));
    if (!image || !image->pixels) {
        free_bmp(image);
        return fail(error, bmp_error::out_of_memory);
    }
    return image;
}

bmp_image* finish_image(bmp_image* image, bmp_error why, bmp_error& error)
{
    if (why == bmp_error::none)
        return image;
    free_bmp(image);
    return fail(error, why);
}

}  // namespace

struct bmp_decoding {
    file_ptr file{nullptr, &std::fclose};
    bmp_layout layout{};
    std::mutex mutex;
    std::condition_variable changed;
    uint64_t rows_ready = 0;  // from the top
    bool finished = false, stop = false;
    bmp_error error = bmp_error::none;
    std::thread thread;

    void run(uint32_t* pixels)
    {
        const bmp_error why = decode_rows(file.get(), layout, pixels, [this](uint64_t rows) {
            const std::lock_guard lock(mutex);
            rows_ready = rows;
            changed.notify_all();
            return !stop;
        });
        file.reset();
        const std::lock_guard lock(mutex);
        error = why;
        finished = true;
        changed.notify_all();
    }
};

namespace {

// Hands the rest of the picture, and the file, to a thread of its own. False,
// with the file still here, if no thread could be had.
bool convert_in_background(bmp_image& image, file_ptr& f, const bmp_layout& layout)
{
    auto* decoding = new (std::nothrow) bmp_decoding;
    if (!decoding)
        return false;
    decoding->file = std::move(f);
    decoding->layout = layout;
    try {
        decoding->thread = std::thread(&bmp_decoding::run, decoding, image.pixels);
    } catch (const std::system_error&) {
        f = std::move(decoding->file);
        delete decoding;
        return false;
    }
    image.decoding = decoding;
    return true;
}

}  // namespace

uint32_t pack_ycbcr(uint8_t r, uint8_t g, uint8_t b)
{
    return pack(r, g, b);
}

// Each first touch of a 4 KiB page costs a fault, and in a virtual machine a
// dear one: for a big picture's pixels and the writer's buffers the faults
// can take longer than the conversion itself. Transparent huge pages take
// 512 times fewer; they need a buffer aligned to 2 MiB and the advice.
void* allocate_buffer(size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr size_t huge_page = size_t{2} << 20;
    if (bytes >= huge_page / 2 && bytes <= SIZE_MAX - huge_page) {
        const size_t rounded = (bytes + huge_page - 1) / huge_page * huge_page;
        void* p = std::aligned_alloc(huge_page, rounded);
        if (p)
            madvise(p, rounded, MADV_HUGEPAGE);  // advice only: the buffer works without it
        return p;
    }
#endif
    return std::malloc(bytes);
}


bmp_image* read_bmp(FILE* f, uint64_t file_size, bmp_error& error)
{
    std::vector<uint8_t> head;
    bmp_layout layout{};
    bmp_image* image = begin_image(f, file_size, head, layout, error);
    if (!image)
        return nullptr;
    return finish_image(image, decode(f, layout, image->pixels, head), error);
}

bmp_image* load_bmp(const char* path, bmp_error& error)
{
    error = bmp_error::none;

    // Only regular files: a FIFO would block the open, a device could feed
    // the reader forever, and neither has a length to check sizes against.
    std::error_code ec;
    const std::filesystem::path fs_path(path);
#ifndef __GLIBCXX__
    // libstdc++'s file_size below already fails for anything but a regular
    // file, which saves a second look at every one of a thousand icons;
    // elsewhere that is left to the implementation.
    if (!std::filesystem::is_regular_file(fs_path, ec))
        return fail(error, bmp_error::cant_open);
#endif
    const uint64_t file_size = std::filesystem::file_size(fs_path, ec);
    if (ec)
        return fail(error, bmp_error::cant_open);
    file_ptr f(std::fopen(path, "rb"), &std::fclose);
    if (!f)
        return fail(error, bmp_error::cant_open);
    // The reader asks for the headers and then for big blocks, each of which
    // a stream buffer would only copy once more; without one, every request
    // is one system call, which counts when converting a thousand icons.
    std::setvbuf(f.get(), nullptr, _IONBF, 0);

    std::vector<uint8_t> head;
    bmp_layout layout{};
    bmp_image* image = begin_image(f.get(), file_size, head, layout, error);
    if (!image)
        return nullptr;
    const uint64_t count = static_cast<uint64_t>(layout.width) * static_cast<uint64_t>(layout.height);
    if (layout.coding == encoding::raw && layout.bits >= 16 && count >= background_pixels &&
        convert_in_background(*image, f, layout))
        return image;
    return finish_image(image, decode(f.get(), layout, image->pixels, head), error);
}

bool wait_for_rows(const bmp_image& image, int32_t rows)
{
    bmp_decoding* d = image.decoding;
    if (!d || rows <= 0)
        return true;
    std::unique_lock lock(d->mutex);
    const auto wanted = static_cast<uint64_t>(rows);
    d->changed.wait(lock, [&] { return d->rows_ready >= wanted || d->finished; });
    return d->rows_ready >= wanted;
}

bmp_error decoding_error(const bmp_image& image)
{
    bmp_decoding* d = image.decoding;
    if (!d)
        return bmp_error::none;
    const std::lock_guard lock(d->mutex);
    return d->finished ? d->error : bmp_error::none;
}

void free_bmp(bmp_image* image)
{
    if (!image)
        return;
    if (bmp_decoding* d = image->decoding) {
        {
            const std::lock_guard lock(d->mutex);
            d->stop = true;
        }
        d->thread.join();
        delete d;
    }
    std::free(image->pixels);
    delete image;
}
