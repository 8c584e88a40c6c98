// The converter: its command line and modes, the names it gives, and the
// header writer.
#ifndef VANTREL_CONVERTER_H
#define VANTREL_CONVERTER_H

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "image_reader.h"

// The header name of a file argument: its last three characters replaced by
// "h" ("logo.bmp" gives "logo.h"). An argument shorter than four characters
// keeps all of them and gains ".h" ("a" gives "a.h").
std::string header_name(std::string_view argument);

// The image name: the header name less its last two characters (its ".h").
std::string_view image_name(std::string_view header);

// The C identifier the declarations of an image use: the image name without
// its directory part, every character other than an ASCII letter, digit or
// underscore turned into "_", and "img_" in front when the result would be
// empty, start with a digit, or be reserved (reserved_names.h): a C or C++
// keyword, main, or a name the C standard headers declare.
std::string c_identifier(std::string_view image_name);

// Writes the banner that opens every generated file; false if it could not
// all be written.
bool make_header(FILE* out);

// The words of row t (from the top, mirrored as the record's rows are) of
// a picture still being decoded, asked for in order, once they are there;
// null if they never will be (loaded_picture::row).
using row_words_fn = std::function<const uint32_t*(int32_t t)>;

// Cuts name, a header name, to the image name ("logo.h" becomes "logo"),
// prints "Writing <image name>" and appends the image's declarations to out.
// Returns false as soon as a write fails (the stream's error flag stays set)
// or a row does not come. Without rows the picture's pixels are complete.
bool make_data(FILE* out, std::string& name, const bmp_image& image, const row_words_fn& rows = {});

// The declarations alone, for the image name given, into a text sink
// (text_sink.h), which may still hold or be writing some of them when this
// returns; false if the picture's rows or a write failed.
class text_sink;
bool write_declarations(text_sink& sink, const std::string& name, const bmp_image& image,
                        const row_words_fn& rows = {});

// Single-file mode: converts each file into a header beside it.
// Combined mode: converts every file into "data.h" in the current directory.
// Both print their progress and, on failure, the error line, and stop at the
// first failure; the caller turns the result into the exit status.
struct run_settings {
    std::string output_dir;  // where the headers go; empty: beside each file (data.h: the current directory)
    read_options read;
};
bool run_single(const std::vector<char*>& files, const run_settings& settings);
bool run_combined(const std::vector<char*>& files, const run_settings& settings);

#endif
