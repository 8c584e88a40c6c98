// The converter: its command line and modes, the names it gives, and the
// header writer.
#ifndef VANTREL_CONVERTER_H
#define VANTREL_CONVERTER_H

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "header_text.h"
#include "row_converter.h"
#include "byte_layouts.h"
#include "ycbcr_model.h"

// The header name of a file argument: its last three characters replaced by
// "h" ("logo.bmp" gives "logo.h"). An argument shorter than four characters
// keeps all of them and gains ".h" ("a" gives "a.h"); one ending in ".jpeg"
// or ".webp", in any case, loses that ("logo.webp" gives "logo.h").
std::string header_name(std::string_view argument);

// The image name: the header name less its last two characters (its ".h").
std::string_view image_name(std::string_view header);

// The C identifier the declarations of an image use: the image name without
// its directory part, every character other than an ASCII letter, digit or
// underscore turned into "_", and "img_" in front when the result would be
// empty, start with a digit, or be reserved (reserved_names.h): a C or C++
// keyword, main, or a name the C standard headers declare.
std::string c_identifier(std::string_view image_name);

// Writes text, flushed; false if it could not all be written.
bool write_text(FILE* out, std::string_view text);

// Writes the banner that opens every generated file, and with uint32_words
// the include of <stdint.h> that the header form's uint32_t arrays need;
// false if it could not all be written.
// note: the model's line (header_text::model_note) with its blank line, or
// nothing.
bool make_header(FILE* out, bool uint32_words = false, std::string_view note = {});

// What a run writes for each picture: a header that defines the data
// (the first form, included from one file of a program), or a header of
// declarations and a C source that defines them, with the words as C
// (split) or, for GCC and Clang, which then compile it many times faster,
// in binary files that the source's assembler data pulls in (assembler).
enum class data_form { header, split, assembler };

// The source's name beside its header: the header name's final "h"
// replaced by "c" ("logo.h" gives "logo.c").
std::string source_name(std::string_view header);

// The assembler form's words: binary files beside the source, named after
// its stem and their content ("logo.c" gives "logo.<hash>.le.bin" and
// "logo.<hash>.be.bin"), holding the words of its images one after another
// in little- and big-endian byte order, so that every target finds them in
// its own; and what the source says of each image, written once the hash is
// known.
class text_sink;
struct assembler_image {
    std::string id;
    int32_t width = 0, height = 0;
    uint64_t offset = 0, bytes = 0;  // where its words are in the files
    std::vector<uint32_t> delays{};  // with --frames (picture_rows)
    std::string definitions{};       // a layout's places, in C (--layout)
};
struct word_files {
    text_sink* little = nullptr;  // the files' buffers (text_sink.h), written on threads of their own
    text_sink* big = nullptr;
    uint64_t size = 0;  // bytes in each so far
    uint64_t lanes[4] = {};  // the content hash so far (content_hash)
    std::vector<assembler_image> images;
};
std::string word_file_stem(std::string_view source);

// The word files' hash of their words so far, as 16 hexadecimal digits: the
// same on every host, since it is taken over the words' values.
std::string content_hash(const word_files& words);

// A picture as the writers list it: its size, and its rows of words, top
// row first, each left to right, asked for in order, once each; null for a
// row that never comes (loaded_picture::row).
struct picture_rows {
    int32_t width = 0, height = 0;
    std::function<const uint32_t*(int32_t t)> row;
    // With --frames, each frame's delay in milliseconds (one frame of 0
    // for a still picture): the declarations then say how many frames
    // there are and their delays, and the array has a row of height x
    // width words for each frame, whose rows come one frame after another.
    // Empty: one picture, declared as ever.
    std::vector<uint32_t> delays{};

    uint64_t frames() const { return delays.empty() ? 1 : delays.size(); }
    // The words of each frame, and of them all.
    uint64_t frame_words() const { return uint64_t(std::max(width, 0)) * uint64_t(std::max(height, 0)); }
    uint64_t words() const { return frame_words() * frames(); }
};

// Cuts name, a header name, to the image name ("logo.h" becomes "logo"),
// prints "Writing <image name>" (a progress line, console.h) and appends the
// image's declarations to out. Returns false as soon as a write fails (the
// stream's error flag stays set) or a row does not come.
// With uint32_words the arrays are uint32_t rather than unsigned int, for
// targets whose int has 16 bits.
bool make_data(FILE* out, std::string& name, const picture_rows& image, bool uint32_words = false);

