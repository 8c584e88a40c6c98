// Pictures through the real programs and back: bitmaps converted by
// vantrel, its headers turned into PNGs by vantrel-preview, and the PNGs
// compared with the pictures the bitmaps hold.
#include <gtest/gtest.h>
#include <png.h>

#include <map>

#include "main.h"
#include "test_util.h"

namespace {

picture read_png(const fs::path& path)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    picture p;
    if (png_image_begin_read_from_file(&image, path.string().c_str())) {
        image.format = PNG_FORMAT_RGB;
        p.rgb.resize(PNG_IMAGE_SIZE(image));
        if (png_image_finish_read(&image, nullptr, p.rgb.data(), 0, nullptr))
            p.width = int(image.width), p.height = int(image.height);
    }
    png_image_free(&image);
    return p;
}

// Every width remainder of a row of 3-byte pixels, both row orders, and a
// picture that is converted on a thread of its own, stored top row first,
// whose header is longer than the preview reads at once.
std::map<std::string, picture> make_bitmaps(const scratch_dir& dir)
{
    std::map<std::string, picture> pictures;
    std::vector<bmp_spec> layouts{{.width = 1100, .height = -1024}};
    for (int width = 1; width <= 4; ++width)
        for (const int height : {3, -2})
            layouts.push_back({.width = width, .height = height});
    for (const bmp_spec& s : layouts) {
        const std::string name = std::to_string(s.width) + "x" + std::to_string(s.height);
        write_file(dir / (name + ".bmp"), make_bmp(s));
        pictures[name] = picture_of(s);
    }
    std::ifstream tsv(fs::path(VANTREL_CORPUS) / "expected.tsv");
    for (std::string line; std::getline(tsv, line);)
        if (const size_t tab = line.find('\t'); line.starts_with("g/") && tab != std::string::npos) {
            const std::string bmp = line.substr(2, tab - 2);
            fs::copy_file(fs::path(VANTREL_CORPUS) / "g" / bmp, dir / bmp);
            pictures[bmp.substr(0, bmp.size() - 4)] = read_ppm(fs::path(VANTREL_CORPUS) / line.substr(tab + 1));
        }
    return pictures;
}

// "single", "combined" (data.h) or "crlf" (data.h with CR LF line ends).
class RoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(RoundTrip, GivesEveryPictureBackWithin3)
{
    scratch_dir dir;
    const std::map<std::string, picture> pictures = make_bitmaps(dir);
    const bool single = GetParam() == "single";
    std::string bitmaps, headers, messages = single ? "" : "Loading data.h\n";
    for (const auto& [name, p] : pictures) {
        bitmaps += " " + name + ".bmp";
        headers += " " + name + ".h";
        messages += (single ? "Loading " + name + ".h\n" : "") + "Writing " + c_identifier(name) + ".png\n";
    }
    const std::string crlf = GetParam() == "crlf" ? " && sed -i 's/$/\\r/' data.h" : "";
    ASSERT_EQ(run_in(dir.path, (single ? "vantrel" : "vantrel -a") + bitmaps + crlf).status, 0);
    const run_result r = run_in(dir.path, "vantrel-preview" + (single ? headers : " data.h"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, messages + "Done\n");

    for (const auto& [name, want] : pictures) {
        const picture got = read_png(dir / (c_identifier(name) + ".png"));
        EXPECT_EQ(std::pair(got.width, got.height), std::pair(want.width, want.height)) << name;
        EXPECT_TRUE(std::equal(got.rgb.begin(), got.rgb.end(), want.rgb.begin(), want.rgb.end(),
                               [](int a, int b) { return std::abs(a - b) <= 3; })) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, RoundTrip, ::testing::Values("single", "combined", "crlf"),
                         [](const auto& p) { return p.param; });

}  // namespace
