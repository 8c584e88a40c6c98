#include <gtest/gtest.h>

#include "bmp.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint32_t> words_of(int width, int height, const std::vector<rgb>& top_first = {})
{
    std::vector<uint32_t> words;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const rgb c = top_first.empty() ? pattern(x, y) : top_first[size_t(y * width + x)];
            words.push_back(pack_ycbcr(c.r, c.g, c.b));
        }
    return words;
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override
    {
        // ab.bmp: top row white, black; bottom row red, blue.
        write_file(dir_ / "ab.bmp", make_bmp({.width = 2, .height = 2, .pixels = {white, black, red, blue}}));
        write_file(dir_ / "odd.bmp", make_bmp({.width = 5, .height = 3}));
        write_file(dir_ / "top.bmp", make_bmp({.width = 3, .height = -2}));
    }

    run_result run(const std::string& args) { return vantrel(dir_.path(), args); }
    bool exists(const std::string& name) const { return fs::exists(dir_ / name); }
    std::string file(const std::string& name) const { return read_file(dir_ / name); }

    const std::string ab_text = expected_declarations("ab", 2, 2, {0xfe80fe80, 0x00800080, 0x4c544cff, 0x1dff1d6b});
    const std::string odd_text = expected_declarations("odd", 5, 3, words_of(5, 3));
    const std::string top_text = expected_declarations("top", 3, 2, words_of(3, 2));
    scratch_dir dir_;
};

TEST_F(Cli, UsageWithoutArguments)
{
    const run_result r = run("");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, std::string("Usage: ") + VANTREL_EXE + " file.bmp ...\n");
    EXPECT_EQ(r.errors, "");
}

TEST_F(Cli, SingleFileModeWritesAHeaderBesideEachBitmap)
{
    fs::create_directory(dir_ / "pics");
    write_file(dir_ / "pics" / "my-icon.bmp", make_bmp({.width = 5, .height = 3}));
    write_file(dir_ / "ab.h", std::string("old contents that must go away\n"));

    const run_result r = run("ab.bmp odd.bmp top.bmp pics/my-icon.bmp");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output,
              "Loading ab.bmp\nWriting ab.h\nWriting ab\n"
              "Loading odd.bmp\nWriting odd.h\nWriting odd\n"
              "Loading top.bmp\nWriting top.h\nWriting top\n"
              "Loading pics/my-icon.bmp\nWriting pics/my-icon.h\nWriting pics/my-icon\n"
              "Done\n");
    EXPECT_EQ(file("ab.h"), banner_text + ab_text);
    EXPECT_EQ(file("odd.h"), banner_text + odd_text);
    EXPECT_EQ(file("top.h"), banner_text + top_text);
    EXPECT_EQ(file("pics/my-icon.h"), banner_text + expected_declarations("my_icon", 5, 3, words_of(5, 3)));
    EXPECT_FALSE(exists("my-icon.h"));
}

TEST_F(Cli, ShortArgumentsGainDotH)
{
    fs::copy_file(dir_ / "ab.bmp", dir_ / "a");
    fs::copy_file(dir_ / "ab.bmp", dir_ / "7");
    const run_result r = run("a 7");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "Loading a\nWriting a.h\nWriting a\nLoading 7\nWriting 7.h\nWriting 7\nDone\n");
    EXPECT_EQ(file("a.h"), banner_text + expected_declarations("a", 2, 2, words_of(2, 2, {white, black, red, blue})));
    EXPECT_EQ(file("7.h"), banner_text + expected_declarations("img_7", 2, 2, words_of(2, 2, {white, black, red, blue})));
}

TEST_F(Cli, CombinedModeWritesEveryImageIntoDataH)
{
    for (const std::string option : {"-a", "-all"}) {
        write_file(dir_ / "data.h", std::string("stale\n"));
        const run_result r = run(option + " ab.bmp odd.bmp top.bmp");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.output,
                  "Making data.h\nLoading ab.bmp\nWriting ab\nLoading odd.bmp\nWriting odd\n"
                  "Loading top.bmp\nWriting top\nDone\n");
        EXPECT_EQ(file("data.h"), banner_text + ab_text + odd_text + top_text);
        EXPECT_FALSE(exists("ab.h") || exists("odd.h") || exists("top.h"));
    }

    const run_result empty = run("-a");
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.output, "Making data.h\nDone\n");
    EXPECT_EQ(file("data.h"), banner_text);
}

