// The split forms where a build meets them beyond the consumer project
// (tests/consumer, which links one header from several C and C++ files):
// optimised across files, with unused images dropped, in strict C and C++
// modes and with symbols that carry a leading underscore; the assembler
// data, compiled for other processors, holding the words in each one's
// byte order; and where int has 16 bits.
#include "byte_layouts.h"
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
    // The assembler source names its word files by their path, here with a
    // trigraph (which strict C17 and C++14 read in string literals) and a
    // newline in it. A C++-only project compiles the sources as C++; some
    // GCC ports put "_" in front of C's symbols, as -fleading-underscore
    // does, which the program below then links to the C library's.
    fs::create_directory(dir_ / "gen\nbuild?\?=1");
    const std::string underscore = "-fleading-underscore -static -Wl,-u,printf,--defsym=main=_main,--defsym=_printf=printf";
    for (const std::string form : {"--split", "--asm"}) {
        ASSERT_EQ(run_in(dir_.path, "vantrel " + form + " -a --name pics.h --output-dir gen?build* a.bmp b.bmp").status, 0);
        for (const std::string& cc : compilers)
            for (const std::string flags : {"-flto", "-ffunction-sections -fdata-sections -Wl,--gc-sections", "-std=c17",
                                            "-x c++ -std=c++14", underscore.c_str()}) {
                if (flags == underscore && run_in(dir_.path, cc + " -dM -E - </dev/null | grep -q __clang__").status == 0)
                    continue;  // a GCC option
                SCOPED_TRACE(form + " " + cc + " " + flags);
                const run_result built = run_in(dir_.path, cc + " -O2 -Wall -Wextra -Wpedantic -Werror " + flags +
                                                               " -I gen?build* main.c gen?build*/pics.c -o show");
                ASSERT_EQ(built.status, 0) << built.output.substr(0, 2000);
                EXPECT_EQ(run_in(dir_.path, "./show").output, want);
                // b, which nothing uses, is gone with its sizes.
                if (flags.find("gc-sections") != std::string::npos) {
                    EXPECT_EQ(run_in(dir_.path, "nm show | awk '{print $NF}' | grep -cx 'b\\|b_x\\|b_y'").output, "0\n");
                }
            }
    }
#endif
}

// An animation's frames (--frames) as a program meets them in each form:
// their count and delays, and the words of the last frame, which come after
// every other frame's.
TEST_F(Cli, FramesCompileInEveryForm)
{
#ifdef _WIN32
    GTEST_SKIP() << "the compilers are the build machine's";
#else
    fs::copy_file(VANTREL_TEST_FILES "/gif/gs-disposals-w20.gif", dir_ / "anim.gif");
    write_file(dir_ / "main.c", std::string("#include <stdio.h>\n#include \"anim.h\"\n"
                                            "int main(void) { printf(\"%u %u %u %08x\\n\", anim_frames, anim_delays[3], "
                                            "(unsigned)(sizeof anim / sizeof anim[0]), anim[4][319]); return 0; }\n"));
    const read_picture frames = load_file(dir_ / "anim.gif", {.all_frames = true});
    ASSERT_EQ(frames.words.size(), 5u * 320);
    char want[32];
    std::snprintf(want, sizeof want, "5 250 5 %08x\n", frames.words.back());
    for (const std::string form : {"", "--split", "--asm"}) {
        SCOPED_TRACE(form);
        ASSERT_EQ(run_in(dir_.path, "vantrel --frames " + form + " anim.gif").status, 0);
        const run_result built = run_in(dir_.path, std::string(VANTREL_CC) + " -O2 -Wall -Wextra -Wpedantic -Werror main.c" +
                                                       (form.empty() ? "" : " anim.c") + " -o show");
        ASSERT_EQ(built.status, 0) << built.output.substr(0, 2000);
        EXPECT_EQ(run_in(dir_.path, "./show").output, want);
    }
#endif
}

