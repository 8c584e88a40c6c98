// The programs as a user sees them: a command line, all it prints, and the
// files it leaves, checked by one fixture for every table of them.
#ifndef VANTREL_TRANSCRIPT_H
#define VANTREL_TRANSCRIPT_H

#include <gtest/gtest.h>

#include <regex>

#include "test_util.h"

#ifdef _WIN32
#include <windows.h>
#endif

inline const bmp_spec ab{.width = 2, .height = 2, .pixels = {white, black, red, blue}};  // top row first
inline const bmp_spec odd{.width = 5, .height = 3};
inline const bmp_spec top{.width = 3, .height = -2};
// Over a million pixels: converted on one thread while the rows already done
// are formatted on another and written on a third.
inline const bmp_spec big{.width = 1100, .height = 1024};

inline const std::string ab_header = banner_text + expected_declarations("ab", 2, 2, {0xfe80fe80, 0x00800080, 0x4c544cff, 0x1dff1d6b});
inline const std::string odd_text = expected_declarations("odd", 5, 3, words_of(odd));

// A command line, all it prints, and what files hold afterwards ("" for
// none). It has to end with status 1 when it prints an error, else 0.
struct transcript {
    std::string command, output;
    std::vector<std::pair<std::string, std::string>> files{};
};

class Cli : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const auto& [name, spec] : {std::pair{"ab.bmp", ab}, {"odd.bmp", odd}, {"top.bmp", top}, {"big.bmp", big}})
            write_file(dir_ / name, make_bmp(spec));
        for (const char* copy : {"7", "a-b.bmp", "a_b.bmp", "ab_x.bmp", "wall.bmp"})
            fs::copy_file(dir_ / "ab.bmp", dir_ / copy);
        fs::create_directory(dir_ / "dir.bmp");
        fs::create_directory(dir_ / "wall.h");
        // 32768 x 32768 pixels from an RLE stream that ends at once: 4 GiB of words.
        write_file(dir_ / "vast.bmp", assemble({.width = 32768, .height = 32768, .compression = 1, .extra = bytes(8), .data = {0, 1}}));
    }

    void check(const std::vector<transcript>& runs)
    {
        for (const transcript& t : runs) {
            SCOPED_TRACE(t.command);
#ifdef VANTREL_SANITIZED
            // Sanitizer runtimes cannot start under an address-space limit
            // or with no file to write at all, and their leak check stops
            // the threads that strace has stopped already.
            if (std::regex_search(t.command, std::regex("ulimit -v|ulimit -f 0|strace")))
                continue;
#endif
            std::error_code held;  // as top.h may be on Windows
            for (const char* header : {"ab.h", "odd.h", "top.h", "big.h", "data.h", "ab.png"})
                fs::remove(dir_ / header, held);
            run_result r = run_in(dir_.path, t.command);
            // strace's own complaints about signals in a delay
            r.output = std::regex_replace(r.output, std::regex("strace: [^\n]*\n"), "");
            EXPECT_EQ(r.output, t.output);
            EXPECT_EQ(r.status, t.output.find("error: ") == std::string::npos ? 0 : 1);
            for (const auto& [name, text] : t.files)
                EXPECT_TRUE((fs::exists(path_of(name)) ? lf_text(read_file(path_of(name))) : "") == text) << name;
            for (const auto& entry : fs::directory_iterator(dir_.path))
                EXPECT_NE(entry.path().extension(), ".tmp");
        }
    }

    // A file by its name as the program gets it: in the ANSI code page on
    // Windows, which the ANSI functions read.
    fs::path path_of(const std::string& name) const
    {
#ifdef _WIN32
        std::wstring wide(name.size(), L'\0');
        wide.resize(size_t(MultiByteToWideChar(CP_ACP, 0, name.data(), int(name.size()), wide.data(), int(wide.size()))));
        return dir_.path / wide;
#else
        return dir_ / name;
#endif
    }

    scratch_dir dir_;
};

#endif
