// The two modes of a run: a header beside each picture (or in the output
// directory), or every image in one "data.h". Both print their progress
// and, on failure, the error line, and stop at the first failure; main
// turns the result into the status.
#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <new>
#include <set>

#include "command_line.h"
#include "console.h"
#include "converter.h"
#include "output_file.h"
#include "pipeline.h"
#include "text_sink.h"

namespace fs = std::filesystem;

namespace {

bool cant_write(const std::string& file)
{
    std::printf("error: can't write file %s\n", file.c_str());
    return false;
}

std::string error_line(image_error error, image_format format, const char* path)
{
    const std::string kind = format_name(format);
    switch (error) {
    case image_error::none:
        return "";
    case image_error::cant_open:
        return "error: can't open file " + std::string(path) + "\n";
    case image_error::read_failed:
        return "error: can't read file " + std::string(path) + "\n";
    case image_error::bad_format:
        return "error: wrong " + kind + " format\n";
    case image_error::unsupported:
        return "error: unsupported " + kind + " format\n";
    case image_error::unsupported_format:
        return "error: unsupported format " + kind + "\n";
    case image_error::truncated:
        return "error: truncated " + kind + " file\n";
    case image_error::too_large:
        return "error: image too large\n";
    case image_error::out_of_memory:
        return "error: out of memory\n";
    }
    return "";
}

// A progress line held with an image's messages, or nothing under --quiet.
std::string progress_line(const std::string& line)
{
    return progress_shown() ? line + "\n" : "";
}

bool report(image_error error, image_format format, const char* path)
{
    const std::string line = error_line(error, format, path);
    std::fputs(line.c_str(), stdout);
    return line.empty();
}

std::unique_ptr<loaded_picture> load(const char* path, const read_options& options, image_format& format)
{
    progress("Loading %s\n", path);
    image_error error = image_error::none;
    std::unique_ptr<loaded_picture> picture = loaded_picture::open(path, options, format, error);
    report(error, format, path);
    return picture;
}

picture_rows rows_of(loaded_picture& picture)
{
    return {picture.width(), picture.height(), [&picture](int32_t t) { return picture.row(t); }};
}

// The files one output is made of: its header, and in a split form the
// source and, for the assembler form, the word files; each written under a
// temporary name (output_file.h) and all put in place together, the header
// last, since it is what a build looks at.
struct output_set {
    output_file header, source, little, big;
    std::string header_path, source_path, stem;
    data_form form = data_form::header;

    // Prepares them all: the path of one that cannot be, or "".
    std::string open(const std::string& header_file, data_form how)
    {
        form = how, header_path = header_file;
        if (!header.open(header_path))
            return header_path;
        if (form == data_form::header)
            return "";
        source_path = source_name(header_path), stem = word_file_stem(source_path);
        if (!source.open(source_path))
            return source_path;
        if (form == data_form::assembler && !little.open(stem + ".le.bin", output_file::binary))
            return stem + ".le.bin";
        if (form == data_form::assembler && !big.open(stem + ".be.bin", output_file::binary))
            return stem + ".be.bin";
        return "";
    }

    // Where the definitions go.
    FILE* definitions() const { return form == data_form::header ? header.stream() : source.stream(); }
    const std::string& definitions_path() const { return form == data_form::header ? header_path : source_path; }

    // The assembler form's word files, about expected bytes each.
    word_files words(uint64_t expected)
    {
        if (form != data_form::assembler)
            return {};
        little_words = std::make_unique<text_sink>(little.stream(), expected);
        big_words = std::make_unique<text_sink>(big.stream(), expected);
        return {stem, little_words.get(), big_words.get()};
    }
    std::unique_ptr<text_sink> little_words, big_words;

    // Whether one of them would replace the file at path, which would
    // destroy it as it is read.
    bool replaces(const char* path) const
    {
        return header.replaces(path) || source.replaces(path) || little.replaces(path) || big.replaces(path);
    }

