// bmp: reads one Windows bitmap file into packed luma/chroma words.
//
// What it accepts
//   - Signature "BM" and a 14-byte file header, then one of the info headers:
//     the OS/2 1.x core header (12 bytes: 16-bit dimensions, 3-byte palette
//     entries), the OS/2 2.x header (16 or 64 bytes), or the Windows
//     BITMAPINFOHEADER and its later versions (40, 52, 56, 108, 124 bytes).
//   - Palette images of 1, 2, 4 and 8 bits per pixel. The palette holds the
//     entries the header gives (2^bits when it gives 0), but never more than
//     fit between the headers and the pixel data, and at most 256. A pixel
//     whose index has no entry fails the file; so does an empty palette.
//   - RLE8 and RLE4 with every escape (end of line, end of bitmap, delta,
//     absolute runs). Pixels the stream leaves unset take palette entry 0.
//     Pixels of a run that fall past the right edge are dropped (writers
//     encode each row's padding); a delta that leaves the picture, a run
//     above the top row or a top-down RLE file fails it. A stream may end
//     without its end-of-bitmap code once the top row is complete.
//   - 16 and 32 bits per pixel: 5-5-5 and 8-8-8 by default, or the masks of
//     BI_BITFIELDS / BI_ALPHABITFIELDS, taken from after a 40-byte header or
//     from the longer headers. Red, green and blue masks must be non-zero,
//     contiguous and disjoint (from alpha too). An n-bit channel becomes
//     v * 255 / (2^n - 1) rounded to nearest; alpha is ignored.
//   - 24 bits per pixel, BI_RGB.
//   - Uncompressed rows padded to a multiple of 4 bytes, stored bottom row
//     first (positive height) or top row first (negative height), at the
//     offset the file header gives. The last row's padding may be missing:
//     it carries no pixel.
//   - Not decoded ("unsupported"): embedded JPEG or PNG, OS/2 Huffman 1D and
//     RLE24, CMYK, 64 bits per pixel.
//
// Limits
//   - Width from 1 to 65535 and height from 1 to 65535 in magnitude: the
//     generated declarations are unsigned short.
//   - At most 2^31 - 1 pixels: the array size is printed as a signed 32-bit
//     count.
//   - Only regular files are read, so a device or a pipe can neither hang the
//     reader nor feed it endless data. The check is made on the file opened.
//
// How it fails
//   load_bmp never prints and never ends the process. It returns nullptr and
//   sets one bmp_error that says why; the caller reports it. Every size is
//   computed in 64 bits and checked against the file's length before the
//   pixel buffer is allocated, and an RLE stream is walked and checked whole
//   first, so a file that fails costs no more memory than a small multiple
//   of its length. A valid RLE stream may end the picture early with its
//   end-of-bitmap code, so a file of a few bytes can still claim a picture
//   of up to 2^31 - 1 pixels, whose buffer (4 bytes a pixel) it then gets.
//   A file that fails yields no record at all, with one exception: a big
//   picture that is still being converted when load_bmp returns (see
//   wait_for_rows) can only fail if the system fails to read it or the file
//   shrinks, and that comes later, from wait_for_rows and decoding_error.
//
// The record
//   pixels holds width x height words, image row t (counted from the top)
//   at index t * width, each row mirrored: index t * width + m is the pixel
//   in column width - 1 - m. This is the reverse of the reading order of a
//   bottom-up file, which is how the header writer walks it.
//
// The packed word is Y << 24 | Cb << 16 | Y << 8 | Cr, from the full-range
// JFIF equations with binary64 coefficients, computed exactly and truncated
// toward zero (see ycbcr.h).
#ifndef VANTREL_BMP_H
#define VANTREL_BMP_H

#include <cstddef>
#include <cstdint>

struct bmp_decoding;

struct bmp_image {
    int32_t width;
    int32_t height;
    uint32_t* pixels;
    // Set while a big picture's rows are still being converted; see
    // wait_for_rows.
    bmp_decoding* decoding = nullptr;
};

enum class bmp_error {
    none,
    cant_open,      // missing, unreadable, or not a regular file
    read_failed,    // the system reported an error while reading
    bad_format,     // not a bitmap, or headers or pixel data that break the format
    unsupported,    // a valid bitmap in a layout this reader does not decode
    truncated,      // the pixel data ends before the headers say it does
    too_large,      // dimensions beyond the limits above
    out_of_memory,  // the pixel buffer could not be allocated
};

// Loads the bitmap at path. On success returns a record the caller releases
// with free_bmp and leaves error as bmp_error::none; on failure returns
// nullptr with error set.
bmp_image* load_bmp(const char* path, bmp_error& error);

// A big picture (a million pixels or more) of 16, 24 or 32 bits per pixel,
// uncompressed, has nothing left to fail on once its headers are checked and
// its length is known, but for the system failing to read it. load_bmp
// returns it at that point and converts its rows on a thread of its own, top
// row first, so that writing can start at once. wait_for_rows blocks until
// the top rows (counted from 1) are in pixels; false means the reading
// failed, and decoding_error then says why. A record without decoding is
// complete when load_bmp returns.
bool wait_for_rows(const bmp_image& image, int32_t rows);
bmp_error decoding_error(const bmp_image& image);

// Releases the record; a conversion still running is stopped first.
void free_bmp(bmp_image* image);

// Memory for a big buffer that is filled front to back, such as the pixels
// or the writer's text: on Linux from 1 MiB up it is aligned to and marked
// for transparent huge pages, which saves most of the page faults of its
// first touch. Release it with std::free.
void* allocate_buffer(size_t bytes);

// The packed luma/chroma word of one 8-bit-per-channel colour, computed
// exactly (see ycbcr.h).
uint32_t pack_ycbcr(uint8_t r, uint8_t g, uint8_t b);

#endif
