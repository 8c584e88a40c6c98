// PNG files and the options, as a user sees them: each command line, all it
// prints, and the files it leaves.
#include "png_util.h"
#include "transcript.h"
#include "ycbcr_model.h"

namespace {

// ab's picture as a PNG of palette indices, entry 0 (white) transparent.
bytes ab_png(uint32_t width = 2, uint32_t height = 2, uint8_t last_index = 3)
{
    std::vector<bytes> rows(height, bytes(width, 0));
    rows[0][1] = 1, rows[1][0] = 2, rows[1][1] = 3, rows.back().back() = last_index;
    return join({png_signature, ihdr(width, height, 8, 3), chunk("PLTE", {255, 255, 255, 0, 0, 0, 255, 0, 0, 0, 0, 255}),
                 chunk("tRNS", {0}), chunk("IDAT", zlib_stored(unfiltered(rows))), chunk("IEND", {})});
}

// The text as --uint32 writes it: the arrays' type alone differs.
std::string as_uint32(const std::string& text)
{
    return std::regex_replace(text, std::regex("const unsigned int "), "const uint32_t ");
}

TEST_F(Cli, ReadsPngAndTakesOptions)
{
    write_file(dir_ / "ab2.png", ab_png());
    write_file(dir_ / "ab.png", ab_png());
    const bytes png = ab_png();
    write_file(dir_ / "cut.png", bytes(png.begin(), png.end() - 30));
    write_file(dir_ / "crc.png", join({png_signature, ihdr(1, 1, 8, 0), chunk("IDAT", zlib_stored({0, 7}), false),
                                       chunk("IEND", {})}));
    // Over a million pixels, decoded on a thread of its own while the first
    // rows are written, its last pixel's index without a palette entry.
    write_file(dir_ / "late.png", ab_png(1100, 1024, 4));
    fs::create_directories(dir_ / "gen");

    const std::string ab2 = expected_declarations("ab2", 2, 2, words_of(ab)), made = "Making data.h\n";
    const std::vector<uint32_t> on_green = {pack_ycbcr(0, 255, 0), 0x00800080, 0x4c544cff, 0x1dff1d6b};
    const std::string failing = "Loading ab.bmp\nWriting ab.h\nWriting ab\n";
    const fs::path split = fs::path(VANTREL_TEST_FILES) / "split";
    std::vector<transcript> runs = {
        {"vantrel ab2.png", "Loading ab2.png\nWriting ab2.h\nWriting ab2\nDone\n", {{"ab2.h", banner_text + ab2}}},
        {"vantrel -a ab.bmp ab2.png", made + "Loading ab.bmp\nWriting ab\nLoading ab2.png\nWriting ab2\nDone\n",
         {{"data.h", ab_header + ab2}}},
        {"vantrel --background 00ff00 ab2.png", "Loading ab2.png\nWriting ab2.h\nWriting ab2\nDone\n",
         {{"ab2.h", banner_text + expected_declarations("ab2", 2, 2, on_green)}}},
        {"vantrel ab.bmp cut.png", failing + "Loading cut.png\nerror: truncated PNG file\n", {{"ab.h", ab_header}}},
        {"vantrel ab.bmp crc.png", failing + "Loading crc.png\nerror: wrong PNG format\n", {{"ab.h", ab_header}}},
        {"vantrel late.png", "Loading late.png\nWriting late.h\nWriting late\nerror: wrong PNG format\n", {{"late.h", ""}}},
        {"vantrel -a ab.bmp late.png", made + "Loading ab.bmp\nWriting ab\nLoading late.png\nWriting late\n"
         "error: wrong PNG format\n", {{"data.h", ab_header}}},
        // -a first, or first after the options.
        {"vantrel --output-dir gen ab.bmp", "Loading ab.bmp\nWriting gen/ab.h\nWriting ab\nDone\n",
         {{"gen/ab.h", ab_header}, {"ab.h", ""}}},
        {"vantrel --output-dir=gen -a ab.bmp", "Making gen/data.h\nLoading ab.bmp\nWriting ab\nDone\n",
         {{"gen/data.h", ab_header}, {"data.h", ""}}},
        {"vantrel -a --output-dir gen --background 0000ff ab2.png", "Making gen/data.h\nLoading ab2.png\nWriting ab2\nDone\n",
         {{"gen/data.h", banner_text + expected_declarations("ab2", 2, 2, words_of(std::vector<rgb>{blue, black, red, blue}))}}},
        // The split forms: a header of declarations, a source of the
        // definitions; a failure leaves neither, since the two must agree.
        {"vantrel --split ab.bmp", "Loading ab.bmp\nWriting ab.h\nWriting ab.c\nWriting ab\nDone\n",
         {{"ab.h", read_file(split / "ab.h")}, {"ab.c", read_file(split / "ab.c")}}},
        // uint32_t words, for targets whose int has 16 bits, in every form;
        // the preview reads the header form back, with no image too.
        {"vantrel --split --uint32 ab.bmp", "Loading ab.bmp\nWriting ab.h\nWriting ab.c\nWriting ab\nDone\n",
         {{"ab.h", read_file(split / "ab-uint32.h")}, {"ab.c", as_uint32(read_file(split / "ab.c"))}}},
        {"vantrel -a --uint32 --name u.h ab.bmp ab2.png", "Making u.h\nLoading ab.bmp\nWriting ab\nLoading ab2.png\nWriting ab2\nDone\n",
         {{"u.h", banner_text + "#include <stdint.h>\n\n" + as_uint32(ab_header.substr(banner_text.size()) + ab2)}}},
        {"vantrel-preview u.h", "Loading u.h\nWriting ab.png\nWriting ab2.png\nDone\n"},
        {"vantrel -a --uint32 --name v.h cut.png", "Making v.h\nLoading cut.png\nerror: truncated PNG file\n",
         {{"v.h", banner_text + "#include <stdint.h>\n\n"}}},
        {"vantrel-preview v.h", "Loading v.h\nDone\n"},
        {"vantrel --split -a ab.bmp cut.png", "Making data.h\nMaking data.c\nLoading ab.bmp\nWriting ab\nLoading cut.png\n"
         "error: truncated PNG file\n", {{"data.h", ""}, {"data.c", ""}}},
        {"vantrel --asm late.png", "Loading late.png\nWriting late.h\nWriting late.c\nWriting late\nerror: wrong PNG format\n",
         {{"late.h", ""}, {"late.c", ""}, {"late.le.bin", ""}, {"late.be.bin", ""}}},
        // The word files are named by their content, the same on every platform.
        {"vantrel --asm ab.bmp", "Loading ab.bmp\nWriting ab.h\nWriting ab.c\nWriting ab\nWriting ab.bf99af775f0c424c.le.bin\n"
         "Writing ab.bf99af775f0c424c.be.bin\nDone\n", {{"ab.h", read_file(split / "ab.h")}}},
        {"vantrel --name x.h ab.bmp", "error: --name needs -a\n", {{"x.h", ""}}},
        {"vantrel -a --name gen/x.h ab.bmp", "error: wrong value for --name: gen/x.h\n"},
        {"vantrel --version", "vantrel 1.0 (libpng 1.6.39, zlib 1.2.13, libjpeg-turbo 2.1.5, giflib 5.2.1, libwebp 1.2.4)\n"},
        {"vantrel-preview --version", "vantrel-preview 1.0 (libpng 1.6.39, zlib 1.2.13, libjpeg-turbo 2.1.5, giflib 5.2.1, libwebp 1.2.4)\n"},
        {"vantrel -- -a", "Loading -a\nerror: can't open file -a\n"},
        // Options anywhere before "--", read before anything else is done;
        // -a only before the files.
        {"vantrel ab.bmp --output-dir gen", "Loading ab.bmp\nWriting gen/ab.h\nWriting ab\nDone\n",
         {{"gen/ab.h", ab_header}, {"ab.h", ""}}},
        {"vantrel ab.bmp -- --output-dir", failing + "Loading --output-dir\nerror: can't open file --output-dir\n",
         {{"ab.h", ab_header}}},
        {"vantrel ab.bmp -a", failing + "Loading -a\nerror: can't open file -a\n", {{"ab.h", ab_header}}},
        // Two pictures that would make one header, however it is written;
        // one picture named twice is converted twice.
        {"vantrel ab.bmp ab2.png ./ab.png", "error: duplicate header ./ab.h\n", {{"ab.h", ""}}},
        {"vantrel ab.bmp ./ab.bmp", failing + "Loading ./ab.bmp\nWriting ./ab.h\nWriting ./ab\nDone\n", {{"ab.h", ab_header}}},
        // A wrong option stops the run before anything is read or written.
        {"vantrel --output-dir none ab.bmp", "error: no directory none\n", {{"ab.h", ""}}},
        {"vantrel --output-dir= ab.bmp", "error: missing value for --output-dir\n"},
        {"vantrel --split --asm ab.bmp", "error: --split and --asm exclude each other\n", {{"ab.h", ""}}},
        // What a build asks for: the files a run would write, and nothing written.
        {"vantrel --list-outputs --asm --output-dir gen ab.bmp ab2.png", "header gen/ab.h\nsource gen/ab.c\nidentifier ab\n"
         "header gen/ab2.h\nsource gen/ab2.c\nidentifier ab2\n", {{"gen/ab2.h", ""}}},
        {"vantrel --list-outputs -a --split --name p.h ab.bmp a-b.bmp", "header p.h\nsource p.c\nidentifier ab\n"
         "identifier a_b\n", {{"p.h", ""}}},
        {"vantrel --outputdir gen ab.bmp", "error: unknown option --outputdir\n", {{"ab.h", ""}}},
        {"vantrel -a ab.bmp --background", "error: missing value for --background\n", {{"data.h", ""}}},
        {"vantrel ab.bmp ab2.png --background 00ff0", "error: wrong value for --background: 00ff0\n", {{"ab.h", ""}}},
        {"vantrel ab.bmp --memory-limit 0", "error: wrong value for --memory-limit: 0\n", {{"ab.h", ""}}},
        {"vantrel ab.bmp --matrix bt2020", "error: wrong value for --matrix: bt2020\n", {{"ab.h", ""}}},
        {"vantrel ab.bmp --range tv", "error: wrong value for --range: tv\n"},
        {"vantrel ab.bmp --range full --source-ycbcr", "error: --source-ycbcr and --range exclude each other\n"},
        {"vantrel ab.bmp --memory-limit=18446744073709551617", "error: wrong value for --memory-limit: 18446744073709551617\n"},
        {"vantrel --help=1", "error: unknown option --help=1\n"},
        {"vantrel-preview --output-dir gen ab2.h", "Loading ab2.h\nWriting gen/ab2.png\nDone\n"},
        // --quiet: the error lines alone, of either mode and either program.
        {"vantrel --quiet ab.bmp late.png", "error: late.png: wrong PNG format\n", {{"ab.h", ab_header}, {"late.h", ""}}},
        {"vantrel -a ab.bmp late.png --quiet", "error: late.png: wrong PNG format\n", {{"data.h", ab_header}}},
        {"vantrel-preview --quiet ab2.h", ""},
        {"vantrel-preview --output-dir none ab.h", "error: no directory none\n"},
        {"vantrel-preview --bogus", "error: unknown option --bogus\n"},
    };
    check(runs);
}

// --matrix and --range: a combined run's words come from the model its
// header names, which the preview converts back with.
TEST_F(Cli, ModelWordsComeBackThroughThePreview)
{
    write_file(dir_ / "ab.bmp", make_bmp(ab));
    ycbcr_model model;
    ASSERT_TRUE(parse_matrix("bt709", model) && parse_range("limited", model));
    std::vector<uint32_t> words, previewed;
    for (const rgb& c : ab.pixels) {
        words.push_back(model.word(c.r, c.g, c.b));
        uint8_t back[3];
        model.to_rgb(uint8_t(words.back() >> 24), uint8_t(words.back() >> 16), uint8_t(words.back()), back);
        previewed.push_back(pack_ycbcr(back[0], back[1], back[2]));
    }
    ASSERT_EQ(run_in(dir_.path, "vantrel -a --quiet --matrix bt709 --range limited ab.bmp").status, 0);
    EXPECT_EQ(lf_text(read_file(dir_ / "data.h")),
              banner_text + "// Y, Cb, Y, Cr words: BT.709, limited range\n\n" + expected_declarations("ab", 2, 2, words));
    ASSERT_EQ(run_in(dir_.path, "vantrel-preview --quiet data.h").status, 0);
    EXPECT_EQ(load_file(dir_ / "ab.png").words, previewed);
}

}  // namespace
