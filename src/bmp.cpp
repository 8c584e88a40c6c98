#include "bmp.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Colour conversion
//
// The JFIF equations are specified with binary64 coefficients and exact
// arithmetic, truncated toward zero. Plain double arithmetic rounds the
// products and sums and gets Y wrong for thousands of colours (most greys,
// whose exact luma lies just below an integer), and long double is only
// exact where it happens to be the x87 80-bit format. So the conversion is
// done in integers: every coefficient is an integer multiple of 2^-56
// (the smallest ones, 0.114 and 0.08131, have their last significand bit at
// 2^-56), so scaled by 2^56 each is an exact integer and each component an
// exact integer sum. For channels 0..255 every component lies in [0, 255.5],
// its scaled sum in [0, 2^64): unsigned 64-bit arithmetic, which wraps, ends
// on the exact value even when a negative term passes below zero on the way,
// and shifting right by 56 truncates it.

constexpr double scale = 0x1p56;

constexpr uint64_t fixed(double coefficient)
{
    return static_cast<uint64_t>(static_cast<int64_t>(coefficient * scale));
}

constexpr bool exact_in_fixed(double coefficient)
{
    return static_cast<double>(static_cast<int64_t>(coefficient * scale)) == coefficient * scale;
}

static_assert(exact_in_fixed(0.299) && exact_in_fixed(0.587) && exact_in_fixed(0.114));
static_assert(exact_in_fixed(-0.16874) && exact_in_fixed(-0.33126) && exact_in_fixed(0.5));
static_assert(exact_in_fixed(-0.41869) && exact_in_fixed(-0.08131));

constexpr uint64_t chroma_offset = uint64_t{128} << 56;

struct channel_terms {
    std::array<uint64_t, 256> y, cb, cr;
};

// One table per channel holding its three scaled products; the chroma offset
// rides on blue's entries so that a pixel costs nine loads and three adds.
constexpr channel_terms make_terms(double y, double cb, double cr, uint64_t offset)
{
    channel_terms t{};
    for (size_t v = 0; v < 256; ++v) {
        t.y[v] = fixed(y) * v;
        t.cb[v] = fixed(cb) * v + offset;
        t.cr[v] = fixed(cr) * v + offset;
    }
    return t;
}

constexpr channel_terms red_terms = make_terms(0.299, -0.16874, 0.5, 0);
constexpr channel_terms green_terms = make_terms(0.587, -0.33126, -0.41869, 0);
constexpr channel_terms blue_terms = make_terms(0.114, 0.5, -0.08131, chroma_offset);

inline uint32_t pack(uint8_t r, uint8_t g, uint8_t b)
{
    const auto y = static_cast<uint32_t>((red_terms.y[r] + green_terms.y[g] + blue_terms.y[b]) >> 56);
    const auto cb = static_cast<uint32_t>((red_terms.cb[r] + green_terms.cb[g] + blue_terms.cb[b]) >> 56);
    const auto cr = static_cast<uint32_t>((red_terms.cr[r] + green_terms.cr[g] + blue_terms.cr[b]) >> 56);
    return y << 24 | cb << 16 | y << 8 | cr;
}

// ---------------------------------------------------------------------------
// Header parsing

constexpr uint32_t file_header_size = 14;
constexpr uint32_t largest_info_header = 124;  // BITMAPV5HEADER

// The generated declarations are unsigned short.
constexpr int64_t max_dimension = 65535;
// The array size is printed as a signed 32-bit count.
constexpr uint64_t max_pixels = INT32_MAX;

// Reads little-endian fields from the bytes at hand and refuses to read past
// them, so no field is ever made up from bytes the file does not have.
struct byte_reader {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;

    bool skip(size_t n)
    {
        if (size - pos < n)
            return false;
        pos += n;
        return true;
    }

    bool u8(uint8_t& v)
    {
        if (pos >= size)
            return false;
        v = data[pos++];
        return true;
    }

    bool u16(uint16_t& v)
    {
        if (size - pos < 2)
            return false;
        v = static_cast<uint16_t>(data[pos] | data[pos + 1] << 8);
        pos += 2;
        return true;
    }