    // Puts them in place: the path of one that could not be, or "".
    std::string commit()
    {
        if (form == data_form::assembler &&
            !(little_words->flush() && big_words->flush() && little.commit() && big.commit()))
            return stem + ".le.bin";
        if (form != data_form::header && !source.commit())
            return source_path;
        return header.commit() ? "" : header_path;
    }
};

// An image of data.h whose text may not all be written yet, and the
// messages a run that did one image after the other would have printed for
// it, held back until the text before it is written: so a full disk ends
// the messages at the image it hit, as it would then.
struct pending_image {
    std::string messages;
    std::string declarations{};  // for the header of the split forms
    uint64_t end = UINT64_MAX, file_end = 0;  // where its text ends: given to the sink, and in the file
    bool failed = true, error_given = false;  // whether the run ends at it, and the messages say why
};

// data.h as a combined run builds it, or with a split form data.c, which
// holds the definitions: its path, file and text sink, the form, the
// identifiers it declares, the images whose text may not all be written
// yet, and where the last image whose text is ends in the file, with the
// declarations of the images before it.
struct data_file {
    const std::string& path;
    const output_set& out;
    text_sink& sink;
    word_files words{};  // the assembler form's
    std::set<std::string> declared{};
    std::deque<pending_image> held{};
    uint64_t complete = 0;
    std::string declarations{};
    bool keep = true;  // false when data.h is one of the inputs
};

// Prints the held messages of every image whose predecessors' text is all
// written, and moves complete to where the last such image ends in the
// file. With all_written, after every write has been waited for, an image
// whose text is still not all written is where the run ends: false then.
bool release(data_file& data, bool all_written)
{
    const uint64_t written = data.sink.written();
    while (!data.held.empty()) {
        pending_image& p = data.held.front();
        std::fputs(p.messages.c_str(), stdout);
        p.messages.clear();
        if (p.end > written) {
            if (all_written && !p.error_given)
                cant_write(data.path);
            return !all_written;
        }
        data.complete = p.file_end;
        data.declarations += p.declarations;
        data.held.pop_front();
    }
    return true;
}

// Appends one image to data.h, its messages held with it, and prints what
// messages can be printed before its text is formatted.
void append_image(data_file& data, const char* path, picture_queue::entry loaded)
{
    pending_image& p = data.held.emplace_back(pending_image{progress_line("Loading " + std::string(path))});
    const auto fail = [&](const std::string& line) {
        p.messages += line;
        p.error_given = true;
    };
    try {
        const image_format format = loaded.format;
        const std::unique_ptr<loaded_picture> picture = std::move(loaded.picture);
        if (!picture)
            return fail(error_line(loaded.error, format, path));
        if (data.out.replaces(path)) {
            data.keep = false;  // data.h is this very input
            return fail("error: can't write file " + data.path + "\n");
        }
        // A repeated identifier would make data.h fail to compile.
        std::string name = header_name(path);
        name.resize(image_name(name).size());
        const std::string id = c_identifier(name);
        const std::array<std::string, 3> ids = {id, id + "_x", id + "_y"};
        if (std::any_of(ids.begin(), ids.end(), [&](const std::string& s) { return data.declared.count(s) != 0; }))
            return fail("error: duplicate image name " + id + "\n");
        data.declared.insert(ids.begin(), ids.end());
        p.messages += progress_line("Writing " + name);
        release(data, false);
        const picture_rows rows = rows_of(*picture);
        const bool written = data.out.form == data_form::assembler
                                 ? write_assembler_data(data.sink, name, rows, data.words)
                                 : write_declarations(data.sink, name, rows);
        p.declarations = extern_declarations(name, rows);
        if (picture->error() != image_error::none)
            return fail(error_line(picture->error(), format, path));  // the rest of the picture could not be read
        p.failed = !written;  // which image a failed write hit shows once all writes are done
        p.end = data.sink.given(), p.file_end = data.sink.file_bytes();
    } catch (const std::bad_alloc&) {
        p.failed = true;
        fail("error: out of memory\n");
    }
}

// The file the header of the picture at path goes to.
std::string header_file(const char* path, const run_settings& settings)
{
    const std::string name = header_name(path);
    return settings.output_dir.empty() ? name : in_directory(settings.output_dir, name);
}

// What names one file the same way however it is written: the absolute
// path without "." and ".." steps, and on Windows, whose names ignore case,
// in lower case.
std::string same_file_key(const std::string& file)
{
    std::error_code failed;
    fs::path path = fs::absolute(fs::path(file), failed);
    std::string key = (failed ? fs::path(file) : path).lexically_normal().generic_string();
#ifdef _WIN32
    std::transform(key.begin(), key.end(), key.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; });
#endif
    return key;
}

