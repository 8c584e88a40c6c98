#include <gtest/gtest.h>

#include <climits>

#include "bmp.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;

struct loaded {
    bmp_image* image;
    bmp_error error;
};

class Reader : public ::testing::Test {
protected:
    ~Reader() override { free_bmp(last_); }

    loaded load_bytes(const std::vector<uint8_t>& bytes)
    {
        write_file(dir_ / "in.bmp", bytes);
        return load_path(dir_ / "in.bmp");
    }

    loaded load_path(const fs::path& path)
    {
        free_bmp(last_);
        bmp_error error = bmp_error::none;
        last_ = load_bmp(path.string().c_str(), error);
        EXPECT_EQ(last_ == nullptr, error != bmp_error::none);
        return {last_, error};
    }

    bmp_error error_of(const bmp_spec& spec) { return load_bytes(make_bmp(spec)).error; }

    scratch_dir dir_;
    bmp_image* last_ = nullptr;
};

// The record lists rows top first, each mirrored.
void expect_pixels(const bmp_image& image, int width, int height, const std::vector<rgb>& top_first)
{
    ASSERT_EQ(image.width, width);
    ASSERT_EQ(image.height, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const rgb c = top_first.empty() ? pattern(x, y) : top_first[size_t(y * width + x)];
            ASSERT_EQ(image.pixels[y * width + (width - 1 - x)], pack_ycbcr(c.r, c.g, c.b)) << "x=" << x << " y=" << y;
        }
}

TEST_F(Reader, StoresRowsTopFirstAndMirrored)
{
    loaded l = load_bytes(make_bmp({.width = 4, .height = 1, .pixels = {black, white, red, blue}}));
    ASSERT_NE(l.image, nullptr);
    EXPECT_EQ(l.image->pixels[0], 0x1dff1d6bu);
    EXPECT_EQ(l.image->pixels[1], 0x4c544cffu);
    EXPECT_EQ(l.image->pixels[2], 0xfe80fe80u);
    EXPECT_EQ(l.image->pixels[3], 0x00800080u);
}

// Row padding, every header version, both row orders and a gap before the
// pixel data all change where each pixel's bytes are.
TEST_F(Reader, ReadsEveryLayoutOfTheSamePicture)
{
    for (int width = 1; width <= 8; ++width)
        for (uint32_t info_size : {40u, 52u, 56u, 108u, 124u})
            for (bool top_down : {false, true})
                for (uint32_t gap : {0u, 3u}) {
                    SCOPED_TRACE(testing::Message() << "width " << width << ", header " << info_size << ", top-down "
                                                    << top_down << ", gap " << gap);
                    const int height = 3;
                    loaded l = load_bytes(make_bmp(
                        {.width = width, .height = top_down ? -height : height, .info_size = info_size, .gap = gap}));
                    ASSERT_NE(l.image, nullptr);
                    expect_pixels(*l.image, width, height, {});
                }
}

TEST_F(Reader, AcceptsAMissingFinalRowPadding)
{
    for (bool top_down : {false, true}) {
        loaded l = load_bytes(make_bmp({.width = 5, .height = top_down ? -2 : 2, .last_row_padded = false}));
        ASSERT_NE(l.image, nullptr);
        expect_pixels(*l.image, 5, 2, {});
    }
}

TEST_F(Reader, RejectsWhatIsNotABitmap)
{
    EXPECT_EQ(load_bytes({}).error, bmp_error::bad_format);
    EXPECT_EQ(load_bytes({'B'}).error, bmp_error::bad_format);
    EXPECT_EQ(load_bytes({'B', 'A', 0, 0}).error, bmp_error::bad_format);

    // Cut inside the file header and inside the info header.
    const std::vector<uint8_t> good = make_bmp({.width = 2, .height = 2});
    for (size_t length : {2u, 13u, 17u, 18u, 30u, 53u})
        EXPECT_EQ(load_bytes({good.begin(), good.begin() + long(length)}).error, bmp_error::bad_format) << length;

    EXPECT_EQ(error_of({.info_size = 41}), bmp_error::bad_format);
    EXPECT_EQ(error_of({.info_size = 0}), bmp_error::bad_format);
    EXPECT_EQ(error_of({.width = 0}), bmp_error::bad_format);
    EXPECT_EQ(error_of({.width = -3}), bmp_error::bad_format);
    EXPECT_EQ(error_of({.height = 0}), bmp_error::bad_format);
}

