// JPEG decoding with libjpeg-turbo: baseline, progressive and arithmetic-
// coded files, restart markers, every chroma subsampling; the accurate
// integer inverse DCT and fancy (triangular) chroma upsampling, which give
// the same samples with and without the library's SIMD code, on every
// platform. Grey comes out as grey, YCbCr and RGB (Adobe transform 0) as
// RGB, CMYK and YCCK as CMYK, turned into RGB here, and an EXIF
// orientation is applied, so that the picture comes out upright as viewers
// show it.
//
// libjpeg reports errors by longjmp. Every call into it that can fail is
// made from a function of this file that holds no object with a destructor
// (begin, read_row, end), and the callbacks it calls hold none either, so
// a jump skips nothing; what owns memory lives in jpeg_rows, whose frames
// no jump leaves.
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it, and jerror.h the
// library's configuration from it.
#include <jpeglib.h>
// clang-format off
#include <jerror.h>
// clang-format on

#include "jpeg_exif.h"
#include "reader_limits.h"

namespace {

// How much of the file one read takes.
constexpr size_t jpeg_block_bytes = size_t{64} << 10;

// All that the calls and callbacks share: plain data.
struct session {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    jpeg_source_mgr input{};
    std::jmp_buf jump{};
    byte_source* source = nullptr;
    uint64_t position = 0;  // of the next byte to read into the buffer
    uint8_t* buffer = nullptr;
    image_error stream_error = image_error::none;
    bool cut_short = false;       // the file ended before the image data did
    bool corrupt = false;         // the entropy-coded data is broken
    bool out_of_memory = false;
    bool created = false;
};

// What libjpeg ends the image with where the file gives out: the decoder
// then fills the rest of the picture, and cut_short says it was made up.
const JOCTET end_of_image[2] = {0xff, JPEG_EOI};

session& of(j_common_ptr info)
{
    return *static_cast<session*>(info->client_data);
}

void on_error(j_common_ptr info)
{
    session& s = of(info);
    s.out_of_memory = s.out_of_memory || info->err->msg_code == JERR_OUT_OF_MEMORY ||
                      info->err->msg_code == JERR_NO_BACKING_STORE;
    std::longjmp(s.jump, 1);
}

// Warnings that say the image data is broken fail the file: the library
// would go on with grey blocks. The rest (junk between markers, unknown
// JFIF versions or Adobe transforms, a bad ICC marker) concern nothing that
// is converted.
void on_message(j_common_ptr info, int level)
{
    if (level >= 0)
        return;  // trace messages
    switch (info->err->msg_code) {
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_MUST_RESYNC:
    case JWRN_JPEG_EOF:
        of(info).corrupt = true;
        break;
    default:
        break;
    }
}

void on_output(j_common_ptr) {}

void on_init(j_decompress_ptr) {}

boolean on_fill(j_decompress_ptr info)
{
    session& s = of(reinterpret_cast<j_common_ptr>(info));
    const uint64_t left = s.source->size() - std::min(s.position, s.source->size());
    if (left == 0) {
        s.cut_short = true;
        s.input.next_input_byte = end_of_image;
        s.input.bytes_in_buffer = sizeof end_of_image;
        return TRUE;
    }
    const auto n = static_cast<size_t>(std::min<uint64_t>(left, jpeg_block_bytes));
    if (const image_error why = s.source->read(s.position, n, s.buffer); why != image_error::none) {
        s.stream_error = why;
        std::longjmp(s.jump, 1);
    }
    s.position += n;
    s.input.next_input_byte = s.buffer;
    s.input.bytes_in_buffer = n;
    return TRUE;
}

void on_skip(j_decompress_ptr info, long count)
{
    session& s = of(reinterpret_cast<j_common_ptr>(info));
    if (count <= 0)
        return;
    const auto n = static_cast<uint64_t>(count);
    if (n <= s.input.bytes_in_buffer) {
        s.input.next_input_byte += n;
        s.input.bytes_in_buffer -= static_cast<size_t>(n);
        return;
    }
    s.position += n - s.input.bytes_in_buffer;
    s.input.bytes_in_buffer = 0;
}

void on_term(j_decompress_ptr) {}

// The headers, up to the start of decoding, with the output colour space
// chosen from the file's.
bool begin(session& s, uint64_t memory_limit)
{
    if (setjmp(s.jump))
        return false;
    s.info.client_data = &s;  // kept by the creation, and needed by its errors
    jpeg_create_decompress(&s.info);
    s.created = true;
    // Coefficients a progressive file keeps beyond this fail it, rather than
    // go to a backing store this library does not have.
    s.info.mem->max_memory_to_use = static_cast<long>(std::min<uint64_t>(memory_limit, LONG_MAX));
    s.info.src = &s.input;
    jpeg_save_markers(&s.info, JPEG_APP0 + 1, 0xffff);
    if (jpeg_read_header(&s.info, TRUE) != JPEG_HEADER_OK)
        return false;
    return true;
}

bool start(session& s, bool source_ycbcr)
{
    if (setjmp(s.jump))
        return false;
    s.info.dct_method = JDCT_ISLOW;
    s.info.do_fancy_upsampling = TRUE;
    switch (s.info.jpeg_color_space) {
    case JCS_GRAYSCALE:
        s.info.out_color_space = JCS_GRAYSCALE;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        s.info.out_color_space = JCS_CMYK;
        break;
    case JCS_YCbCr:
        s.info.out_color_space = source_ycbcr ? JCS_YCbCr : JCS_RGB;
        break;
    default:
        s.info.out_color_space = JCS_RGB;
        break;
    }
    jpeg_start_decompress(&s.info);
    return true;
}

bool read_row(session& s, JSAMPROW row)
{
    if (setjmp(s.jump))
        return false;
    return jpeg_read_scanlines(&s.info, &row, 1) == 1;
}

bool end(session& s)
{
    if (setjmp(s.jump))
        return false;
    jpeg_finish_decompress(&s.info);
    return true;
}

// The EXIF orientation of the first APP1 marker that has one (jpeg_exif.h).
uint32_t orientation_of(const jpeg_decompress_struct& info)
{
    for (jpeg_saved_marker_ptr m = info.marker_list; m; m = m->next)
        if (m->marker == JPEG_APP0 + 1 && m->data_length >= 14 && std::memcmp(m->data, "Exif\0\0", 6) == 0)
            return ::exif_orientation(m->data + 6, m->data_length - 6);
    return 1;
}

class jpeg_rows final : public image_reader {
public:
    jpeg_rows(std::unique_ptr<session> s, std::vector<uint8_t> buffer, uint32_t orientation, const sample_layout& out,
              const read_limits& limits)
        : image_reader(image_format::jpeg, int32_t(orientation >= 5 ? s->info.output_height : s->info.output_width),
                       int32_t(orientation >= 5 ? s->info.output_width : s->info.output_height), out),
          s_(std::move(s)), buffer_(std::move(buffer)), orientation_(orientation), limits_(limits)
    {
        scanline_.resize(size_t{s_->info.output_width} * size_t(s_->info.output_components));
    }

