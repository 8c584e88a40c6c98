// The two modes of a run: a header beside each bitmap, or every image in
// one "data.h". Both print their progress and, on failure, the error line,
// and stop at the first failure; main turns the result into the status.
#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <new>
#include <set>

#include "main.h"
#include "output_file.h"
#include "text_sink.h"

namespace {

bool cant_write(const std::string& file)
{
    std::printf("error: can't write file %s\n", file.c_str());
    return false;
}

bool report(bmp_error error, const char* path)
{
    switch (error) {
    case bmp_error::none:
        return true;
    case bmp_error::cant_open:
        std::printf("error: can't open file %s\n", path);
        break;
    case bmp_error::read_failed:
        std::printf("error: can't read file %s\n", path);
        break;
    case bmp_error::bad_format:
        std::printf("error: wrong BMP format\n");
        break;
    case bmp_error::unsupported:
        std::printf("error: unsupported BMP format\n");
        break;
    case bmp_error::truncated:
        std::printf("error: truncated BMP file\n");
        break;
    case bmp_error::too_large:
        std::printf("error: image too large\n");
        break;
    case bmp_error::out_of_memory:
        std::printf("error: out of memory\n");
        break;
    }
    return false;
}

using image_ptr = std::unique_ptr<bmp_image, void (*)(bmp_image*)>;

image_ptr load(const char* path)
{
    std::printf("Loading %s\n", path);
    bmp_error error = bmp_error::none;
    image_ptr image(load_bmp(path, error), &free_bmp);
    report(error, path);
    return image;
}

// Appends one image, loaded while the one before it was being written, to
// data.h. Its messages come only once that write is known to have worked,
// so that they read as if one image were done after the other. False after
// an error line; keep then says whether data.h may be put in place with the
// images before the failing one, which end at complete.
bool append_image(output_file& out, text_sink& sink, const char* path, std::set<std::string>& declared,
                  uint64_t& complete, bool& keep)
{
    bmp_error error = bmp_error::none;
    const image_ptr image(load_bmp(path, error), &free_bmp);
    if (!sink.finish())
        return cant_write("data.h");
    complete = out.size();
    std::printf("Loading %s\n", path);
    if (!report(error, path))
        return false;
    if (out.replaces(path)) {
        keep = false;  // data.h is this very input
        return cant_write("data.h");
    }
    // A repeated identifier would make data.h fail to compile.
    std::string name = header_name(path);
    const std::string id = c_identifier(image_name(name));
    const std::array<std::string, 3> ids = {id, id + "_x", id + "_y"};
    if (std::any_of(ids.begin(), ids.end(), [&](const std::string& s) { return declared.count(s) != 0; })) {
        std::printf("error: duplicate image name %s\n", id.c_str());
        return false;
    }
    declared.insert(ids.begin(), ids.end());
    const bool written = write_declarations(sink, name, *image);
    if (!report(decoding_error(*image), path))
        return false;  // the rest of the picture could not be read
    return written || cant_write("data.h");
}

}  // namespace

bool run_single(int count, char** files)
{
    for (int i = 0; i < count; ++i) {
        const image_ptr image = load(files[i]);
        if (!image)
            return false;
        std::string name = header_name(files[i]);
        const std::string file = name;
        output_file out;
        // Replacing the input by its own header would destroy it.
        if (!out.open(file) || out.replaces(files[i]))
            return cant_write(file);
        std::printf("Writing %s\n", file.c_str());
        make_header(out.stream());
        const bool written = make_data(out.stream(), name, *image);
        if (!report(decoding_error(*image), files[i]))
            return false;  // the rest of the picture could not be read
        if (!written || !out.commit())
            return cant_write(file);
    }
    return true;
}

bool run_combined(int count, char** files)
{
    const std::string file = "data.h";
    std::printf("Making %s\n", file.c_str());
    output_file out;
    if (!out.open(file))
        return cant_write(file);
    make_header(out.stream());

    // One sink for all the images: each is written on the sink's thread while
    // the next is loaded.
    text_sink sink(out.stream(), UINT64_MAX);
    std::set<std::string> declared;
    uint64_t complete = out.size();
    bool keep = true;
    for (int i = 0; i < count; ++i) {
        bool appended = false;
        try {
            appended = append_image(out, sink, files[i], declared, complete, keep);
        } catch (const std::bad_alloc&) {
            std::printf("error: out of memory\n");
        }
        if (!appended) {
            // data.h gets the images before the failing one, never a part
            // of it; if even that cannot be written, it stays as it was.
            sink.finish();
            if (keep && out.truncate(complete))
                out.commit();
            return false;
        }
    }
    if (!sink.finish()) {
        cant_write(file);
        if (out.truncate(complete))
            out.commit();
        return false;
    }
    return out.commit() || cant_write(file);
}
