// png_writer: an RGB picture into a PNG stream, row by row, top row first.
#ifndef VANTREL_PREVIEW_PNG_WRITER_H
#define VANTREL_PREVIEW_PNG_WRITER_H

#include <cstdint>
#include <cstdio>

class png_writer {
public:
    // Throws std::bad_alloc when libpng cannot get memory, here or in the
    // calls below; they return false when the stream could not be written.
    png_writer();
    ~png_writer();
    png_writer(const png_writer&) = delete;
    png_writer& operator=(const png_writer&) = delete;

    bool start(FILE* out, uint32_t width, uint32_t height);
    // Three bytes per pixel: red, green, blue.
    bool write_row(const uint8_t* rgb);
    bool finish();

private:
    struct state;  // the library's own
    state* state_;
};

#endif
