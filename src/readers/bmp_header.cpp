// Reading and checking a bitmap's headers, in the order they come in the
// file: the file header, the info header, the masks, the palette, and last
// the pixel data's size against the file's length.
#include <algorithm>
#include <bit>

#include "bmp_decoding.h"
#include "byte_reader.h"
#include "checked_size.h"
#include "reader_limits.h"

namespace {

constexpr uint32_t file_header_size = 14;

// Compression codes of the Windows headers. The OS/2 2.x header gives 3 and
// 4 other meanings (Huffman 1D and RLE24), neither of which is decoded here.
enum : uint32_t { bi_rgb = 0, bi_rle8 = 1, bi_rle4 = 2, bi_bitfields = 3, bi_alphabitfields = 6 };

// The fields of the file and info headers that decoding depends on.
struct header_fields {
    uint32_t offset = 0, info_size = 0;
    bool os2_core = false, os2 = false;
    int64_t width = 0, height = 0;
    uint16_t planes = 0, bits = 0;
    uint32_t compression = bi_rgb, colours = 0;
    uint32_t masks[4] = {};  // red, green, blue, alpha
    bool with_masks = false;
};

bool known_info_header(uint32_t size)
{
    // OS/2 1.x core (12), OS/2 2.x short and full (16, 64), and Windows
    // BITMAPINFOHEADER through BITMAPV5HEADER.
    return size == 12 || size == 16 || size == 64 || size == 40 || size == 52 || size == 56 || size == 108 ||
           size == 124;
}

image_error read_file_header(byte_reader& in, header_fields& h)
{
    uint8_t sig_b = 0, sig_m = 0;
    if (!in.u8(sig_b) || !in.u8(sig_m) || sig_b != 'B' || sig_m != 'M')
        return image_error::bad_format;
    // The file-size field (bytes 2..5) is skipped: writers often get it wrong
    // (OS/2 files even put the header size there), and the file's real length
    // is what bounds the data anyway.
    if (!in.skip(8) || !in.u32(h.offset) || !in.u32(h.info_size))
        return image_error::bad_format;
    if (!known_info_header(h.info_size) || in.size < file_header_size + h.info_size)
        return image_error::bad_format;
    h.os2_core = h.info_size == 12;
    h.os2 = h.info_size == 16 || h.info_size == 64;
    return image_error::none;
}

// Every field read here lies inside the info header, whose bytes are at hand.
void read_info_header(byte_reader& in, header_fields& h)
{
    // The OS/2 core header has unsigned 16-bit dimensions; the rest share the
    // Windows layout for every field read here. The image-size field is
    // skipped (often 0, and the file's length bounds the data), as are the
    // densities.
    if (h.os2_core) {
        uint16_t w = 0, height = 0;
        in.u16(w), in.u16(height);
        h.width = w, h.height = height;
    } else {
        uint32_t w = 0, height = 0;
        in.u32(w), in.u32(height);
        h.width = static_cast<int32_t>(w), h.height = static_cast<int32_t>(height);
    }
    in.u16(h.planes), in.u16(h.bits);
    if (h.info_size >= 40)
        in.u32(h.compression), in.skip(12), in.u32(h.colours);
    // Masks inside the header: BITMAPV2INFOHEADER (52) adds red, green and
    // blue, V3 (56) and later add alpha. The OS/2 64-byte header has other
    // fields there.
    if (h.info_size >= 52 && !h.os2) {
        in.pos = file_header_size + 40;
        for (uint32_t i = 0; i < (h.info_size >= 56 ? 4u : 3u); ++i)
            in.u32(h.masks[i]);
    }
    in.pos = file_header_size + h.info_size;
    h.with_masks = !h.os2 && (h.compression == bi_bitfields || h.compression == bi_alphabitfields);
}

image_error check_fields(const header_fields& h)
{
    if (h.width <= 0 || h.height == 0 || h.planes != 1)
        return image_error::bad_format;
    if (h.os2 && h.compression > bi_rle4)
        return image_error::unsupported;  // Huffman 1D, RLE24
    if (h.compression > bi_bitfields && h.compression != bi_alphabitfields)
        return image_error::unsupported;  // JPEG, PNG, CMYK, ...
    if (h.bits == 64)
        return image_error::unsupported;
    const unsigned bits = h.bits;
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return image_error::bad_format;
    if ((h.compression == bi_rle8 && bits != 8) || (h.compression == bi_rle4 && bits != 4) ||
        (h.with_masks && bits != 16 && bits != 32))
        return image_error::bad_format;
    // RLE rows are stored bottom-up only.
    if (h.compression != bi_rgb && !h.with_masks && h.height < 0)
        return image_error::bad_format;
    // Magnitude in 64 bits: height may be INT32_MIN.
    const int64_t rows = h.height < 0 ? -h.height : h.height;
    return check_size(static_cast<uint64_t>(h.width), static_cast<uint64_t>(rows));
}

// A 40-byte header keeps its masks in the 12 (or, with alpha, 16) bytes
// after it; the palette, if any, follows them.
image_error read_trailing_masks(byte_reader& in, header_fields& h)
{
    if (!h.with_masks || h.info_size != 40)
        return image_error::none;
    for (uint32_t i = 0; i < (h.compression == bi_alphabitfields ? 4u : 3u); ++i)
        if (!in.u32(h.masks[i]))
            return image_error::bad_format;
    return image_error::none;
}

// A mask must be one run of set bits inside the pixel.
bool make_channel(uint32_t mask, unsigned pixel_bits, sample_layout::mask& c)
{
    if (mask == 0 || (pixel_bits < 32 && mask >> pixel_bits != 0))
        return false;
    c.shift = static_cast<uint32_t>(std::countr_zero(mask));
    const uint32_t run = mask >> c.shift;
    c.bits = static_cast<uint32_t>(std::popcount(run));
    return (run & (run + 1)) == 0;
}

image_error parse_masks(header_fields& h, sample_layout& samples)
{
    // Without masks the defaults apply: 5-5-5 and 8-8-8, top bits unused.
    // Mask fields in a longer header mean nothing then.
    if (!h.with_masks) {
        const bool wide = h.bits == 32;
        h.masks[0] = wide ? 0xff0000 : 0x7c00, h.masks[1] = wide ? 0xff00 : 0x3e0, h.masks[2] = wide ? 0xff : 0x1f;
        h.masks[3] = 0;
    }
    const uint32_t r = h.masks[0], g = h.masks[1], b = h.masks[2], a = h.masks[3];
    samples.packing = sample_layout::kind::masked;
    samples.bits = h.bits;
    for (int i = 0; i < 3; ++i)
        if (!make_channel(h.masks[i], h.bits, samples.masks[i]))
            return image_error::bad_format;
    if ((r & g) != 0 || (r & b) != 0 || (g & b) != 0 || (a & (r | g | b)) != 0)
        return image_error::bad_format;
    // An alpha mask that is no channel is ignored, as alpha itself is
    // unless a background is given.
    if (a != 0 && !make_channel(a, h.bits, samples.masks[3]))
        samples.masks[3] = {};
    return image_error::none;
}

// Reads the palette: the entries the header asks for (all
// 2^bits when it gives 0), but no more than fit before the pixel data and no
// more than an index can reach.
image_error parse_palette(byte_reader in, const header_fields& h, sample_layout& samples)
{
    const uint32_t entry_size = h.os2_core ? 3 : 4;
    const uint64_t space = h.offset - in.pos;
    const uint64_t wanted = h.colours != 0 ? h.colours : uint64_t{1} << h.bits;
    samples.packing = sample_layout::kind::indices;
    // RLE rows are handed on as one index a byte.
    samples.bits = h.compression == bi_rle8 || h.compression == bi_rle4 ? 8 : h.bits;
    samples.palette_size = static_cast<uint32_t>(std::min({wanted, space / entry_size, uint64_t{max_palette}}));
    // With no entry at all, no pixel could be given a colour.
    if (samples.palette_size == 0)
        return image_error::bad_format;
    for (uint32_t i = 0; i < samples.palette_size; ++i) {
        uint8_t* e = &samples.palette[4 * i];
        // Stored blue, green, red; the fourth byte is no alpha.
        if (!in.u8(e[2]) || !in.u8(e[1]) || !in.u8(e[0]) || !in.skip(entry_size - 3))
            return image_error::bad_format;
        e[3] = 255;
    }
    return image_error::none;
}

// 24-bit pixels: blue, green, red.
sample_layout bgr_samples()
{
    sample_layout samples;
    samples.channels = 3;
    samples.red = 2, samples.green = 1, samples.blue = 0, samples.alpha = 3;
    return samples;
}

// The pixel data must be in the file: all rows for raw pixels (the last
// row's padding holds no pixel, so a file may end without it), and for RLE
// at least the shortest stream, one run or an end-of-bitmap code.
image_error check_data_size(uint64_t file_size, bmp_layout& layout)
{
    const uint64_t available = file_size - layout.offset;
    if (layout.coding != encoding::raw)
        return available < 2 ? image_error::truncated : image_error::none;
    const auto width = static_cast<uint64_t>(layout.width);
    layout.row_bytes = *row_bytes(width, layout.bits);
    layout.stride = (layout.row_bytes + 3) / 4 * 4;
    const auto data_size = checked_size(layout.stride, static_cast<uint64_t>(layout.height - 1), layout.row_bytes);
    return !data_size || *data_size > available ? image_error::truncated : image_error::none;
}

}  // namespace

image_error parse_header(const uint8_t* bytes, size_t count, uint64_t file_size, bmp_layout& layout)
{
    byte_reader in{bytes, count};
    header_fields h;
    if (const image_error why = read_file_header(in, h); why != image_error::none)
        return why;
    read_info_header(in, h);
    if (const image_error why = check_fields(h); why != image_error::none)
        return why;
    if (const image_error why = read_trailing_masks(in, h); why != image_error::none)
        return why;
    if (h.offset < in.pos || h.offset > file_size)
        return image_error::bad_format;

    layout.width = static_cast<int32_t>(h.width);
    layout.height = static_cast<int32_t>(h.height < 0 ? -h.height : h.height);
    layout.top_down = h.height < 0;
    layout.bits = h.bits;
    layout.coding = h.compression == bi_rle8   ? encoding::rle8
                    : h.compression == bi_rle4 ? encoding::rle4
                                               : encoding::raw;
    layout.offset = h.offset;
    layout.samples = bgr_samples();
    const image_error why = h.bits <= 8    ? parse_palette(in, h, layout.samples)
                            : h.bits != 24 ? parse_masks(h, layout.samples)
                                           : image_error::none;
    if (why != image_error::none)
        return why;
    return check_data_size(file_size, layout);
}
