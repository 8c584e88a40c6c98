// What the program does differently on Windows, started as the console and
// build tools start it: wildcards that the runtime expands, either directory
// separator, names in the ANSI code page, names that Windows refuses, headers
// that other programs hold open and the 32-bit address space. Every header
// read here has to end its lines in CR LF (lf_text).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "test_util.h"

namespace {

const bmp_spec ab{.width = 2, .height = 2, .pixels = {white, black, red, blue}};

class WindowsCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(dir_.path / "pics/sub");
        for (const std::wstring name : {L"ab", L"top", L"pics/one", L"pics/two", L"pics/sub/3", L"pics/sub/it\u2019s", L"pics/sub/\u20ac"})
            write_file(dir_.path / (name + L".bmp"), make_bmp(ab));
    }

    run_result run(const std::string& args) { return run_in(dir_.path, "vantrel " + args); }

    // A header by a name as the program gets it, which the ANSI functions read.
    std::string header(const std::string& name) const
    {
        std::wstring wide(name.size(), L'\0');
        wide.resize(size_t(MultiByteToWideChar(CP_ACP, 0, name.data(), int(name.size()), wide.data(), int(wide.size()))));
        return lf_text(read_file(dir_.path / wide));
    }

    // Runs each command line in both modes, which have to load the names
    // given, in that order, and declare their identifiers; a pattern alone on
    // the line may match several, in the order the system lists them.
    void converts(std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> list)
    {
        for (auto& [args, names] : list)
            for (const std::string mode : {"", "-a "}) {
                SCOPED_TRACE(mode + args);
                const run_result r = run(mode + args);
                if (args.find(' ') == std::string::npos)
                    std::ranges::sort(names, {}, [&](const auto& name) { return r.output.find("Loading " + name.first + "\n"); });
                std::string transcript = mode.empty() ? "" : "Making data.h\n", want = mode.empty() ? "" : banner_text, got;
                for (const auto& [name, id] : names) {
                    const std::string stem = name.substr(0, name.size() - 4);
                    transcript += "Loading " + name + "\n" + (mode.empty() ? "Writing " + stem + ".h\n" : "") + "Writing " + stem + "\n";
                    want += (mode.empty() ? banner_text : "") + expected_declarations(id, 2, 2, words_of(ab));
                    got += mode.empty() ? header(stem + ".h") : "";
                }
                EXPECT_EQ(r.output, transcript + "Done\n");
                EXPECT_EQ(mode.empty() ? got : header("data.h"), want);
            }
    }

    scratch_dir dir_;
};

// Each pattern is replaced, where it stands, by the names it matches, and
// each header goes beside its bitmap. A name outside ASCII reaches the
// program in the ANSI code page, typed or matched, and has to name the same
// files when the bitmap is opened and the header written; the bitmaps were
// made with the wide API, as Explorer makes them.
TEST_F(WindowsCli, ConvertsWhatTheRuntimeHandsOver)
{
    converts({
        {"*.bmp", {{"ab.bmp", "ab"}, {"top.bmp", "top"}}},
        {"pics\\*.bmp", {{"pics\\one.bmp", "one"}, {"pics\\two.bmp", "two"}}},
        {"top.bmp pics\\sub/3*.bmp ab.bmp", {{"top.bmp", "top"}, {"pics\\sub/3.bmp", "img_3"}, {"ab.bmp", "ab"}}},
    });
    if (GetACP() != 1252)
        GTEST_SKIP() << "the names outside ASCII are written for code page 1252, not " << GetACP();
    converts({
        {"pics\\sub\\it\x92s.bmp pics/sub/\x80.bmp", {{"pics\\sub\\it\x92s.bmp", "it_s"}, {"pics/sub/\x80.bmp", "_"}}},
        {"pics\\sub\\*.bmp", {{"pics\\sub\\it\x92s.bmp", "it_s"}, {"pics\\sub\\3.bmp", "img_3"}, {"pics\\sub\\\x80.bmp", "_"}}},
    });
}

// Device names and characters that Windows does not allow in file names fail
// as a missing file does, and a pattern that matches nothing arrives as typed.
// Windows will not replace a header that another program holds open without
// sharing it, as editors hold the ones they show, and that is found before
// any work is done. (The read-only attribute would do as well, but wine run
// as root writes through it.) On 32 bits, 32768 x 32768 pixels are within
// the size limits, but their 2^32 bytes of words make 0 in a size_t; an RLE
// stream that ends at once keeps the file tiny.
TEST_F(WindowsCli, ReportsWhatWindowsRefuses)
{
    std::vector<std::pair<std::string, std::string>> cases = {{"top.bmp", "can't write file top.h"}};
    for (const std::string name : {"CON", "nul", "COM1.bmp", "pics\\aux.bmp", "CONOUT$", "a<b.bmp", "a|b.bmp", "a:b.bmp", "none*.bmp"})
        cases.push_back({name, "can't open file " + name});
    if (sizeof(void*) == 4)
        cases.push_back({"huge.bmp", "out of memory"});
    write_file(dir_.path / "huge.bmp", assemble({.width = 32768, .height = 32768, .compression = 1, .extra = bytes(8), .data = {0, 1}}));
    const HANDLE held = CreateFileA((dir_.path / "top.h").string().c_str(), GENERIC_READ, 0, nullptr, CREATE_NEW, 0, nullptr);
    for (const auto& [name, error] : cases) {
        // cmd.exe would take < and | for redirections
        const run_result r = run("ab.bmp " + (name.find_first_of("<|") == std::string::npos ? name : '"' + name + '"') + " top.bmp");
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_EQ(r.output, "Loading ab.bmp\nWriting ab.h\nWriting ab\nLoading " + name + "\nerror: " + error + "\n");
    }
    CloseHandle(held);
}

}  // namespace