TEST_F(Cli, BadInputStopsTheRunAndKeepsEarlierOutput)
{
    write_file(dir_ / "bad.bmp", std::string("BAxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"));
    run_result r = run("ab.bmp missing.bmp odd.bmp");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Loading ab.bmp\nWriting ab.h\nWriting ab\nLoading missing.bmp\nerror: can't open file missing.bmp\n");
    EXPECT_EQ(file("ab.h"), banner_text + ab_text);
    EXPECT_FALSE(exists("missing.h") || exists("odd.h"));

    r = run("-a ab.bmp bad.bmp odd.bmp");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Making data.h\nLoading ab.bmp\nWriting ab\nLoading bad.bmp\nerror: wrong BMP format\n");
    EXPECT_EQ(file("data.h"), banner_text + ab_text);

    // Only "-a" selects combined mode; any other option is a file name.
    r = run("-b");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Loading -b\nerror: can't open file -b\n");
}

TEST_F(Cli, EachBadInputHasItsOwnMessage)
{
    std::vector<uint8_t> truncated = make_bmp({.width = 4, .height = 4});
    truncated.resize(truncated.size() - 5);
    write_file(dir_ / "trunc.bmp", truncated);
    write_file(dir_ / "pal.bmp", make_bmp({.width = 4, .height = 4, .bits = 8}));
    write_file(dir_ / "huge.bmp", make_bmp({.width = 70000, .height = 1}));
    write_file(dir_ / "empty.bmp", std::string());
    fs::create_directory(dir_ / "dir.bmp");

    const std::pair<std::string, std::string> cases[] = {
        {"trunc.bmp", "error: truncated BMP file\n"},
        {"pal.bmp", "error: unsupported BMP format\n"},
        {"huge.bmp", "error: image too large\n"},
        {"empty.bmp", "error: wrong BMP format\n"},
        {"dir.bmp", "error: can't open file dir.bmp\n"},
    };
    for (const auto& [name, message] : cases) {
        for (const std::string mode : {"", "-a "}) {
            fs::remove(dir_ / "data.h");
            const run_result r = run(mode + name);
            EXPECT_EQ(r.status, 1) << name;
            EXPECT_EQ(r.output, std::string(mode.empty() ? "" : "Making data.h\n") + "Loading " + name + "\n" + message);
            EXPECT_FALSE(exists(name.substr(0, name.size() - 3) + "h")) << name;
        }
        EXPECT_EQ(file("data.h"), banner_text);
    }
}

TEST_F(Cli, FailedAllocationIsReported)
{
#ifdef VANTREL_SANITIZED
    GTEST_SKIP() << "sanitizer runtimes cannot start under an address-space limit";
#else
    // 20000 x 20000 pixels need 1.6 GB of words; the file itself is sparse.
    std::vector<uint8_t> head = make_bmp({.width = 20000, .height = 1});
    head.resize(54);
    patch32(head, 22, 20000);
    write_file(dir_ / "big.bmp", head);
    fs::resize_file(dir_ / "big.bmp", 54 + uint64_t{60000} * 20000);

    const run_result r = run_in(dir_.path(), std::string("ulimit -v 1000000 && '") + VANTREL_EXE + "' big.bmp");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Loading big.bmp\nerror: out of memory\n");
    EXPECT_FALSE(exists("big.h"));
#endif
}

TEST_F(Cli, UnwritableOutputIsAnError)
{
    fs::create_directory(dir_ / "ab.h");
    run_result r = run("ab.bmp");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Loading ab.bmp\nerror: can't write file ab.h\n");

    // A full disk shows only when the buffered text is flushed.
    fs::create_symlink("/dev/full", dir_ / "odd.h");
    r = run("odd.bmp");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Loading odd.bmp\nWriting odd.h\nWriting odd\nerror: can't write file odd.h\n");

    fs::create_symlink("/dev/full", dir_ / "data.h");
    r = run("-a ab.bmp odd.bmp");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Making data.h\nLoading ab.bmp\nWriting ab\nerror: can't write file data.h\n");
    r = run("-a");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Making data.h\nerror: can't write file data.h\n");

    fs::remove(dir_ / "data.h");
    fs::create_directory(dir_ / "data.h");
    r = run("-a ab.bmp");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Making data.h\nerror: can't write file data.h\n");
}

