// What the GIF readers share: giflib reading from a byte source a block at
// a time, and what its failures mean.
#ifndef VANTREL_GIF_SOURCE_H
#define VANTREL_GIF_SOURCE_H

#include <cstdint>
#include <memory>
#include <vector>

#include <gif_lib.h>

#include "image_reader.h"

// What giflib's reads come from: the source, a block at a time.
struct gif_input {
    byte_source* source = nullptr;
    uint64_t position = 0;
    std::vector<uint8_t> block;
    size_t at = 0, end = 0;
    image_error error = image_error::none;  // of the source, which giflib cannot report
};

struct gif_closer {
    void operator()(GifFileType* gif) const
    {
        int ignored = 0;
        DGifCloseFile(gif, &ignored);
    }
};
using gif_ptr = std::unique_ptr<GifFileType, gif_closer>;

// Opens the GIF that source holds and reads its screen descriptor; null
// with error set on failure.
gif_ptr open_gif_file(byte_source& source, gif_input& in, image_error& error);

// What a giflib error code means, the source's own error first.
image_error gif_failure(const gif_input& in, int code);

// Reads an extension's blocks; the graphic control extension's transparent
// index (or -1), delay (in hundredths of a second) and disposal method are
// set from it. False with giflib's error set on failure.
struct gif_control {
    int transparent = -1;
    int delay = 0;
    int disposal = 0;
};
bool read_gif_extension(GifFileType* gif, gif_control& control);

// The frame's descriptor read and checked: a palette to draw with, a
// positive size and a place on or off the screen. A screen of no size
// takes the first frame's. False with giflib's error set on failure.
bool read_gif_frame(GifFileType* gif);

// Every frame, composited (read_limits::all_frames).
std::unique_ptr<image_reader> open_gif_frames(byte_source& source, image_error& error, const read_limits& limits);

#endif
