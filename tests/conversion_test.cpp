#include <gtest/gtest.h>

#include <limits>

#include "colour.h"
#include "row_converter.h"

namespace {

// Every colour against the textbook evaluation in long double, which is
// exact for these operands where it has a 64-bit significand.
TEST(Conversion, EveryColourMatchesExactEvaluation)
{
    if (std::numeric_limits<long double>::digits < 64)
        GTEST_SKIP() << "long double is not exact enough here to serve as the reference";
    const long double k[3][3] = {{0.299, 0.587, 0.114}, {-0.16874, -0.33126, 0.5}, {0.5, -0.41869, -0.08131}};
    int mismatches = 0;
    for (uint32_t rgb = 0; rgb < (1u << 24) && mismatches < 5; ++rgb) {
        const long double r = rgb >> 16, g = (rgb >> 8) & 0xff, b = rgb & 0xff;
        uint32_t c[3];
        for (int i = 0; i < 3; ++i)
            c[i] = uint32_t(int64_t(k[i][0] * r + k[i][1] * g + k[i][2] * b + (i ? 128.0L : 0.0L)) & 0xff);
        const uint32_t got = pack_ycbcr(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb));
        if (got != (c[0] << 24 | c[1] << 16 | c[0] << 8 | c[2]))
            ADD_FAILURE() << std::hex << "colour 0x" << rgb << " gives 0x" << got << ++mismatches;
    }
}

// The preview's inverse conversion gives every colour back within 3 of each
// channel.
TEST(Conversion, EveryColourComesBackWithin3)
{
    int worst = 0;
    for (uint32_t rgb = 0; rgb < (1u << 24); ++rgb) {
        const uint32_t word = pack_ycbcr(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb));
        uint8_t back[3];
        words_to_rgb(&word, 1, back);
        for (int i = 0; i < 3; ++i)
            worst = std::max(worst, std::abs(int(back[i]) - int((rgb >> (16 - 8 * i)) & 0xff)));
    }
    EXPECT_LE(worst, 3);
}

}  // namespace
