// Channel values of any width to the 8 bits of the colour conversion, and
// over a background: the rules both readers share.
#ifndef VANTREL_SAMPLES_H
#define VANTREL_SAMPLES_H

#include <cstdint>

// v of a channel whose largest value is top (2^n - 1), as v * 255 / top
// rounded to nearest. top is odd, so there are no ties to break.
constexpr uint8_t scaled_sample(uint64_t v, uint64_t top)
{
    return static_cast<uint8_t>((v * 510 + top) / (2 * top));
}

// The same channel with alpha a of largest value a_top, over the 8-bit
// background b: round(a' * v * 255 / top + (1 - a') * b) with a' = a / a_top,
// rounded once, in integers. Both tops are odd, so again there are no ties.
constexpr uint8_t composited_sample(uint64_t v, uint64_t top, uint64_t a, uint64_t a_top, uint8_t b)
{
    const uint64_t n = a * v * 255 + (a_top - a) * b * top, d = a_top * top;
    return static_cast<uint8_t>((2 * n + d) / (2 * d));
}

static_assert(scaled_sample(31, 31) == 255 && scaled_sample(1, 31) == 8 && scaled_sample(32896, 65535) == 128);
static_assert(composited_sample(200, 255, 255, 255, 7) == 200 && composited_sample(200, 255, 0, 255, 7) == 7);

#endif