// Two pictures whose headers are one file ("logo.png logo.bmp"): the
// second would replace the first's header, its conversion silently lost.
// The same picture named twice writes the same header twice, as it always
// has.
bool headers_distinct(const std::vector<char*>& files, const run_settings& settings)
{
    std::map<std::string, std::string> picture_of;  // header to picture
    for (const char* path : files) {
        const std::string file = header_file(path, settings);
        const auto [at, added] = picture_of.try_emplace(same_file_key(file), same_file_key(path));
        if (!added && at->second != same_file_key(path))
            return std::printf("error: duplicate header %s\n", file.c_str()), false;
    }
    return true;
}

}  // namespace

bool run_single(const std::vector<char*>& files, const run_settings& settings)
{
    if (!headers_distinct(files, settings))
        return false;
    for (const char* path : files) {
        image_format format = image_format::bmp;
        const std::unique_ptr<loaded_picture> picture = load(path, settings.read, format);
        if (!picture)
            return false;
        std::string name = header_name(path);
        const std::string file = header_file(path, settings);
        const bool split = settings.form != data_form::header;
        output_set out;
        if (const std::string failed = out.open(file, settings.form); !failed.empty())
            return cant_write(failed);
        // Replacing the input by its own header would destroy it.
        if (out.replaces(path))
            return cant_write(file);
        progress("Writing %s\n", file.c_str());
        if (split)
            progress("Writing %s\n", out.source_path.c_str());
        const picture_rows rows = rows_of(*picture);
        word_files words = out.words(uint64_t(rows.width) * uint64_t(rows.height) * 4);
        const bool written =
            split ? make_source_prologue(out.source.stream(), file, settings.form) &&
                        make_data(out.source.stream(), name, rows, settings.form, &words) &&
                        make_declarations_header(out.header.stream(), file, extern_declarations(name, rows))
                  : make_header(out.header.stream()) && make_data(out.header.stream(), name, rows);
        if (!report(picture->error(), format, path))
            return false;  // the rest of the picture could not be decoded
        if (!written)
            return cant_write(out.definitions_path());
        if (const std::string failed = out.commit(); !failed.empty())
            return cant_write(failed);
    }
    return true;
}

bool run_combined(const std::vector<char*>& files, const run_settings& settings)
{
    const std::string file = in_directory(settings.output_dir, settings.combined_name);
    const bool split = settings.form != data_form::header;
    progress("Making %s\n", file.c_str());
    if (split)
        progress("Making %s\n", source_name(file).c_str());
    output_set out;
    if (const std::string failed = out.open(file, settings.form); !failed.empty())
        return cant_write(failed);
    // Without the whole banner there is nothing to keep: data.h stays as it
    // was.
    if (!(split ? make_source_prologue(out.source.stream(), file, settings.form) : make_header(out.header.stream())))
        return cant_write(out.definitions_path());
    const uint64_t banner = out.header.size();

    // One sink for all the images, whose thread writes a buffer of many
    // small ones while the next are formatted, and the next loaded on a
    // thread of their own meanwhile.
    text_sink sink(out.definitions(), UINT64_MAX);
    picture_queue queue(files, settings.read);
    data_file data{out.definitions_path(), out, sink, out.words(UINT64_MAX)};
    bool failed = false;
    for (size_t i = 0; i < files.size() && !failed; ++i) {
        append_image(data, files[i], queue.next());
        failed = data.held.back().failed;
    }
    sink.flush();
    const bool whole = release(data, true) && !failed;
    if (whole && split && !make_declarations_header(out.header.stream(), file, data.declarations))
        return cant_write(file);
    if (whole) {
        const std::string not_placed = out.commit();
        return not_placed.empty() || cant_write(not_placed);
    }
    // data.h gets the images before the failing one, never a part of it; if
    // even that cannot be written, it stays as it was. The split forms'
    // files, which must agree, stay as they were.
    if (!split && data.keep && out.header.truncate(banner + data.complete))
        out.header.commit();
    return false;
}
