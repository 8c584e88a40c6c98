#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "colour.h"
#include "image_reader.h"

namespace {

// Every colour against the textbook evaluation in long double, which is
// exact for these operands where it has a 64-bit significand: one at a
// time, and in rows as pictures are converted (four at a time where the
// processor allows, as bitmaps store them, blue first).
TEST(Conversion, EveryColourMatchesExactEvaluation)
{
    if (std::numeric_limits<long double>::digits < 64)
        GTEST_SKIP() << "long double is not exact enough here to serve as the reference";
    const long double k[3][3] = {{0.299, 0.587, 0.114}, {-0.16874, -0.33126, 0.5}, {0.5, -0.41869, -0.08131}};
    sample_layout bgr;
    bgr.channels = 3, bgr.red = 2, bgr.green = 1, bgr.blue = 0, bgr.alpha = 3;
    constexpr uint32_t width = 4099;  // rows that do not end on a group of four
    const row_converter converter(bgr, width, {});
    std::vector<uint8_t> row(3 * width);
    std::vector<uint32_t> words(width);
    int mismatches = 0;
    for (uint32_t first = 0; first < (1u << 24) && mismatches < 5; first += width) {
        for (uint32_t i = 0; i < width; ++i)
            for (uint32_t c = 0; c < 3; ++c)
                row[3 * i + c] = uint8_t((first + i) >> (8 * c));
        ASSERT_TRUE(converter.convert(row.data(), words.data()));
        for (uint32_t i = 0; i < width && first + i < (1u << 24); ++i) {
            const uint32_t rgb = first + i;
            const long double r = rgb >> 16, g = (rgb >> 8) & 0xff, b = rgb & 0xff;
            uint32_t c[3];
            for (int j = 0; j < 3; ++j)
                c[j] = uint32_t(int64_t(k[j][0] * r + k[j][1] * g + k[j][2] * b + (j ? 128.0L : 0.0L)) & 0xff);
            const uint32_t want = c[0] << 24 | c[1] << 16 | c[0] << 8 | c[2];
            const uint32_t got = pack_ycbcr(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb));
            if (got != want || words[i] != want)
                ADD_FAILURE() << std::hex << "colour 0x" << rgb << " gives 0x" << got << " alone, 0x" << words[i]
                              << " in a row" << ++mismatches;
        }
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
