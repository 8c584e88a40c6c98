// What the program does differently on Windows, run the way the console and
// build tools start it: wildcards that the runtime expands, either directory
// separator, names outside ASCII, and names that Windows refuses. CR LF line
// endings are checked wherever a test reads a header (lf_text).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "main.h"
#include "test_util.h"

namespace {

const bmp_spec ab{.width = 2, .height = 2, .pixels = {white, black, red, blue}};
const bmp_spec odd{.width = 5, .height = 3};
const bmp_spec top{.width = 3, .height = -2};

class WindowsCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(dir_ / "icons");
        for (const std::string name : {"ab.bmp", "odd.bmp", "top.bmp", "icons/one.bmp", "icons/two.bmp"})
            write_file(dir_ / name, make_bmp(spec_of(name)));
        write_file(dir_ / "notes.txt", std::string("not a bitmap\n"));
    }

    run_result run(const std::string& args) { return run_in(dir_.path, quoted(program) + " " + args); }
    std::string file(const std::string& name) const { return lf_text(read_file(dir_ / name)); }

    // Everything in the directory, subdirectories included.
    std::set<std::string> listing() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(dir_.path))
            names.insert(entry.path().lexically_relative(dir_.path).generic_string());
        return names;
    }

    // Every bitmap here is a copy of one of three, known by its file name.
    static const bmp_spec& spec_of(const std::string& path)
    {
        static const std::map<std::string, bmp_spec> specs = {
            {"ab", ab}, {"odd", odd}, {"top", top}, {"one", ab}, {"two", top}, {"logo", odd}, {"1", ab},
        };
        std::string name = path.substr(path.find_last_of("\\/") + 1);
        return specs.at(name.substr(0, name.size() - 4));
    }

    // The declarations of the bitmap a command-line argument names.
    static std::string declarations(const std::string& argument)
    {
        const std::string name = argument.substr(argument.find_last_of("\\/") + 1);
        const std::string stem = name.substr(0, name.size() - 4);
        const bmp_spec& spec = spec_of(argument);
        return expected_declarations(stem == "1" ? "img_1" : stem, spec.width, std::abs(spec.height), words_of(spec));
    }

    scratch_dir dir_;
};

// The arguments of "Loading" lines, in order.
std::vector<std::string> loaded(const std::string& transcript)
{
    std::vector<std::string> files;
    std::istringstream lines(transcript);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("Loading ", 0) == 0)
            files.push_back(line.substr(8));
    return files;
}

// Each pattern is replaced, where it stands, by the names it matches, in the
// order the runtime finds them; the program then treats them as if typed.
TEST_F(WindowsCli, ConvertsWhatWildcardsMatch)
{
    using group = std::set<std::string>;  // what one argument becomes
    const std::pair<std::string, std::vector<group>> cases[] = {
        {"*.bmp", {{"ab.bmp", "odd.bmp", "top.bmp"}}},
        {"?b.bmp", {{"ab.bmp"}}},
        {"icons\\*.bmp", {{"icons\\one.bmp", "icons\\two.bmp"}}},
        {"top.bmp icons/t*.bmp ab.bmp", {{"top.bmp"}, {"icons/two.bmp"}, {"ab.bmp"}}},
    };
    for (const auto& [args, groups] : cases) {
        SCOPED_TRACE(args);
        for (const std::string mode : {"", "-a "}) {
            const run_result r = run(mode + args);
            ASSERT_EQ(r.status, 0) << r.output;
            const std::vector<std::string> files = loaded(r.output);
            auto next = files.begin();
            for (const group& g : groups) {
                ASSERT_LE(g.size(), size_t(files.end() - next)) << r.output;
                EXPECT_EQ(group(next, next + std::ptrdiff_t(g.size())), g);
                next += std::ptrdiff_t(g.size());
            }
            EXPECT_EQ(next, files.end()) << r.output;

            std::string transcript = mode.empty() ? "" : "Making data.h\n", data = banner_text;
            for (const std::string& f : files) {
                const std::string name = f.substr(0, f.size() - 4);
                transcript += "Loading " + f + "\n" + (mode.empty() ? "Writing " + name + ".h\n" : "") + "Writing " + name + "\n";
                if (mode.empty()) {
                    EXPECT_EQ(file(name + ".h"), banner_text + declarations(f)) << f;
                }
                data += declarations(f);
            }
            EXPECT_EQ(r.output, transcript + "Done\n");
            if (!mode.empty()) {
                EXPECT_EQ(file("data.h"), data);
            }
        }
    }
}

