// The exact colour conversion from 8-bit RGB to the packed luma/chroma word.
//
// The JFIF equations are given with binary64 coefficients and exact
// arithmetic, truncated toward zero. Plain double arithmetic rounds the
// products and sums and gets Y wrong for thousands of colours (most greys,
// whose exact luma lies just below an integer), and long double is only
// exact where it happens to be the x87 80-bit format. So the conversion is
// done in integers: every coefficient is an integer multiple of 2^-56 (the
// smallest ones, 0.114 and 0.08131, have their last significand bit at
// 2^-56), so scaled by 2^56 each is an exact integer and each component an
// exact integer sum. For channels 0..255 every component lies in
// [0, 255.5], its scaled sum in [0, 2^64): unsigned 64-bit arithmetic, which
// wraps, ends on the exact value even when a negative term passes below zero
// on the way, and shifting right by 56 truncates it.
#ifndef VANTREL_YCBCR_H
#define VANTREL_YCBCR_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace ycbcr_tables {

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

struct channel_terms {
    std::array<uint64_t, 256> y, cb, cr;
};

// One table per channel holding its three scaled products; the chroma offset
// of 128 rides on blue's entries so that a pixel costs nine loads and three
// adds.
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

inline constexpr channel_terms red = make_terms(0.299, -0.16874, 0.5, 0);
inline constexpr channel_terms green = make_terms(0.587, -0.33126, -0.41869, 0);
inline constexpr channel_terms blue = make_terms(0.114, 0.5, -0.08131, uint64_t{128} << 56);

}  // namespace ycbcr_tables

// Y << 24 | Cb << 16 | Y << 8 | Cr for one colour; pack_ycbcr in
// image_reader.h is the same for callers outside the reader.
inline uint32_t ycbcr_word(uint8_t r, uint8_t g, uint8_t b)
{
    using namespace ycbcr_tables;
    const auto y = static_cast<uint32_t>((red.y[r] + green.y[g] + blue.y[b]) >> 56);
    const auto cb = static_cast<uint32_t>((red.cb[r] + green.cb[g] + blue.cb[b]) >> 56);
    const auto cr = static_cast<uint32_t>((red.cr[r] + green.cr[g] + blue.cr[b]) >> 56);
    return y << 24 | cb << 16 | y << 8 | cr;
}

#endif
