#include <gtest/gtest.h>

#include <limits>

#include "bmp.h"

namespace {

TEST(Conversion, WorkedColoursAndGreys)
{
    const std::pair<uint32_t, uint32_t> cases[] = {
        {0x000000, 0x00800080}, {0xffffff, 0xfe80fe80}, {0x808080, 0x7f807f80}, {0xff0000, 0x4c544cff},
        {0x00ff00, 0x952b9515}, {0x0000ff, 0x1dff1d6b}, {0xffff00, 0xe100e194}, {0x00ffff, 0xb2abb200},
        {0xff00ff, 0x69d469ea},
    };
    for (const auto& [rgb, word] : cases)
        EXPECT_EQ(pack_ycbcr(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)), word) << std::hex << rgb;
    // The binary64 luma weights add up to just under 1: every grey but black
    // lands one level below its own.
    for (uint32_t v = 1; v < 256; ++v)
        EXPECT_EQ(pack_ycbcr(uint8_t(v), uint8_t(v), uint8_t(v)), (v - 1) * 0x01000100u + 0x800080u) << v;
}

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

}  // namespace
