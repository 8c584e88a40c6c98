// PNG decoding with libpng: the stream's rows as stored, no transformation,
// interlaced pictures pass by pass and put together by adam7_passes.
//
// libpng reports errors by longjmp (libpng_calls.h). Every call into it
// that can fail is made from a function of this file that holds no object
// with a destructor (begin, read_row, finish), and the callbacks it calls
// hold none either, so a jump skips nothing; what owns memory lives in
// libpng_rows, whose frames no jump leaves.
#include <memory>

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

class libpng_rows final : public png_library {
public:
    libpng_rows(png_stream& stream, const png_layout& layout) : layout_(layout) { s_.stream = &stream; }
    ~libpng_rows() override { png_destroy_read_struct(&s_.png, &s_.info, nullptr); }

    // The library's structures and the stream's first chunks; the samples
    // as libpng gives them, with no transformation.
    png_outcome start(sample_layout& samples) override
    {
        using namespace libpng_calls;
        s_.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &s_, on_error, on_warning, &s_.out_of_memory,
                                          on_malloc, on_free);
        if (s_.png)
            s_.info = png_create_info_struct(s_.png);
        if (!s_.info)
            return png_outcome::out_of_memory;
        png_set_read_fn(s_.png, &s_, on_read);
        if (!begin(s_))
            return failure(s_);
        const uint8_t colour = layout_.colour;
        samples.bits = layout_.depth;
        samples.channels = colour == png_rgb ? 3 : colour == png_rgba ? 4 : colour == png_grey_alpha ? 2 : 1;
        if (samples.channels >= 3)
            samples.green = 1, samples.blue = 2;
        samples.alpha = uint8_t(colour == png_grey_alpha ? 1 : colour == png_rgba ? 3 : samples.channels);
        if (colour == png_indexed)
            samples.packing = sample_layout::kind::indices;
        if (layout_.interlaced)
            passes_ = std::make_unique<adam7_passes>(layout_.width, layout_.height, samples.bits * samples.channels,
                                                     layout_.limits.memory);
        return png_outcome::decoded;
    }

    png_outcome next_row(uint8_t* row) override
    {
        if (!passes_)
            return read_row(s_, row) ? png_outcome::decoded : failure(s_);
        // Without interlace handling, libpng gives each pass as a picture
        // of its own, and leaves out the empty ones, as adam7_passes does.
        // libpng may write a whole row's bytes for a row of a pass.
        if (next_ == 0) {
            const size_t whole = png_get_rowbytes(s_.png, s_.info);
            for (const adam7_passes::pass& p : passes_->passes()) {
                for (uint32_t r = 0; r < p.rows; ++r) {
                    if (layout_.limits.stopped())
                        return png_outcome::stopped;
                    uint8_t* into = passes_->next_pass_row(whole);
                    if (!into)
                        return png_outcome::out_of_memory;
                    if (!read_row(s_, into))
                        return failure(s_);
                }
            }
        }
        passes_->row(next_++, row);
        return png_outcome::decoded;
    }

    png_outcome finish() override { return ::finish(s_) ? png_outcome::decoded : failure(s_); }

    image_error stream_error() const override { return s_.stream_error; }

private:
    session s_;
    const png_layout layout_;
    std::unique_ptr<adam7_passes> passes_;  // an interlaced picture's
    uint32_t next_ = 0;                     // its rows handed on
};

}  // namespace

std::unique_ptr<png_library> make_png_library(png_stream& stream, const png_layout& layout)
{
    return std::make_unique<libpng_rows>(stream, layout);
}
