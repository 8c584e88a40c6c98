// Packed words as eight lower-case hexadecimal digits, made arithmetically:
// a big image has millions of words, and a few shifts and adds per word
// cost less than a table lookup per byte.
#ifndef VANTREL_HEX_FORMAT_H
#define VANTREL_HEX_FORMAT_H

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define VANTREL_SSE2 1
#include <emmintrin.h>
#endif

// The eight digits of v, most significant first in memory order, as one
// 64-bit value.
constexpr uint64_t hex_digits(uint32_t v)
{
    static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big);
    uint64_t x = v;
    if constexpr (std::endian::native == std::endian::little)
        x = (x >> 24) | ((x >> 8) & 0xff00) | ((x << 8) & 0xff0000) | ((x << 24) & 0xff000000);
    // Each byte of v into every other byte of x, then its two nibbles into a
    // byte each, the high nibble at the lower address.
    x = (x | (x << 16)) & 0x0000ffff0000ffff;
    x = (x | (x << 8)) & 0x00ff00ff00ff00ff;
    if constexpr (std::endian::native == std::endian::little)
        x = ((x & 0x000f000f000f000f) << 8) | ((x & 0x00f000f000f000f0) >> 4);
    else
        x = ((x & 0x00f000f000f000f0) << 4) | (x & 0x000f000f000f000f);
    // Nibbles of 10 and up carry into bit 4 when 6 is added; those bytes get
    // the gap from '9' + 1 to 'a' on top of '0'. No byte ever carries into
    // the next.
    const uint64_t letters = (((x + 0x0606060606060606) >> 4) & 0x0101010101010101) * uint64_t{'a' - '0' - 10};
    return x + 0x3030303030303030 + letters;
}

#ifdef VANTREL_SSE2
// The same digits for four words at once, with the SSE2 that every x86-64
// processor has: the four words from words on, each as ", 0x" and its eight
// digits, 48 bytes in all.
inline void four_words(const uint32_t* words, char* p)
{
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words));
    // Most significant byte first in memory, then each byte's nibbles side
    // by side, the high one first.
    x = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(x, 24), _mm_srli_epi32(x, 24)),
                     _mm_or_si128(_mm_and_si128(_mm_slli_epi32(x, 8), _mm_set1_epi32(0x00ff0000)),
                                  _mm_and_si128(_mm_srli_epi32(x, 8), _mm_set1_epi32(0x0000ff00))));
    const __m128i nibble = _mm_set1_epi8(0x0f);
    const __m128i high = _mm_and_si128(_mm_srli_epi16(x, 4), nibble), low = _mm_and_si128(x, nibble);
    const auto ascii = [](__m128i d) {
        const __m128i letters = _mm_and_si128(_mm_cmpgt_epi8(d, _mm_set1_epi8(9)), _mm_set1_epi8('a' - '0' - 10));
        return _mm_add_epi8(_mm_add_epi8(d, _mm_set1_epi8('0')), letters);
    };
    const __m128i first = ascii(_mm_unpacklo_epi8(high, low)), second = ascii(_mm_unpackhi_epi8(high, low));
    for (int k = 0; k < 4; ++k)
        std::memcpy(p + 12 * k, ", 0x", 4);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 4), first);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 16), _mm_unpackhi_epi64(first, first));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 28), second);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 40), _mm_unpackhi_epi64(second, second));
}
#endif

#endif
