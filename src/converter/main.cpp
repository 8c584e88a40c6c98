// Where the program starts: its command line. The exit status is 0 after
// "Done", the usage line, the help or the version, 1 after any error line
// (run_program).
#include <cctype>

#include "command_line.h"
#include "console.h"
#include "converter.h"

namespace {

constexpr option_spec options[] = {
    {"--output-dir", true},     {"--background", true},    {"--split", false},   {"--asm", false},
    {"--uint32", false},        {"--name", true},          {"--memory-limit", true}, {"--source-ycbcr", false},
    {"--frames", false},        {"--matrix", true},        {"--range", true},    {"--layout", true},    {"--quiet", false},         {"--list-outputs", false}, {"--help", false},    {"--version", false}};

constexpr program_texts texts = {
    "vantrel", "Usage: %s file.bmp ...\n",
    "       %s [options] [-a] [options] file ...\n"
    "Converts pictures (BMP, PNG, JPEG, GIF, WebP, QOI, TGA) into C headers: logo.png gives\n"
    "logo.h beside it, or with -a "
    "every picture goes into data.h in the current directory.\n"
    "Options:\n"
    "  --output-dir DIR      write the headers, or data.h, in DIR\n"
    "  --background RRGGBB   composite pixels that have alpha over this colour (hexadecimal)\n"
    "  --split               declarations in logo.h, definitions in logo.c\n"
    "  --asm                 as --split, the words in binary files (logo.<hash>.le.bin, .be.bin)\n"
    "                        that logo.c pulls in as assembler data, for GCC and Clang\n"
    "  --source-ycbcr        a YCbCr JPEG's own luma and chroma, not its RGB converted back\n"
    "  --frames              every frame of an animation (GIF, WebP) and its delay, not the first\n"
    "  --layout L            bytes in memory order: yuyv, uyvy, yvyu, vyuy (4:2:2), nv12, nv21,\n"
    "                        i420, yv12 (4:2:0) or yuv444\n"
    "  --matrix bt601|bt709  the words by these coefficients, exactly and rounded (default bt601)\n"
    "  --range full|limited  the words in full range or limited (16-235, 16-240) (default full)\n"
    "  --uint32              uint32_t words, for targets whose int has 16 bits (AVR, MSP430)\n"
    "  --name FILE.h         with -a: write FILE.h instead of data.h\n"
    "  --memory-limit MIB    hold at most MIB MiB of pictures (default 1024)\n"
    "  --quiet               print error lines only\n"
    "  --list-outputs        print the files the run would write, and their identifiers; write nothing\n"
    "  --help                show this help\n"
    "  --version             show the version\n"};

// "RRGGBB" as three bytes; false for anything else.
bool parse_colour(const std::string& text, uint8_t (&rgb)[3])
{
    if (text.size() != 6)
        return false;
    for (size_t i = 0; i < 6; ++i) {
        const int c = std::tolower(static_cast<unsigned char>(text[i]));
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0)
            return false;
        rgb[i / 2] = static_cast<uint8_t>(rgb[i / 2] << 4 | digit);
    }
    return true;
}

// A whole number of MiB from 1 to 2^40 as bytes; false for anything else.
bool parse_mebibytes(const std::string& text, uint64_t& bytes)
{
    uint64_t mib = 0;
    for (const char c : text) {
        if (c < '0' || c > '9' || mib > (uint64_t{1} << 40) / 10)
            return false;
        mib = mib * 10 + uint64_t(c - '0');
    }
    if (text.empty() || mib == 0 || mib > uint64_t{1} << 40)
        return false;
    bytes = mib << 20;
    return true;
}

bool run(int argc, char** argv)
{
    const char* program = argc > 0 && argv[0] ? argv[0] : "vantrel";
    const command_line line = parse_command_line(argc, argv, options, true);
    run_settings settings;
    // Everything wrong with the command line is found before anything is read.
    if (bool ok = true; !common_options(line, texts, program, !line.combined, settings.output_dir, ok))
        return ok;
    if (const auto background = line.options.find("--background"); background != line.options.end()) {
        settings.read.composite = true;
        if (!parse_colour(background->second, settings.read.background))
            return std::printf("error: wrong value for --background: %s\n", background->second.c_str()), false;
    }
    if (const auto limit = line.options.find("--memory-limit"); limit != line.options.end())
        if (!parse_mebibytes(limit->second, settings.read.memory_limit))
            return std::printf("error: wrong value for --memory-limit: %s\n", limit->second.c_str()), false;
    if (line.options.contains("--asm") && line.options.contains("--split"))
        return std::printf("error: --split and --asm exclude each other\n"), false;
    settings.form = line.options.contains("--asm")     ? data_form::assembler
                    : line.options.contains("--split") ? data_form::split
                                                       : data_form::header;
    settings.list = line.options.contains("--list-outputs");
    settings.uint32_words = line.options.contains("--uint32");
    settings.read.source_ycbcr = line.options.contains("--source-ycbcr");
    settings.read.all_frames = line.options.contains("--frames");
    const auto matrix = line.options.find("--matrix"), range = line.options.find("--range");
    if (const auto layout = line.options.find("--layout"); layout != line.options.end()) {
        if (!parse_layout(layout->second, settings.layout.emplace()))
            return std::printf("error: wrong value for --layout: %s\n", layout->second.c_str()), false;
        if (settings.read.source_ycbcr)
            return std::printf("error: --source-ycbcr and --layout exclude each other\n"), false;
        settings.read.rgb = true;
    }
    if (matrix != line.options.end() || range != line.options.end()) {
        ycbcr_model& model = settings.model.emplace();
        if (matrix != line.options.end() && !parse_matrix(matrix->second, model))
            return std::printf("error: wrong value for --matrix: %s\n", matrix->second.c_str()), false;
        if (range != line.options.end() && !parse_range(range->second, model))
            return std::printf("error: wrong value for --range: %s\n", range->second.c_str()), false;
        if (settings.read.source_ycbcr)
            return std::printf("error: --source-ycbcr and --%s exclude each other\n",
                               matrix != line.options.end() ? "matrix" : "range"), false;
        settings.read.rgb = true;
    }
    // The model's words, or a layout's rows, are made by the thread that
    // converts the colours.
    settings.read.model = settings.model, settings.read.layout = settings.layout;
    if (const auto name = line.options.find("--name"); name != line.options.end()) {
        if (!line.combined)
            return std::printf("error: --name needs -a\n"), false;
        // The name of a header in the output directory, from which its
        // source's name follows.
        const std::string& file = name->second;
        if (file.size() < 3 || !file.ends_with(".h") || file.find_first_of("/\\") != std::string::npos)
            return std::printf("error: wrong value for --name: %s\n", file.c_str()), false;
        settings.combined_name = file;
    }
    if (!(line.combined ? run_combined(line.files, settings) : run_single(line.files, settings)))
        return false;
    if (!settings.list)
        progress("Done\n");
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    return run_program(argc, argv, run);
}
