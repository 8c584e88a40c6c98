// Which reader takes a file.
#include "image_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "png_decoding.h"
#include "reader_limits.h"

std::unique_ptr<image_reader> open_image(byte_source& source, image_format& format, image_error& error,
                                         const read_limits& limits)
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
            return open_png(source, std::move(head), error, limits);
        }
        return open_bmp(source, std::move(head), error);
    } catch (const std::bad_alloc&) {
        error = image_error::out_of_memory;
        return nullptr;
    }
}
