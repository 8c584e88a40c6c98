// Reading and checking a TGA file's header, in the order its parts come:
// the 18-byte header, the ID field (skipped), the colour map, and last the
// pixel data's size against the file's length. A 2.0 file's extension area
// and footer, after the pixels, say nothing decoding needs.
#include <algorithm>
#include <cstring>

#include "byte_reader.h"
#include "checked_size.h"
#include "reader_limits.h"
#include "samples.h"
#include "tga_decoding.h"

namespace {

enum : uint8_t { colour_mapped = 1, true_colour = 2, grey = 3, rle_bit = 8 };

struct tga_fields {
    uint8_t id_length = 0, map_type = 0, image_type = 0;
    uint16_t map_first = 0, map_length = 0;
    uint8_t map_bits = 0;
    uint16_t width = 0, height = 0;
    uint8_t depth = 0, descriptor = 0;

    uint8_t base_type() const { return uint8_t(image_type & ~rle_bit); }
    uint32_t attribute_bits() const { return descriptor & 15u; }
};

// The header's fields, from head, which holds at least its 18 bytes.
tga_fields read_fields(std::span<const uint8_t> head)
{
    byte_reader in{head.data(), head.size()};
    tga_fields h;
    uint16_t x = 0, y = 0;
    in.u8(h.id_length), in.u8(h.map_type), in.u8(h.image_type);
    in.u16(h.map_first), in.u16(h.map_length), in.u8(h.map_bits);
    in.u16(x), in.u16(y);  // where the picture goes on a screen: nothing to a decoder
    in.u16(h.width), in.u16(h.height), in.u8(h.depth), in.u8(h.descriptor);
    return h;
}

bool true_colour_depth(uint32_t bits)
{
    return bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

image_error check_fields(const tga_fields& h)
{
    // 32 and 33 are the Huffman-coded colour-mapped types of the first
    // version, which no writer in use makes.
    if (h.image_type == 32 || h.image_type == 33)
        return image_error::unsupported;
    const uint8_t type = h.base_type();
    if (h.map_type > 1 || (h.image_type & ~(rle_bit | 3)) != 0 || type == 0)
        return image_error::bad_format;
    // A true-colour or grey file may carry a map it does not use; its size
    // still counts.
    if (h.map_type == 1 && !true_colour_depth(h.map_bits))
        return image_error::bad_format;
    if (type == colour_mapped) {
        if (h.map_type != 1 || h.map_length == 0 || (h.depth != 8 && h.depth != 16))
            return image_error::bad_format;
        if (h.depth == 16)
            return image_error::unsupported;  // indices beyond a 256-entry palette
    } else if ((type == true_colour && !true_colour_depth(h.depth)) ||
               (type == grey && h.depth != 8 && h.depth != 16)) {
        return image_error::bad_format;
    }
    if (h.width == 0 || h.height == 0)
        return image_error::bad_format;
    if ((h.descriptor & 0xc0) != 0)
        return image_error::unsupported;  // interleaved rows
    return check_size(h.width, h.height);
}

// 5-5-5 colour in 16 bits, little-endian, blue in the low bits.
void rgb555(uint32_t v, uint8_t* e)
{
    e[0] = scaled_sample(v >> 10 & 31, 31), e[1] = scaled_sample(v >> 5 & 31, 31), e[2] = scaled_sample(v & 31, 31);
}

// The map's entries an 8-bit index can reach, as red, green, blue, alpha.
// Index v names the map's entry v - map_first, so the palette starts at
// the map's first entry and the rows take map_first from each index.
image_error read_palette(tga_source& file, const tga_fields& h, uint64_t map_at, sample_layout& samples)
{
    const uint32_t entry_bytes = (h.map_bits + 7u) / 8;
    const uint32_t reachable = h.map_first < 256 ? 256u - h.map_first : 0;
    samples.packing = sample_layout::kind::indices;
    samples.bits = 8;
    samples.palette_size = std::min<uint32_t>(h.map_length, reachable);
    if (samples.palette_size == 0)
        return image_error::bad_format;
    uint8_t map[4 * 256];
    if (const image_error why = file.read(map_at, samples.palette_size * entry_bytes, map); why != image_error::none)
        return why;
    for (uint32_t i = 0; i < samples.palette_size; ++i) {
        const uint8_t* m = map + i * entry_bytes;
        uint8_t* e = &samples.palette[4 * i];
        // 15- and 16-bit entries give no alpha that writers fill in.
        if (entry_bytes == 2)
            rgb555(uint32_t(m[0] | m[1] << 8), e), e[3] = 255;
        else
            e[0] = m[2], e[1] = m[1], e[2] = m[0], e[3] = entry_bytes == 4 ? m[3] : 255;
    }
    return image_error::none;
}

// How the stored pixels read: blue, green, red (and alpha) bytes; 5-5-5
// words with the top bit as alpha when the header counts one attribute
// bit; grey, and grey with alpha.
sample_layout pixel_samples(const tga_fields& h)
{
    sample_layout s;
    if (h.base_type() == grey) {
        s.channels = h.depth / 8u;
        s.red = s.green = s.blue = 0, s.alpha = 1;
    } else if (h.depth <= 16) {
        s.packing = sample_layout::kind::masked;
        s.bits = 16;
        s.masks[0] = {5, 10}, s.masks[1] = {5, 5}, s.masks[2] = {5, 0};
        if (h.depth == 16 && h.attribute_bits() == 1)
            s.masks[3] = {1, 15};
    } else {
        s.channels = h.depth / 8u;
        s.red = 2, s.green = 1, s.blue = 0, s.alpha = 3;
    }
    return s;
}

}  // namespace

image_error tga_source::read(uint64_t at, size_t n, uint8_t* dest)
{
    if (at + n <= head.size()) {
        std::memcpy(dest, head.data() + at, n);
        return image_error::none;
    }
    return bytes.read(at, n, dest);
}

bool tga_header_makes_sense(std::span<const uint8_t> head)
{
    return head.size() >= tga_header_size && check_fields(read_fields(head)) != image_error::bad_format;
}

image_error parse_tga_header(tga_source& file, tga_layout& layout)
{
    if (file.head.size() < tga_header_size)
        return file.bytes.size() < tga_header_size ? image_error::truncated : image_error::bad_format;
    const tga_fields h = read_fields(file.head);
    if (const image_error why = check_fields(h); why != image_error::none)
        return why;
    const uint64_t map_at = tga_header_size + uint64_t{h.id_length};
    const uint64_t map_bytes = h.map_type == 1 ? uint64_t{h.map_length} * ((h.map_bits + 7u) / 8) : 0;
    layout.width = h.width, layout.height = h.height;
    layout.top_down = (h.descriptor & 0x20) != 0;
    layout.right_to_left = (h.descriptor & 0x10) != 0;
    layout.rle = (h.image_type & rle_bit) != 0;
    layout.pixel_bytes = (h.depth + 7u) / 8;
    layout.index_base = h.base_type() == colour_mapped ? uint8_t(h.map_first) : 0;
    layout.offset = map_at + map_bytes;
    const uint64_t size = file.bytes.size();
    if (layout.offset >= size)
        return image_error::truncated;
    if (h.base_type() == colour_mapped) {
        if (const image_error why = read_palette(file, h, map_at, layout.samples); why != image_error::none)
            return why;
    } else {
        layout.samples = pixel_samples(h);
    }
    // Plain rows must all be there; run-length packets are checked as they
    // are walked.
    if (!layout.rle && *checked_size(uint64_t{h.width} * h.height, layout.pixel_bytes) > size - layout.offset)
        return image_error::truncated;
    return image_error::none;
}
