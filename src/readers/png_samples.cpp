// Rows of samples, as a PNG library gives them, into the record's words:
// palette entries, greys of any depth, 16-bit samples and alpha, by the
// rules of image_reader.h and samples.h. Whatever the library, the words
// come from here, so every platform gives the same ones.
#include "png_decoding.h"
#include "samples.h"
#include "ycbcr.h"

namespace {

// Sample i of a row whose samples have the given width.
uint32_t sample(const uint8_t* samples, unsigned bits, size_t i, bool little_endian)
{
    switch (bits) {
    case 8:
        return samples[i];
    case 16: {
        const uint8_t* p = samples + 2 * i;
        return little_endian ? uint32_t(p[0] | p[1] << 8) : uint32_t(p[0] << 8 | p[1]);
    }
    default: {
        // Packed, the leftmost sample in the most significant bits (7.2).
        const size_t bit = i * bits;
        return uint32_t(samples[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
    }
    }
}

}  // namespace

png_converter::png_converter(const png_layout& layout, const read_options& options)
    : layout_(layout), options_(options)
{
    const uint8_t* bg = options.background;
    if (layout.colour == png_indexed) {
        for (uint32_t i = 0; i < layout.palette_size; ++i) {
            const uint8_t* c = &layout.palette[3 * i];
            const uint32_t a = i < layout.alphas ? layout.alpha[i] : 255;
            palette_words_[i] = options.composite
                                    ? ycbcr_word(composited_sample(c[0], 255, a, 255, bg[0]),
                                                 composited_sample(c[1], 255, a, 255, bg[1]),
                                                 composited_sample(c[2], 255, a, 255, bg[2]))
                                    : ycbcr_word(c[0], c[1], c[2]);
        }
    } else if (layout.depth == 16 && !options.composite) {
        to_8_bits_.resize(65536);
        for (uint32_t v = 0; v < 65536; ++v)
            to_8_bits_[v] = scaled_sample(v, 65535);
    } else if (layout.colour == png_grey && layout.depth <= 8) {
        // Every grey has its word; the transparent one is the background's.
        const uint32_t top = (1u << layout.depth) - 1;
        for (uint32_t v = 0; v <= top; ++v) {
            const uint8_t g = scaled_sample(v, top);
            palette_words_[v] = options.composite && layout.keyed && v == layout.key[0]
                                    ? ycbcr_word(bg[0], bg[1], bg[2])
                                    : ycbcr_word(g, g, g);
        }
    }
}

uint32_t png_converter::word(const sample_format& f, const uint8_t* samples, uint32_t first) const
{
    const uint32_t top = f.bits == 16 ? 65535 : (1u << f.bits) - 1;
    const uint32_t r = sample(samples, f.bits, first + f.red, f.little_endian),
                   g = sample(samples, f.bits, first + f.green, f.little_endian),
                   b = sample(samples, f.bits, first + f.blue, f.little_endian);
    if (!options_.composite)
        return ycbcr_word(scaled_sample(r, top), scaled_sample(g, top), scaled_sample(b, top));
    // Alpha from its channel, or from the key of tRNS: fully transparent
    // where every sample matches it, opaque elsewhere.
    uint32_t a = top;
    if (f.alpha < f.channels)
        a = sample(samples, f.bits, first + f.alpha, f.little_endian);
    else if (layout_.keyed && r == layout_.key[0] && g == layout_.key[1] && b == layout_.key[2])
        a = 0;
    const uint8_t* bg = options_.background;
    return ycbcr_word(composited_sample(r, top, a, top, bg[0]), composited_sample(g, top, a, top, bg[1]),
                      composited_sample(b, top, a, top, bg[2]));
}

bool png_converter::convert(const sample_format& f, const png_row& row, uint32_t* row_words)
{
    // Column x is at index width - 1 - x.
    uint32_t* dest = row_words + layout_.width - 1 - row.x0;
    const size_t step = row.dx;
    // The common layouts each have a loop of their own: a big picture has
    // millions of pixels.
    if (f.indexed || (f.channels == 1 && f.bits <= 8 && f.bits == layout_.depth)) {
        const uint32_t entries = f.indexed ? layout_.palette_size : 256;
        const unsigned per_byte = 8 / f.bits, low = (1u << f.bits) - 1;
        for (uint32_t k = 0; k < row.count;) {
            // The samples of a byte, the leftmost in its high bits (7.2).
            const unsigned byte = row.samples[k / per_byte];
            for (unsigned i = 0; i < per_byte && k < row.count; ++i, ++k, dest -= step) {
                const unsigned v = byte >> (8 - f.bits * (i + 1)) & low;
                if (v >= entries)
                    return false;  // an index without a palette entry
                *dest = palette_words_[v];
            }
        }
        return true;
    }
    if (f.channels >= 3 && !options_.composite && f.bits == 8) {
        const uint8_t* p = row.samples;
        for (uint32_t k = 0; k < row.count; ++k, dest -= step, p += f.channels)
            *dest = ycbcr_word(p[f.red], p[f.green], p[f.blue]);
        return true;
    }
    if (f.channels >= 3 && !options_.composite && f.bits == 16 && !to_8_bits_.empty()) {
        const uint8_t* p = row.samples;
        const auto at = [&](unsigned i) {
            const unsigned first = p[2 * i], second = p[2 * i + 1];
            return to_8_bits_[f.little_endian ? first | second << 8 : first << 8 | second];
        };
        for (uint32_t k = 0; k < row.count; ++k, dest -= step, p += 2 * f.channels)
            *dest = ycbcr_word(at(f.red), at(f.green), at(f.blue));
        return true;
    }
    for (uint32_t k = 0; k < row.count; ++k, dest -= step)
        *dest = word(f, row.samples, k * f.channels);
    return true;
}