    ~jpeg_rows() override
    {
        if (limits_.memory)
            limits_.memory->give(taken_);
        if (s_->created)
            jpeg_destroy_decompress(&s_->info);
    }

    image_error next_row(uint8_t* row) override
    {
        if (orientation_ <= 2) {
            if (const image_error why = decoded_row(row); why != image_error::none)
                return why;
            if (orientation_ == 2)
                mirror(row);
            return image_error::none;
        }
        // Turned or flipped: the rows come from every stored row, so the
        // picture is decoded whole first.
        if (picture_.empty())
            if (const image_error why = decode_whole(); why != image_error::none)
                return why;
        oriented_row(next_++, row);
        return image_error::none;
    }

    // A progressive file's coefficients, or a turned picture.
    bool holds_picture() const override { return s_->info.progressive_mode || orientation_ >= 3; }

    image_error finish() override
    {
        if (!end(*s_))
            return failure();
        return s_->corrupt || s_->cut_short ? failure() : image_error::none;
    }

private:
    image_error failure() const
    {
        if (s_->stream_error != image_error::none)
            return s_->stream_error;
        if (s_->out_of_memory)
            return image_error::out_of_memory;
        return s_->cut_short ? image_error::truncated : image_error::bad_format;
    }

    // The next stored row, its samples as the layout says.
    image_error decoded_row(uint8_t* row)
    {
        const bool cmyk = s_->info.out_color_space == JCS_CMYK;
        if (!read_row(*s_, cmyk ? scanline_.data() : row) || s_->corrupt || s_->cut_short)
            return failure();
        if (cmyk)
            cmyk_to_rgb(row);
        return image_error::none;
    }

    // R = (255 - C)(255 - K) / 255, rounded, with C and K the ink amounts;
    // Photoshop (whose files carry an Adobe marker) stores them inverted, so
    // that the stored values are 255 - C and 255 - K.
    void cmyk_to_rgb(uint8_t* row) const
    {
        const bool inverted = s_->info.saw_Adobe_marker;
        const uint8_t* in = scanline_.data();
        for (uint32_t x = 0; x < s_->info.output_width; ++x, in += 4, row += 3) {
            const uint32_t k = inverted ? in[3] : 255u - in[3];
            for (int c = 0; c < 3; ++c) {
                const uint32_t v = inverted ? in[c] : 255u - in[c];
                row[c] = static_cast<uint8_t>((2 * v * k + 255) / 510);
            }
        }
    }

