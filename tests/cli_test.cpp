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
    std::string file(const std::string& name) const
    {
        return fs::exists(dir_ / name) ? lf_text(read_file(dir_ / name)) : "(none)";
    }

    const std::string ab_text = expected_declarations("ab", 2, 2, {0xfe80fe80, 0x00800080, 0x4c544cff, 0x1dff1d6b});
    const std::string odd_text = expected_declarations("odd", 5, 3, words_of(odd));
    scratch_dir dir_;
};

// Every run as a user sees it: the messages, the status and the headers it
// leaves. A failure stops the run at once; what was written before it stays
// and nothing is written for the failing file.
TEST_F(Cli, RunsAsTranscribed)
{
    fs::copy_file(dir_ / "ab.bmp", dir_ / "7");
    for (const char* copy : {"a-b.bmp", "a_b.bmp", "ab_x.bmp"})
        fs::copy_file(dir_ / "ab.bmp", dir_ / copy);
    bytes cut = make_bmp(odd), jpeg = make_bmp(odd);
    cut.erase(cut.end() - 5, cut.end());
    patch(jpeg, 30, 4);
    write_file(dir_ / "cut.bmp", cut);
    write_file(dir_ / "jpeg.bmp", jpeg);
    write_file(dir_ / "huge.bmp", make_bmp({.width = 70000, .height = 1}));
    write_file(dir_ / "ba.bmp", std::string("BA") + std::string(60, 'x'));
    fs::create_directory(dir_ / "dir.bmp");
    fs::create_directory(dir_ / "wall.h");
    fs::copy_file(dir_ / "ab.bmp", dir_ / "wall.bmp");

    struct transcript {
        std::string args, output;
        std::vector<std::pair<std::string, std::string>> files;  // what each holds afterwards
    };
    const std::string top_text = expected_declarations("top", 3, 2, words_of(top)), none = "(none)";
    std::vector<transcript> runs = {
        {"", "Usage: " + program + " file.bmp ...\n", {}},
        {"ab.bmp odd.bmp top.bmp 7", "Loading ab.bmp\nWriting ab.h\nWriting ab\nLoading odd.bmp\nWriting odd.h\n"
         "Writing odd\nLoading top.bmp\nWriting top.h\nWriting top\nLoading 7\nWriting 7.h\nWriting 7\nDone\n",
         {{"ab.h", banner_text + ab_text}, {"odd.h", banner_text + odd_text}, {"top.h", banner_text + top_text},
          {"7.h", banner_text + expected_declarations("img_7", 2, 2, words_of(ab))}}},
        {"-all ab.bmp odd.bmp top.bmp", "Making data.h\nLoading ab.bmp\nWriting ab\nLoading odd.bmp\nWriting odd\n"
         "Loading top.bmp\nWriting top\nDone\n", {{"data.h", banner_text + ab_text + odd_text + top_text}, {"ab.h", none}}},
        {"-a", "Making data.h\nDone\n", {{"data.h", banner_text}}},
        {"wall.bmp", "Loading wall.bmp\nerror: can't write file wall.h\n", {}},
    };
    // An image whose identifiers data.h already declares; "ab" declares ab_x.
    for (const auto& [first, second, id] : {std::tuple{"ab", "ab", "ab"}, {"a-b", "a_b", "a_b"}, {"ab", "ab_x", "ab_x"}})
        runs.push_back({std::string("-a ") + first + ".bmp " + second + ".bmp odd.bmp",
                        "Making data.h\nLoading " + std::string(first) + ".bmp\nWriting " + first + "\nLoading " + second +
                            ".bmp\nerror: duplicate image name " + id + "\n",
                        {{"data.h", banner_text + expected_declarations(first == std::string("ab") ? "ab" : id, 2, 2, words_of(ab))}}});
    const std::pair<std::string, std::string> failures[] = {
        {"missing.bmp", "error: can't open file missing.bmp\n"}, {"dir.bmp", "error: can't open file dir.bmp\n"},
        {"-b", "error: can't open file -b\n"}, {"ba.bmp", "error: wrong BMP format\n"},
        {"jpeg.bmp", "error: unsupported BMP format\n"}, {"cut.bmp", "error: truncated BMP file\n"},
        {"huge.bmp", "error: image too large\n"},
    };
    for (const auto& [name, message] : failures) {
        runs.push_back({"ab.bmp " + name + " odd.bmp", "Loading ab.bmp\nWriting ab.h\nWriting ab\nLoading " + name + "\n" + message,
                        {{"ab.h", banner_text + ab_text}, {name.substr(0, name.size() - 3) + "h", none}, {"odd.h", none}}});
        runs.push_back({"-a ab.bmp " + name + " odd.bmp", "Making data.h\nLoading ab.bmp\nWriting ab\nLoading " + name + "\n" + message,
                        {{"data.h", banner_text + ab_text}}});
    }
    for (const transcript& t : runs) {
        for (const char* header : {"ab.h", "odd.h", "top.h", "data.h"})
            fs::remove(dir_ / header);
        const run_result r = run(t.args);
        EXPECT_EQ(r.output, t.output);
        EXPECT_EQ(r.status, t.output.find("error: ") == std::string::npos ? 0 : 1) << t.args;
        for (const auto& [name, text] : t.files)
            EXPECT_EQ(file(name), text) << t.args << ": " << name;
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

// Generated headers are only useful if compilers take them, beside every
// standard header: a program built from them as C and as C++, warnings as
// errors, prints what it sees.
TEST_F(Cli, GeneratedHeadersCompileAsCAndCxx)
{
#ifdef _WIN32
    GTEST_SKIP() << "the compilers are the build machine's";
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
#define SHOW(n) printf("%s %u %u %u %08x\n", #n, n##_x, n##_y, (unsigned)(sizeof n / sizeof n[0]), n[0])
int main(void)
{
   )" + calls + R"(
    return 0;
}
)");
    std::string want;
    for (const auto& [id, spec] : shown) {
        char line[64];
        std::snprintf(line, sizeof line, "%s %d %d %d %08x\n", id.c_str(), spec.width, std::abs(spec.height),
                      spec.width * std::abs(spec.height), words_of(spec)[0]);
        want += line;
    }
    for (const std::string compiler : {VANTREL_CC " -std=c11 -x c", VANTREL_CXX " -std=c++17 -x c++"}) {
        const run_result built = run_in(dir_.path, compiler + " -Wall -Wextra -Werror -pedantic show.c -o show");
        ASSERT_EQ(built.status, 0) << compiler << "\n" << built.output;
        EXPECT_EQ(run_in(dir_.path, "./show").output, want) << compiler;
    }
#endif
}

}  // namespace
