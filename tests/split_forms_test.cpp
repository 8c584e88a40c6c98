// The split forms as programs use them: one header included from several C
// and C++ files of a program, its source compiled once, by gcc and clang,
// optimised across files, with unused images dropped; and the assembler
// data, compiled for other processors, holding the words in each one's
// byte order.
#include "transcript.h"

namespace {

// The words of a and b as the program below prints them, one image a line.
[[maybe_unused]] std::string printed(const std::vector<std::pair<std::string, bmp_spec>>& images)
{
    std::string text;
    for (const auto& [id, spec] : images) {
        text += id + " " + std::to_string(spec.width) + "x" + std::to_string(std::abs(spec.height));
        for (const uint32_t w : words_of(spec)) {
            char hex[12];
            std::snprintf(hex, sizeof hex, " %08x", w);
            text += hex;
        }
        text += "\n";
    }
    return text;
}

// Two C files and a C++ one that include pics.h; the C++ one prints.
constexpr const char* one_c = "#include \"pics.h\"\nunsigned a_word(unsigned i) { return a[i]; }\n";
constexpr const char* two_c = "#include \"pics.h\"\nunsigned long b_words(void) { return sizeof b / sizeof b[0]; }\n";
constexpr const char* main_cpp = R"(#include <cstdio>
#include "pics.h"
extern "C" unsigned a_word(unsigned i);
extern "C" unsigned long b_words(void);
static void show(const char* id, unsigned w, unsigned h, const unsigned* words, unsigned long n)
{
    std::printf("%s %ux%u", id, w, h);
    for (unsigned long i = 0; i < n; ++i)
        std::printf(" %08x", words[i]);
    std::printf("\n");
}
int main()
{
    if (a_word(1) != a[1])
        return 1;
    show("a", a_x, a_y, a, sizeof a / sizeof a[0]);
    show("b", b_x, b_y, b, b_words());
}
)";

TEST_F(Cli, SplitFormsLinkFromManyFiles)
{
#ifdef _WIN32
    GTEST_SKIP() << "the compilers are the build machine's";
#else
    const std::vector<std::pair<std::string, bmp_spec>> images = {{"a", ab}, {"b", odd}};
    for (const auto& [id, spec] : images)
        write_file(dir_ / (id + ".bmp"), make_bmp(spec));
    write_file(dir_ / "one.c", std::string(one_c));
    write_file(dir_ / "two.c", std::string(two_c));
    write_file(dir_ / "main.cpp", std::string(main_cpp));
    std::vector<std::pair<std::string, std::string>> compilers = {{VANTREL_CC, VANTREL_CXX}};
    if (run_in(dir_.path, "command -v clang && command -v clang++").status == 0)
        compilers.push_back({"clang", "clang++"});
    const std::string want = printed(images);
    for (const std::string form : {"--split", "--asm"}) {
        ASSERT_EQ(run_in(dir_.path, "vantrel " + form + " -a --name pics.h a.bmp b.bmp").output,
                  "Making pics.h\nMaking pics.c\nLoading a.bmp\nWriting a\nLoading b.bmp\nWriting b\nDone\n");
        for (const auto& [cc, cxx] : compilers)
            for (const std::string flags : {"-O2", "-O2 -flto"}) {
                SCOPED_TRACE(form + " " + cc + " " + flags);
                const std::string strict = " -Wall -Wextra -Wpedantic -Werror ";
                const run_result built =
                    run_in(dir_.path, cc + strict + flags + " -std=c99 -c one.c two.c pics.c && " + cxx + strict + flags +
                                          " -c main.cpp && " + cxx + " " + flags + " one.o two.o pics.o main.o -o show");
                ASSERT_EQ(built.status, 0) << built.output.substr(0, 2000);
                EXPECT_EQ(run_in(dir_.path, "./show").output, want);
                // The source compiles as C++ too, for projects without C.
                EXPECT_EQ(run_in(dir_.path, cxx + strict + flags + " -x c++ -c pics.c -o pics-cxx.o").status, 0);
            }
        // A program that uses a alone leaves b out, its array and sizes.
        const run_result dropped = run_in(dir_.path, std::string(VANTREL_CC) + " -O2 -ffunction-sections -fdata-sections "
                                          "-Wl,--gc-sections -o only-a -x c - -x none pics.c <<'EOF'\n#include \"pics.h\"\n"
                                          "int main(void) { return (int)a[0] & 1; }\nEOF\nnm only-a | sed -n 's/.* \\(a\\|b\\|b_x\\)$/\\1/p'");
        EXPECT_EQ(dropped.output, "a\n") << "gc-sections";
    }
#endif
}

// The assembler data compiled for other processors and object formats:
// each image's section holds its words in the target's byte order.
TEST_F(Cli, AssemblerDataHoldsTheWordsInTheTargetsByteOrder)
{
#ifdef _WIN32
    GTEST_SKIP() << "the compilers are the build machine's";
#else
    write_file(dir_ / "a.bmp", make_bmp(odd));
    ASSERT_EQ(run_in(dir_.path, "vantrel --asm a.bmp >/dev/null").status, 0);
    struct target {
        std::string prefix, section;
        bool big_endian;
    };
    const std::vector<target> targets = {{"arm-none-eabi-", ".rodata.a", false}, {"riscv64-unknown-elf-", ".rodata.a", false},
                                         {"powerpc-linux-gnu-", ".rodata.a", true}, {"x86_64-w64-mingw32-", ".rdata$a", false},
                                         {"i686-w64-mingw32-", ".rdata$a", false}};
    std::string words;
    for (const uint32_t w : words_of(odd))
        words += std::string(1, char(w)) + char(w >> 8) + char(w >> 16) + char(w >> 24);
    int tried = 0;
    for (const target& t : targets) {
        if (run_in(dir_.path, "command -v " + t.prefix + "gcc").status != 0)
            continue;  // CI installs them all
        SCOPED_TRACE(t.prefix);
        ++tried;
        const run_result built = run_in(dir_.path, t.prefix + "gcc -O2 -c a.c -o a.o && " + t.prefix + "objcopy -O binary "
                                        "--only-section='" + t.section + "' a.o a.bin");
        ASSERT_EQ(built.status, 0) << built.output;
        std::string want;
        for (size_t i = 0; i < words.size(); i += 4)
            want += t.big_endian ? std::string{words[i + 3], words[i + 2], words[i + 1], words[i]} : words.substr(i, 4);
        // The array first, then the two sizes, in the section of the image.
        EXPECT_EQ(read_file(dir_ / "a.bin").substr(0, want.size()), want);
    }
    // Mach-O as far as it can be checked here: clang compiles it for macOS,
    // the array under C's name for it, in the constant data.
    if (run_in(dir_.path, "command -v clang && command -v llvm-objdump").status == 0) {
        ++tried;
        const run_result macos = run_in(dir_.path, "clang --target=arm64-apple-macos11 -O2 -c a.c -o a.o && "
                                                   "llvm-objdump -t a.o | grep -c '__TEXT,__const _a$'");
        EXPECT_EQ(macos.output, "1\n") << "Mach-O";
    }
    if (tried == 0)
        GTEST_SKIP() << "no cross compiler";
#endif
}

}  // namespace
