// Which reader takes a file, and whole pictures at once.
#include "image_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "big_buffer.h"
#include "png_decoding.h"
#include "reader_limits.h"

std::unique_ptr<image_decoder> open_image(byte_source& source, const read_options& options, image_format& format,
                                          image_error& error)
{
    // Whatever runs out of memory on the way, everything it held is released
    // and the failure comes back like any other.
    try {
        // The first read takes the head of the file, or all of a small one.
        std::vector<uint8_t> head(static_cast<size_t>(std::min<uint64_t>(source.size(), first_read_bytes)));
        format = image_format::bmp;
        if (error = source.read(0, head.size(), head.data()); error != image_error::none)
            return nullptr;
        if (head.size() >= sizeof png_signature && std::memcmp(head.data(), png_signature, sizeof png_signature) == 0) {
            format = image_format::png;
            return open_png(source, std::move(head), options, error);
        }
        return open_bmp(source, std::move(head), options, error);
    } catch (const std::bad_alloc&) {
        error = image_error::out_of_memory;
        return nullptr;
    }
}

bmp_image* allocate_image(const image_decoder& decoder)
{
    const auto count = static_cast<uint64_t>(decoder.width()) * static_cast<uint64_t>(decoder.height());
    if (count > SIZE_MAX / sizeof(uint32_t))
        return nullptr;
    auto* image = new (std::nothrow) bmp_image{decoder.width(), decoder.height(), nullptr};
    if (image)
        image->pixels = static_cast<uint32_t*>(allocate_buffer(static_cast<size_t>(count) * sizeof(uint32_t)));
    if (image && !image->pixels) {
        delete image;
        return nullptr;
    }
    return image;
}

void free_bmp(bmp_image* image)
{
    if (!image)
        return;
    std::free(image->pixels);
    delete image;
}

bmp_image* load_image(byte_source& source, const read_options& options, image_format& format, image_error& error)
{
    const std::unique_ptr<image_decoder> decoder = open_image(source, options, format, error);
    if (!decoder)
        return nullptr;
    std::unique_ptr<bmp_image, void (*)(bmp_image*)> image(allocate_image(*decoder), &free_bmp);
    if (!image) {
        error = image_error::out_of_memory;
        return nullptr;
    }
    try {
        error = decoder->decode(image->pixels, [](uint32_t) { return true; });
    } catch (const std::bad_alloc&) {
        error = image_error::out_of_memory;
    }
    return error == image_error::none ? image.release() : nullptr;
}
