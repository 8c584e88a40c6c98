// Generated headers as compilers take them.
#include <set>

#include "transcript.h"

namespace {

// Generated headers are only useful if compilers take them, beside every
// standard header and whatever the compiler predefines: a program built from
// them as C and as C++, in the compilers' default modes and strict ones,
// warnings as errors, prints what it sees.
TEST_F(Cli, GeneratedHeadersCompileAsCAndCxx)
{
#ifdef _WIN32
    GTEST_SKIP() << "the compilers are the build machine's";
#else
    std::vector<std::string> compilers = {VANTREL_CC " -x c", VANTREL_CXX " -x c++"};
    if (run_in(dir_.path, "command -v clang && command -v clang++").status == 0)
        compilers.insert(compilers.end(), {"clang -x c", "clang++ -x c++"});
    // Bitmaps named as what the standard headers declare, what the compilers
    // predefine in any mode (linux, __GNUC__, ...), or as no identifier at
    // all, each shown by the identifier it gets; and beside data.h, a single
    // header with uint32_t words, whose <stdint.h> they all must survive.
    std::vector<std::tuple<std::string, std::string, bmp_spec>> images = {
        {"ab", "ab", ab}, {"my-icon", "my_icon", odd}, {"1", "img_1", ab}, {"int", "img_int", top}};
    std::set<std::string> names = {"main", "NULL", "EOF", "time", "exit", "int8_t", "size_t", "errno", "I", "LC_ALL",
                                   "va_list", "FLT_EPSILON", "PRId64", "SIGINT", "EINVAL", "memory_order_relaxed", "std"};
    for (const std::string& compiler : compilers) {
        std::istringstream macros(run_in(dir_.path, compiler + " -dM -E /dev/null").output);
        for (std::string line; std::getline(macros, line);)
            if (std::smatch m; std::regex_match(line, m, std::regex("#define (\\w+) .*")))
                names.insert(m[1]);
    }
    for (const std::string& name : names)
        images.push_back({name, "img_" + name, ab});
    images.push_back({"pics/logo", "logo", odd});
    fs::create_directory(dir_ / "pics");
    std::string args = "vantrel -a", calls, want;
    for (const auto& [file, id, spec] : images) {
        write_file(dir_ / (file + ".bmp"), make_bmp(spec));
        args += " " + file + ".bmp";
        calls += " SHOW(" + id + ");";
        char line[160];
        std::snprintf(line, sizeof line, "%s %d %d %d %08x\n", id.c_str(), spec.width, std::abs(spec.height),
                      spec.width * std::abs(spec.height), words_of(spec)[0]);
        want += line;
    }
    std::string includes;
    for (const char* h : {"assert", "complex", "ctype", "errno", "fenv", "float", "inttypes", "iso646", "limits", "locale",
                          "math", "setjmp", "signal", "stdalign", "stdarg", "stdatomic", "stdbool", "stddef", "stdint",
                          "stdio", "stdlib", "stdnoreturn", "string", "tgmath", "threads", "time", "uchar", "wchar", "wctype"})
        includes += std::string("#include <") + h + ".h>\n";
    ASSERT_EQ(run_in(dir_.path, std::regex_replace(args, std::regex(" pics/logo.bmp"), "") + " && vantrel --uint32 pics/logo.bmp").status, 0);
    const std::string program = "#include \"data.h\"\n#include \"pics/logo.h\"\n"
        "#define SHOW(n) printf(\"%s %u %u %u %08x\\n\", #n, n##_x, n##_y, (unsigned)(sizeof n / sizeof n[0]), n[0])\n"
        "int main(void) {" + calls + " return 0; }\n";
    write_file(dir_ / "show.c", includes + program);
    // C++ programs include the library's own headers, which declare std.
    write_file(dir_ / "show.cpp", "#include <cstdio>\n#include <string>\n#include <vector>\n#include <algorithm>\n" + program);
    for (const std::string& compiler : compilers)
        for (const std::string mode : {"", compiler.ends_with("c++") ? " -std=c++17 -pedantic" : " -std=c11 -pedantic"}) {
            const std::string source = compiler.ends_with("c++") ? " show.cpp" : " show.c";
            const run_result built = run_in(dir_.path, compiler + mode + " -Wall -Wextra -Werror" + source + " -o show");
            ASSERT_EQ(built.status, 0) << compiler << mode << "\n" << built.output.substr(0, 2000);
            EXPECT_EQ(run_in(dir_.path, "./show").output, want) << compiler << mode;
        }
#endif
}

}  // namespace
