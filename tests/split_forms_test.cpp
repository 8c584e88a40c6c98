// The split forms where a build meets them beyond the consumer project
// (tests/consumer, which links one header from several C and C++ files):
// optimised across files, and with unused images dropped; and the
// assembler data, compiled for other processors, holding the words in each
// one's byte order.
#include "transcript.h"

namespace {

TEST_F(Cli, SplitFormsLinkWithLtoAndDropUnusedImages)
{
#ifdef _WIN32
    GTEST_SKIP() << "the compilers are the build machine's";
#else
    write_file(dir_ / "a.bmp", make_bmp(ab));
    write_file(dir_ / "b.bmp", make_bmp(odd));
    write_file(dir_ / "main.c", std::string("#include <stdio.h>\n#include \"pics.h\"\n"
                                            "int main(void) { printf(\"%08x %u\\n\", a[3], a_x); return 0; }\n"));
    char want[32];
    std::snprintf(want, sizeof want, "%08x 2\n", words_of(ab)[3]);
    std::vector<std::string> compilers = {VANTREL_CC};
    if (run_in(dir_.path, "command -v clang").status == 0)
        compilers.push_back("clang");
    for (const std::string form : {"--split", "--asm"}) {
        ASSERT_EQ(run_in(dir_.path, "vantrel " + form + " -a --name pics.h a.bmp b.bmp").status, 0);
        for (const std::string& cc : compilers)
            for (const std::string flags : {"-flto", "-ffunction-sections -fdata-sections -Wl,--gc-sections"}) {
                SCOPED_TRACE(form + " " + cc + " " + flags);
                const run_result built = run_in(dir_.path, cc + " -O2 -Wall -Wextra -Wpedantic -Werror " + flags +
                                                               " main.c pics.c -o show");
                ASSERT_EQ(built.status, 0) << built.output.substr(0, 2000);
                EXPECT_EQ(run_in(dir_.path, "./show").output, want);
                // b, which nothing uses, is gone with its sizes.
                if (flags != "-flto") {
                    EXPECT_EQ(run_in(dir_.path, "nm show | awk '{print $NF}' | grep -cx 'b\\|b_x\\|b_y'").output, "0\n");
                }
            }
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
