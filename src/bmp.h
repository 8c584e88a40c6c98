// bmp: reads one Windows bitmap file into packed luma/chroma words.
//
// What it accepts
//   - Signature "BM", a 14-byte file header and an info header of 40, 52, 56,
//     108 or 124 bytes (BITMAPINFOHEADER up to BITMAPV5HEADER). Only the
//     fields of the 40-byte part are consulted; the later versions add masks,
//     colour spaces and profiles that mean nothing for uncompressed 24-bit
//     data.
//   - One plane, 24 bits per pixel, BI_RGB (no compression).
//   - Pixel data at the offset the file header gives (bytes 10 to 13), rows
//     of 3 x width bytes padded to a multiple of 4, stored bottom row first
//     (positive height) or top row first (negative height). The last row's
//     padding may be missing: it carries no pixel.
//
// Limits
//   - Width from 1 to 65535 and height from 1 to 65535 in magnitude: the
//     generated declarations are unsigned short.
//   - At most 2^31 - 1 pixels: the array size is printed as a signed 32-bit
//     count.
//   - Only regular files are read, so a device or a pipe can neither hang the
//     reader nor feed it endless data.
//
// How it fails
//   load_bmp never prints and never ends the process. It returns nullptr and
//   sets one bmp_error that says why; the caller reports it. Every size is
//   computed in 64 bits and checked against the file's length before the
//   pixel buffer is allocated, so a short file that claims a huge image costs
//   nothing. A file that fails yields no record at all.
//
// The record
//   pixels holds width x height words, image row t (counted from the top)
//   at index t * width, each row mirrored: index t * width + m is the pixel
//   in column width - 1 - m. This is the reverse of the reading order of a
//   bottom-up file, which is how the header writer walks it.
//
// The packed word is Y << 24 | Cb << 16 | Y << 8 | Cr, from the full-range
// JFIF equations with binary64 coefficients, computed exactly and truncated
// toward zero (see pack_ycbcr).
#ifndef VANTREL_BMP_H
#define VANTREL_BMP_H

#include <cstdint>

struct bmp_image {
    int32_t width;
    int32_t height;
    uint32_t* pixels;
};

enum class bmp_error {
    none,
    cant_open,      // missing, unreadable, or not a regular file
    read_failed,    // the system reported an error while reading
    bad_format,     // not a bitmap, or headers that contradict themselves
    unsupported,    // a valid bitmap in a layout this reader does not decode
    truncated,      // the pixel data ends before the headers say it does
    too_large,      // dimensions beyond the limits above
    out_of_memory,  // the pixel buffer could not be allocated
};

// Loads the bitmap at path. On success returns a record the caller releases
// with free_bmp and leaves error as bmp_error::none; on failure returns
// nullptr with error set.
bmp_image* load_bmp(const char* path, bmp_error& error);

void free_bmp(bmp_image* image);

// The packed luma/chroma word of one 8-bit-per-channel colour.
uint32_t pack_ycbcr(uint8_t r, uint8_t g, uint8_t b);

#endif
