#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>
#include <limits>
#include <string>
#include <vector>

#include "byte_layouts.h"
#include "colour.h"
#include "row_converter.h"
#include "ycbcr_model.h"

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

// The models' words (--matrix, --range) against a table computed apart,
// with exact fractions over the standards' equations: red, green, blue,
// white, black, grey 128 and two others, README's reference values among
// them. And the preview's inverse gives colours back within 1 at full range
// and 2 at limited range, whose steps are coarser.
TEST(Conversion, ModelsGiveTheStandardsValuesAndComeBack)
{
    const uint8_t colours[8][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255},
                                   {0, 0, 0},   {128, 128, 128}, {12, 200, 99}, {250, 3, 140}};
    const struct {
        std::string matrix, range;
        uint32_t words[8];
    } models[] = {
        {"bt601", "full", {0x4c554cff, 0x962c9615, 0x1dff1d6b, 0xff80ff80, 0x00800080, 0x80808080, 0x846d842a, 0x5c9b5cf0}},
        {"bt601", "limited", {0x515a51f0, 0x91369122, 0x29f0296e, 0xeb80eb80, 0x10801080, 0x7e807e80, 0x82708235, 0x5f985fe3}},
        {"bt709", "full", {0x366336ff, 0xb61eb60c, 0x12ff1274, 0xff80ff80, 0x00800080, 0x80808080, 0x99639927, 0x41a841f5}},
        {"bt709", "limited", {0x3f663ff0, 0xad2aad1a, 0x20f02076, 0xeb80eb80, 0x10801080, 0x7e807e80, 0x93679331, 0x48a348e7}},
    };
    for (const auto& m : models) {
        ycbcr_model model;
        ASSERT_TRUE(parse_matrix(m.matrix, model) && parse_range(m.range, model));
        SCOPED_TRACE(model.name());
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(model.word(colours[i][0], colours[i][1], colours[i][2]), m.words[i]) << i;
        int worst = 0;
        for (int r = 0; r < 256; r += 3)
            for (int g = 1; g < 256; g += 3)
                for (int b = 2; b < 256; b += 3) {
                    const uint32_t w = model.word(uint8_t(r), uint8_t(g), uint8_t(b));
                    uint8_t back[3];
                    model.to_rgb(uint8_t(w >> 24), uint8_t(w >> 16), uint8_t(w), back);
                    worst = std::max({worst, std::abs(back[0] - r), std::abs(back[1] - g), std::abs(back[2] - b)});
                }
        EXPECT_LE(worst, model.limited ? 2 : 1);
    }
}

// Every layout's bytes, odd sizes among them, against tests/files/layouts'
// table, computed apart with exact fractions: each picture's rows given to
// the encoder as a run gives them, its chroma planes after the last.
TEST(Conversion, LayoutsGiveTheirPinnedBytes)
{
    std::ifstream tsv(std::string(VANTREL_TEST_FILES) + "/layouts/expected.tsv");
    int checked = 0;
    for (std::string line; std::getline(tsv, line);) {
        if (line.starts_with("#"))
            continue;
        std::istringstream fields(line);
        uint32_t width = 0, height = 0;
        fields >> width >> height;
        std::vector<uint32_t> pixels(size_t{width} * height);
        for (uint32_t& p : pixels)
            fields >> std::hex >> p;
        std::string matrix, range, name;
        fields >> matrix >> range >> name;
        ycbcr_model model;
        byte_layout layout{};
        ASSERT_TRUE(parse_matrix(matrix, model) && parse_range(range, model) && parse_layout(name, layout)) << line;
        std::vector<uint8_t> want, got;
        for (unsigned byte = 0; fields >> std::hex >> byte;)
            want.push_back(uint8_t(byte));
        layout_encoder encoder(layout, model, width, height);
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* row = encoder.row(&pixels[size_t{y} * width]);
            got.insert(got.end(), row, row + encoder.geometry().stride);
        }
        const std::vector<uint8_t>& chroma = encoder.finish();
        got.insert(got.end(), chroma.begin(), chroma.end());
        EXPECT_EQ(got, want) << name << " " << width << " x " << height;
        EXPECT_EQ(encoder.geometry().bytes, want.size()) << name;
        ++checked;
    }
    EXPECT_EQ(checked, 27);
}

// The models' words and the layouts' rows, made from tables with the exact
// arithmetic at the rounding edges, against the exact arithmetic alone:
// every colour as a word and in YUV444, and as the first pixel of a 4:2:2 pair whose second is another
// colour each time, in each of the four orders by turns, for each matrix
// and range.
TEST(Conversion, ModelRowsGiveTheExactBytesForEveryColour)
{
    constexpr uint32_t width = 4096, colours = 1u << 24;
    const auto partner = [](uint32_t c) { return (c * 2654435761u >> 5) & 0xffffff; };
    std::vector<uint32_t> row(2 * width);
    for (const char* matrix : {"bt601", "bt709"})
        for (const char* range : {"full", "limited"}) {
            ycbcr_model m;
            ASSERT_TRUE(parse_matrix(matrix, m) && parse_range(range, m));
            SCOPED_TRACE(m.name());
            int mismatches = 0;
            for (uint32_t first = 0; first < colours && mismatches < 5; first += width) {
                for (uint32_t i = 0; i < width; ++i)
                    row[i] = first + i;
                m.words(row.data(), width);
                for (uint32_t i = 0; i < width; ++i)
                    if (row[i] != m.word(uint8_t((first + i) >> 16), uint8_t((first + i) >> 8), uint8_t(first + i)))
                        ADD_FAILURE() << std::hex << "colour 0x" << first + i << " as a word" << ++mismatches;
                for (uint32_t i = 0; i < width; ++i)
                    row[i] = first + i;
                prepare_row(byte_layout::yuv444, m, width, row.data());
                const auto* bytes = reinterpret_cast<const uint8_t*>(row.data());
                for (uint32_t i = 0; i < width; ++i) {
                    const uint32_t c = first + i;
                    const ycbcr_model::terms t = m.exact(uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c));
                    const uint8_t want[3] = {m.luma(t.y), m.cb(t.b_minus_y), m.cr(t.r_minus_y)};
                    if (!std::equal(want, want + 3, bytes + 3 * i))
                        ADD_FAILURE() << std::hex << "colour 0x" << c << " in YUV444" << ++mismatches;
                }
                for (uint32_t i = 0; i < width; ++i)
                    row[2 * i] = first + i, row[2 * i + 1] = partner(first + i);
                const byte_layout packed = std::array{byte_layout::yuyv, byte_layout::uyvy, byte_layout::yvyu,
                                                      byte_layout::vyuy}[first / width % 4];
                const pair_order o = order_of(packed);
                prepare_row(packed, m, 2 * width, row.data());
                for (uint32_t i = 0; i < width; ++i) {
                    const uint32_t c = first + i, d = partner(c);
                    const ycbcr_model::terms s = m.exact(uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c));
                    const ycbcr_model::terms t = m.exact(uint8_t(d >> 16), uint8_t(d >> 8), uint8_t(d));
                    uint8_t want[4];
                    want[o.y0] = m.luma(s.y), want[o.cb] = m.cb(s.b_minus_y + t.b_minus_y, 2), want[o.y1] = m.luma(t.y);
                    want[o.cr] = m.cr(s.r_minus_y + t.r_minus_y, 2);
                    if (!std::equal(want, want + 4, bytes + 4 * i))
                        ADD_FAILURE() << std::hex << "colours 0x" << c << ", 0x" << d << " in " << layout_name(packed)
                                      << ++mismatches;
                }
            }
        }
}

}  // namespace
