#include "colour.h"

#include <algorithm>
#include <array>

namespace {

// The equations' coefficients have six decimals, so in millionths every
// term is an exact integer and every machine gives the same result.
constexpr int32_t unit = 1000000;
// Added to every sum so that it is never negative, and taken off again by
// the clamping table.
constexpr int32_t offset = 256;

struct tables {
    std::array<uint32_t, 256> y{}, r_cr{}, g_cb{}, g_cr{}, b_cb{};
    // Index: a rounded channel plus offset; the largest sum is 255 + 226 + offset.
    std::array<uint8_t, 1024> clamp{};
};

constexpr tables make_tables()
{
    tables t;
    for (int32_t i = 0; i < 256; ++i) {
        const int32_t c = i - 128;
        // Unsigned wrap-around is well defined; the sums come out in range.
        t.y[size_t(i)] = uint32_t(i * unit + unit / 2 + offset * unit);
        t.r_cr[size_t(i)] = uint32_t(1402000 * c);
        t.g_cb[size_t(i)] = uint32_t(-344136 * c);
        t.g_cr[size_t(i)] = uint32_t(-714136 * c);
        t.b_cb[size_t(i)] = uint32_t(1772000 * c);
    }
    for (int32_t i = 0; i < 1024; ++i)
        t.clamp[size_t(i)] = uint8_t(std::clamp(i - offset, 0, 255));
    return t;
}

constexpr tables t = make_tables();

}  // namespace

void words_to_rgb(const uint32_t* words, size_t count, uint8_t* rgb)
{
    for (size_t i = 0; i < count; ++i, rgb += 3) {
        const uint32_t w = words[i];
        const uint32_t y = t.y[w >> 24], cb = (w >> 16) & 0xff, cr = w & 0xff;
        rgb[0] = t.clamp[(y + t.r_cr[cr]) / unit];
        rgb[1] = t.clamp[(y + t.g_cb[cb] + t.g_cr[cr]) / unit];
        rgb[2] = t.clamp[(y + t.b_cb[cb]) / unit];
    }
}
