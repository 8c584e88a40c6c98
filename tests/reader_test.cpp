#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "test_util.h"

namespace {

class Reader : public ::testing::Test {
protected:
    ~Reader() override { free_bmp(image_); }

    // Loads the bytes as a file; the record, if any, lives until the next load.
    bmp_error load(const bytes& data)
    {
        write_file(dir_ / "in.bmp", data);
        return load_path(dir_ / "in.bmp");
    }

    bmp_error load_path(const fs::path& path)
    {
        free_bmp(image_);
        bmp_error error = bmp_error::none;
        image_ = load_bmp(path.string().c_str(), error);
        EXPECT_EQ(image_ == nullptr, error != bmp_error::none);
        return error;
    }

    // The loaded picture, top row first and left to right.
    std::vector<uint32_t> picture() const
    {
        std::vector<uint32_t> words(image_->pixels, image_->pixels + image_->width * image_->height);
        for (auto row = words.begin(); row != words.end(); row += image_->width)
            std::reverse(row, row + image_->width);
        return words;
    }

    scratch_dir dir_;
    bmp_image* image_ = nullptr;
};

uint32_t word(rgb c)
{
    return pack_ycbcr(c.r, c.g, c.b);
}

// Row padding, every header version, both row orders, a gap before the pixel
// data and a missing last padding all move each pixel's bytes; the record
// always holds rows top first, each mirrored.
TEST_F(Reader, ReadsEveryLayoutOfThePicture)
{
    for (int width : {1, 2, 3, 4, 5, 6, 7, 8, 65535})
        for (uint32_t info_size : {40u, 52u, 56u, 108u, 124u})
            for (int height : {3, -3})
                for (uint32_t gap : {0u, 3u}) {
                    const bmp_spec spec{width, height, info_size, gap, gap == 0};
                    SCOPED_TRACE(testing::Message() << width << " x " << height << ", header " << info_size << ", gap " << gap);
                    ASSERT_EQ(load(make_bmp(spec)), bmp_error::none);
                    ASSERT_EQ(image_->width, width);
                    ASSERT_EQ(image_->height, 3);
                    ASSERT_EQ(picture(), words_of(spec));
                }
}

TEST_F(Reader, RejectsEachFaultWithItsOwnError)
{
    struct field {
        size_t at, size;
        uint32_t value;
    };
    struct bad {
        std::vector<field> fields;
        size_t keep;  // bytes of the file kept
        bmp_error want;
    };
    const bytes good = make_bmp({});  // 3 x 3: 54 bytes of headers, 36 of pixels
    const auto fault = bmp_error::bad_format, unsupported = bmp_error::unsupported, big = bmp_error::too_large,
               truncated = bmp_error::truncated;
    const bad cases[] = {
        {{}, 0, fault}, {{}, 1, fault}, {{{1, 1, 'A'}}, 90, fault},
        {{}, 13, fault}, {{}, 17, fault}, {{}, 30, fault}, {{}, 53, fault},  // cut in the headers
        {{{14, 4, 41}}, 90, fault}, {{{14, 4, 0}}, 90, fault}, {{{14, 4, 12}}, 90, fault}, {{{14, 4, 66}}, 90, fault},
        {{{18, 4, 0}}, 90, fault}, {{{18, 4, uint32_t(-3)}}, 90, fault}, {{{22, 4, 0}}, 90, fault},
        {{{10, 4, 0}}, 90, fault}, {{{10, 4, 53}}, 90, fault}, {{{10, 4, 91}}, 90, fault}, {{{10, 4, UINT32_MAX}}, 90, fault},
        {{{26, 2, 0}}, 90, fault}, {{{26, 2, 2}}, 90, fault}, {{{28, 2, 0}}, 90, fault}, {{{28, 2, 7}}, 90, fault},
        {{{28, 2, 8}}, 90, fault},  // a palette image without room for a palette
        {{{30, 4, 1}}, 90, fault}, {{{30, 4, 2}}, 90, fault}, {{{30, 4, 3}}, 90, fault}, {{{30, 4, 6}}, 90, fault},
        {{{30, 4, 4}}, 90, unsupported}, {{{30, 4, 5}}, 90, unsupported}, {{{30, 4, 11}}, 90, unsupported},
        {{{28, 2, 64}}, 90, unsupported},
        {{{18, 4, 65536}}, 90, big}, {{{22, 4, 65536}}, 90, big}, {{{22, 4, uint32_t(-65536)}}, 90, big},
        {{{22, 4, uint32_t(INT32_MIN)}}, 90, big}, {{{18, 4, INT32_MAX}}, 90, big},
        {{{18, 4, 65535}, {22, 4, 32769}}, 90, big},  // each side fits, 2^31 + 32767 pixels do not
        {{}, 54, truncated}, {{}, 60, truncated}, {{}, 78, truncated}, {{}, 86, truncated},
        {{{22, 4, uint32_t(-3)}}, 86, truncated},
        {{{18, 4, 30000}, {22, 4, 30000}}, 90, truncated},  // 2.7 GB of pixels claimed by 90 bytes
    };
    for (const bad& c : cases) {
        bytes data(good.begin(), good.begin() + long(c.keep));
        std::string trace = "kept " + std::to_string(c.keep);
        for (const field& f : c.fields) {
            patch(data, f.at, f.value, f.size);
            trace += ", " + std::to_string(f.at) + " := " + std::to_string(f.value);
        }
        EXPECT_EQ(load(data), c.want) << trace;
    }
}

// Every index depth in every header that carries a palette, both row orders.
// Rows are padded with set bits, which must not be taken for pixels.
TEST_F(Reader, DecodesPaletteImagesOfEveryDepth)
{
    for (const uint16_t bits : {uint16_t{1}, uint16_t{2}, uint16_t{4}, uint16_t{8}})
        for (uint32_t info_size : {12u, 16u, 40u, 64u, 124u})
            for (int32_t width : {1, 3, 5, 8, 9, 33})
                for (int32_t height : {2, -2}) {
                    if (info_size == 12 && height < 0)
                        continue;  // the OS/2 core header's height is unsigned
                    SCOPED_TRACE(testing::Message() << bits << " bits, header " << info_size << ", " << width << " x " << height);
                    const int entries = 1 << bits;
                    std::vector<rgb> colours;
                    for (int i = 0; i < entries; ++i)
                        colours.push_back(pattern(i, bits));
                    const auto index = [&](int x, int y) { return (x * 7 + y * 3 + 1) % entries; };
                    bmp_parts p{.info_size = info_size, .width = width, .height = height, .bits = bits,
                                .extra = palette_bytes(colours, info_size == 12 ? 3 : 4)};
                    for (int stored = 0; stored < 2; ++stored) {
                        const int y = height < 0 ? stored : 1 - stored;
                        bytes row((size_t(width) * bits + 31) / 32 * 4, 0xff);
                        for (int x = 0; x < width; ++x) {
                            const int bit = x * bits, shift = 8 - bits - bit % 8;
                            row[size_t(bit / 8)] &= uint8_t(~((entries - 1) << shift));
                            row[size_t(bit / 8)] |= uint8_t(index(x, y) << shift);
                        }
                        p.data.insert(p.data.end(), row.begin(), row.end());
                    }
                    std::vector<uint32_t> want;
                    for (int y = 0; y < 2; ++y)
                        for (int x = 0; x < width; ++x)
                            want.push_back(word(colours[size_t(index(x, y))]));
                    ASSERT_EQ(load(assemble(p)), bmp_error::none);
                    ASSERT_EQ(picture(), want);
                }
}

const std::vector<rgb> sixteen = [] {
    std::vector<rgb> c;
    for (int i = 0; i < 16; ++i)
        c.push_back(pattern(i, 5));
    return c;
}();

bmp_parts rle(uint32_t compression, int32_t width, int32_t height, bytes stream)
{
    return {.width = width, .height = height, .bits = uint16_t(compression == 1 ? 8 : 4), .compression = compression,
            .extra = palette_bytes(sixteen), .data = std::move(stream)};
}

// Runs, absolute runs with their padding, deltas, ends of line and of bitmap;
// pixels the stream skips take palette entry 0.
TEST_F(Reader, DecodesEveryRleEscape)
{
    struct rle_case {
        bmp_parts parts;
        std::vector<int> want;  // palette indices, top row first
    };
    const rle_case cases[] = {
        {rle(1, 5, 3, {3, 1, 0, 2, 1, 0, 1, 2, 0, 0, 0, 3, 3, 4, 5, 0, 0, 2, 0, 1, 2, 6, 0, 1}),
         {0, 0, 0, 6, 6, 3, 4, 5, 0, 0, 1, 1, 1, 0, 2}},
        {rle(2, 7, 2, {3, 0x12, 0, 0, 0, 5, 0x34, 0x56, 0x7f, 0, 2, 0x89, 0, 1}), {3, 4, 5, 6, 7, 8, 9, 1, 2, 1, 0, 0, 0, 0}},
        // The top row is complete, so the missing end-of-bitmap code takes nothing away.
        {rle(2, 2, 1, {2, 0xab}), {10, 11}},
        // Runs past the right edge, as writers pad rows: the pixels beyond it are dropped.
        {rle(1, 2, 2, {3, 4, 0, 0, 0, 3, 5, 6, 7, 0, 0, 1}), {5, 6, 4, 4}},
        {rle(2, 3, 1, {0, 7, 0x12, 0x34, 0x56, 0x70, 0, 1}), {1, 2, 3}},
    };
    for (const rle_case& c : cases) {
        ASSERT_EQ(load(assemble(c.parts)), bmp_error::none);
        std::vector<uint32_t> want;
        for (int i : c.want)
            want.push_back(word(sixteen[size_t(i)]));
        EXPECT_EQ(picture(), want);
    }
}

TEST_F(Reader, RejectsRleThatLeavesThePictureOrStopsShort)
{
    const auto fault = bmp_error::bad_format, truncated = bmp_error::truncated;
    const std::pair<bmp_parts, bmp_error> cases[] = {
        {rle(1, 4, 2, {0, 2, 5, 0}), fault},                    // delta past the right edge
        {rle(1, 4, 2, {0, 2, 0, 2}), fault},                    // delta past the top
        {rle(1, 4, 1, {4, 1, 0, 0, 1, 1}), fault},              // run above the top row
        {rle(1, 4, 1, {4, 16}), fault},                         // index past the palette
        {rle(1, 4, 1, {0, 4, 1, 2, 3, 17}), fault},
        {[] {
             bmp_parts p = rle(2, 1, 1, {2, 0x1f});
             p.colours = 15;  // no entry for the index 15 past the right edge
             return p;
         }(),
         fault},
        {rle(1, 4, -1, {4, 1, 0, 1}), fault},                   // RLE is bottom-up only
        {rle(1, 4, 2, {4, 1, 0, 0}), truncated},                // stops before the top row
        {rle(1, 4, 2, {4, 1, 0, 0, 0, 4, 1, 2}), truncated},    // stops inside an absolute run
        {rle(1, 4, 2, {0, 2, 1}), truncated},                   // stops inside a delta
        {rle(1, 4, 2, {4}), truncated},
        {rle(1, 4, 2, {}), truncated},
    };
    for (const auto& [parts, want] : cases)
        EXPECT_EQ(load(assemble(parts)), want) << testing::PrintToString(parts.data);
}

// 16- and 32-bit pixels by their masks: defaults, masks after a 40-byte
// header, masks inside the longer headers, alpha. Every channel width scales
// to 0..255 rounded to nearest.
TEST_F(Reader, ScalesEveryMaskedChannel)
{
    struct mask_case {
        uint32_t info_size;
        uint16_t bits;
        uint32_t compression;
        std::vector<uint32_t> masks;  // red, green, blue, alpha; empty for the defaults
    };
    const mask_case cases[] = {
        {40, 16, 0, {}},
        {40, 32, 0, {}},
        {108, 32, 0, {}},  // BI_RGB: the header's masks mean nothing
        {40, 16, 3, {0xf800, 0x7e0, 0x1f}},
        {40, 32, 3, {0xff, 0xff00, 0xff0000}},
        {40, 32, 6, {0xff0000, 0xff00, 0xff, 0xff000000}},
        {52, 16, 3, {0x800, 0x1ff, 0x600}},
        {56, 32, 3, {0x3ff00000, 0xffc00, 0x3ff, 0xc0000000}},
        {124, 16, 3, {0xf00, 0xf0, 0xf, 0xf000}},
        {124, 32, 3, {0xfffff800, 0x7c0, 0x3f, 0}},
    };
    for (const mask_case& c : cases) {
        const std::vector<uint32_t> masks =
            !c.masks.empty() ? c.masks
            : c.bits == 16   ? std::vector<uint32_t>{0x7c00, 0x3e0, 0x1f}
                             : std::vector<uint32_t>{0xff0000, 0xff00, 0xff};
        bmp_parts p{.info_size = c.info_size, .width = 5, .height = -3, .bits = c.bits, .compression = c.compression};
        if (c.compression != 0 && c.info_size == 40)
            p.extra = le32({masks[0], masks[1], masks[2]});
        if (c.compression == 6)
            p.extra = le32({masks[0], masks[1], masks[2], masks[3]});
        if (c.info_size > 40)
            p.header_masks = c.info_size == 108 && c.compression == 0 ? std::vector<uint32_t>{1, 1, 1, 1} : c.masks;
        std::vector<uint32_t> want;
        uint32_t seed = 12345;
        for (int i = 0; i < 15; ++i) {
            seed = seed * 1103515245 + 12345;
            const uint32_t v = i == 0 ? 0 : i == 1 ? ~0u : seed;  // the ends of every range, then a spread
            const auto scaled = [&](uint32_t mask) {
                const uint32_t low = mask & ~(mask - 1);
                return uint8_t(std::lround((v & mask) / low * 255.0 / (mask / low)));
            };
            want.push_back(pack_ycbcr(scaled(masks[0]), scaled(masks[1]), scaled(masks[2])));
            for (int k = 0; k < c.bits / 8; ++k)
                p.data.push_back(uint8_t(v >> 8 * k));
            if (c.bits == 16 && i % 5 == 4)
                p.data.insert(p.data.end(), {0xff, 0xff});  // row padding
        }
        SCOPED_TRACE(testing::Message() << "header " << c.info_size << ", " << c.bits << " bits, compression " << c.compression);
        ASSERT_EQ(load(assemble(p)), bmp_error::none);
        EXPECT_EQ(picture(), want);
    }
}

TEST_F(Reader, RejectsMasksThatCannotBeRead)
{
    const std::vector<uint32_t> cases[] = {
        {0, 0x3e0, 0x1f},      {0x7c00, 0, 0x1f},         {0x7c00, 0x3e0, 0},        // a channel missing
        {0x7c01, 0x3e0, 0x1e}, {0x7c00, 0x7e0, 0x1f},     {0x7c00, 0x3e0, 0x1f, 0x8001},  // gaps and overlaps
        {0x7c000, 0x3e0, 0x1f},                                                      // past 16 bits
    };
    for (const auto& masks : cases) {
        const bmp_parts p{.info_size = 124, .width = 1, .height = 1, .bits = 16, .compression = 3, .header_masks = masks,
                          .data = {0, 0}};
        EXPECT_EQ(load(assemble(p)), bmp_error::bad_format) << testing::PrintToString(masks);
    }
}

// A million pixels and more are converted on a thread while the caller
// goes on: rows arrive top first whichever way the file stores them, and a
// record released before its conversion ends stops it cleanly.
TEST_F(Reader, ConvertsBigPicturesWhileTheCallerGoesOn)
{
    for (const int height : {1024, -1024}) {
        const bmp_spec spec{.width = 1100, .height = height};
        write_file(dir_ / "big.bmp", make_bmp(spec));
        bmp_error error = bmp_error::none;
        free_bmp(load_bmp((dir_ / "big.bmp").string().c_str(), error));
        ASSERT_EQ(load_path(dir_ / "big.bmp"), bmp_error::none);
        ASSERT_NE(image_->decoding, nullptr);
        ASSERT_TRUE(wait_for_rows(*image_, 1));
        EXPECT_EQ(image_->pixels[1099], words_of(spec)[0]);
        ASSERT_TRUE(wait_for_rows(*image_, 1024));
        EXPECT_EQ(decoding_error(*image_), bmp_error::none);
        EXPECT_EQ(picture(), words_of(spec));
    }
}

TEST_F(Reader, OpensOnlyRegularFiles)
{
    EXPECT_EQ(load_path(dir_ / "missing.bmp"), bmp_error::cant_open);
    fs::create_directory(dir_ / "folder.bmp");
    EXPECT_EQ(load_path(dir_ / "folder.bmp"), bmp_error::cant_open);
}

}  // namespace
