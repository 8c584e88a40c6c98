#include "command_line.h"

#include <cstdio>

#include <sys/stat.h>

#include "console.h"
#include "decoder_versions.h"
#include "paths.h"

namespace {

// Reads the option argv[i] ("--name" or "--name=value"), and its value
// from the next argument where it takes one; false, with the error line set,
// for one that is unknown or lacks its value.
bool read_option(int argc, char** argv, int& i, std::span<const option_spec> known, command_line& line)
{
    const std::string_view arg = argv[i];
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
    return true;
}

}  // namespace

command_line parse_command_line(int argc, char** argv, std::span<const option_spec> known, bool with_modes)
{
    command_line line;
    bool ended = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!ended && arg == "--")
            ended = true;
        else if (!ended && arg.starts_with("--")) {
            if (!read_option(argc, argv, i, known, line))
                return line;
        } else if (with_modes && !ended && !line.combined && line.files.empty() && arg.starts_with("-a"))
            line.combined = true;
        else
            line.files.push_back(argv[i]);
    }
    return line;
}

std::string in_directory(const std::string& directory, std::string_view path)
{
    const std::string_view name = path.substr(name_start(path));
    if (directory.empty())
        return std::string(name);
    const bool separated = directory_separators.find(directory.back()) != std::string_view::npos;
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
        std::printf("%s %s (%s)\n", texts.name, VANTREL_VERSION, decoder_versions().c_str());
    else if (const auto dir = line.options.find("--output-dir"); dir != line.options.end() && dir->second.empty())
        ok = false, std::printf("error: missing value for --output-dir\n");
    else if (dir != line.options.end() && !is_directory(dir->second))
        ok = false, std::printf("error: no directory %s\n", dir->second.c_str());
    else if (files_needed && line.files.empty())
        std::printf(texts.usage, program);
    else {
        output_dir = dir == line.options.end() ? "" : dir->second;
        show_progress(!line.options.contains("--quiet"));
        return true;
    }
    return false;
}
