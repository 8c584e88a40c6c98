// The BMP reader's face: the headers from the first read, then the reader
// of the rows that the pixel data's encoding asks for.
#include <algorithm>
#include <cstring>

#include "bmp_decoding.h"
#include "reader_limits.h"

image_error bmp_source::read(uint64_t at, size_t n, uint8_t* dest)
{
    if (at + n <= head.size()) {
        std::memcpy(dest, head.data() + at, n);
        return image_error::none;
    }
    return bytes.read(at, n, dest);
}

std::unique_ptr<image_reader> open_bmp(byte_source& source, std::vector<uint8_t> head, image_error& error)
{
    bmp_layout layout{};
    error = parse_header(head.data(), std::min(head.size(), bmp_head_bytes), source.size(), layout);
    if (error != image_error::none)
        return nullptr;
    bmp_source file{source, std::move(head)};
    return layout.coding == encoding::raw ? open_raw_rows(std::move(file), layout, error)
                                          : open_rle_rows(std::move(file), layout, error);
}
