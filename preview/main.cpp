// vantrel-preview: turns the headers the converter wrote back into PNG
// pictures, one per image, named after its identifier, in the current
// directory; an animation's frames each into one of their own, named after
// the identifier and the frame's index ("anim-0.png", "anim-1.png", ...).
#include <algorithm>
#include <cstdio>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "colour.h"
#include "command_line.h"
#include "console.h"
#include "file_identity.h"
#include "header_parser.h"
#include "output_file.h"
#include "png_writer.h"

namespace {

bool fail(const std::string& message)
{
    std::printf("error: %s\n", message.c_str());
    return false;
}

// Reads the rows of the image, or of its next frame, and writes them to out
// as a PNG. After the last, the array's end is read too, so that a header
// cut short or broken anywhere in its picture leaves no PNG.
bool write_png(FILE* out, header_parser& parser, const image_declaration& image, bool last)
{
    std::vector<uint32_t> words(image.width);
    std::vector<uint8_t> rgb(size_t{3} * image.width);
    png_writer png;
    if (!png.start(out, image.width, image.height))
        return false;
    // A layout's bytes are read whole (its chroma planes follow its luma),
    // then each pixel takes its chroma from the pair or block that shares it.
    if (const std::optional<byte_layout>& layout = parser.layout()) {
        std::vector<uint8_t> bytes;
        if (!parser.read_bytes(bytes))
            return false;
        const layout_geometry g = geometry_of(*layout, image.width, image.height);
        for (uint32_t row = 0; row < image.height; ++row) {
            for (uint32_t x = 0; x < image.width; ++x) {
                const ycbcr_sample s = sample_at(*layout, g, bytes.data(), x, row);
                parser.model()->to_rgb(s.y, s.cb, s.cr, &rgb[3 * size_t{x}]);
            }
            if (!png.write_row(rgb.data()))
                return false;
        }
        return (!last || parser.end_image()) && png.finish();
    }
    for (uint32_t row = 0; row < image.height; ++row) {
        if (!parser.read_row(words.data()))
            return false;
        if (const std::optional<ycbcr_model>& model = parser.model())
            for (size_t x = 0; x < words.size(); ++x)
                model->to_rgb(uint8_t(words[x] >> 24), uint8_t(words[x] >> 16), uint8_t(words[x]), &rgb[3 * x]);
        else
            words_to_rgb(words.data(), words.size(), rgb.data());
        if (!png.write_row(rgb.data()))
            return false;
    }
    return (!last || parser.end_image()) && png.finish();
}

// What a run has read and written: the headers given, and the pictures
// so far. A picture may replace neither a header, which it would destroy,
// perhaps before it is read, nor another picture of the run (identifiers
// that differ only in case name one file on Windows).
struct run_files {
    std::vector<file_key> headers, pictures;
    std::set<std::string> ids;
};

bool among(const std::vector<file_key>& files, const file_key& key)
{
    return std::any_of(files.begin(), files.end(), [&](const file_key& f) { return same_file(f, key); });
}

// Every image in the header, each written before the next is read. The
// first failure stops it; the PNGs already written stay.
bool preview(const std::string& file, const std::string& output_dir, run_files& written)
{
    progress("Loading %s\n", file.c_str());
    text_source text;
    if (!text.open(file))
        return fail("can't open file " + file);
    header_parser parser(text, file);
    if (!parser.read_banner())
        return fail(parser.error());
    image_declaration image;
    while (parser.next_image(image)) {
        if (!written.ids.insert(image.id).second)
            return fail("duplicate image name " + image.id);
        const size_t frames = std::max<size_t>(image.delays.size(), 1);
        for (size_t frame = 0; frame < frames; ++frame) {
            const std::string name = image.delays.empty() ? image.id : image.id + "-" + std::to_string(frame);
            const std::string png = in_directory(output_dir, name + ".png");
            const file_key key = key_of(png);
            if (among(written.pictures, key))
                return fail("duplicate image name " + name);
            progress("Writing %s\n", png.c_str());
            output_file out;
            const bool done = !among(written.headers, key) && out.open(png, output_file::binary) &&
                              write_png(out.stream(), parser, image, frame + 1 == frames) && out.commit();
            written.pictures.push_back(key_of(png));
            if (!parser.error().empty())
                return fail(parser.error());
            if (!done)
                return fail("can't write file " + png);
        }
    }
    return parser.error().empty() || fail(parser.error());
}

constexpr option_spec options[] = {{"--output-dir", true}, {"--quiet", false}, {"--help", false}, {"--version", false}};

constexpr program_texts texts = {
    "vantrel-preview", "Usage: %s header.h ...\n",
    "Turns headers that vantrel wrote back into PNG pictures, one per image, named after its\n"
    "identifier, in the current directory (one per frame of an animation: anim-0.png, ...).\n"
    "Options:\n"
    "  --output-dir DIR   write the pictures in DIR\n"
    "  --quiet            print error lines only\n"
    "  --help             show this help\n"
    "  --version          show the version\n"};

bool run(int argc, char** argv)
{
    const char* program = argc > 0 && argv[0] ? argv[0] : "vantrel-preview";
    const command_line line = parse_command_line(argc, argv, options, false);
    std::string output_dir;
    if (bool ok = true; !common_options(line, texts, program, true, output_dir, ok))
        return ok;
    run_files written;
    for (const char* file : line.files)
        written.headers.push_back(key_of(file));
    for (const char* file : line.files)
        if (!preview(file, output_dir, written))
            return false;
    progress("Done\n");
    return true;
}

}  // namespace

// The exit status is 0 after "Done", the usage line, the help or the
// version, 1 after any error line (run_program).
int main(int argc, char** argv)
{
    return run_program(argc, argv, run);
}
