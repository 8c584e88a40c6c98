// CRC-32 as PNG defines it, for the chunk checks (png_chunks.cpp).
#ifndef VANTREL_PNG_CRC_H
#define VANTREL_PNG_CRC_H

#include <array>
#include <cstddef>
#include <cstdint>

// CRC-32 as PNG defines it (annex D), eight bytes a step: the files are
// checked whole, image data and all, so this is worth its tables.
using crc_tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr crc_tables make_crc_tables()
{
    crc_tables t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = c & 1 ? 0xedb88320u ^ (c >> 1) : c >> 1;
        t[0][n] = c;
    }
    for (size_t k = 1; k < 8; ++k)
        for (uint32_t n = 0; n < 256; ++n)
            t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xff];
    return t;
}

inline constexpr crc_tables crc_table = make_crc_tables();

// Continues crc (started at 0xffffffff, finished by inverting it) over n bytes.
inline uint32_t crc_update(uint32_t crc, const uint8_t* p, size_t n)
{
    for (; n >= 8; n -= 8, p += 8) {
        const uint32_t low = crc ^ (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
        crc = crc_table[7][low & 0xff] ^ crc_table[6][(low >> 8) & 0xff] ^ crc_table[5][(low >> 16) & 0xff] ^
              crc_table[4][low >> 24] ^ crc_table[3][p[4]] ^ crc_table[2][p[5]] ^ crc_table[1][p[6]] ^
              crc_table[0][p[7]];
    }
    for (; n > 0; --n, ++p)
        crc = crc_table[0][(crc ^ *p) & 0xff] ^ (crc >> 8);
    return crc;
}

// Whether a chunk's stored CRC is the one computed. The fuzz build takes
// any but zero, so that an input changed inside a chunk still reaches the
// checks after the CRC's and the library, which no fuzzer would get to by
// fixing CRCs; zero is how it makes a wrong one.
constexpr bool crc_matches(uint32_t stored, uint32_t computed)
{
#ifdef VANTREL_FUZZ_ANY_CRC
    return stored != 0 || computed == 0;
#else
    return stored == computed;
#endif
}

#endif