// The definitions alone, for the image name given, into a text sink
// (text_sink.h), which may still hold or be writing some of them when this
// returns; false if the picture's rows or a write failed.
bool write_declarations(text_sink& sink, const std::string& name, const picture_rows& image, bool uint32_words = false);

// The assembler form: the picture's words into the word files, and the
// image recorded for the source; false if the rows or a write failed.
bool write_assembler_data(const std::string& name, const picture_rows& image, word_files& words);

// The assembler form's source after its prologue: the data of every image
// recorded, pulled from the word files whose path less ".le.bin" is stem.
std::string assembler_source(const word_files& words, std::string_view stem);

// The split forms' header: the banner, an include guard named after the
// header's file name, and between C linkage braces for C++, the extern
// declarations of every image in it (extern_declarations), which keep the
// array's size so that sizeof works. The arrays are unsigned int, and the
// header stops compiling with an #error where that is not 32 bits, or with
// uint32_words uint32_t, with the include of <stdint.h> in its place.
std::string extern_declarations(const std::string& name, const picture_rows& image, bool uint32_words = false);
// With bytes (a layout's, which no width of int changes), neither.
bool make_declarations_header(FILE* out, std::string_view header_file, const std::string& declarations,
                              bool uint32_words = false, bool bytes = false);

// What opens a split form's source, after the banner: the include of its
// header (by its name alone: the two stand side by side) and, for the
// assembler form, what the images' data needs from the compiler.
bool make_source_prologue(FILE* out, std::string_view header_file, data_form form, std::string_view note = {});

// An image's sizes as C definitions: _x and _y, and for an animation
// _frames and _delays, an array of delay_type (a tab, then the values,
// comma-separated).
std::string size_definitions(const std::string& id, const picture_rows& image, std::string_view delay_type);

// A layout's bytes (byte_layouts.h): the line that names the layout and the
// model ("// NV12 bytes: BT.601, full range" and a blank line), the names an
// image's declarations take besides its own, _x, _y, _frames and _delays,
// its definitions from rows that prepare_row made (read_options::layout),
// and their extern declarations.
std::string layout_note(byte_layout layout, const ycbcr_model& model);
std::vector<std::string> layout_names(const std::string& id, byte_layout layout);
bool write_layout_declarations(text_sink& sink, const std::string& name, const picture_rows& image, byte_layout layout,
                               const ycbcr_model& model);
std::string extern_layout_declarations(const std::string& name, const picture_rows& image, byte_layout layout);
// The assembler form of a layout's bytes, the same in both word files, and
// the image recorded for the source, its places defined in C.
bool write_assembler_layout(const std::string& name, const picture_rows& image, byte_layout layout,
                            const ycbcr_model& model, word_files& words);
// As make_data, for a layout's bytes.
bool make_layout_data(FILE* out, std::string& name, const picture_rows& image, byte_layout layout,
                      const ycbcr_model& model);

// Single-file mode: converts each file into a header beside it.
// Combined mode: converts every file into "data.h" in the current directory.
// Both check the run's names first (output_plan.h), print their progress
// and, on failure, the error line, and stop at the first failure; the
// caller turns the result into the exit status. With list, they print the
// files the run would write instead, and read and write nothing.
struct run_settings {
    std::string output_dir;  // where the headers go; empty: beside each file (data.h: the current directory)
    std::string combined_name = "data.h";
    data_form form = data_form::header;
    bool uint32_words = false;  // uint32_t arrays (--uint32) rather than unsigned int
    // The words' model (--matrix, --range), in place of their historical
    // arithmetic; the pictures are then read as RGB (read_options::rgb).
    std::optional<ycbcr_model> model;
    // Bytes in this layout (--layout) rather than words, by the model (by
    // default BT.601, full range).
    std::optional<byte_layout> layout;
    read_options read;

    // The line that names the model, and the layout, in the files that hold
    // the data, or "".
    std::string model_line() const
    {
        if (layout)
            return layout_note(*layout, model.value_or(ycbcr_model{}));
        return model ? std::string(header_text::model_note) + model->name() + "\n\n" : std::string();
    }
    bool list = false;
};
bool run_single(const std::vector<char*>& files, const run_settings& settings);
bool run_combined(const std::vector<char*>& files, const run_settings& settings);

#endif
