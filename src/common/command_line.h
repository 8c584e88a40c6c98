// The command lines of both programs: options and files.
//
// Arguments that begin with "--" are options wherever they stand, until a
// "--", after which every argument is a file. An option takes its value
// from the next argument or after "=" ("--output-dir gen",
// "--output-dir=gen"). The converter's mode switch is any argument
// beginning with "-a" that comes before every file ("vantrel -a
// --output-dir gen *.bmp", "vantrel --output-dir gen -a *.bmp"). Every
// other argument, "-b" for instance, is a file. The whole line is read
// before anything is done, so a bad option stops a run before any work.
#ifndef VANTREL_COMMAND_LINE_H
#define VANTREL_COMMAND_LINE_H

#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct option_spec {
    std::string_view name;  // with its "--"
    bool takes_value;
};

struct command_line {
    std::map<std::string, std::string, std::less<>> options;  // the last value given wins; "" for a flag
    bool combined = false;                                     // "-a..." where a mode switch may stand
    std::vector<char*> files;
    std::string error;  // the error line for an unknown option or a missing value, or empty
};

command_line parse_command_line(int argc, char** argv, std::span<const option_spec> known, bool with_modes);

// What a program says of itself: its name as --version prints it, its
// usage line and the rest of its help, formats for printf that take the
// name it was started by.
struct program_texts {
    const char* name;
    const char* usage;
    const char* help;
};

// What both programs do first with their command line: print the error
// line of a bad one, the usage line when no file is given, the help or the
// version, and check that an --output-dir (put into output_dir) is a
// directory. True when the run goes on; otherwise ok says how it ended.
bool common_options(const command_line& line, const program_texts& texts, const char* program, bool files_needed,
                    std::string& output_dir, bool& ok);

// The file name path gets in directory: its name after its last directory
// separator, in directory ("gen" and "pics/logo.h" give "gen/logo.h").
std::string in_directory(const std::string& directory, std::string_view path);

// Whether path names a directory.
bool is_directory(const std::string& path);

#endif
