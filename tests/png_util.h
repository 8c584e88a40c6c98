// PNG files made by the tests, chunk by chunk, with image data in stored
// (uncompressed) deflate blocks, so that every byte is the test's own.
#ifndef VANTREL_PNG_UTIL_H
#define VANTREL_PNG_UTIL_H

#include <string>

#include "test_util.h"

inline void put32(bytes& b, uint32_t v)
{
    for (const int shift : {24, 16, 8, 0})
        b.push_back(uint8_t(v >> shift));
}

// A chunk: length, type, data and the CRC of type and data, computed bit by
// bit as the PNG standard's annex D describes (or a wrong one).
inline bytes chunk(const std::string& type, const bytes& data, bool good_crc = true)
{
    bytes out;
    put32(out, uint32_t(data.size()));
    bytes typed(type.begin(), type.end());
    typed.insert(typed.end(), data.begin(), data.end());
    uint32_t crc = 0xffffffff;
    for (const uint8_t byte : typed) {
        crc ^= byte;
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? 0xedb88320 ^ (crc >> 1) : crc >> 1;
    }
    out.insert(out.end(), typed.begin(), typed.end());
    put32(out, good_crc ? ~crc : crc);
    return out;
}

inline bytes ihdr(uint32_t width, uint32_t height, uint8_t depth, uint8_t colour, uint8_t interlace = 0)
{
    bytes data;
    put32(data, width), put32(data, height);
    data.insert(data.end(), {depth, colour, 0, 0, interlace});
    return chunk("IHDR", data);
}

// A zlib stream of stored blocks holding raw, with its Adler-32 (or a wrong one).
inline bytes zlib_stored(const bytes& raw, bool good_adler = true)
{
    bytes out = {0x78, 0x01};
    size_t at = 0;
    do {
        const size_t n = std::min<size_t>(raw.size() - at, 65535);
        out.push_back(at + n == raw.size() ? 1 : 0);
        out.insert(out.end(), {uint8_t(n), uint8_t(n >> 8), uint8_t(~n), uint8_t(~n >> 8)});
        out.insert(out.end(), raw.begin() + long(at), raw.begin() + long(at + n));
        at += n;
    } while (at < raw.size());
    uint32_t a = 1, b = 0;
    for (const uint8_t byte : raw)
        a = (a + byte) % 65521, b = (b + a) % 65521;
    put32(out, good_adler ? b << 16 | a : ~(b << 16 | a));
    return out;
}

// Rows of samples, each behind filter byte 0 (none).
inline bytes unfiltered(const std::vector<bytes>& rows)
{
    bytes raw;
    for (const bytes& row : rows) {
        raw.push_back(0);
        raw.insert(raw.end(), row.begin(), row.end());
    }
    return raw;
}

inline const bytes png_signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

inline bytes join(const std::vector<bytes>& parts)
{
    bytes out;
    for (const bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// An interlaced picture of 16-bit grey, all black, in one IDAT chunk: its
// passes are twice its pixels in bytes, which the reader must hold.
inline bytes black_interlaced(uint32_t width, uint32_t height)
{
    constexpr uint32_t steps[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                      {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    size_t raw = 0;
    for (const auto& [x0, y0, dx, dy] : steps)
        if (width > x0 && height > y0)
            raw += size_t((height - y0 + dy - 1) / dy) * (1 + 2 * size_t((width - x0 + dx - 1) / dx));
    return join({png_signature, ihdr(width, height, 16, 0, 1), chunk("IDAT", zlib_stored(bytes(raw))), chunk("IEND", {})});
}

#endif
