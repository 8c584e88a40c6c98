// The two modes of a run: a header beside each picture (or in the output
// directory), or every image in one "data.h". Both print their progress
// and, on failure, the error line, and stop at the first failure; main
// turns the result into the status.
#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <new>
#include <set>

#include "command_line.h"
#include "console.h"
#include "converter.h"
#include "output_plan.h"
#include "output_set.h"
#include "pipeline.h"
#include "text_sink.h"

namespace {

bool cant_write(const std::string& file)
{
    std::printf("error: can't write file %s\n", file.c_str());
    return false;
}

// A picture's error line. Without progress lines no "Loading" line says
// which file it is about, so a line that does not name the file then
// starts with it, as the preview's lines do.
std::string picture_error(const char* path, const std::string& what)
{
    return "error: " + (progress_shown() ? "" : std::string(path) + ": ") + what + "\n";
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
        return picture_error(path, "wrong " + kind + " format");
    case image_error::unsupported:
        return picture_error(path, "unsupported " + kind + " format");
    case image_error::unsupported_format:
        return picture_error(path, "unsupported format " + kind);
    case image_error::truncated:
        return picture_error(path, "truncated " + kind + " file");
    case image_error::too_large:
        return picture_error(path, "image too large");
    case image_error::out_of_memory:
        return picture_error(path, "out of memory");
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

// The picture's rows as the writers take them: its words, or with a
// layout what prepare_row made of its colours (read_options).
picture_rows rows_of(loaded_picture& picture, bool all_frames)
{
    picture_rows rows{picture.width(), picture.height(), [&picture](int32_t t) { return picture.row(t); }};
    if (all_frames)
        rows.delays = picture.delays();
    return rows;
}

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
// holds the definitions (with the assembler form, the word files hold them):
// the path the text goes to, its text sink, the form's word files, the
// identifiers declared, the images whose text may not all be written yet,
// and where the last image whose text is ends in the file, with the
// declarations of the images before it.
struct data_file {
    const std::string& path;
    data_form form;
    text_sink& sink;
    word_files* words = nullptr;  // the assembler form's
    bool uint32_words = false;
    bool all_frames = false;
    std::optional<ycbcr_model> model{};
    std::optional<byte_layout> layout{};
    std::set<std::string> declared{};
    std::deque<pending_image> held{};
    uint64_t complete = 0;
    std::string declarations{};
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
void append_image(data_file& data, const planned_picture& planned, picture_queue::entry loaded)
{
    const char* path = planned.path;
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
        // A repeated identifier would make data.h fail to compile.
        const std::string& id = planned.id;
        std::vector<std::string> ids = {id, id + "_x", id + "_y", id + "_frames", id + "_delays"};
        if (data.layout)
            for (std::string& more : layout_names(id, *data.layout))
                ids.push_back(std::move(more));
        if (std::any_of(ids.begin(), ids.end(), [&](const std::string& s) { return data.declared.count(s) != 0; }))
            return fail(picture_error(path, "duplicate image name " + id));
        data.declared.insert(ids.begin(), ids.end());
        p.messages += progress_line("Writing " + planned.name);
        release(data, false);
        const picture_rows rows = rows_of(*picture, data.all_frames);
        const ycbcr_model model = data.model.value_or(ycbcr_model{});
        const bool assembler = data.form == data_form::assembler;
        const bool written =
            data.layout ? (assembler ? write_assembler_layout(planned.name, rows, *data.layout, model, *data.words)
                                     : write_layout_declarations(data.sink, planned.name, rows, *data.layout, model))
            : assembler ? write_assembler_data(planned.name, rows, *data.words)
                        : write_declarations(data.sink, planned.name, rows, data.uint32_words);
        p.declarations = data.layout ? extern_layout_declarations(planned.name, rows, *data.layout)
                                     : extern_declarations(planned.name, rows, data.uint32_words);
        if (picture->error() != image_error::none)
            return fail(error_line(picture->error(), format, path));  // the rest of the picture could not be read
        p.failed = !written;  // which image a failed write hit shows once all writes are done
        p.end = data.sink.given(), p.file_end = data.sink.file_bytes();
    } catch (const std::bad_alloc&) {
        p.failed = true;
        fail(picture_error(path, "out of memory"));
    }
}

// One picture into its own files.
bool convert_single(const planned_picture& planned, const run_settings& settings)
{
    const char* path = planned.path;
    image_format format = image_format::bmp;
    const std::unique_ptr<loaded_picture> picture = load(path, settings.read, format);
    if (!picture)
        return false;
    const output_names& names = planned.out;
    output_set out(names, settings.form, settings.uint32_words, settings.model_line(), settings.layout.has_value());
    if (const std::string failed = out.open(); !failed.empty())
        return cant_write(failed);
    progress("Writing %s\n", names.header.c_str());
    if (settings.form != data_form::header)
        progress("Writing %s\n", names.source.c_str());
    const picture_rows rows = rows_of(*picture, settings.read.all_frames);
    std::string name = planned.name + ".h";
    const ycbcr_model model = settings.model.value_or(ycbcr_model{});
    const auto data = [&](FILE* to) {
        return settings.layout ? make_layout_data(to, name, rows, *settings.layout, model)
                               : make_data(to, name, rows, settings.uint32_words);
    };
    bool written = false;
    word_files* words = nullptr;
    switch (settings.form) {
    case data_form::header:
        written = make_header(out.definitions(), settings.uint32_words, settings.model_line()) && data(out.definitions());
        break;
    case data_form::split:
        written = make_source_prologue(out.definitions(), names.header, settings.form, settings.model_line()) &&
                  data(out.definitions());
        break;
    case data_form::assembler:
        progress("Writing %s\n", planned.name.c_str());
        if (settings.layout) {
            const uint64_t bytes = geometry_of(*settings.layout, uint32_t(rows.width), uint32_t(rows.height)).bytes;
            words = &out.words(bytes * rows.frames());
            written = write_assembler_layout(planned.name, rows, *settings.layout, model, *words);
        } else {
            words = &out.words(rows.words() * 4);
            written = write_assembler_data(planned.name, rows, *words);
        }
        break;
    }
    if (!report(picture->error(), format, path))
        return false;  // the rest of the picture could not be decoded
    if (!written && words)
        return cant_write(names.stem + (words->little->ok() ? ".be.bin" : ".le.bin"));
    if (!written)
        return cant_write(out.definitions_path());
    const std::string failed = out.commit(settings.layout ? extern_layout_declarations(planned.name, rows, *settings.layout)
                                                          : extern_declarations(planned.name, rows, settings.uint32_words));
    return failed.empty() || cant_write(failed);
}

}  // namespace

bool run_single(const std::vector<char*>& files, const run_settings& settings)
{
    run_plan plan;
    if (!plan_run(files, settings, false, plan))
        return false;
    if (settings.list)
        return list_outputs(plan, false, settings.form), true;
    for (const planned_picture& planned : plan.pictures)
        if (!convert_single(planned, settings))
            return false;
    return true;
}

bool run_combined(const std::vector<char*>& files, const run_settings& settings)
{
    run_plan plan;
    if (!plan_run(files, settings, true, plan))
        return false;
    if (settings.list)
        return list_outputs(plan, true, settings.form), true;
    const output_names& names = plan.combined;
    const data_form form = settings.form;
    progress("Making %s\n", names.header.c_str());
    if (form != data_form::header)
        progress("Making %s\n", names.source.c_str());
    output_set out(names, form, settings.uint32_words, settings.model_line(), settings.layout.has_value());
    if (const std::string failed = out.open(); !failed.empty())
        return cant_write(failed);
    // Without the whole banner there is nothing to keep: data.h stays as it
    // was. The assembler form's source is written whole at the end.
    const bool begun = form == data_form::header  ? make_header(out.definitions(), settings.uint32_words, settings.model_line())
                       : form == data_form::split ? make_source_prologue(out.definitions(), names.header, form, settings.model_line())
                                                  : true;
    if (!begun)
        return cant_write(out.definitions_path());
    const uint64_t banner = out.header_size();

    // One sink for all the images, whose thread writes a buffer of many
    // small ones while the next are formatted, and the next loaded on a
    // thread of their own meanwhile. The assembler form's sink is that of
    // its little-endian words, whose writing the messages follow.
    word_files* words = form == data_form::assembler ? &out.words(UINT64_MAX) : nullptr;
    std::unique_ptr<text_sink> text = words ? nullptr : std::make_unique<text_sink>(out.definitions(), UINT64_MAX);
    text_sink& sink = words ? *words->little : *text;
    const std::string words_path = names.stem + ".le.bin";
    picture_queue queue(files, settings.read);
    data_file data{words ? words_path : out.definitions_path(), form, sink, words, settings.uint32_words,
                   settings.read.all_frames, settings.model, settings.layout};
    bool failed = false;
    for (size_t i = 0; i < plan.pictures.size() && !failed; ++i) {
        append_image(data, plan.pictures[i], queue.next());
        failed = data.held.back().failed;
    }
    sink.flush();
    const bool whole = release(data, true) && !failed;
    if (whole && words && !words->big->flush())
        return cant_write(names.stem + ".be.bin");
    if (whole) {
        const std::string not_placed = out.commit(data.declarations);
        return not_placed.empty() || cant_write(not_placed);
    }
    // data.h gets the images before the failing one, never a part of it; if
    // even that cannot be written, it stays as it was. The split forms'
    // files, which must agree, stay as they were.
    if (form == data_form::header)
        out.commit_first(banner + data.complete);
    return false;
}
