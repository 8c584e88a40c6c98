// libFuzzer target for the preview's reading of a header: the text served
// from memory through the same text_source a file is read with, then every
// image's declarations, rows and end parsed as vantrel-preview parses them,
// and its words turned into colours. A header that claims more than it
// holds must fail before anything is allocated for it.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "colour.h"
#include "header_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // fmemopen takes no empty buffer; an empty file is one byte short of
    // the banner all the same.
    if (size == 0)
        return 0;
    file_ptr file(fmemopen(const_cast<uint8_t*>(data), size, "rb"), &std::fclose);
    if (!file)
        std::abort();
    text_source text;
    text.open(std::move(file), size);
    header_parser parser(text, "fuzz.h");
    if (!parser.read_banner())
        return 0;
    image_declaration image;
    while (parser.next_image(image)) {
        std::vector<uint32_t> words(image.width);
        std::vector<uint8_t> rgb(size_t{3} * image.width), bytes;
        // Each frame's rows, or a layout's bytes and every pixel's sample.
        for (size_t frame = 0; frame < std::max<size_t>(image.delays.size(), 1); ++frame) {
            if (const std::optional<byte_layout>& layout = parser.layout()) {
                if (!parser.read_bytes(bytes))
                    return 0;
                const layout_geometry g = geometry_of(*layout, image.width, image.height);
                for (uint32_t y = 0; y < image.height; ++y)
                    for (uint32_t x = 0; x < image.width; ++x) {
                        const ycbcr_sample s = sample_at(*layout, g, bytes.data(), x, y);
                        parser.model()->to_rgb(s.y, s.cb, s.cr, rgb.data());
                    }
                continue;
            }
            for (uint32_t row = 0; row < image.height; ++row) {
                if (!parser.read_row(words.data()))
                    return 0;
                words_to_rgb(words.data(), words.size(), rgb.data());
            }
        }
        if (!parser.end_image())
            return 0;
    }
    return 0;
}
