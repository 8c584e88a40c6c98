// Pictures through the real programs and back: bitmaps and PNGs converted
// by vantrel, its headers turned into PNGs by vantrel-preview, and those
// read back with the reader: each pixel must come back as the preview's
// colour for the word vantrel wrote (within 3 of the original colour, as
// the conversion test checks for every colour).
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <tuple>
#include <regex>

#include "colour.h"
#include "converter.h"
#include "test_util.h"

namespace {

// File name to the words vantrel must write for it: a picture that is
// converted on a thread of its own, stored top row first, whose header is
// longer than the preview reads at once; the BMP suite's good files (both
// row orders, rows of every padding) and a few PNGs of every colour type and
// of widths 1 to 9, interlaced among them; with frames, an animation's
// frames too, one under another.
std::map<std::string, std::vector<uint32_t>> make_pictures(const scratch_dir& dir, bool frames)
{
    std::map<std::string, std::vector<uint32_t>> pictures;
    const bmp_spec big{.width = 1100, .height = -1024};
    write_file(dir / "big.bmp", make_bmp(big));
    pictures["big.bmp"] = words_of(big);
    std::ifstream tsv(fs::path(VANTREL_TEST_FILES) / "expected.tsv");
    for (std::string line; std::getline(tsv, line);) {
        const size_t tab = line.find('\t');
        std::string file = line.substr(0, tab);
        const bool animation = frames && file == "gif/gs-disposals-w20.gif --frames";
        if (!file.starts_with("bmpsuite/g/") && !std::regex_search(file, std::regex("pngsuite/bas.n.c..|s0.i3p0.|tbbn3p08")) &&
            !animation)
            continue;
        file.resize(animation ? file.find(' ') : file.size());
        const fs::path from = fs::path(VANTREL_TEST_FILES) / file;
        fs::copy_file(from, dir.path / from.filename());
        // The copy is read-only like the original, which Windows would not let
        // scratch_dir remove.
        fs::permissions(dir.path / from.filename(), fs::perms::owner_write, fs::perm_options::add);
        const std::string rendering = line.substr(tab + 1, line.find(' ', tab) - tab - 1);
        pictures[from.filename().string()] = words_of(read_rendering(fs::path(VANTREL_TEST_FILES) / rendering));
    }
    return pictures;
}

// The preview's picture of an image, or of one of its frames.
std::string picture_name(std::string id, bool frames, int frame)
{
    if (frames)
        id.append("-").append(std::to_string(frame));
    return id.append(".png");
}

// "single", "combined" (data.h), "crlf" (data.h with CR LF line ends),
// "split" (the source of --split --uint32, data.c), "asm" (the source of
// --asm and its word files) or "frames" (data.h with --frames: a picture per frame, a still one's only
// frame among them).
class RoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(RoundTrip, GivesEveryPictureBack)
{
    scratch_dir dir;
    const bool single = GetParam() == "single", frames = GetParam() == "frames";
    const std::map<std::string, std::vector<uint32_t>> pictures = make_pictures(dir, frames);
    const bool source = GetParam() == "split" || GetParam() == "asm";
    const std::string data = source ? " data.c" : " data.h";
    std::string files, headers, messages = single ? "" : "Loading" + data + "\n";
    for (const auto& [file, words] : pictures) {
        const std::string name = file.substr(0, file.size() - 4);
        files += " " + file;
        headers += " " + name + ".h";
        messages += single ? "Loading " + name + ".h\n" : "";
        for (int frame = 0; frame < (file.ends_with(".gif") ? 5 : 1); ++frame)
            messages += "Writing " + picture_name(c_identifier(name), frames, frame) + "\n";
    }
    const std::string crlf = GetParam() == "crlf" ? " && sed -i 's/$/\\r/' data.h" : "";
    const std::string options = single                  ? "vantrel"
                                : frames                  ? "vantrel -a --frames"
                                : GetParam() == "split" ? "vantrel -a --split --uint32"
                                : GetParam() == "asm"   ? "vantrel -a --asm"
                                                          : "vantrel -a";
    ASSERT_EQ(run_in(dir.path, options + files + crlf).status, 0);
    const run_result r = run_in(dir.path, "vantrel-preview" + (single ? headers : data));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, messages + "Done\n");