TEST_F(Cli, RepeatedIdentifiersStopCombinedMode)
{
    fs::copy_file(dir_ / "ab.bmp", dir_ / "a-b.bmp");
    fs::copy_file(dir_ / "ab.bmp", dir_ / "a_b.bmp");
    fs::copy_file(dir_ / "ab.bmp", dir_ / "ab_x.bmp");
    const std::pair<std::string, std::string> cases[] = {
        {"ab.bmp ab.bmp", "ab"},
        {"a-b.bmp a_b.bmp", "a_b"},
        {"ab.bmp ab_x.bmp", "ab_x"},  // the width of "ab" is already called ab_x
    };
    for (const auto& [args, id] : cases) {
        const run_result r = run("-a " + args + " odd.bmp");
        const std::string first = args.substr(0, args.find(' '));
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_EQ(r.output, "Making data.h\nLoading " + first + "\nWriting " + first.substr(0, first.size() - 4) +
                                "\nLoading " + args.substr(args.find(' ') + 1) + "\nerror: duplicate image name " + id +
                                "\n");
        EXPECT_EQ(file("data.h").find(id + "_x = 2", file("data.h").find(id + "_x = 2") + 1), std::string::npos);
    }

    // Single-file mode writes each image to its own header: no clash.
    EXPECT_EQ(run("ab.bmp ab.bmp").status, 0);
}

// The generated text is only useful if compilers take it: build a program
// from the headers as C and as C++ with warnings as errors, and let it check
// the values it sees.
TEST_F(Cli, GeneratedHeadersCompileAsCAndCxx)
{
    fs::create_directory(dir_ / "pics");
    write_file(dir_ / "pics" / "logo.bmp", make_bmp({.width = 7, .height = 2}));
    fs::copy_file(dir_ / "odd.bmp", dir_ / "my-icon.bmp");
    fs::copy_file(dir_ / "ab.bmp", dir_ / "1.bmp");
    fs::copy_file(dir_ / "top.bmp", dir_ / "int.bmp");
    ASSERT_EQ(run("-a ab.bmp my-icon.bmp 1.bmp int.bmp").status, 0);
    ASSERT_EQ(run("pics/logo.bmp").status, 0);

    struct image {
        std::string id;
        int width, height;
        std::vector<uint32_t> words;
    };
    const image images[] = {
        {"ab", 2, 2, words_of(2, 2, {white, black, red, blue})},
        {"my_icon", 5, 3, words_of(5, 3)},
        {"img_1", 2, 2, words_of(2, 2, {white, black, red, blue})},
        {"img_int", 3, 2, words_of(3, 2)},
        {"logo", 7, 2, words_of(7, 2)},
    };
    std::string program =
        "#include \"data.h\"\n#include \"pics/logo.h\"\n#include <stdio.h>\n"
        "static int failures;\n"
        "static void check(unsigned long got, unsigned long want, const char *what)\n"
        "{\n    if (got != want) { printf(\"%s: %lx, not %lx\\n\", what, got, want); ++failures; }\n}\n"
        "int main(void)\n{\n";
    for (const image& im : images) {
        program += "    check(" + im.id + "_x, " + std::to_string(im.width) + ", \"" + im.id + "_x\");\n";
        program += "    check(" + im.id + "_y, " + std::to_string(im.height) + ", \"" + im.id + "_y\");\n";
        program += "    check(sizeof " + im.id + " / sizeof " + im.id + "[0], " + std::to_string(im.words.size()) +
                   ", \"size of " + im.id + "\");\n";
        for (size_t i = 0; i < im.words.size(); ++i)
            program += "    check(" + im.id + "[" + std::to_string(i) + "], " + std::to_string(im.words[i]) +
                       "ul, \"" + im.id + "[" + std::to_string(i) + "]\");\n";
    }
    program += "    return failures != 0;\n}\n";
    write_file(dir_ / "check.c", program);

    const std::string compilers[] = {
        std::string("'") + VANTREL_CC + "' -std=c11 -x c",
        std::string("'") + VANTREL_CXX + "' -std=c++17 -x c++",
    };
    for (const std::string& compiler : compilers) {
        const run_result built = run_in(dir_.path(), compiler + " -Wall -Wextra -Werror check.c -o check");
        ASSERT_EQ(built.status, 0) << compiler << "\n" << built.output << built.errors;
        const run_result checked = run_in(dir_.path(), "./check");
        EXPECT_EQ(checked.status, 0) << compiler << "\n" << checked.output;
    }
}

}  // namespace
