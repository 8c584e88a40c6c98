// Rows of 8-bit colours into packed words: the same words as ycbcr_word
// (ycbcr.h), four pixels at a time with the SSE2 every x86-64 processor
// has. Converting is a large share of a big picture's time, most of all
// one decoded as fast as a JPEG is.
//
// Each component is its exact scaled sum (2^56 times it) rounded down.
// Here each of its three terms is scaled by 2^22 instead and rounded down,
// and a colour's components sit side by side in one 128-bit table entry per
// channel, so that a pixel costs three loads and two adds. The three
// rounded terms' sum A falls short of 2^-34 times the exact sum by less
// than 3, so the component is A / 2^22 rounded down unless A lies within 3
// below a multiple of 2^22; for those few colours (about one in a million)
// the exact conversion decides.
#ifndef VANTREL_YCBCR_ROWS_H
#define VANTREL_YCBCR_ROWS_H

#include <array>
#include <cstddef>
#include <cstdint>

#include "ycbcr.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define VANTREL_YCBCR_SSE2 1
#include <emmintrin.h>
#endif

namespace ycbcr_tables {

constexpr int fast_bits = 22;
constexpr int32_t fast_one = int32_t{1} << fast_bits;

// coefficient * v * 2^22, rounded down, exactly.
constexpr int32_t fast_term(double coefficient, uint32_t v)
{
    constexpr int shift = 56 - fast_bits;
    const auto scaled = static_cast<int64_t>(coefficient * scale);  // exact
    const uint64_t magnitude = uint64_t(scaled < 0 ? -scaled : scaled) * v;  // below 2^64: every |c| * 255 < 2^8
    return scaled < 0 ? -static_cast<int32_t>((magnitude + (uint64_t{1} << shift) - 1) >> shift)
                      : static_cast<int32_t>(magnitude >> shift);
}

// Cr, Y, Cb, Y: the word's bytes, lowest first.
struct alignas(16) fast_entry {
    int32_t lane[4];
};
using fast_table = std::array<fast_entry, 256>;

// offset: what the channel's entries add to Y and to the chroma. The
// chroma offset of 128 rides on blue's, and on all three components a bias
// of 256 that keeps every sum positive (a sum a little below 0 rounds to
// 0 only through the exact conversion) and goes with the bits above a byte.
constexpr fast_table make_fast(double y, double cb, double cr, bool offset)
{
    const int32_t luma = offset ? 256 * fast_one : 0, chroma = offset ? 384 * fast_one : 0;
    fast_table t{};
    for (uint32_t v = 0; v < 256; ++v) {
        const int32_t ty = fast_term(y, v) + luma;
        t[v] = {{fast_term(cr, v) + chroma, ty, fast_term(cb, v) + chroma, ty}};
    }
    return t;
}

inline constexpr fast_table fast_red = make_fast(0.299, -0.16874, 0.5, false);
inline constexpr fast_table fast_green = make_fast(0.587, -0.33126, -0.41869, false);
inline constexpr fast_table fast_blue = make_fast(0.114, 0.5, -0.08131, true);

}  // namespace ycbcr_tables

// The words of count pixels of 8-bit samples, one pixel every step bytes
// from pixels on, its red, green and blue at those offsets in it.
inline void ycbcr_row(const uint8_t* pixels, size_t step, size_t red, size_t green, size_t blue, uint32_t* words,
                      size_t count)
{
    size_t i = 0;
#ifdef VANTREL_YCBCR_SSE2
    using namespace ycbcr_tables;
    const auto entry = [](const fast_table& t, uint8_t v) {
        return _mm_load_si128(reinterpret_cast<const __m128i*>(t[v].lane));
    };
    const __m128i below = _mm_set1_epi32(fast_one - 1), edge = _mm_set1_epi32(fast_one - 3),
                  byte = _mm_set1_epi32(0xff);
    for (; i + 4 <= count; i += 4, words += 4) {
        __m128i c[4], near = _mm_setzero_si128();
        for (size_t k = 0; k < 4; ++k) {
            const uint8_t* p = pixels + (i + k) * step;
            const __m128i sum =
                _mm_add_epi32(_mm_add_epi32(entry(fast_red, p[red]), entry(fast_green, p[green])), entry(fast_blue, p[blue]));
            near = _mm_or_si128(near, _mm_cmpgt_epi32(_mm_and_si128(sum, below), edge));
            c[k] = _mm_and_si128(_mm_srli_epi32(sum, fast_bits), byte);
        }
        if (_mm_movemask_epi8(near) != 0) {
            for (size_t k = 0; k < 4; ++k) {
                const uint8_t* p = pixels + (i + k) * step;
                words[k] = ycbcr_word(p[red], p[green], p[blue]);
            }
            continue;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(words),
                         _mm_packus_epi16(_mm_packs_epi32(c[0], c[1]), _mm_packs_epi32(c[2], c[3])));
    }
#endif
    for (const uint8_t* p = pixels + i * step; i < count; ++i, p += step)
        *words++ = ycbcr_word(p[red], p[green], p[blue]);
}

#endif