    for (const auto& [file, words] : pictures) {
        std::vector<uint32_t> want;
        for (const uint32_t w : words) {
            uint8_t c[3];
            words_to_rgb(&w, 1, c);
            want.push_back(pack_ycbcr(c[0], c[1], c[2]));
        }
        const std::string id = c_identifier(file.substr(0, file.size() - 4));
        std::vector<uint32_t> got;
        for (int frame = 0; frame == 0 || (frames && fs::exists(dir / picture_name(id, frames, frame))); ++frame) {
            const read_picture png = load_file(dir / picture_name(id, frames, frame));
            ASSERT_EQ(png.error, image_error::none) << file;
            got.insert(got.end(), png.words.begin(), png.words.end());
        }
        EXPECT_EQ(got, want) << file;
    }
}

// Headers have CR LF line ends on Windows already.
#ifdef _WIN32
const auto modes = ::testing::Values("single", "combined", "split", "asm", "frames");
#else
const auto modes = ::testing::Values("single", "combined", "crlf", "split", "asm", "frames");
#endif
INSTANTIATE_TEST_SUITE_P(Modes, RoundTrip, modes,
                         [](const auto& p) { return p.param; });

// Every layout through vantrel and vantrel-preview, at odd sizes: each pixel
// comes back within 3 of the picture with its chroma averaged as the layout
// shares it, its luma and that chroma taken back to RGB here by the
// standards' equations in binary64.
TEST(RoundTrip, EveryLayoutComesBack)
{
    scratch_dir dir;
    const bmp_spec spec{.width = 7, .height = 5};
    write_file(dir / "a.bmp", make_bmp(spec));
    const std::vector<rgb> pixels = pixels_of(spec);
    const double kr = 0.2126, kb = 0.0722, kg = 1 - kr - kb;  // BT.709, limited range
    // Each in one of the forms, which the preview reads alike.
    for (const auto& [layout, pair_x, pair_y, form] :
         {std::tuple{"yuyv", 2, 1, ""}, {"vyuy", 2, 1, "--asm"}, {"nv21", 2, 2, "--split"}, {"i420", 2, 2, "--asm"},
          {"yv12", 2, 2, ""}, {"yuv444", 1, 1, "--split"}}) {
        SCOPED_TRACE(layout);
        const std::string file = *form ? " a.c" : " a.h";
        ASSERT_EQ(run_in(dir.path, "vantrel --quiet --layout " + std::string(layout) + " " + form +
                                       " --matrix bt709 --range limited a.bmp && vantrel-preview --quiet" + file).status, 0);
        const read_picture back = load_file(dir / "a.png", {.rgb = true});
        ASSERT_EQ(back.words.size(), pixels.size());
        int worst = 0;
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) {
                const auto luma = [&](const rgb& c) { return (kr * c.r + kg * c.g + kb * c.b) / 255; };
                double pb = 0, pr = 0;
                int shared = 0;
                for (int v = y / pair_y * pair_y; v < std::min(5, (y / pair_y + 1) * pair_y); ++v)
                    for (int u = x / pair_x * pair_x; u < std::min(7, (x / pair_x + 1) * pair_x); ++u, ++shared) {
                        const rgb& c = pixels[size_t(v * 7 + u)];
                        pb += (c.b / 255.0 - luma(c)) / (2 * (1 - kb)), pr += (c.r / 255.0 - luma(c)) / (2 * (1 - kr));
                    }
                const double e = luma(pixels[size_t(y * 7 + x)]);
                pb /= shared, pr /= shared;
                const double r = e + 2 * (1 - kr) * pr, b = e + 2 * (1 - kb) * pb, g = (e - kr * r - kb * b) / kg;
                const uint32_t got = back.words[size_t(y * 7 + x)];
                for (const auto& [want, have] : {std::pair{r, got >> 16}, {g, got >> 8 & 0xff}, {b, got & 0xff}})
                    worst = std::max(worst, std::abs(int(std::lround(std::clamp(want, 0.0, 1.0) * 255)) - int(have)));
            }
        EXPECT_LE(worst, 3);
    }
}

}  // namespace
