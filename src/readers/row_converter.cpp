// Rows of samples into words, for every format alike: palette entries,
// channels of any width, masked pixels and alpha, by the rules of
// image_reader.h and samples.h. Whatever the reader or its library, the
// words come from here, so every platform gives the same ones.
#include "row_converter.h"
#include "samples.h"
#include "ycbcr.h"
#include "ycbcr_rows.h"

namespace {

// Sample i of a row whose samples have the given width.
uint32_t sample(const uint8_t* samples, uint32_t bits, size_t i, bool little_endian)
{
    switch (bits) {
    case 8:
        return samples[i];
    case 16: {
        const uint8_t* p = samples + 2 * i;
        return little_endian ? uint32_t(p[0] | p[1] << 8) : uint32_t(p[0] << 8 | p[1]);
    }
    default: {
        // Packed, the leftmost sample in the most significant bits (PNG
        // 7.2; a bitmap's indices alike).
        const size_t bit = i * bits;
        return uint32_t(samples[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
    }
    }
}

// The colour itself, 0x00RRGGBB, for a run whose output converts it
// (read_options::rgb).
inline uint32_t rgb_word(uint8_t r, uint8_t g, uint8_t b)
{
    return uint32_t{r} << 16 | uint32_t{g} << 8 | b;
}

uint32_t colour_word(bool rgb, uint8_t r, uint8_t g, uint8_t b)
{
    return rgb ? rgb_word(r, g, b) : ycbcr_word(r, g, b);
}

uint32_t composited_word(bool rgb, const uint32_t (&c)[3], uint64_t top, uint64_t a, uint64_t a_top, const uint8_t* bg)
{
    return colour_word(rgb, composited_sample(c[0], top, a, a_top, bg[0]), composited_sample(c[1], top, a, a_top, bg[1]),
                       composited_sample(c[2], top, a, a_top, bg[2]));
}

// The loops of 8- and 16-bit samples without alpha to composite, with the
// colour's word made by colour: false for other layouts.
template <typename colour_of>
bool opaque_loops(const sample_layout& f, const std::vector<uint8_t>& to_8_bits_table, const uint8_t* samples,
                  uint32_t* words, uint32_t* const end, colour_of colour)
{
    // The layout in locals: the words written could otherwise be its
    // fields, read again for every pixel.
    const uint32_t channels = f.channels, red = f.red, green = f.green, blue = f.blue;
    if (channels == 3 && red == 2 && blue == 0 && f.bits == 8) {
        for (; words != end; ++words, samples += 3)  // a bitmap's blue, green, red
            *words = colour(samples[2], samples[1], samples[0]);
        return true;
    }
    if (channels >= 3 && f.bits == 8) {
        for (; words != end; ++words, samples += channels)
            *words = colour(samples[red], samples[green], samples[blue]);
        return true;
    }
    if (channels >= 3 && f.bits == 16) {
        const uint8_t* to_8_bits = to_8_bits_table.data();
        const bool little = f.little_endian;
        const auto at = [&](uint32_t i) {
            const uint32_t first = samples[2 * i], second = samples[2 * i + 1];
            return to_8_bits[little ? first | second << 8 : first << 8 | second];
        };
        for (; words != end; ++words, samples += 2 * channels)
            *words = colour(at(red), at(green), at(blue));
        return true;
    }
    return false;
}

}  // namespace

row_converter::row_converter(const sample_layout& layout, uint32_t width, const read_options& options,
                             uint64_t pixels)
    : layout_(layout), width_(width), options_(options)
{
    using kind = sample_layout::kind;
    // Samples without alpha or a key are opaque: a background changes
    // nothing, and the fast loops serve them.
    if (layout.packing == kind::samples && layout.alpha >= layout.channels && !layout.keyed)
        options_.composite = false;
    const bool composite = options_.composite;
    if (layout.packing == kind::indices) {
        for (uint32_t i = 0; i < layout.palette_size; ++i) {
            const uint8_t* e = &layout.palette[4 * i];
            const uint32_t c[3] = {e[0], e[1], e[2]};
            table_[i] = composite ? composited_word(options.rgb, c, 255, e[3], 255, options.background)
                                  : colour_word(options.rgb, e[0], e[1], e[2]);
        }
    } else if (layout.packing == kind::masked && layout.bits == 16 && pixels >= 65536) {
        // Every 16-bit pixel's word, made once rather than per pixel.
        pixel_words_.resize(65536);
        for (uint32_t v = 0; v < 65536; ++v)
            pixel_words_[v] = masked_word(v);
    } else if (layout.packing == kind::samples && layout.bits == 16 && !composite) {
        to_8_bits_.resize(65536);
        for (uint32_t v = 0; v < 65536; ++v)
            to_8_bits_[v] = scaled_sample(v, 65535);
    } else if (layout.packing == kind::samples && layout.channels == 1 && layout.bits <= 8) {
        // Every grey has its word; the transparent one is the background's.
        const uint32_t top = (1u << layout.bits) - 1;
        const uint8_t* bg = options.background;
        for (uint32_t v = 0; v <= top; ++v) {
            const uint8_t g = scaled_sample(v, top);
            table_[v] = composite && layout.keyed && v == layout.key[0] ? colour_word(options.rgb, bg[0], bg[1], bg[2])
                                                                        : colour_word(options.rgb, g, g, g);
        }
    }
}

uint32_t row_converter::masked_word(uint32_t pixel) const
{
    const auto value = [&](const sample_layout::mask& m) { return (pixel >> m.shift) & ((uint64_t{1} << m.bits) - 1); };
    const auto top = [](const sample_layout::mask& m) { return (uint64_t{1} << m.bits) - 1; };
    const sample_layout::mask *r = &layout_.masks[0], *g = &layout_.masks[1], *b = &layout_.masks[2],
                              *a = &layout_.masks[3];
    if (options_.composite && a->bits > 0) {
        const uint8_t* bg = options_.background;
        return colour_word(options_.rgb, composited_sample(value(*r), top(*r), value(*a), top(*a), bg[0]),
                           composited_sample(value(*g), top(*g), value(*a), top(*a), bg[1]),
                           composited_sample(value(*b), top(*b), value(*a), top(*a), bg[2]));
    }
    const auto scaled = [&](const sample_layout::mask& m) {
        return m.bits == 8 ? static_cast<uint8_t>(value(m)) : scaled_sample(value(m), top(m));
    };
    return colour_word(options_.rgb, scaled(*r), scaled(*g), scaled(*b));
}

uint32_t row_converter::word(const uint8_t* samples, size_t first) const
{
    const sample_layout& f = layout_;
    const uint32_t top = f.bits == 16 ? 65535 : (1u << f.bits) - 1;
    const uint32_t c[3] = {sample(samples, f.bits, first + f.red, f.little_endian),
                           sample(samples, f.bits, first + f.green, f.little_endian),
                           sample(samples, f.bits, first + f.blue, f.little_endian)};
    if (!options_.composite)
        return colour_word(options_.rgb, scaled_sample(c[0], top), scaled_sample(c[1], top), scaled_sample(c[2], top));
    // Alpha from its channel, or from the key of tRNS: fully transparent
    // where every sample matches it, opaque elsewhere.
    uint32_t a = top;
    if (f.alpha < f.channels)
        a = sample(samples, f.bits, first + f.alpha, f.little_endian);
    else if (f.keyed && c[0] == f.key[0] && c[1] == f.key[1] && c[2] == f.key[2])
        a = 0;
    return composited_word(options_.rgb, c, top, a, top, options_.background);
}

bool row_converter::convert(const uint8_t* samples, uint32_t* words) const
{
    if (!convert_colours(samples, words))
        return false;
    if (options_.layout)
        prepare_row(*options_.layout, options_.model.value_or(ycbcr_model{}), width_, words);
    else if (options_.model)
        options_.model->words(words, width_);
    return true;
}

bool row_converter::convert_colours(const uint8_t* samples, uint32_t* words) const
{
    using kind = sample_layout::kind;
    const sample_layout& f = layout_;
    uint32_t* const end = words + width_;
    // The common layouts each have a loop of their own: a big picture has
    // millions of pixels.
    if (f.packing == kind::indices || (f.packing == kind::samples && f.channels == 1 && f.bits <= 8)) {
        const uint32_t entries = f.packing == kind::indices ? f.palette_size : 256;
        const uint32_t* table = table_.data();
        if (f.bits == 8) {
            for (; words != end; ++words, ++samples) {
                if (*samples >= entries)
                    return false;  // an index without a palette entry
                *words = table[*samples];
            }
            return true;
        }
        const uint32_t per_byte = 8 / f.bits, low = (1u << f.bits) - 1;
        while (words != end) {
            // The samples of a byte, the leftmost in its high bits.
            const uint32_t byte = *samples++;
            for (uint32_t i = 0; i < per_byte && words != end; ++i, ++words) {
                const uint32_t v = byte >> (8 - f.bits * (i + 1)) & low;
                if (v >= entries)
                    return false;
                *words = table[v];
            }
        }
        return true;
    }
    if (f.packing == kind::masked) {
        if (f.bits == 16) {
            const uint32_t* pixel_words = pixel_words_.data();
            if (pixel_words != nullptr) {
                for (; words != end; ++words, samples += 2)
                    *words = pixel_words[samples[0] | samples[1] << 8];
            } else {
                for (; words != end; ++words, samples += 2)
                    *words = masked_word(uint32_t(samples[0] | samples[1] << 8));
            }
        } else {
            for (; words != end; ++words, samples += 4)
                *words = masked_word(uint32_t(samples[0]) | uint32_t(samples[1]) << 8 | uint32_t(samples[2]) << 16 |
                                     uint32_t(samples[3]) << 24);
        }
        return true;
    }
    if (f.ycbcr) {
        for (; words != end; ++words, samples += 3)
            *words = uint32_t{samples[0]} << 24 | uint32_t{samples[1]} << 16 | uint32_t{samples[0]} << 8 | samples[2];
        return true;
    }
    if (!options_.composite && !options_.rgb && f.channels >= 3 && f.bits == 8) {
        ycbcr_row(samples, f.channels, f.red, f.green, f.blue, words, width_);
        return true;
    }
    if (!options_.composite && (options_.rgb ? opaque_loops(f, to_8_bits_, samples, words, end, rgb_word)
                                             : opaque_loops(f, to_8_bits_, samples, words, end, ycbcr_word)))
        return true;
    for (size_t k = 0; words != end; ++words, ++k)
        *words = word(samples, k * f.channels);
    return true;
}
