#include <gtest/gtest.h>

#include "test_util.h"

namespace {

const bmp_spec ab{.width = 2, .height = 2, .pixels = {white, black, red, blue}};  // top row first
const bmp_spec odd{.width = 5, .height = 3};
const bmp_spec top{.width = 3, .height = -2};

class Cli : public ::testing::Test {
protected:
    void SetUp() override
    {
        write_file(dir_ / "ab.bmp", make_bmp(ab));
        write_file(dir_ / "odd.bmp", make_bmp(odd));
        write_file(dir_ / "top.bmp", make_bmp(top));
    }

    run_result run(const std::string& args) { return run_in(dir_.path, quoted(program) + " " + args); }
    bool exists(const std::string& name) const { return fs::exists(dir_ / name); }
    std::string file(const std::string& name) const { return lf_text(read_file(dir_ / name)); }

    const std::string ab_text = expected_declarations("ab", 2, 2, {0xfe80fe80, 0x00800080, 0x4c544cff, 0x1dff1d6b});
    const std::string odd_text = expected_declarations("odd", 5, 3, words_of(odd));
    const std::string top_text = expected_declarations("top", 3, 2, words_of(top));
    scratch_dir dir_;
};

TEST_F(Cli, ConvertsInBothModes)
{
    EXPECT_EQ(run("").output, "Usage: " + program + " file.bmp ...\n");
    EXPECT_EQ(run("").status, 0);

    fs::copy_file(dir_ / "ab.bmp", dir_ / "7");
    write_file(dir_ / "ab.h", std::string("old contents\n"));
    run_result r = run("ab.bmp odd.bmp top.bmp 7");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "Loading ab.bmp\nWriting ab.h\nWriting ab\nLoading odd.bmp\nWriting odd.h\nWriting odd\n"
                        "Loading top.bmp\nWriting top.h\nWriting top\nLoading 7\nWriting 7.h\nWriting 7\nDone\n");
    EXPECT_EQ(file("ab.h"), banner_text + ab_text);
    EXPECT_EQ(file("odd.h"), banner_text + odd_text);
    EXPECT_EQ(file("top.h"), banner_text + top_text);
    EXPECT_EQ(file("7.h"), banner_text + expected_declarations("img_7", 2, 2, words_of(ab)));

    for (const std::string option : {"-a", "-all"}) {
        fs::remove_all(dir_.path / "ab.h");
        r = run(option + " ab.bmp odd.bmp top.bmp");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.output, "Making data.h\nLoading ab.bmp\nWriting ab\nLoading odd.bmp\nWriting odd\n"
                            "Loading top.bmp\nWriting top\nDone\n");
        EXPECT_EQ(file("data.h"), banner_text + ab_text + odd_text + top_text);
        EXPECT_FALSE(exists("ab.h"));
    }
    r = run("-a");
    EXPECT_EQ(r.output, "Making data.h\nDone\n");
    EXPECT_EQ(file("data.h"), banner_text);
}

// Each failure prints its line, ends the run with status 1 and writes nothing
// for the failing file; what was written before it stays.
TEST_F(Cli, StopsAtTheFirstFailure)
{
    bytes cut = make_bmp(odd);
    cut.resize(cut.size() - 5);
    write_file(dir_ / "cut.bmp", cut);
    bytes jpeg = make_bmp(odd);
    patch(jpeg, 30, 4);
    write_file(dir_ / "jpeg.bmp", jpeg);
    write_file(dir_ / "huge.bmp", make_bmp({.width = 70000, .height = 1}));
    write_file(dir_ / "ba.bmp", std::string("BA") + std::string(60, 'x'));
    fs::create_directory(dir_ / "dir.bmp");
    const std::pair<std::string, std::string> cases[] = {
        {"missing.bmp", "error: can't open file missing.bmp\n"}, {"dir.bmp", "error: can't open file dir.bmp\n"},
        {"-b", "error: can't open file -b\n"}, {"ba.bmp", "error: wrong BMP format\n"},
        {"jpeg.bmp", "error: unsupported BMP format\n"}, {"cut.bmp", "error: truncated BMP file\n"},
        {"huge.bmp", "error: image too large\n"},
    };
    for (const auto& [name, message] : cases) {
        run_result r = run("ab.bmp " + name + " odd.bmp");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.output, "Loading ab.bmp\nWriting ab.h\nWriting ab\nLoading " + name + "\n" + message);
        EXPECT_EQ(file("ab.h"), banner_text + ab_text);
        EXPECT_FALSE(exists(name.substr(0, name.size() - 3) + "h") || exists("odd.h")) << name;

        r = run("-a ab.bmp " + name + " odd.bmp");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.output, "Making data.h\nLoading ab.bmp\nWriting ab\nLoading " + name + "\n" + message);
        EXPECT_EQ(file("data.h"), banner_text + ab_text);
    }
}