// A layout's bytes (--layout) are in memory order: the split forms' array,
// compiled for the build machine and for a big-endian processor, holds the
// same bytes on both, those the encoder gives, and a program finds its
// planes where the declarations say.
TEST_F(Cli, LayoutBytesAreTheSameOnEveryTarget)
{
#ifdef _WIN32
    GTEST_SKIP() << "the compilers are the build machine's";
#else
    write_file(dir_ / "a.bmp", make_bmp(odd));
    std::vector<uint32_t> colours;
    for (const rgb& p : pixels_of(odd))
        colours.push_back(uint32_t(p.r) << 16 | uint32_t(p.g) << 8 | p.b);
    layout_encoder encoder(byte_layout::nv12, ycbcr_model{}, uint32_t(odd.width), uint32_t(std::abs(odd.height)));
    std::string want;
    for (size_t y = 0; y < size_t(std::abs(odd.height)); ++y) {
        const uint8_t* row = encoder.row(&colours[y * size_t(odd.width)]);
        want.append(row, row + encoder.geometry().stride);
    }
    want.append(encoder.finish().begin(), encoder.finish().end());
    write_file(dir_ / "main.c", std::string("#include <stdio.h>\n#include \"a.h\"\n"
                                            "int main(void) { printf(\"%u %lu %02x %02x\\n\", (unsigned)sizeof a, a_chroma_stride, "
                                            "a[a_cb_offset + a_chroma_stride], a[a_cr_offset]); return 0; }\n"));
    char shown[64];
    std::snprintf(shown, sizeof shown, "%zu 6 %02x %02x\n", want.size(), uint8_t(want[15 + 6]), uint8_t(want[16]));
    for (const std::string form : {"--split", "--asm"}) {
        SCOPED_TRACE(form);
        ASSERT_EQ(run_in(dir_.path, "vantrel --layout nv12 " + form + " a.bmp").status, 0);
        ASSERT_EQ(run_in(dir_.path, std::string(VANTREL_CC) + " -Wall -Wextra -Werror -o show main.c a.c").status, 0);
        EXPECT_EQ(run_in(dir_.path, "./show").output, shown);
        // The array first in its section, then with --asm its sizes.
        for (const std::string prefix : {"", "powerpc-linux-gnu-"}) {
            if (run_in(dir_.path, "command -v " + prefix + "gcc").status != 0)
                continue;  // CI installs it
            SCOPED_TRACE(prefix);
            ASSERT_EQ(run_in(dir_.path, prefix + "gcc -O2 -fdata-sections -c a.c -o a.o && " + prefix +
                                            "objcopy -O binary --only-section=.rodata.a a.o a.bin").status, 0);
            EXPECT_EQ(read_file(dir_ / "a.bin").substr(0, want.size()), want);
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

// Where int has 16 bits, an ATmega2560 run in simavr: with --uint32 every
// form holds whole words, its arrays' sizeof counting 4 bytes to a word,
// and without it the split forms' header refuses to compile rather than
// cut the words to 16 bits.
TEST_F(Cli, WordsStayWholeWhereIntHas16Bits)
{
#ifdef _WIN32
    GTEST_SKIP() << "the compilers are the build machine's";
#else
    if (run_in(dir_.path, "command -v avr-gcc && command -v simavr").status != 0)
        GTEST_SKIP() << "no avr-gcc or simavr";  // CI installs them
    write_file(dir_ / "a.bmp", make_bmp(odd));
    // What the program prints on its serial port, simavr shows.
    write_file(dir_ / "main.c",
               std::string("#include <avr/interrupt.h>\n#include <avr/sleep.h>\n#include <stdio.h>\n#include \"a.h\"\n"
                           "static int put(char c, FILE* f) { (void)f; while (!(UCSR0A & 1 << UDRE0)) {} UDR0 = c; return 0; }\n"
                           "static FILE port = FDEV_SETUP_STREAM(put, NULL, _FDEV_SETUP_WRITE);\n"
                           "int main(void) { UCSR0B = 1 << TXEN0; fprintf(&port, \"%u %08lx\\n\", (unsigned)sizeof a, "
                           "(unsigned long)a[1]); cli(); sleep_mode(); }\n"));
    char want[32];
    std::snprintf(want, sizeof want, "%zu %08x", words_of(odd).size() * 4, words_of(odd)[1]);
    for (const std::string form : {"", "--split", "--asm"}) {
        SCOPED_TRACE(form);
        const std::string build = "avr-gcc -mmcu=atmega2560 -Os -Wall -Wextra -Werror -o a.elf main.c" +
                                  std::string(form.empty() ? "" : " a.c");
        if (!form.empty()) {
            ASSERT_EQ(run_in(dir_.path, "vantrel " + form + " a.bmp").status, 0);
            const std::string refused = run_in(dir_.path, build).output;
            EXPECT_NE(refused.find("#error \"unsigned int is not 32 bits here: convert with vantrel --uint32"),
                      std::string::npos) << refused;
        }
        ASSERT_EQ(run_in(dir_.path, "vantrel --uint32 " + form + " a.bmp").status, 0);
        const run_result built = run_in(dir_.path, build);
        ASSERT_EQ(built.status, 0) << built.output;
        const std::string ran = run_in(dir_.path, "timeout 60 simavr -m atmega2560 a.elf").output;
        EXPECT_NE(ran.find(want), std::string::npos) << ran;
    }
#endif
}

}  // namespace
