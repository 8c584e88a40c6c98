#include "command_line.h"

#include <cstdio>

#include <sys/stat.h>

namespace {

#ifdef _WIN32
constexpr std::string_view separators = "\\/";
#else
constexpr std::string_view separators = "/";
#endif

// Reads the options from argv[i] on; false, with the error line set, on one
// that is unknown or lacks its value.
bool read_options(int argc, char** argv, int& i, std::span<const option_spec> known, command_line& line, bool& ended)
{
    for (; i < argc && std::string_view(argv[i]).starts_with("--"); ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") {
            ++i;
            ended = true;
            return true;
        }
        const size_t equals = arg.find('=');
        const std::string_view name = arg.substr(0, equals);
        const option_spec* spec = nullptr;
        for (const option_spec& s : known)
            if (s.name == name)
                spec = &s;
        if (!spec || (!spec->takes_value && equals != std::string_view::npos)) {
            line.error = "error: unknown option " + std::string(arg) + "\n";
            return false;
        }
        std::string value;
        if (spec->takes_value) {
            if (equals != std::string_view::npos)
                value = arg.substr(equals + 1);
            else if (i + 1 < argc)
                value = argv[++i];
            else {
                line.error = "error: missing value for " + std::string(name) + "\n";
                return false;
            }
        }
        line.options[std::string(name)] = value;
    }
    return true;
}

}  // namespace

command_line parse_command_line(int argc, char** argv, std::span<const option_spec> known, bool with_modes)
{
    command_line line;
    int i = 1;
    bool ended = false;
    if (!read_options(argc, argv, i, known, line, ended))
        return line;
    if (with_modes && !ended && i < argc && std::string_view(argv[i]).starts_with("-a")) {
        line.combined = true;
        ++i;
        if (!read_options(argc, argv, i, known, line, ended))
            return line;
    }
    line.files.assign(argv + i, argv + argc);
    return line;
}

std::string in_directory(const std::string& directory, std::string_view path)
{
    const size_t cut = path.find_last_of(separators);
    const std::string_view name = cut == std::string_view::npos ? path : path.substr(cut + 1);
    if (directory.empty())
        return std::string(name);
    const bool separated = separators.find(directory.back()) != std::string_view::npos;
    return directory + (separated ? "" : "/") + std::string(name);
}

bool is_directory(const std::string& path)
{
#ifdef _WIN32
    struct _stat64 st;
    return _stat64(path.c_str(), &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFDIR;
#else
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
#endif
}

bool common_options(const command_line& line, const program_texts& texts, const char* program, bool files_needed,
                    std::string& output_dir, bool& ok)
{
    ok = line.error.empty();
    if (!ok)
        std::fputs(line.error.c_str(), stdout);
    else if (line.options.contains("--help"))
        std::printf(texts.usage, program), std::printf(texts.help, program);
    else if (line.options.contains("--version"))
        std::printf("%s %s\n", texts.name, VANTREL_VERSION);
    else if (const auto dir = line.options.find("--output-dir"); dir != line.options.end() && !is_directory(dir->second))
        ok = false, std::printf("error: can't write file %s\n", dir->second.c_str());
    else if (files_needed && line.files.empty())
        std::printf(texts.usage, program);
    else {
        output_dir = dir == line.options.end() ? "" : dir->second;
        return true;
    }
    return false;
}
