// A header is complete or absent: after any failure what stood at its path
// stays as it was, no temporary file is left, and data.h holds only the
// images before the failing one.
#include <gtest/gtest.h>

#include <regex>

#include "test_util.h"

namespace {

const bmp_spec ab{.width = 2, .height = 2, .pixels = {white, black, red, blue}};
// Over a million pixels: converted on a thread of its own while written.
const bmp_spec big{.width = 1100, .height = 1024};

class AllOrNothing : public ::testing::Test {
protected:
    void SetUp() override
    {
        write_file(dir_ / "ab.bmp", make_bmp(ab));
        for (const char* name : {"big.bmp", "unreadable.bmp", "slow.bmp"})
            write_file(dir_ / name, make_bmp(big));
    }

    // Runs the program under strace, which makes every read of
    // unreadable.bmp after its first fail as an I/O error would, and every
    // read of slow.bmp take a fifth of a second. Its own complaints about
    // signals in a delay are left out.
    run_result run(const std::string& before, const std::string& wrapper, const std::string& args)
    {
        const bool slow = args.find("slow.bmp") != std::string::npos;
        run_result r = run_in(dir_.path, before + "strace -f -qq -o /dev/null -e trace=read -P " +
                                             quoted((dir_ / (slow ? "slow.bmp" : "unreadable.bmp")).string()) +
                                             (slow ? " -e inject=read:delay_enter=200000 " : " -e inject=read:error=EIO:when=2+ ") +
                                             wrapper + quoted(program) + " " + args);
        r.output = std::regex_replace(r.output, std::regex("strace: [^\n]*\n"), "");
        return r;
    }

    std::string file(const std::string& name) const { return read_file(dir_ / name); }

    std::vector<std::string> temporaries() const
    {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir_.path))
            if (entry.path().extension() == ".tmp")
                found.push_back(entry.path().filename().string());
        return found;
    }

    const std::string ab_text = expected_declarations("ab", 2, 2, {0xfe80fe80, 0x00800080, 0x4c544cff, 0x1dff1d6b});
    scratch_dir dir_;
};

TEST_F(AllOrNothing, FailuresLeaveWhatStoodThere)
{
#ifdef VANTREL_SANITIZED
    GTEST_SKIP() << "a sanitizer's leak check stops the traced threads itself, which strace has stopped already";
#endif
    const std::string old = "old header\n";
    const std::string full_disk = "ulimit -f 2000 && ";  // a few megabytes at most
    struct failure {
        std::string before, wrapper, args, transcript, header;
    };
    const failure cases[] = {
        {"", "", "unreadable.bmp", "Loading unreadable.bmp\nWriting unreadable.h\nWriting unreadable\n"
                               "error: can't read file unreadable.bmp\n", "unreadable.h"},
        {full_disk, "", "big.bmp", "Loading big.bmp\nWriting big.h\nWriting big\nerror: can't write file big.h\n", "big.h"},
        {"mkfifo big.h && ", "", "big.bmp", "Loading big.bmp\nerror: can't write file big.h\n", ""},
        {"ln -s /dev/full data.h && ", "", "-a ab.bmp", "Making data.h\nerror: can't write file data.h\n", ""},
        // Ctrl-C in mid-picture (the messages still in stdout's buffer go
        // with the process), and the status a shell reports for it.
        {"", "timeout --preserve-status -s INT 0.5 ", "slow.bmp; echo status $?", "status 130\n", "slow.h"},
        {"", "", "-a ab.bmp unreadable.bmp", "Making data.h\nLoading ab.bmp\nWriting ab\nLoading unreadable.bmp\n"
                                         "Writing unreadable\nerror: can't read file unreadable.bmp\n", "data.h"},
        {full_disk, "", "-a ab.bmp big.bmp", "Making data.h\nLoading ab.bmp\nWriting ab\nLoading big.bmp\nWriting big\n"
                                         "error: can't write file data.h\n", "data.h"},
    };
    for (const failure& c : cases) {
        SCOPED_TRACE(c.before + c.args);
        if (!c.header.empty())
            write_file(dir_ / c.header, old);
        const run_result r = run(c.before, c.wrapper, c.args);
        EXPECT_EQ(r.output, c.transcript);
        EXPECT_EQ(r.status, c.args.find("status") != std::string::npos ? 0 : 1);
        // data.h keeps the images before the failing one; a header, what it held.
        if (!c.header.empty()) {
            EXPECT_TRUE(file(c.header) == (c.header == "data.h" ? banner_text + ab_text : old));
        }
        EXPECT_EQ(temporaries(), std::vector<std::string>{});
        fs::remove(dir_ / "big.h");
        fs::remove(dir_ / "data.h");
    }
}

// A header that is its own input, by a link either way, would destroy the
// input as it replaced it.
TEST_F(AllOrNothing, NeverReplacesItsInput)
{
    const std::string links[][2] = {{"ln -s t.bmp t.h", "t"}, {"ln t.bmp t.h", "t"}, {"mv t.bmp t.h && ln -s t.h t.bmp", "t"}};
    for (const auto& [link, stem] : links) {
        SCOPED_TRACE(link);
        fs::remove(dir_ / "t.h");
        fs::remove(dir_ / "t.bmp");
        fs::copy_file(dir_ / "big.bmp", dir_ / "t.bmp");
        const run_result r = run_in(dir_.path, link + " && " + quoted(program) + " t.bmp");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.output, "Loading t.bmp\nerror: can't write file t.h\n");
        EXPECT_TRUE(file("t.bmp") == file("big.bmp"));
    }
}

// Two runs writing one header at once each put a whole header in place.
TEST_F(AllOrNothing, ConcurrentRunsEachWriteAWholeHeader)
{
    const std::string big_text = expected_declarations("big", 1100, 1024, words_of(big));
    for (const std::string args : {"big.bmp", "-a big.bmp"}) {
        const std::string run = quoted(program) + " " + args + " >/dev/null";
        const run_result r = run_in(dir_.path, "(" + run + "; echo $? >first) & " + run + "; echo $? >second; wait");
        EXPECT_EQ(file("first") + file("second"), "0\n0\n");
        EXPECT_TRUE(file(args == "big.bmp" ? "big.h" : "data.h") == banner_text + big_text) << args;
        EXPECT_EQ(temporaries(), std::vector<std::string>{});
    }
}

// With standard output closed its descriptor is not handed to data.h; what
// cannot be printed makes the run fail.
TEST_F(AllOrNothing, StandardOutputClosedOrFull)
{
    run_result r = run_in(dir_.path, "sh -c 'exec >&-; exec " + quoted(program) + " -a ab.bmp'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(file("data.h"), banner_text + ab_text);
    r = run_in(dir_.path, "sh -c 'exec " + quoted(program) + " ab.bmp >/dev/full'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "error: can't write standard output\n");
    EXPECT_EQ(file("ab.h"), banner_text + ab_text);
}

}  // namespace