    void mirror(uint8_t* row) const
    {
        const size_t channels = samples().channels, width = size_t(this->width());
        for (size_t a = 0, b = width - 1; a < b; ++a, --b)
            for (size_t c = 0; c < channels; ++c)
                std::swap(row[a * channels + c], row[b * channels + c]);
    }

    image_error decode_whole()
    {
        const size_t stored_row = size_t{samples().channels} * s_->info.output_width;
        const uint64_t bytes = uint64_t{stored_row} * s_->info.output_height;
        if (limits_.memory && !limits_.memory->take(bytes))
            return image_error::out_of_memory;
        taken_ = limits_.memory ? bytes : 0;
        picture_.resize(static_cast<size_t>(bytes));
        for (uint32_t y = 0; y < s_->info.output_height; ++y)
            if (limits_.stopped())
                return image_error::read_failed;
            else if (const image_error why = decoded_row(picture_.data() + y * stored_row); why != image_error::none)
                return why;
        return image_error::none;
    }

    // Row y of the upright picture, from the stored one.
    void oriented_row(uint32_t y, uint8_t* row) const
    {
        const size_t channels = samples().channels;
        const size_t w = s_->info.output_width, h = s_->info.output_height;
        for (size_t x = 0; x < size_t(width()); ++x) {
            size_t sx = x, sy = y;
            switch (orientation_) {
            case 3: sx = w - 1 - x, sy = h - 1 - y; break;
            case 4: sy = h - 1 - y; break;
            case 5: sx = y, sy = x; break;
            case 6: sx = y, sy = h - 1 - x; break;
            case 7: sx = w - 1 - y, sy = h - 1 - x; break;
            case 8: sx = w - 1 - y, sy = x; break;
            default: break;
            }
            std::memcpy(row + x * channels, picture_.data() + (sy * w + sx) * channels, channels);
        }
    }

    std::unique_ptr<session> s_;
    std::vector<uint8_t> buffer_;    // the file's bytes, a block at a time
    std::vector<uint8_t> scanline_;  // a CMYK row
    std::vector<uint8_t> picture_;   // a turned picture, whole
    uint32_t orientation_, next_ = 0;
    read_limits limits_;
    uint64_t taken_ = 0;  // of the budget, for the turned picture
};

}  // namespace

std::unique_ptr<image_reader> open_jpeg(byte_source& source, std::vector<uint8_t> head, image_error& error,
                                        const read_limits& limits)
{
    // What a progressive file's coefficients may take: what is left of the
    // run's budget when it starts.
    const uint64_t memory_limit = limits.memory ? limits.memory->left() : uint64_t{LONG_MAX};
    (void)head;  // read again through the library's source, a block at a time
    auto s = std::make_unique<session>();
    std::vector<uint8_t> buffer(jpeg_block_bytes);
    s->source = &source;
    s->buffer = buffer.data();
    s->info.err = jpeg_std_error(&s->errors);
    s->errors.error_exit = on_error;
    s->errors.emit_message = on_message;
    s->errors.output_message = on_output;
    s->input.init_source = on_init;
    s->input.fill_input_buffer = on_fill;
    s->input.skip_input_data = on_skip;
    s->input.resync_to_restart = jpeg_resync_to_restart;
    s->input.term_source = on_term;
    const auto fail = [&](session& failed) {
        error = failed.stream_error != image_error::none ? failed.stream_error
                : failed.out_of_memory                   ? image_error::out_of_memory
                : failed.cut_short                       ? image_error::truncated
                                                         : image_error::bad_format;
        if (failed.created)
            jpeg_destroy_decompress(&failed.info);
        return nullptr;
    };
    if (!begin(*s, memory_limit))
        return fail(*s);
    if (s->info.image_width == 0 || s->info.image_height == 0)
        return fail(*s);
    if (const image_error why = check_size(s->info.image_width, s->info.image_height); why != image_error::none) {
        jpeg_destroy_decompress(&s->info);
        error = why;
        return nullptr;
    }
    const uint32_t orientation = orientation_of(s->info);
    if (!start(*s, limits.source_ycbcr) || s->corrupt || s->cut_short)
        return fail(*s);
    sample_layout out;
    if (s->info.out_color_space != JCS_GRAYSCALE)
        out.channels = 3, out.green = 1, out.blue = 2, out.alpha = 3;
    out.ycbcr = s->info.out_color_space == JCS_YCbCr;
    return std::make_unique<jpeg_rows>(std::move(s), std::move(buffer), orientation, out, limits);
}