// Either separator may come before the file name: the header goes beside the
// bitmap and the identifier leaves the directory out.
TEST_F(WindowsCli, CutsDirectoriesAtEitherSeparator)
{
    fs::create_directories(dir_ / "pics/sub");
    fs::copy_file(dir_ / "odd.bmp", dir_ / "pics/logo.bmp");
    fs::copy_file(dir_ / "ab.bmp", dir_ / "pics/sub/1.bmp");
    const std::string absolute = dir_.path.string() + "\\pics\\sub/1.bmp";
    const std::string cases[][2] = {
        {"pics\\logo.bmp", "pics/logo.h"},
        {"pics/sub\\1.bmp", "pics/sub/1.h"},
        {".\\pics\\..\\ab.bmp", "ab.h"},
        {absolute, "pics/sub/1.h"},
    };
    for (const auto& [argument, header] : cases) {
        fs::remove(dir_ / header);
        const std::string name = argument.substr(0, argument.size() - 4);
        const run_result r = run(quoted(argument));
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.output, "Loading " + argument + "\nWriting " + name + ".h\nWriting " + name + "\nDone\n");
        EXPECT_EQ(file(header), banner_text + declarations(argument)) << argument;
    }
}

// A name outside ASCII reaches the program in the ANSI code page, typed or
// made by the runtime from a wildcard, and has to name the same files again
// when the bitmap is opened and the header is written and renamed into
// place. The files are made with the wide API, as Explorer makes them.
TEST_F(WindowsCli, ConvertsNamesInTheAnsiCodePage)
{
    const fs::path here = dir_ / "ansi";
    fs::create_directory(here);
    std::map<std::string, std::wstring> stems;  // by ANSI name
    std::set<std::string> names;
    for (const std::wstring stem : {L"it\u2019s", L"\u20ac"}) {
        BOOL lossy = FALSE;
        std::string ansi(16, '\0');
        ansi.resize(size_t(WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, stem.c_str(), int(stem.size()), ansi.data(),
                                               16, nullptr, GetACP() == CP_UTF8 ? nullptr : &lossy)));
        if (ansi.empty() || lossy) {
            std::printf("ANSI code page %u has no U+%04X: not tried\n", GetACP(), unsigned(stem.back()));
            continue;
        }
        write_file(here / (stem + L".bmp"), make_bmp(ab));
        stems[ansi] = stem;
        names.insert(ansi);
    }
    if (stems.empty())
        GTEST_SKIP() << "the ANSI code page has none of the characters";

    std::string typed;
    for (const std::string& name : names)
        typed += quoted(name + ".bmp") + ' ';
    for (const std::string& args : {typed, std::string("*.bmp")}) {
        for (const std::string mode : {"", " -a"}) {
            SCOPED_TRACE(mode + " " + args);
            const run_result r = run_in(here, quoted(program) + mode + " " + args);
            EXPECT_EQ(r.status, 0);
            // A wildcard's matches come in the order the system lists them.
            std::string transcript = mode.empty() ? "" : "Making data.h\n", data = banner_text;
            std::set<std::string> seen;
            for (const std::string& f : loaded(r.output)) {
                const std::string stem = f.substr(0, f.size() - 4);
                const std::string text = expected_declarations(c_identifier(stem), 2, 2, words_of(ab));
                transcript += "Loading " + f + "\n" + (mode.empty() ? "Writing " + stem + ".h\n" : "") + "Writing " + stem + "\n";
                data += text;
                if (mode.empty() && stems.contains(stem)) {
                    EXPECT_EQ(lf_text(read_file(here / (stems.at(stem) + L".h"))), banner_text + text);
                }
                seen.insert(stem);
            }
            EXPECT_EQ(r.output, transcript + "Done\n");
            EXPECT_EQ(seen, names);
            if (!mode.empty()) {
                EXPECT_EQ(lf_text(read_file(here / "data.h")), data);
            }
        }
    }
}

