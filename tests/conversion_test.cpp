#include <gtest/gtest.h>

#include <limits>

#include "bmp.h"

namespace {

TEST(Conversion, WorkedColours)
{
    struct case_t {
        uint8_t r, g, b;
        uint32_t word;
    };
    const case_t cases[] = {
        {0, 0, 0, 0x00800080},     {255, 255, 255, 0xfe80fe80}, {128, 128, 128, 0x7f807f80},
        {255, 0, 0, 0x4c544cff},   {0, 255, 0, 0x952b9515},     {0, 0, 255, 0x1dff1d6b},
        {255, 255, 0, 0xe100e194}, {0, 255, 255, 0xb2abb200},   {255, 0, 255, 0x69d469ea},
    };
    for (const case_t& c : cases)
        EXPECT_EQ(pack_ycbcr(c.r, c.g, c.b), c.word) << int(c.r) << "," << int(c.g) << "," << int(c.b);
}

// The binary64 luma weights add up to just under 1, so every grey but black
// lands one below its level once truncated.
TEST(Conversion, GreysLoseOneLevelOfLuma)
{
    for (uint32_t v = 1; v < 256; ++v) {
        const uint32_t y = v - 1;
        EXPECT_EQ(pack_ycbcr(uint8_t(v), uint8_t(v), uint8_t(v)), y << 24 | 0x800000u | y << 8 | 0x80u) << v;
    }
}

// Every colour against the textbook evaluation in 64-bit-significand long
// double, which is exact for these operands.
TEST(Conversion, EveryColourMatchesExactEvaluation)
{
    if (std::numeric_limits<long double>::digits < 64)
        GTEST_SKIP() << "long double is not exact enough here to serve as the reference";
    const long double ky[] = {0.299, 0.587, 0.114};
    const long double kb[] = {-0.16874, -0.33126, 0.5};
    const long double kr[] = {0.5, -0.41869, -0.08131};
    const long double offset = 128.0;
    uint64_t mismatches = 0;
    for (uint32_t rgb = 0; rgb < (1u << 24); ++rgb) {
        const long double r = rgb >> 16, g = (rgb >> 8) & 0xff, b = rgb & 0xff;
        const auto y = static_cast<uint32_t>(static_cast<int64_t>(ky[0] * r + ky[1] * g + ky[2] * b) & 0xff);
        const auto cb = static_cast<uint32_t>(static_cast<int64_t>(kb[0] * r + kb[1] * g + kb[2] * b + offset) & 0xff);
        const auto cr = static_cast<uint32_t>(static_cast<int64_t>(kr[0] * r + kr[1] * g + kr[2] * b + offset) & 0xff);
        const uint32_t want = y << 24 | cb << 16 | y << 8 | cr;
        const uint32_t got = pack_ycbcr(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb));
        if (got != want && ++mismatches <= 5)
            ADD_FAILURE() << std::hex << "colour 0x" << rgb << ": got 0x" << got << ", want 0x" << want;
    }
    EXPECT_EQ(mismatches, 0u);
}

}  // namespace
