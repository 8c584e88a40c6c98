// PNG decoding with libpng: the stream's rows as stored, no transformation,
// interlaced pictures pass by pass.
//
// libpng reports errors by longjmp (libpng_calls.h). Every call into it
// that can fail is made from a function of this file that holds no object
// with a destructor (begin, read_row, finish), and the callbacks it calls
// hold none either, so a jump skips nothing; what owns memory lives in
// png_decode, which no jump leaves.
#include <vector>

#include "libpng_calls.h"
#include "png_decoding.h"

namespace {

// All that the calls and callbacks share: plain data.
struct session {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_stream* stream = nullptr;
    uint64_t position = 0;
    image_error stream_error = image_error::none;
    bool out_of_memory = false;
};

void on_read(png_structp png, png_bytep data, size_t count)
{
    auto* s = static_cast<session*>(png_get_io_ptr(png));
    const image_error why = s->stream->read(s->position, count, data);
    if (why != image_error::none) {
        s->stream_error = why;
        png_error(png, nullptr);
    }
    s->position += count;
}

bool begin(session& s)
{
    if (setjmp(png_jmpbuf(s.png)))
        return false;
    // Every CRC was checked before: libpng need not compute them again.
    png_set_crc_action(s.png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_read_info(s.png, s.info);
    return true;
}

bool read_row(session& s, png_bytep row)
{
    if (setjmp(png_jmpbuf(s.png)))
        return false;
    png_read_row(s.png, row, nullptr);
    return true;
}

// The rest of the image data, whose zlib stream must end well.
bool finish(session& s)
{
    if (setjmp(png_jmpbuf(s.png)))
        return false;
    png_read_end(s.png, nullptr);
    return true;
}

png_outcome failure(const session& s)
{
    return s.stream_error != image_error::none ? png_outcome::stream_failed
           : s.out_of_memory                    ? png_outcome::out_of_memory
                                                : png_outcome::broken;
}

}  // namespace

png_outcome png_decode(png_stream& stream, const png_layout& layout, sample_format& format, const png_row_fn& row,
                       image_error& stream_error)
{
    session s;
    s.stream = &stream;
    using namespace libpng_calls;
    s.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &s, on_error, on_warning, &s.out_of_memory, on_malloc,
                                     on_free);
    if (s.png)
        s.info = png_create_info_struct(s.png);
    const struct release {
        session& s;
        ~release() { png_destroy_read_struct(&s.png, &s.info, nullptr); }
    } on_exit{s};
    if (!s.info)
        return png_outcome::out_of_memory;
    png_set_read_fn(s.png, &s, on_read);

    const png_outcome outcome = [&] {
        if (!begin(s))
            return failure(s);
        const unsigned channels = layout.colour == png_rgb ? 3 : layout.colour == png_rgba ? 4
                                  : layout.colour == png_grey_alpha ? 2 : 1;
        format = sample_format{.bits = layout.depth, .channels = channels, .indexed = layout.colour == png_indexed};
        if (channels >= 3)
            format.green = 1, format.blue = 2;
        format.alpha = uint8_t(layout.colour == png_grey_alpha ? 1 : layout.colour == png_rgba ? 3 : channels);

        std::vector<uint8_t> samples(png_get_rowbytes(s.png, s.info));
        // Without interlace handling, libpng gives each Adam7 pass as a
        // picture of its own, and leaves out the empty ones.
        for (int pass = 0; pass < (layout.interlaced ? 7 : 1); ++pass) {
            const uint32_t columns = layout.interlaced ? PNG_PASS_COLS(layout.width, pass) : layout.width;
            const uint32_t rows = layout.interlaced ? PNG_PASS_ROWS(layout.height, pass) : layout.height;
            if (columns == 0 || rows == 0)
                continue;
            const uint32_t x0 = layout.interlaced ? PNG_PASS_START_COL(pass) : 0;
            const uint32_t dx = layout.interlaced ? uint32_t{1} << PNG_PASS_COL_SHIFT(pass) : 1;
            const uint32_t y0 = layout.interlaced ? PNG_PASS_START_ROW(pass) : 0;
            const uint32_t dy = layout.interlaced ? uint32_t{1} << PNG_PASS_ROW_SHIFT(pass) : 1;
            for (uint32_t r = 0; r < rows; ++r) {
                if (!read_row(s, samples.data()))
                    return failure(s);
                if (!row({y0 + r * dy, x0, dx, columns, samples.data()}))
                    return png_outcome::decoded;
            }
        }
        return finish(s) ? png_outcome::decoded : failure(s);
    }();
    stream_error = s.stream_error;
    return outcome;
}