TEST_F(Cli, ReportsFailedAllocation)
{
#ifdef VANTREL_SANITIZED
    GTEST_SKIP() << "sanitizer runtimes cannot start under an address-space limit";
#elif defined(_WIN32)
    GTEST_SKIP() << "no address-space limit to set from a Windows command line";
#else
    // 20000 x 20000 pixels need 1.6 GB of words; the file itself is sparse.
    bytes head = make_bmp({.width = 20000, .height = 1});
    head.resize(54);
    patch(head, 22, 20000);
    write_file(dir_ / "big.bmp", head);
    fs::resize_file(dir_ / "big.bmp", 54 + uint64_t{60000} * 20000);
    run_result r = run_in(dir_.path, std::string("ulimit -v 1000000 && '") + VANTREL_EXE + "' big.bmp");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Loading big.bmp\nerror: out of memory\n");
    // A broken RLE stream fails before the buffer its header claims.
    r = run_in(dir_.path, std::string("ulimit -v 1000000 && '") + VANTREL_EXE + "' " + VANTREL_REGRESSIONS "/rle8-huge-bad-index.bmp");
    EXPECT_EQ(r.output, "Loading " VANTREL_REGRESSIONS "/rle8-huge-bad-index.bmp\nerror: wrong BMP format\n");
#endif
}

// A picture of over a million pixels is converted on one thread while the
// rows already done are formatted on another and written on a third.
TEST_F(Cli, ConvertsBigPicturesWithEveryThreadAtWork)
{
    const bmp_spec big{.width = 1100, .height = 1024};
    write_file(dir_ / "big.bmp", make_bmp(big));
    const run_result r = run("big.bmp");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(lf_text(read_file(dir_ / "big.h")), banner_text + expected_declarations("big", 1100, 1024, words_of(big)));
}

// A header path that leads to a directory or a device fails before anything
// is created.
TEST_F(Cli, ReportsUnwritableOutput)
{
    fs::create_directory(dir_ / "ab.h");
    std::vector<std::pair<std::string, std::string>> cases = {
        {"ab.bmp", "Loading ab.bmp\nerror: can't write file ab.h\n"},
    };
#ifndef _WIN32
    fs::create_symlink("/dev/full", dir_ / "odd.h");
    fs::create_symlink("/dev/full", dir_ / "data.h");
    cases.insert(cases.end(), {
        {"odd.bmp", "Loading odd.bmp\nerror: can't write file odd.h\n"},
        {"-a ab.bmp odd.bmp", "Making data.h\nerror: can't write file data.h\n"},
    });
#endif
    for (const auto& [args, transcript] : cases) {
        const run_result r = run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.output, transcript);
    }
}

TEST_F(Cli, RepeatedIdentifiersStopCombinedMode)
{
    fs::copy_file(dir_ / "ab.bmp", dir_ / "a-b.bmp");
    fs::copy_file(dir_ / "ab.bmp", dir_ / "a_b.bmp");
    fs::copy_file(dir_ / "ab.bmp", dir_ / "ab_x.bmp");
    const std::string cases[][3] = {
        {"ab.bmp", "ab.bmp", "ab"}, {"a-b.bmp", "a_b.bmp", "a_b"},
        {"ab.bmp", "ab_x.bmp", "ab_x"},  // the width of "ab" is already called ab_x
    };
    for (const auto& [first, second, id] : cases) {
        const run_result r = run("-a " + first + " " + second + " odd.bmp");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.output, "Making data.h\nLoading " + first + "\nWriting " + first.substr(0, first.size() - 4) +
                                "\nLoading " + second + "\nerror: duplicate image name " + id + "\n");
        EXPECT_EQ(file("data.h"), banner_text + expected_declarations(id == "ab_x" ? "ab" : id, 2, 2, words_of(ab)));
    }
    EXPECT_EQ(run("ab.bmp ab.bmp").status, 0);  // separate headers: no clash
}