    bool u32(uint32_t& v)
    {
        if (size - pos < 4)
            return false;
        v = static_cast<uint32_t>(data[pos]) | static_cast<uint32_t>(data[pos + 1]) << 8 |
            static_cast<uint32_t>(data[pos + 2]) << 16 | static_cast<uint32_t>(data[pos + 3]) << 24;
        pos += 4;
        return true;
    }

    bool i32(int32_t& v)
    {
        uint32_t u;
        if (!u32(u))
            return false;
        v = static_cast<int32_t>(u);
        return true;
    }
};

// Everything decoding needs, fully validated against the file's length.
struct bmp_layout {
    int32_t width;      // 1..65535
    int32_t height;     // 1..65535, whichever way the rows are stored
    bool top_down;      // rows stored top row first (negative height field)
    uint64_t offset;    // where the pixel data starts
    uint64_t stride;    // bytes from one row to the next
    uint64_t row_bytes; // bytes of pixels in a row, without its padding
};

bool known_info_header(uint32_t size)
{
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

// The OS/2 headers: real bitmaps, but not ones this reader decodes.
bool os2_info_header(uint32_t size)
{
    return size == 12 || size == 16 || size == 64;
}

bmp_error parse_header(const uint8_t* bytes, size_t count, uint64_t file_size, bmp_layout& layout)
{
    byte_reader in{bytes, count};
    uint8_t b = 0, m = 0;
    if (!in.u8(b) || !in.u8(m) || b != 'B' || m != 'M')
        return bmp_error::bad_format;

    // The file-size field (bytes 2..5) is skipped: writers often get it wrong,
    // and the file's real length is what bounds the data anyway.
    uint32_t offset = 0, info_size = 0;
    if (!in.skip(8) || !in.u32(offset) || !in.u32(info_size))
        return bmp_error::bad_format;
    if (os2_info_header(info_size))
        return bmp_error::unsupported;
    if (!known_info_header(info_size) || count < file_header_size + info_size)
        return bmp_error::bad_format;

    // Only the fields of the 40-byte part matter here. The image-size field
    // is often 0 for BI_RGB; the densities and palette counts describe
    // nothing in a 24-bit picture.
    int32_t width = 0, height = 0;
    uint16_t planes = 0, bits = 0;
    uint32_t compression = 0;
    if (!in.i32(width) || !in.i32(height) || !in.u16(planes) || !in.u16(bits) || !in.u32(compression))
        return bmp_error::bad_format;

    if (width <= 0 || height == 0)
        return bmp_error::bad_format;
    if (planes != 1 || bits != 24 || compression != 0)
        return bmp_error::unsupported;
    // Magnitude in 64 bits: negating INT32_MIN in 32 bits is undefined.
    const int64_t rows = height < 0 ? -static_cast<int64_t>(height) : height;
    if (width > max_dimension || rows > max_dimension)
        return bmp_error::too_large;
    if (static_cast<uint64_t>(width) * static_cast<uint64_t>(rows) > max_pixels)
        return bmp_error::too_large;

    if (offset < file_header_size + info_size || offset > file_size)
        return bmp_error::bad_format;

    layout.width = width;
    layout.height = static_cast<int32_t>(rows);
    layout.top_down = height < 0;
    layout.offset = offset;
    layout.row_bytes = 3 * static_cast<uint64_t>(width);
    layout.stride = (layout.row_bytes + 3) & ~uint64_t{3};
    // The last row's padding holds no pixel, so a file that ends without it
    // still has the whole picture.
    const uint64_t data_size = layout.stride * static_cast<uint64_t>(rows - 1) + layout.row_bytes;
    if (data_size > file_size - offset)
        return bmp_error::truncated;
    return bmp_error::none;
}

// ---------------------------------------------------------------------------
// Decoding

using file_ptr = std::unique_ptr<FILE, int (*)(FILE*)>;

// fseek takes a long, which is 32 bits on Windows, while a pixel offset may
// be anything up to 4 GiB.
bool seek_to(FILE* f, uint64_t position)
{
    if (std::fseek(f, 0, SEEK_SET) != 0)
        return false;
    while (position > 0) {
        const uint64_t step = position < LONG_MAX ? position : LONG_MAX;
        if (std::fseek(f, static_cast<long>(step), SEEK_CUR) != 0)
            return false;
        position -= step;
    }
    return true;
}

void convert_row(const uint8_t* bgr, int32_t width, uint32_t* mirrored_row)
{
    uint32_t* dest = mirrored_row + width;
    for (int32_t x = 0; x < width; ++x, bgr += 3)
        *--dest = pack(bgr[2], bgr[1], bgr[0]);
}

// Reads the rows in blocks of about a megabyte and converts them straight
// into the record's order.
bmp_error decode_pixels(FILE* f, const bmp_layout& layout, uint32_t* pixels)
{
    if (!seek_to(f, layout.offset))
        return bmp_error::read_failed;

    const uint64_t block_target = uint64_t{1} << 20;
    const uint64_t rows_per_block = layout.stride >= block_target ? 1 : block_target / layout.stride;
    std::vector<uint8_t> block(static_cast<size_t>(rows_per_block * layout.stride));

    const auto width = static_cast<size_t>(layout.width);
    const auto height = static_cast<uint64_t>(layout.height);
    for (uint64_t row = 0; row < height;) {
        const uint64_t rows = std::min(rows_per_block, height - row);
        // The final row may lack its padding.
        const uint64_t bytes = (rows - 1) * layout.stride + layout.row_bytes;
        if (std::fread(block.data(), 1, static_cast<size_t>(bytes), f) != bytes)
            return std::ferror(f) ? bmp_error::read_failed : bmp_error::truncated;
        for (uint64_t i = 0; i < rows; ++i, ++row) {
            const uint64_t image_row = layout.top_down ? row : height - 1 - row;
            convert_row(block.data() + i * layout.stride, layout.width, pixels + image_row * width);
        }
    }
    return bmp_error::none;
}

bmp_image* fail(bmp_error& error, bmp_error why)
{
    error = why;
    return nullptr;
}

}  // namespace

