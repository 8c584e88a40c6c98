// The readers over every picture in tests/files: the BMP and PNG
// conformance corpora, pictures other programs wrote, and the regression
// files. expected.tsv pins each to the picture it holds or the error it
// gives; a file without a pin fails, and so does a missing corpus.
#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <sstream>

#include "test_util.h"

namespace {

const fs::path test_files = VANTREL_TEST_FILES;

// File to pin: a rendering's path, "as <another file>" or an error message.
const std::map<std::string, std::string> pinned = [] {
    std::map<std::string, std::string> pins;
    std::ifstream tsv(test_files / "expected.tsv");
    for (std::string line; std::getline(tsv, line);)
        if (const size_t tab = line.find('\t'); tab != std::string::npos && !line.starts_with("#"))
            pins[line.substr(0, tab)] = line.substr(tab + 1);
    return pins;
}();

std::vector<std::string> files()
{
    std::vector<std::string> found;
    // formats/ holds files of every kind, whatever their names say.
    for (const char* folder :
         {"bmpsuite/g", "bmpsuite/b", "bmpsuite/q", "bmpsuite/x", "pngsuite", "writers", "qoi", "tga", "jpeg", "gif", "webp", "regressions", "formats"})
        for (const auto& entry : fs::directory_iterator(test_files / folder))
            if (const fs::path ext = entry.path().extension();
                ext == ".bmp" || ext == ".png" || ext == ".qoi" || ext == ".tga" || ext == ".jpg" || ext == ".gif" || ext == ".webp" || folder == std::string("formats"))
                found.push_back(fs::relative(entry.path(), test_files).generic_string());
    return found;
}

class Corpus : public ::testing::TestWithParam<std::string> {};

TEST(CorpusFiles, AreAllThere)
{
    // 91 bitmaps of the BMP suite, 175 pictures of PngSuite.
    const std::vector<std::string> all = files();
    EXPECT_EQ(std::count_if(all.begin(), all.end(), [](const std::string& f) { return f.starts_with("bmpsuite/"); }), 91);
    EXPECT_EQ(std::count_if(all.begin(), all.end(), [](const std::string& f) { return f.starts_with("pngsuite/"); }), 175);
}

TEST_P(Corpus, GivesItsPinnedResult)
{
    std::string pin = "as " + GetParam();
    while (pin.starts_with("as "))
        pin = pinned.contains(pin.substr(3)) ? pinned.at(pin.substr(3)) : "";
    ASSERT_NE(pin, "") << "no pinned result";
#ifndef VANTREL_JPEG
    if (GetParam().starts_with("jpeg/"))
        GTEST_SKIP() << "built without libjpeg-turbo";
#endif
#ifndef VANTREL_WEBP
    if (GetParam().starts_with("webp/"))
        GTEST_SKIP() << "built without libwebp";
#endif
#ifndef VANTREL_GIF
    if (GetParam().starts_with("gif/"))
        GTEST_SKIP() << "built without giflib";
#endif
    const read_picture image = load_file(test_files / GetParam());
    const image_error error = image.error;
    if (!pin.ends_with(".ppm") && !pin.ends_with(".pam")) {
        // "wrong BMP format", "truncated QOI file", "unsupported format TIFF", ...
        const std::string name = format_name(image.format);
        const std::map<std::string, image_error> errors = {
            {"wrong " + name + " format", image_error::bad_format}, {"unsupported " + name + " format", image_error::unsupported},
            {"truncated " + name + " file", image_error::truncated}, {"unsupported format " + name, image_error::unsupported_format},
            {"image too large", image_error::too_large}, {"out of memory", image_error::out_of_memory}};
        ASSERT_TRUE(errors.contains(pin)) << "gave " << name << " error " << int(error) << ", pinned " << pin;
        EXPECT_EQ(error, errors.at(pin));
        return;
    }
    ASSERT_EQ(error, image_error::none);
    const rendering want = read_rendering(test_files / pin);
    ASSERT_EQ(std::pair(image.width, image.height), std::pair(want.width, want.height));
    EXPECT_EQ(image.words, words_of(want));
    // A YCbCr JPEG's own samples (--source-ycbcr), where a rendering of
    // them (NAME.ycbcr.ppm, Y, Cb and Cr as its channels) says what they are.
    if (const fs::path own = fs::path(test_files / pin).replace_extension(".ycbcr.ppm"); fs::exists(own)) {
        const rendering y = read_rendering(own);
        std::vector<uint32_t> packed;
        for (size_t i = 0; i < y.rgba.size(); i += 4)
            packed.push_back(uint32_t(y.rgba[i]) << 24 | uint32_t(y.rgba[i + 1]) << 16 | uint32_t(y.rgba[i]) << 8 | y.rgba[i + 2]);
        EXPECT_EQ(load_file(test_files / GetParam(), {.source_ycbcr = true}).words, packed) << "its own YCbCr";
    }
    // Every frame (--frames), where a line "NAME --frames" pins them: a
    // rendering of the frames one under another, then each one's delay.
    if (pinned.contains(GetParam() + " --frames")) {
        std::istringstream line(pinned.at(GetParam() + " --frames"));
        std::string frames;
        line >> frames;
        const read_picture all = load_file(test_files / GetParam(), {.all_frames = true});
        EXPECT_EQ(all.words, words_of(read_rendering(test_files / frames))) << "every frame";
        EXPECT_EQ(all.delays, std::vector<uint32_t>(std::istream_iterator<uint32_t>(line), {}));
    }
    // Over a background, a rendering with alpha (PAM) gives what
    // ImageMagick composited (composited/), an opaque one itself.
    if (pin.ends_with(".pam")) {
        const fs::path over = test_files / "composited" / fs::path(pin).filename().replace_extension(".ppm");
        const read_picture composited = load_file(test_files / GetParam(), {.composite = true, .background = {37, 200, 91}});
        ASSERT_EQ(composited.error, image_error::none);
        EXPECT_EQ(composited.words, fs::exists(over) ? words_of(read_rendering(over)) : image.words) << "over a background";
    }
}

INSTANTIATE_TEST_SUITE_P(Files, Corpus, ::testing::ValuesIn(files()), [](const auto& file) {
    std::string name = file.param;
    std::replace_if(name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c); }, '_');
    return name;
});

}  // namespace
