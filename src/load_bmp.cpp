// The reader's public face: opening the file, reading its headers and
// pixels, and converting a big picture on a thread of its own.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "bmp_layout.h"
#include "handoff.h"
#include "regular_file.h"

namespace {

bmp_image* fail(bmp_error& error, bmp_error why)
{
    error = why;
    return nullptr;
}

// Reads and checks the headers: the first read takes the head of the file,
// or all of a small one.
bmp_error read_layout(FILE* f, uint64_t file_size, std::vector<uint8_t>& head, bmp_layout& layout)
{
    const uint64_t first_read = std::max<uint64_t>(VANTREL_PREFETCH_BYTES, head_bytes);
    head.resize(static_cast<size_t>(std::min(file_size, first_read)));
    head.resize(std::fread(head.data(), 1, head.size(), f));
    if (std::ferror(f))
        return bmp_error::read_failed;
    const bmp_error why = parse_header(head.data(), std::min(head.size(), head_bytes), file_size, layout);
    if (why != bmp_error::none || layout.coding == encoding::raw)
        return why;
    // A broken stream fails here, before the pixel buffer it claims exists.
    return check_rle({f, file_size, head}, layout);
}

using image_ptr = std::unique_ptr<bmp_image, void (*)(bmp_image*)>;

image_ptr allocate_image(const bmp_layout& layout)
{
    image_ptr image(nullptr, &free_bmp);
    const uint64_t count = static_cast<uint64_t>(layout.width) * static_cast<uint64_t>(layout.height);
    if (count > SIZE_MAX / sizeof(uint32_t))
        return image;
    image.reset(new bmp_image{layout.width, layout.height, nullptr});
    image->pixels = static_cast<uint32_t*>(allocate_buffer(static_cast<size_t>(count) * sizeof(uint32_t)));
    if (!image->pixels)
        image.reset();
    return image;
}

}  // namespace

struct decode_progress {
    uint64_t rows_ready = 0;  // from the top
    bool finished = false, stop = false;
    bmp_error error = bmp_error::none;
};

struct bmp_decoding {
    file_ptr file{nullptr, &std::fclose};
    uint64_t file_size = 0;
    std::vector<uint8_t> head;
    bmp_layout layout{};
    handoff<decode_progress> progress;
    std::thread thread;

    void run(uint32_t* pixels)
    {
        bmp_error why = bmp_error::out_of_memory;
        try {
            why = decode_rows({file.get(), file_size, head}, layout, pixels, [this](uint64_t rows) {
                return progress.update([&](decode_progress& p) {
                    p.rows_ready = rows;
                    return !p.stop;
                });
            });
        } catch (const std::bad_alloc&) {
            // An exception may not leave a thread; it ends the conversion.
        }
        file.reset();
        progress.update([&](decode_progress& p) {
            p.error = why;
            p.finished = true;
        });
    }
};

namespace {

// A big picture in a layout whose conversion cannot fail once its headers
// and length are checked, but for the system failing to read it: converting
// it on a thread of its own lets the writer format and write the rows
// already done instead of waiting for all of them.
bool wants_background(const bmp_layout& layout)
{
    const uint64_t count = static_cast<uint64_t>(layout.width) * static_cast<uint64_t>(layout.height);
    return layout.coding == encoding::raw && layout.bits >= 16 && count >= uint64_t{VANTREL_BACKGROUND_PIXELS};
}

// Hands the rest of the picture, and the file, to a thread of its own. False,
// with the file and head still here, if no thread could be had.
bool convert_in_background(bmp_image& image, file_ptr& f, uint64_t file_size, std::vector<uint8_t>& head,
                           const bmp_layout& layout)
{
    std::unique_ptr<bmp_decoding> decoding;
    try {
        decoding = std::make_unique<bmp_decoding>();
        decoding->file = std::move(f);
        decoding->file_size = file_size;
        decoding->head = std::move(head);
        decoding->layout = layout;
        decoding->thread = start_thread([d = decoding.get(), pixels = image.pixels] { d->run(pixels); });
    } catch (const std::exception&) {
        // No thread, or no memory for one: the picture is converted here.
        if (decoding) {
            f = std::move(decoding->file);
            head = std::move(decoding->head);
        }
        return false;
    }
    image.decoding = decoding.release();
    return true;
}

bmp_image* load(const char* path, bmp_error& error)
{
    uint64_t file_size = 0;
    file_ptr f = open_regular_file(path, file_size);
    if (!f)
        return fail(error, bmp_error::cant_open);

    std::vector<uint8_t> head;
    bmp_layout layout{};
    if (const bmp_error why = read_layout(f.get(), file_size, head, layout); why != bmp_error::none)
        return fail(error, why);
    image_ptr image = allocate_image(layout);
    if (!image)
        return fail(error, bmp_error::out_of_memory);
    if (wants_background(layout) && convert_in_background(*image, f, file_size, head, layout))
        return image.release();

    const bmp_source source{f.get(), file_size, head};
    const bmp_error why = layout.coding == encoding::raw
                              ? decode_rows(source, layout, image->pixels, [](uint64_t) { return true; })
                              : decode_rle(source, layout, image->pixels);
    return why == bmp_error::none ? image.release() : fail(error, why);
}

}  // namespace

bmp_image* load_bmp(const char* path, bmp_error& error)
{
    error = bmp_error::none;
    // Whatever runs out of memory on the way, everything it held is released
    // and the failure comes back like any other.
    try {
        return load(path, error);
    } catch (const std::bad_alloc&) {
        return fail(error, bmp_error::out_of_memory);
    }
}

bool wait_for_rows(const bmp_image& image, int32_t rows)
{
    if (!image.decoding || rows <= 0)
        return true;
    const auto wanted = static_cast<uint64_t>(rows);
    const decode_progress p =
        image.decoding->progress.wait([&](const decode_progress& s) { return s.rows_ready >= wanted || s.finished; });
    return p.rows_ready >= wanted;
}

bmp_error decoding_error(const bmp_image& image)
{
    if (!image.decoding)
        return bmp_error::none;
    const decode_progress p = image.decoding->progress.get();
    return p.finished ? p.error : bmp_error::none;
}

void free_bmp(bmp_image* image)
{
    if (!image)
        return;
    if (bmp_decoding* d = image->decoding) {
        d->progress.update([](decode_progress& p) { p.stop = true; });
        d->thread.join();
        delete d;
    }
    std::free(image->pixels);
    delete image;
}
