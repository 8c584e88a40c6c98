// Pictures through the real programs and back: bitmaps and PNGs converted
// by vantrel, its headers turned into PNGs by vantrel-preview, and those
// read back with the reader: each pixel must come back as the preview's
// colour for the word vantrel wrote (within 3 of the original colour, as
// the conversion test checks for every colour).
#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "colour.h"
#include "converter.h"
#include "test_util.h"

namespace {

// File name to the words vantrel must write for it: a picture that is
// converted on a thread of its own, stored top row first, whose header is
// longer than the preview reads at once; the BMP suite's good files (both
// row orders, rows of every padding) and a few PNGs of every colour type and
// of widths 1 to 9, interlaced among them.
std::map<std::string, std::vector<uint32_t>> make_pictures(const scratch_dir& dir)
{
    std::map<std::string, std::vector<uint32_t>> pictures;
    const bmp_spec big{.width = 1100, .height = -1024};
    write_file(dir / "big.bmp", make_bmp(big));
    pictures["big.bmp"] = words_of(big);
    std::ifstream tsv(fs::path(VANTREL_TEST_FILES) / "expected.tsv");
    for (std::string line; std::getline(tsv, line);) {
        const size_t tab = line.find('\t');
        const std::string file = line.substr(0, tab);
        if (!file.starts_with("bmpsuite/g/") && !std::regex_search(file, std::regex("pngsuite/bas.n.c..|s0.i3p0.|tbbn3p08")))
            continue;
        const fs::path from = fs::path(VANTREL_TEST_FILES) / file;
        fs::copy_file(from, dir.path / from.filename());
        // The copy is read-only like the original, which Windows would not let
        // scratch_dir remove.
        fs::permissions(dir.path / from.filename(), fs::perms::owner_write, fs::perm_options::add);
        pictures[from.filename().string()] = words_of(read_rendering(fs::path(VANTREL_TEST_FILES) / line.substr(tab + 1)));
    }
    return pictures;
}

// "single", "combined" (data.h) or "crlf" (data.h with CR LF line ends).
class RoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(RoundTrip, GivesEveryPictureBack)
{
    scratch_dir dir;
    const std::map<std::string, std::vector<uint32_t>> pictures = make_pictures(dir);
    const bool single = GetParam() == "single";
    std::string files, headers, messages = single ? "" : "Loading data.h\n";
    for (const auto& [file, words] : pictures) {
        const std::string name = file.substr(0, file.size() - 4);
        files += " " + file;
        headers += " " + name + ".h";
        messages += (single ? "Loading " + name + ".h\n" : "") + "Writing " + c_identifier(name) + ".png\n";
    }
    const std::string crlf = GetParam() == "crlf" ? " && sed -i 's/$/\\r/' data.h" : "";
    ASSERT_EQ(run_in(dir.path, (single ? "vantrel" : "vantrel -a") + files + crlf).status, 0);
    const run_result r = run_in(dir.path, "vantrel-preview" + (single ? headers : " data.h"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, messages + "Done\n");

    for (const auto& [file, words] : pictures) {
        std::vector<uint32_t> want;
        for (const uint32_t w : words) {
            uint8_t c[3];
            words_to_rgb(&w, 1, c);
            want.push_back(pack_ycbcr(c[0], c[1], c[2]));
        }
        const read_picture got = load_file(dir / (c_identifier(file.substr(0, file.size() - 4)) + ".png"));
        ASSERT_EQ(got.error, image_error::none) << file;
        EXPECT_EQ(got.words, want) << file;
    }
}

// Headers have CR LF line ends on Windows already.
#ifdef _WIN32
const auto modes = ::testing::Values("single", "combined");
#else
const auto modes = ::testing::Values("single", "combined", "crlf");
#endif
INSTANTIATE_TEST_SUITE_P(Modes, RoundTrip, modes,
                         [](const auto& p) { return p.param; });

}  // namespace
