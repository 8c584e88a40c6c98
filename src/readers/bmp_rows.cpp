// Decoding uncompressed rows: palette indices, 16- and 32-bit pixels by
// their masks, and 24-bit pixels.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "big_buffer.h"
#include "bmp_decoding.h"
#include "reader_limits.h"
#include "samples.h"
#include "ycbcr.h"

namespace {

// An n-bit channel value scaled to 0..255 (samples.h).
uint8_t channel_value(const channel& c, uint32_t pixel)
{
    const uint64_t v = (pixel & c.mask) >> c.shift;
    return c.bits == 8 ? static_cast<uint8_t>(v) : scaled_sample(v, (uint64_t{1} << c.bits) - 1);
}

// The same over the background, by the pixel's alpha.
uint8_t composited_value(const channel& c, uint32_t pixel, uint64_t a, uint64_t a_top, uint8_t background)
{
    return composited_sample((pixel & c.mask) >> c.shift, (uint64_t{1} << c.bits) - 1, a, a_top, background);
}

uint32_t pack_masked(const bmp_layout& layout, uint32_t pixel)
{
    if (layout.options.composite && layout.alpha.bits > 0) {
        const uint64_t a = (pixel & layout.alpha.mask) >> layout.alpha.shift, top = (uint64_t{1} << layout.alpha.bits) - 1;
        const uint8_t* bg = layout.options.background;
        return ycbcr_word(composited_value(layout.red, pixel, a, top, bg[0]),
                          composited_value(layout.green, pixel, a, top, bg[1]),
                          composited_value(layout.blue, pixel, a, top, bg[2]));
    }
    return ycbcr_word(channel_value(layout.red, pixel), channel_value(layout.green, pixel),
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
            *--dest = ycbcr_word(src[2], src[1], src[0]);
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

// Reads bytes [at, at + n) of the file into block.
image_error read_at(const bmp_source& source, uint64_t at, uint64_t n, uint8_t* block)
{
    if (at + n <= source.prefetched.size()) {
        std::memcpy(block, source.prefetched.data() + at, static_cast<size_t>(n));
        return image_error::none;
    }
    return source.bytes.read(at, static_cast<size_t>(n), block);
}

}  // namespace

// Reads the rows in blocks, the picture's top first (so a bottom-up file
// from its end backwards), and converts them straight into the record's
// order.
image_error decode_rows(const bmp_source& source, const bmp_layout& layout, uint32_t* pixels,
                        const rows_done_fn& rows_done)
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
    // Converts the stored rows from first on, held at data, into the record.
    const auto convert = [&](const uint8_t* data, uint64_t first, uint64_t rows) {
        for (uint64_t stored = first; stored < first + rows; ++stored, data += layout.stride) {
            const uint64_t image_row = layout.top_down ? stored : height - 1 - stored;
            if (!decode_row(layout, words16.data(), data, pixels + image_row * width))
                return false;
        }
        return true;
    };
    // A small file was read whole with its headers.
    if (layout.offset + (height - 1) * layout.stride + layout.row_bytes <= source.prefetched.size()) {
        const bool converted = convert(source.prefetched.data() + layout.offset, 0, height);
        rows_done(static_cast<uint32_t>(height));
        return converted ? image_error::none : image_error::bad_format;
    }
    const uint64_t rows_per_block = std::clamp<uint64_t>(uint64_t{VANTREL_BLOCK_BYTES} / layout.stride, 1, height);
    const buffer_ptr<uint8_t> block = make_buffer<uint8_t>(static_cast<size_t>(rows_per_block * layout.stride));
    if (!block)
        return image_error::out_of_memory;

    for (uint64_t top = 0; top < height;) {
        const uint64_t rows = std::min(rows_per_block, height - top);
        const uint64_t first_stored = layout.top_down ? top : height - top - rows;
        // The file's last row may lack its padding.
        const uint64_t bytes = (rows - 1) * layout.stride + layout.row_bytes;
        const image_error why = read_at(source, layout.offset + first_stored * layout.stride, bytes, block.get());
        if (why != image_error::none)
            return why;
        if (!convert(block.get(), first_stored, rows))
            return image_error::bad_format;
        top += rows;
        if (!rows_done(static_cast<uint32_t>(top)))
            break;
    }
    return image_error::none;
}
