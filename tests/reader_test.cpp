#include <gtest/gtest.h>

#include <climits>

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

    scratch_dir dir_;
    bmp_image* image_ = nullptr;
};

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
                    std::vector<uint32_t> want = words_of(spec);
                    for (auto row = want.begin(); row != want.end(); row += width)
                        std::reverse(row, row + width);
                    ASSERT_EQ(std::vector<uint32_t>(image_->pixels, image_->pixels + want.size()), want);
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
        {{{14, 4, 41}}, 90, fault}, {{{14, 4, 0}}, 90, fault}, {{{14, 4, 12}}, 90, unsupported},
        {{{18, 4, 0}}, 90, fault}, {{{18, 4, uint32_t(-3)}}, 90, fault}, {{{22, 4, 0}}, 90, fault},
        {{{10, 4, 0}}, 90, fault}, {{{10, 4, 53}}, 90, fault}, {{{10, 4, 91}}, 90, fault}, {{{10, 4, UINT32_MAX}}, 90, fault},
        {{{26, 2, 0}}, 90, unsupported}, {{{26, 2, 2}}, 90, unsupported}, {{{28, 2, 8}}, 90, unsupported},
        {{{28, 2, 32}}, 90, unsupported}, {{{30, 4, 1}}, 90, unsupported}, {{{30, 4, 3}}, 90, unsupported},
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

TEST_F(Reader, OpensOnlyRegularFiles)
{
    EXPECT_EQ(load_path(dir_ / "missing.bmp"), bmp_error::cant_open);
    fs::create_directory(dir_ / "folder.bmp");
    EXPECT_EQ(load_path(dir_ / "folder.bmp"), bmp_error::cant_open);
}

}  // namespace
