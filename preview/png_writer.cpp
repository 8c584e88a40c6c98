#include "png_writer.h"

#include <zlib.h>

#include <new>

#include "libpng_calls.h"

// libpng reports errors by longjmp (libpng_calls.h). Every call into it is
// made from a function of this file that holds no object with a
// destructor, so that the jump skips nothing.

png_writer::png_writer()
{
    using namespace libpng_calls;
    png_ = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning, &out_of_memory_,
                                     on_malloc, on_free);
    if (png_ != nullptr)
        info_ = png_create_info_struct(png_);
    if (info_ == nullptr) {
        png_destroy_write_struct(&png_, nullptr);
        throw std::bad_alloc();
    }
}

png_writer::~png_writer()
{
    png_destroy_write_struct(&png_, &info_);
}

// The result of a call that may have jumped back: memory running out is
// thrown here, outside libpng.
bool png_writer::check(bool done) const
{
    if (out_of_memory_)
        throw std::bad_alloc();
    return done;
}

bool png_writer::start(FILE* out, uint32_t width, uint32_t height)
{
    if (setjmp(png_jmpbuf(png_)))
        return check(false);
    png_init_io(png_, out);
    // The picture is for looking at, so it is written for speed: no
    // filtering and no compression. Even run lengths alone made a big
    // picture take more than twice as long, for files half the size at best.
    png_set_filter(png_, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png_, Z_NO_COMPRESSION);
    png_set_compression_buffer_size(png_, 1 << 20);
    png_set_IHDR(png_, info_, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
                 PNG_FILTER_TYPE_BASE);
    png_write_info(png_, info_);
    return check(true);
}

bool png_writer::write_row(const uint8_t* rgb)
{
    if (setjmp(png_jmpbuf(png_)))
        return check(false);
    png_write_row(png_, rgb);
    return check(true);
}

bool png_writer::finish()
{
    if (setjmp(png_jmpbuf(png_)))
        return check(false);
    png_write_end(png_, nullptr);
    return check(true);
}
