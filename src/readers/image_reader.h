// image_reader: reads BMP and PNG pictures into packed luma/chroma words.
//
// Which reader
//   By content, never by name: a file that begins with the 8-byte PNG
//   signature is read as PNG; every other file is read as BMP, and so fails
//   as a bitmap if it is not one.
//
// What the BMP reader accepts
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
//     Pixels of a run that fall past the right edge are dropped, however
//     many (writers encode each row's padding so); a delta that leaves the
//     picture, a run above the top row or a top-down RLE file fails it. A
//     stream may end without its end-of-bitmap code once the top row is
//     complete.
//   - 16 and 32 bits per pixel: 5-5-5 and 8-8-8 by default, or the masks of
//     BI_BITFIELDS / BI_ALPHABITFIELDS, taken from after a 40-byte header or
//     from the longer headers. Red, green and blue masks must be non-zero,
//     contiguous and disjoint (from alpha too). An n-bit channel becomes
//     v * 255 / (2^n - 1) rounded to nearest; alpha, where masks give it,
//     is used as read_options below says.
//   - 24 bits per pixel, BI_RGB.
//   - Uncompressed rows padded to a multiple of 4 bytes, stored bottom row
//     first (positive height) or top row first (negative height), at the
//     offset the file header gives. The last row's padding may be missing:
//     it carries no pixel.
//   - Not decoded ("unsupported"): embedded JPEG or PNG, OS/2 Huffman 1D and
//     RLE24, CMYK, 64 bits per pixel.
//
// What the PNG reader accepts
//   - Every colour type and bit depth of the PNG standard: grey of 1, 2, 4,
//     8 and 16 bits, RGB of 8 and 16, palette of 1, 2, 4 and 8, grey with
//     alpha and RGBA of 8 and 16; interlaced (Adam7) or not; any number of
//     IDAT chunks. The pixels are the samples as stored: grey g gives
//     R = G = B = g, a grey of n < 8 bits v * 255 / (2^n - 1), a 16-bit
//     sample v * 255 / 65535 rounded to nearest, a palette index its entry.
//   - Alpha and tRNS are used as read_options below says; gAMA, cHRM,
//     sRGB, iCCP, sBIT and every other ancillary chunk are ignored: no
//     colour management. An animated PNG gives its default image.
//   - The file is checked by this reader before a PNG library decodes
//     anything: the signature, every chunk's length and type and the CRC of
//     every chunk it reads (an ancillary chunk with a bad CRC is dropped, as
//     the standard allows), the IHDR values, the chunk order (IHDR before
//     any other chunk, one PLTE before the IDAT chunks, which follow one
//     another), a PLTE where the colour type needs one, unknown critical
//     chunks. The library is then handed only IHDR, PLTE, the IDAT chunks
//     and IEND, so that every platform's decoder sees the same few chunks
//     and nothing else in the file costs memory; the image data is read
//     once, 64 KiB at a time whatever its chunks' sizes, as the library
//     reads it, and every IDAT chunk's CRC is checked by this reader before
//     the picture counts as decoded, those after the last row's data too.
//     The library inflates and unfilters; the samples it returns are
//     converted by this reader's own code, the same everywhere.
//   - A file that ends before IEND is read as far as it goes: if its image
//     data is complete the picture is too.
//
// Limits
//   - Width from 1 to 65535 and height from 1 to 65535: the generated
//     declarations are unsigned short.
//   - At most 2^31 - 1 pixels: the array size is printed as a signed 32-bit
//     count.
//
// How it fails
//   The readers never print and never end the process: every failure comes
//   back as one image_error, memory running out included. Every size is
//   computed with checked arithmetic (checked_size.h) and compared with the
//   source's length before the pixels are allocated; a BMP RLE stream is
//   walked and checked whole first, and a PNG's chunks are, so that a file
//   that fails costs no more memory than a small multiple of its length. A
//   valid file may still claim a big picture from few bytes (an RLE stream
//   that ends at once, a PNG whose image data compresses well), and then
//   costs its pixels, 4 bytes each.
//   Decoding a PNG can still fail after its chunks are checked (a broken
//   zlib stream, image data that ends too soon, a palette index without an
//   entry); decoding a BMP only by a bad palette index, an RLE stream that
//   changed since it was checked, or the system failing to read it.
//
// The record
//   pixels holds width x height words, image row t (counted from the top)
//   at index t * width, each row mirrored: index t * width + m is the pixel
//   in column width - 1 - m. This is the reverse of the reading order of a
//   bottom-up bitmap, which is how the header writer walks it.
//
// The packed word is Y << 24 | Cb << 16 | Y << 8 | Cr, from the full-range
// JFIF equations with binary64 coefficients, computed exactly and truncated
// toward zero (see ycbcr.h).
#ifndef VANTREL_IMAGE_READER_H
#define VANTREL_IMAGE_READER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "byte_source.h"

