// The preview's PNG files written by libpng.
#include "png_writer.h"

#include <zlib.h>

#include <new>

#include "libpng_calls.h"

// libpng reports errors by longjmp (libpng_calls.h). Every call into it is
// made from a function of this file that holds no object with a
// destructor, so that the jump skips nothing.

struct png_writer::state {
    png_structp png = nullptr;
    png_infop info = nullptr;
    bool out_of_memory = false;
};

namespace {

// The result of a call that may have jumped back: memory running out is
// thrown here, outside libpng.
bool check(const bool& out_of_memory, bool done)
{
    if (out_of_memory)
        throw std::bad_alloc();
    return done;
}

}  // namespace

png_writer::png_writer() : state_(new state)
{
    using namespace libpng_calls;
    state_->png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning,
                                            &state_->out_of_memory, on_malloc, on_free);
    if (state_->png != nullptr)
        state_->info = png_create_info_struct(state_->png);
    if (state_->info == nullptr) {
        png_destroy_write_struct(&state_->png, nullptr);
        delete state_;
        throw std::bad_alloc();
    }
}

png_writer::~png_writer()
{
    png_destroy_write_struct(&state_->png, &state_->info);
    delete state_;
}

bool png_writer::start(FILE* out, uint32_t width, uint32_t height)
{
    state& s = *state_;
    if (setjmp(png_jmpbuf(s.png)))
        return check(s.out_of_memory, false);
    png_init_io(s.png, out);
    // The picture is for looking at, so it is written for speed: no
    // filtering and no compression. Even run lengths alone made a big
    // picture take more than twice as long, for files half the size at best.
    png_set_filter(s.png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(s.png, Z_NO_COMPRESSION);
    png_set_compression_buffer_size(s.png, 1 << 20);
    png_set_IHDR(s.png, s.info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
                 PNG_FILTER_TYPE_BASE);
    png_write_info(s.png, s.info);
    return check(s.out_of_memory, true);
}

bool png_writer::write_row(const uint8_t* rgb)
{
    state& s = *state_;
    if (setjmp(png_jmpbuf(s.png)))
        return check(s.out_of_memory, false);
    png_write_row(s.png, rgb);
    return check(s.out_of_memory, true);
}

bool png_writer::finish()
{
    state& s = *state_;
    if (setjmp(png_jmpbuf(s.png)))
        return check(s.out_of_memory, false);
    png_write_end(s.png, nullptr);
    return check(s.out_of_memory, true);
}