// Device names and characters that Windows does not allow in file names fail
// like any other file that cannot be opened, and nothing is written for them.
// A pattern that matches nothing reaches the program as typed.
TEST_F(WindowsCli, RefusesNamesWindowsRejects)
{
    const std::set<std::string> before = listing();
    for (const std::string name : {"CON", "nul", "NUL.bmp", "com1.bmp", "LPT1", "CONOUT$", "icons\\aux.bmp", "a<b.bmp",
                                   "a>b.bmp", "a|b.bmp", "a:b.bmp", "a?b.bmp", "none*.bmp"}) {
        for (const std::string mode : {"", "-a "}) {
            fs::remove(dir_ / "ab.h");
            fs::remove(dir_ / "data.h");
            const run_result r = run(mode + "ab.bmp " + name + " odd.bmp");
            EXPECT_EQ(r.status, 1) << name;
            const std::string first = mode.empty() ? "Loading ab.bmp\nWriting ab.h\nWriting ab\n" : "Making data.h\nLoading ab.bmp\nWriting ab\n";
            EXPECT_EQ(r.output, first + "Loading " + name + "\nerror: can't open file " + name + "\n");
            std::set<std::string> after = before;
            after.insert(mode.empty() ? "ab.h" : "data.h");
            EXPECT_EQ(listing(), after) << name;
        }
    }
}

// Windows will not replace a file that another program holds open without
// sharing it, as editors and IDEs do with the headers they show. (The
// read-only attribute would do as well on Windows, but wine run as root
// writes through it.)
TEST_F(WindowsCli, ReportsHeadersHeldByAnotherProgram)
{
    const auto hold = [&](const std::string& name) {
        return CreateFileW((dir_ / name).c_str(), GENERIC_READ, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    const HANDLE held[] = {hold("odd.h"), hold("data.h")};
    for (const HANDLE h : held)
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const std::pair<std::string, std::string> cases[] = {
        {"ab.bmp odd.bmp", "Loading ab.bmp\nWriting ab.h\nWriting ab\nLoading odd.bmp\nerror: can't write file odd.h\n"},
        {"-a ab.bmp", "Making data.h\nerror: can't write file data.h\n"},
    };
    for (const auto& [args, transcript] : cases) {
        const run_result r = run(args);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_EQ(r.output, transcript);
    }
    for (const HANDLE h : held)
        CloseHandle(h);
    EXPECT_EQ(read_file(dir_ / "odd.h"), "");
    EXPECT_EQ(read_file(dir_ / "data.h"), "");
}

// 32768 x 32768 pixels are within the size limits, but their 2^32 bytes of
// words make 0 in a 32-bit size_t. An RLE stream that ends at once keeps the
// file tiny.
TEST_F(WindowsCli, ReportsPicturesBeyondTheAddressSpace)
{
    if (sizeof(void*) > 4)
        GTEST_SKIP() << "a 64-bit program may well hold the picture, and write 12 GB of header";
    write_file(dir_ / "huge.bmp", assemble({.width = 32768, .height = 32768, .compression = 1, .extra = bytes(8), .data = {0, 1}}));
    const run_result r = run("huge.bmp");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Loading huge.bmp\nerror: out of memory\n");
}

}  // namespace
