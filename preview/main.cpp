// vantrel-preview: turns the headers the converter wrote back into PNG
// pictures, one per image, named after its identifier, in the current
// directory; an animation's frames each into one of their own, named after
// the identifier and the frame's index ("anim-0.png", "anim-1.png", ...).
#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <cstdio>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "assembler_source.h"
#include "colour.h"
#include "command_line.h"
#include "console.h"
#include "file_identity.h"
#include "header_parser.h"
#include "output_file.h"
#include "paths.h"
#include "png_writer.h"

namespace {

bool fail(const std::string& message)
{
    std::printf("error: %s\n", message.c_str());
    return false;
}

// A picture's rows, each made by row(y, rgb), written to out as a PNG.
bool write_rows(FILE* out, uint32_t width, uint32_t height, const std::function<void(uint32_t, uint8_t*)>& row)
{
    std::vector<uint8_t> rgb(size_t{3} * width);
    png_writer png;
    if (!png.start(out, width, height))
        return false;
    for (uint32_t y = 0; y < height; ++y) {
        row(y, rgb.data());
        if (!png.write_row(rgb.data()))
            return false;
    }
    return png.finish();
}

// One sample back to red, green and blue, by the model the file names or
// the historical words' inverse.
void to_rgb(const std::optional<ycbcr_model>& model, const ycbcr_sample& s, uint8_t* rgb)
{
    if (model) {
        model->to_rgb(s.y, s.cb, s.cr, rgb);
    } else {
        const uint32_t word = uint32_t{s.y} << 24 | uint32_t{s.cb} << 16 | uint32_t{s.y} << 8 | s.cr;
        words_to_rgb(&word, 1, rgb);
    }
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

// One picture of the run, name.png, its contents written by write; error
// says what went wrong in reading them, if anything did.
bool write_picture(const std::string& name, const std::string& output_dir, run_files& written,
                   const std::function<bool(FILE*)>& write, const std::function<std::string()>& error)
{
    const std::string png = in_directory(output_dir, name + ".png");
    const file_key key = key_of(png);
    if (among(written.pictures, key))
        return fail("duplicate image name " + name);
    progress("Writing %s\n", png.c_str());
    output_file out;
    const bool done = !among(written.headers, key) && out.open(png, output_file::binary) && write(out.stream()) && out.commit();
    written.pictures.push_back(key_of(png));
    if (const std::string why = error(); !why.empty())
        return fail(why);
    return done || fail("can't write file " + png);
}

// An assembler form's source: each image's words, or bytes, read from the
// word file, then written as the header's would be.
bool preview_assembler(const std::string& file, const std::string& output_dir, run_files& written)
{
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    assembler_source source;
    std::string error;
    if (!in.good() && !in.eof())
        return fail("can't read file " + file);
    if (!parse_assembler_source(text, file, source, error))
        return fail(error);
    std::ifstream words(source.words_file, std::ios::binary);
    if (!words)
        words.open(in_directory(file.substr(0, name_start(file)), source.words_file.substr(name_start(source.words_file))),
                   std::ios::binary);
    if (!words)
        return fail("can't open file " + source.words_file);
    for (const assembled_image& image : source.images) {
        if (!written.ids.insert(image.id).second)
            return fail("duplicate image name " + image.id);
        const size_t frames = std::max<size_t>(image.delays.size(), 1);
        const uint64_t frame_bytes = source.layout ? geometry_of(*source.layout, image.width, image.height).bytes
                                                   : uint64_t{image.width} * image.height * 4;
        std::vector<uint8_t> data;
        if (frame_bytes * frames != image.bytes)
            return fail(file + ": image " + image.id + " of " + std::to_string(image.bytes) + " bytes is not " +
                        std::to_string(image.width) + " x " + std::to_string(image.height));
        data.resize(size_t(image.bytes));
        if (!words.seekg(std::streamoff(image.offset)) || !words.read(reinterpret_cast<char*>(data.data()), std::streamsize(data.size())))
            return fail("truncated file " + source.words_file);
        for (size_t frame = 0; frame < frames; ++frame) {
            const uint8_t* bytes = data.data() + frame * frame_bytes;
            const auto rows = [&](FILE* out) {
                return write_rows(out, image.width, image.height, [&](uint32_t y, uint8_t* rgb) {
                    for (uint32_t x = 0; x < image.width; ++x) {
                        ycbcr_sample s{};
                        if (source.layout) {
                            s = sample_at(*source.layout, geometry_of(*source.layout, image.width, image.height), bytes, x, y);
                        } else {
                            const uint8_t* w = bytes + (size_t{y} * image.width + x) * 4;  // little-endian
                            s = {w[3], w[2], w[0]};
                        }
                        to_rgb(source.model, s, rgb + 3 * size_t{x});
                    }
                });
            };
            const std::string name = image.delays.empty() ? image.id : image.id + "-" + std::to_string(frame);
            if (!write_picture(name, output_dir, written, rows, [] { return std::string(); }))
                return false;
        }
    }
    return true;
}

// Every image in the header, each written before the next is read. The
// first failure stops it; the PNGs already written stay.
bool preview(const std::string& file, const std::string& output_dir, run_files& written)
{
    progress("Loading %s\n", file.c_str());
    if (std::ifstream probe(file, std::ios::binary); probe) {
        std::string head(4096, '\0');
        probe.read(head.data(), std::streamsize(head.size()));
        head.resize(size_t(probe.gcount()));
        if (is_assembler_source(head))
            return preview_assembler(file, output_dir, written);
    }
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
            const auto rows = [&](FILE* out) { return write_png(out, parser, image, frame + 1 == frames); };
            if (!write_picture(name, output_dir, written, rows, [&] { return parser.error(); }))
                return false;
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