TEST_F(Reader, RejectsPixelOffsetsOutsideTheData)
{
    std::vector<uint8_t> bytes = make_bmp({.width = 2, .height = 2});
    for (uint32_t offset : {0u, 20u, 53u, uint32_t(bytes.size() + 1), 0xffffffffu}) {
        patch32(bytes, 10, offset);
        EXPECT_EQ(load_bytes(bytes).error, bmp_error::bad_format) << offset;
    }
}

TEST_F(Reader, RejectsLayoutsItDoesNotDecode)
{
    EXPECT_EQ(error_of({.bits = 8}), bmp_error::unsupported);
    EXPECT_EQ(error_of({.bits = 32}), bmp_error::unsupported);
    EXPECT_EQ(error_of({.compression = 1}), bmp_error::unsupported);
    EXPECT_EQ(error_of({.compression = 3}), bmp_error::unsupported);
    EXPECT_EQ(error_of({.planes = 0}), bmp_error::unsupported);
    EXPECT_EQ(error_of({.planes = 2}), bmp_error::unsupported);
    EXPECT_EQ(error_of({.info_size = 12}), bmp_error::unsupported);
}

TEST_F(Reader, ReportsMissingPixelDataAsTruncation)
{
    const std::vector<uint8_t> good = make_bmp({.width = 3, .height = 3});
    // At the pixel offset, inside the first row, before the last row's
    // padding, and one byte short of the last pixel.
    for (size_t cut : {54u, 60u, 54u + 24u, 54u + 24u + 8u})
        EXPECT_EQ(load_bytes({good.begin(), good.begin() + long(cut)}).error, bmp_error::truncated) << cut;
    std::vector<uint8_t> top_down = make_bmp({.width = 3, .height = -3});
    top_down.pop_back();
    top_down.pop_back();
    top_down.pop_back();
    top_down.pop_back();
    EXPECT_EQ(load_bytes(top_down).error, bmp_error::truncated);

    // A few bytes claiming a 3.6 GB picture.
    std::vector<uint8_t> claim = make_bmp({.width = 1, .height = 1});
    patch32(claim, 18, 30000);
    patch32(claim, 22, 30000);
    EXPECT_EQ(load_bytes(claim).error, bmp_error::truncated);
}

TEST_F(Reader, RejectsDimensionsBeyondTheLimits)
{
    // The last pair: each side fits, the pixel count (2^31 + 32767) does not.
    const std::pair<int32_t, int32_t> claims[] = {
        {65536, 1}, {1, 65536}, {1, -65536}, {1, INT32_MIN}, {INT32_MAX, 1}, {65535, 32769},
    };
    for (const auto& [width, height] : claims) {
        std::vector<uint8_t> claim = make_bmp({.width = 1, .height = 1});
        patch32(claim, 18, uint32_t(width));
        patch32(claim, 22, uint32_t(height));
        EXPECT_EQ(load_bytes(claim).error, bmp_error::too_large) << width << " x " << height;
    }

    loaded widest = load_bytes(make_bmp({.width = 65535, .height = 1}));
    ASSERT_NE(widest.image, nullptr);
    expect_pixels(*widest.image, 65535, 1, {});
}

TEST_F(Reader, CannotOpenMissingFilesOrDirectories)
{
    EXPECT_EQ(load_path(dir_ / "missing.bmp").error, bmp_error::cant_open);
    fs::create_directory(dir_ / "folder.bmp");
    EXPECT_EQ(load_path(dir_ / "folder.bmp").error, bmp_error::cant_open);
}

}  // namespace
