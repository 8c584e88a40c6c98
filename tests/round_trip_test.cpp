// Pictures through the real programs and back: bitmaps converted by
// vantrel, its headers turned into PNGs by vantrel-preview, and the PNGs
// compared with the pictures the bitmaps hold.
#include <gtest/gtest.h>
#include <png.h>

#include <map>
#include <regex>

#include "main.h"
#include "test_util.h"

namespace {

const std::string preview = fs::absolute(VANTREL_PREVIEW).string();

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
// picture whose header is longer than the preview reads at once.
std::map<std::string, picture> make_bitmaps(const scratch_dir& dir)
{
    std::map<std::string, picture> pictures;
    std::vector<bmp_spec> layouts{{.width = 1000, .height = 1000}};
    for (int width = 1; width <= 4; ++width)
        for (const int height : {3, -2})
            layouts.push_back({.width = width, .height = height});
    for (const bmp_spec& s : layouts) {
        const std::string name = std::to_string(s.width) + "x" + std::to_string(s.height) + ".bmp";
        write_file(dir / name, make_bmp(s));
        picture& p = pictures[name] = {s.width, std::abs(s.height)};
        for (int i = 0; i < p.width * p.height; ++i) {
            const rgb c = colour_at(s, i % p.width, i / p.width);
            p.rgb.insert(p.rgb.end(), {c.r, c.g, c.b});
        }
    }
    std::ifstream tsv(fs::path(VANTREL_CORPUS) / "expected.tsv");
    for (std::string line; std::getline(tsv, line);)
        if (const size_t tab = line.find('\t'); line.starts_with("g/") && tab != std::string::npos) {
            const std::string bmp = line.substr(2, tab - 2);
            fs::copy_file(fs::path(VANTREL_CORPUS) / "g" / bmp, dir / bmp);
            pictures[bmp] = read_ppm(fs::path(VANTREL_CORPUS) / line.substr(tab + 1));
        }
    return pictures;
}

std::string png_name(const std::string& bitmap)
{
    const std::string header = header_name(bitmap);
    return c_identifier(header.substr(0, header.size() - 2)) + ".png";
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
        const std::string header = header_name(name);
        bitmaps += " " + name;
        headers += " " + header;
        messages += (single ? "Loading " + header + "\n" : "") + "Writing " + png_name(name) + "\n";
    }
    ASSERT_EQ(run_in(dir.path, quoted(program) + (single ? "" : " -a") + bitmaps).status, 0);
    if (GetParam() == "crlf") {
        std::string crlf;
        for (const char c : read_file(dir / "data.h")) {
            if (c == '\n')
                crlf += '\r';
            crlf += c;
        }
        write_file(dir / "data.h", crlf);
    }
    const run_result r = run_in(dir.path, quoted(preview) + (single ? headers : " data.h"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, messages + "Done\n");

    for (const auto& [name, want] : pictures) {
        const picture got = read_png(dir / png_name(name));
        EXPECT_EQ(std::pair(got.width, got.height), std::pair(want.width, want.height)) << name;
        EXPECT_TRUE(std::equal(got.rgb.begin(), got.rgb.end(), want.rgb.begin(), want.rgb.end(),
                               [](int a, int b) { return std::abs(a - b) <= 3; })) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, RoundTrip, ::testing::Values("single", "combined", "crlf"),
                         [](const auto& p) { return p.param; });

// The bundled sample's header, lines 1 to 12.
const std::string sample_h = banner_text + expected_declarations("sample", 3, 2, {0x4c544cff, 0x952b9515, 0x1dff1d6b,
                                                                                  0xe100e194, 0xfe80fe80, 0x00800080});

// Edits of the sample's header, made in turn, and the line they break.
struct malformed {
    const char* what;
    std::vector<std::pair<std::string, std::string>> edits;
    int line;
};

void PrintTo(const malformed& m, std::ostream* out)
{
    *out << m.what;
}

class Malformed : public ::testing::TestWithParam<malformed> {};

TEST_P(Malformed, StopsAtTheLineAndLeavesNoPicture)
{
    std::string text = sample_h;
    for (const auto& [from, to] : GetParam().edits)
        text.replace(text.find(from), from.size(), to);
    scratch_dir dir;
    write_file(dir / "bad.h", text);
    const run_result r = run_in(dir.path, quoted(preview) + " bad.h");
    EXPECT_EQ(r.status, 1);
    // The rows are read as the picture is written.
    const std::string writing = GetParam().line >= 9 ? "Writing sample\\.png\n" : "";
    const std::string error = "error: bad\\.h:" + std::to_string(GetParam().line) + ": [^\n]+\n";
    EXPECT_TRUE(std::regex_match(r.output, std::regex("Loading bad\\.h\n" + writing + error))) << r.output;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(Headers, Malformed, ::testing::Values(
    malformed{"not_a_header", {{"Vantrel", "Vantrol"}}, 2},
    malformed{"wide", {{"_x = 3", "_x = 65536"}}, 5},
    malformed{"missing_height", {{"const unsigned short int sample_y = 2;\n", ""}}, 6},
    malformed{"repeated_height", {{"_y = 2;\n", "_y = 2;\nconst unsigned short int sample_y = 2;\n"}}, 7},
    malformed{"edited_count", {{"[6]", "[7]"}}, 8},
    malformed{"over_2_31_pixels", {{"_x = 3", "_x = 40000"}, {"_y = 2", "_y = 60000"}, {"[6]", "[2400000000]"}}, 8},
    malformed{"short_for_its_size", {{"_x = 3", "_x = 4096"}, {"_y = 2", "_y = 4096"}, {"[6]", "[16777216]"}}, 8},
    malformed{"bad_word", {{"0x952b9515", "0x952b95g5"}}, 9},
    malformed{"short_word", {{"0x952b9515", "0x952b951"}}, 9},
    malformed{"extra_word", {{"0x1dff1d6b,", "0x1dff1d6b, 0x1dff1d6b,"}}, 9},
    malformed{"truncated", {{"};\n\n", ""}}, 11},
    malformed{"stray_text", {{"//\n\n", "//\n\nx\n"}}, 5}),
    [](const auto& p) { return std::string(p.param.what); });

TEST(Preview, StopsAtADuplicateOrAnUnwritablePicture)
{
    scratch_dir dir;
    write_file(dir / "sample.h", sample_h);
    EXPECT_EQ(run_in(dir.path, quoted(preview) + " sample.h sample.h").output,
              "Loading sample.h\nWriting sample.png\nLoading sample.h\nerror: duplicate image name sample\n");
    // A directory where the picture goes: nothing of the attempt may stay.
    fs::remove(dir / "sample.png");
    fs::create_directory(dir / "sample.png");
    const run_result r = run_in(dir.path, quoted(preview) + " sample.h");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Loading sample.h\nWriting sample.png\nerror: can't write file sample.png\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 2);
}

}  // namespace