// Generated headers are only useful if compilers take them: a program built
// from them as C and as C++, warnings as errors, prints what it sees.
TEST_F(Cli, GeneratedHeadersCompileAsCAndCxx)
{
#ifdef _WIN32
    GTEST_SKIP() << "the compilers are the build machine's; linux_output compares these headers with Linux's";
#else
    fs::create_directory(dir_ / "pics");
    fs::copy_file(dir_ / "odd.bmp", dir_ / "pics/logo.bmp");
    fs::copy_file(dir_ / "odd.bmp", dir_ / "my-icon.bmp");
    fs::copy_file(dir_ / "ab.bmp", dir_ / "1.bmp");
    fs::copy_file(dir_ / "top.bmp", dir_ / "int.bmp");
    std::vector<std::pair<std::string, bmp_spec>> shown = {{"ab", ab}, {"my_icon", odd}, {"img_1", ab}, {"img_int", top}};
    std::string args = "-a ab.bmp my-icon.bmp 1.bmp int.bmp", includes, calls;
    // Names from the standard headers, which the program includes first.
    for (const std::string name : {"main", "NULL", "EOF", "time", "exit", "int8_t", "size_t", "errno", "I", "LC_ALL",
                                   "va_list", "FLT_EPSILON", "PRId64", "SIGINT", "EINVAL", "memory_order_relaxed"}) {
        fs::copy_file(dir_ / "ab.bmp", dir_ / (name + ".bmp"));
        args += " " + name + ".bmp";
        shown.push_back({"img_" + name, ab});
    }
    shown.push_back({"logo", odd});
    for (const char* h : {"assert", "complex", "ctype", "errno", "fenv", "float", "inttypes", "iso646", "limits", "locale",
                          "math", "setjmp", "signal", "stdalign", "stdarg", "stdatomic", "stdbool", "stddef", "stdint",
                          "stdio", "stdlib", "stdnoreturn", "string", "tgmath", "threads", "time", "uchar", "wchar", "wctype"})
        includes += std::string("#include <") + h + ".h>\n";
    for (const auto& [id, spec] : shown)
        calls += " SHOW(" + id + ");";
    ASSERT_EQ(run(args).status, 0);
    ASSERT_EQ(run("pics/logo.bmp").status, 0);
    write_file(dir_ / "show.c", includes + R"(#include "data.h"
#include "pics/logo.h"
#define SHOW(n) show(#n, n##_x, n##_y, n, sizeof n / sizeof n[0])
static void show(const char *name, unsigned w, unsigned h, const unsigned int *v, size_t n)
{
    size_t i;
    printf("%s %u %u", name, w, h);
    for (i = 0; i < n; ++i)
        printf(" %08x", v[i]);
    printf("\n");
}
int main(void)
{
   )" + calls + R"(
    return 0;
}
)");
    std::string want;
    char text[48];
    for (const auto& [id, spec] : shown) {
        std::snprintf(text, sizeof text, "%s %d %d", id.c_str(), spec.width, std::abs(spec.height));
        want += text;
        for (uint32_t w : words_of(spec)) {
            std::snprintf(text, sizeof text, " %08x", w);
            want += text;
        }
        want += "\n";
    }
    for (const std::string compiler : {VANTREL_CC " -std=c11 -x c", VANTREL_CXX " -std=c++17 -x c++"}) {
        const run_result built = run_in(dir_.path, compiler + " -Wall -Wextra -Werror -pedantic show.c -o show");
        ASSERT_EQ(built.status, 0) << compiler << "\n" << built.output;
        EXPECT_EQ(run_in(dir_.path, "./show").output, want) << compiler;
    }
#endif
}

}  // namespace