// One picture, as every reader gives it; named for the format Vantrel read
// first.
struct bmp_image {
    int32_t width;
    int32_t height;
    uint32_t* pixels;  // allocate_buffer (big_buffer.h)
};

enum class image_format { bmp, png };

enum class image_error {
    none,
    cant_open,      // missing, unreadable, or not a regular file
    read_failed,    // the system reported an error while reading
    bad_format,     // not a picture of its format, or one that breaks it
    unsupported,    // a valid bitmap in a layout this reader does not decode
    truncated,      // the data ends before the picture does
    too_large,      // dimensions beyond the limits above
    out_of_memory,  // the pixels, or anything else, could not be allocated
};

// What alpha becomes: ignored, the stored colour kept, unless a background
// is given; then each pixel with alpha is composited over it, each channel
// round(a * c + (1 - a) * b) with a = alpha / its maximum, in integers.
struct read_options {
    bool composite = false;
    uint8_t background[3] = {};  // red, green, blue
};

// Told after each step of decoding how many rows, from the top, are
// complete in the pixels; returns false when the rest is no longer wanted.
using rows_done_fn = std::function<bool(uint32_t rows)>;

// A picture whose headers were read and checked: its size is known, and
// decoding trusts what the checks found.
class image_decoder {
public:
    image_decoder(image_format format, int32_t width, int32_t height)
        : format_(format), width_(width), height_(height)
    {
    }
    virtual ~image_decoder() = default;
    image_decoder(const image_decoder&) = delete;
    image_decoder& operator=(const image_decoder&) = delete;

    image_format format() const { return format_; }
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }

    // Whether the picture is worth handing on while it is decoded, as rows
    // become complete. Its failures (see How it fails) then come after the
    // first rows are in use, so this is true only where decoding is the
    // slow part: big pictures whose decoding can only fail by the system
    // failing to read them, and PNG.
    virtual bool streams() const = 0;

    // Decodes into pixels (width x height words, laid out as the record
    // says), the top rows first, telling rows_done as they complete.
    // Called once, and not with decode_samples.
    virtual image_error decode(uint32_t* pixels, const rows_done_fn& rows_done) = 0;

    // A decoder whose library is the slow part can leave converting its
    // samples to words to another thread, which then needs no pixels for
    // the whole picture: decode_samples hands over the samples of each row,
    // top row first, at most sample_row_bytes() each, and convert_row turns
    // one into the width words of its row, laid out (mirrored) as the
    // record's rows are; false for a palette index without an entry.
    // sample_row_bytes() is 0 for a decoder that converts as it decodes.
    virtual size_t sample_row_bytes() const { return 0; }
    using take_samples_fn = std::function<bool(const uint8_t* samples, size_t size)>;
    virtual image_error decode_samples(const take_samples_fn&) { return image_error::none; }
    virtual bool convert_row(const uint8_t*, uint32_t*) { return false; }

private:
    image_format format_;
    int32_t width_, height_;
};

// Reads and checks the headers of the picture that source holds, which must
// outlive the decoder. On failure returns null with error set; format says
// which reader took the file either way.
std::unique_ptr<image_decoder> open_image(byte_source& source, const read_options& options, image_format& format,
                                          image_error& error);

// The two readers that open_image chooses between, given the source and
// its first bytes, all of a small file, read with one call.
std::unique_ptr<image_decoder> open_bmp(byte_source& source, std::vector<uint8_t> head, const read_options& options,
                                        image_error& error);
std::unique_ptr<image_decoder> open_png(byte_source& source, std::vector<uint8_t> head, const read_options& options,
                                        image_error& error);

// A whole picture at once: open_image, its pixels, decode. Null with error
// set on failure; release the record with free_bmp.
bmp_image* load_image(byte_source& source, const read_options& options, image_format& format, image_error& error);

// The pixel buffer of a picture the decoder describes, or null when memory
// runs out. Release it with free_bmp.
bmp_image* allocate_image(const image_decoder& decoder);

// Releases the record and its pixels.
void free_bmp(bmp_image* image);

// The packed luma/chroma word of one 8-bit-per-channel colour, computed
// exactly (see ycbcr.h).
uint32_t pack_ycbcr(uint8_t r, uint8_t g, uint8_t b);

#endif