uint32_t pack_ycbcr(uint8_t r, uint8_t g, uint8_t b)
{
    return pack(r, g, b);
}

bmp_image* load_bmp(const char* path, bmp_error& error)
{
    error = bmp_error::none;

    // Only regular files: a FIFO would block the open, a device could feed
    // the reader forever, and neither has a length to check sizes against.
    std::error_code ec;
    const std::filesystem::path fs_path(path);
    if (!std::filesystem::is_regular_file(fs_path, ec))
        return fail(error, bmp_error::cant_open);
    const uint64_t file_size = std::filesystem::file_size(fs_path, ec);
    if (ec)
        return fail(error, bmp_error::cant_open);
    file_ptr f(std::fopen(path, "rb"), &std::fclose);
    if (!f)
        return fail(error, bmp_error::cant_open);

    std::array<uint8_t, file_header_size + largest_info_header> head{};
    const size_t got = std::fread(head.data(), 1, head.size(), f.get());
    if (std::ferror(f.get()))
        return fail(error, bmp_error::read_failed);

    bmp_layout layout{};
    if (const bmp_error why = parse_header(head.data(), got, file_size, layout); why != bmp_error::none)
        return fail(error, why);

    const uint64_t count = static_cast<uint64_t>(layout.width) * static_cast<uint64_t>(layout.height);
    if (count > SIZE_MAX / sizeof(uint32_t))
        return fail(error, bmp_error::out_of_memory);
    auto* image = new (std::nothrow) bmp_image{layout.width, layout.height, nullptr};
    if (image)
        image->pixels = static_cast<uint32_t*>(std::malloc(static_cast<size_t>(count) * sizeof(uint32_t)));
    if (!image || !image->pixels) {
        free_bmp(image);
        return fail(error, bmp_error::out_of_memory);
    }

    if (const bmp_error why = decode_pixels(f.get(), layout, image->pixels); why != bmp_error::none) {
        free_bmp(image);
        return fail(error, why);
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
