// image_reader: reads BMP, PNG, JPEG, GIF, WebP, QOI and TGA pictures a
// row at a time, top row first, as samples; row_converter (row_converter.h)
// turns each row into packed luma/chroma words.
//
// Which reader
//   By content: PNG, JPEG, GIF, WebP, QOI and BMP by their signatures. TGA
//   has none: a file is TGA if it ends with the TGA 2.0 footer, or if its
//   name (a hint that open_image is given) ends in ".tga" in any case and
//   its header's values make sense for TGA. A file of a format recognised
//   but not read (TIFF, ICO, CUR, PSD, HEIF, AVIF, JPEG XL, PDF, SVG, XML),
//   or of one whose library the build lacks, fails as unsupported_format
//   with format naming it; the signatures
//   of ICO, CUR and the bare JPEG XL codestream are short enough to begin
//   a TGA file, so they are asked only once TGA is ruled out. Every other
//   file is read as BMP, and so fails as a bitmap if it is not one.
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
//     the picture counts as decoded (finish), those after the last row's
//     data too. The library inflates and unfilters; the samples it returns
//     are turned into words by row_converter, the same everywhere.
//   - A file that ends before IEND is read as far as it goes: if its image
//     data is complete the picture is too.
//
// What the QOI reader accepts
//   - RGB and RGBA (channels 3 and 4), either colour space, read as the
//     samples are stored; every op. The stream is decoded once, in order,
//     into the caller's row through a buffer of bounded size: the 64-entry
//     table, the last pixel and a pending run carry across rows. finish()
//     checks the 8-byte end marker. A bad header or a wrong end marker is
//     bad_format; data ending before the last pixel, or inside the marker,
//     truncated.
//
// What the TGA reader accepts
//   - Types 1, 2, 3 and their run-length forms 9, 10, 11. Colour-mapped:
//     8-bit indices into a map of 15-, 16-, 24- or 32-bit entries (32 with
//     alpha); index v is the map's entry v - first, and an index outside
//     the map fails in the converter. True colour of 15, 16 (5-5-5, the top
//     bit alpha only with one attribute bit), 24 and 32 bits (BGRA); grey
//     of 8 bits, and of 16 as grey with alpha.
//   - Every origin: bottom-left, top-left, and the right-hand ones, whose
//     rows are mirrored. The ID field and an unused map are skipped; a 2.0
//     file's extension area and footer are ignored.
//   - Run-length packets may cross row ends. The packets are walked whole
//     at open, each row's first packet and offset into it recorded (16
//     bytes a row), and rows decoded from there on demand; a packet past
//     the last pixel is bad_format, a stream that ends early truncated.
//   - Not decoded ("unsupported"): Huffman types 32 and 33, 16-bit
//     indices, interleaved rows.
//
// What the JPEG, GIF and WebP readers accept (libjpeg-turbo, giflib, libwebp)
//   - JPEG: baseline, progressive, arithmetic, with restart markers, grey,
//     every chroma subsampling, RGB, CMYK and YCCK (Adobe's inverted inks
//     too), decoded with the accurate integer transform and fancy
//     upsampling; CMYK becomes RGB as round((255 - C)(255 - K) / 255), and
//     the EXIF orientation is applied (jpeg_reader.cpp). What the library
//     refuses (12-bit and lossless JPEG among it) is bad_format.
//   - GIF: 87a and 89a, global and local palettes, interlaced frames,
//     transparency; the first frame on a transparent logical screen, or
//     with read_limits::all_frames every frame, composited with its
//     disposal method as browsers show them (gif_animation.cpp).
//   - WebP: lossy, lossless, with alpha; an animation's first frame, or
//     every frame, as libwebp's animation decoder composites them.
//   - An animation's frames come one after another (frames(), delays()).
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
//   source's length before anything is allocated for it (a QOI file must
//   have an op byte for every 62 pixels); a BMP or TGA RLE stream is walked
//   and checked whole when the file is opened, and a PNG's chunks are, so
//   that a file that fails there costs no more memory than a small
//   multiple of its length.
//   Reading rows can still fail after that: a PNG by a broken zlib stream,
//   image data that ends too soon or a bad CRC, a QOI stream by ending too
//   soon or a wrong end marker, a bitmap or TGA file only by the system
//   failing to read it or a file that changed since it was opened; and the
//   converter fails a palette index without an entry.
//
// Memory
//   Rows are read one at a time into the caller's buffer, top row first,
//   whatever order the file stores them in: a bottom-up bitmap by reads at
//   each row's place, an RLE bitmap from where its first walk found each
//   row to start, a run-length TGA likewise. A reader holds a fixed few
//   buffers, and an RLE reader 32 bytes for each row its codes move to
//   besides (a TGA one 16 a row). Only an interlaced PNG holds its picture: its rows
//   are complete only once the last pass is, so its samples are kept as
//   the passes come, in memory taken as they arrive, up to the limit the
//   caller sets (read_limits).
//
// The packed word is Y << 24 | Cb << 16 | Y << 8 | Cr, from the full-range
// JFIF equations with binary64 coefficients, computed exactly and truncated
// toward zero (see ycbcr.h).
#ifndef VANTREL_IMAGE_READER_H
#define VANTREL_IMAGE_READER_H

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "byte_source.h"

// The formats read, then those recognised but not read (yet): a file of
// one of these fails as unsupported_format rather than as a broken bitmap.
enum class image_format { bmp, png, qoi, tga, jpeg, gif, webp, tiff, ico, cur, psd, heif, avif, jxl, pdf, svg, xml };

// "BMP", "PNG", "QOI", "TGA", "JPEG", "GIF", "WebP", ...: the name messages
// give a format.
const char* format_name(image_format format);

enum class image_error {
    none,
    cant_open,      // missing, unreadable, or not a regular file
    read_failed,    // the system reported an error while reading
    bad_format,     // not a picture of its format, or one that breaks it
    unsupported,    // a valid picture in a layout its reader does not decode
    unsupported_format,  // a file of a format no reader here takes
    truncated,      // the data ends before the picture does
    too_large,      // dimensions beyond the limits above
    out_of_memory,  // a buffer, or anything else, could not be allocated
};

// How the samples of a row are laid out, and what they mean: all the
// converter needs to know of a picture's format.
struct sample_layout {
    enum class kind : uint8_t {
        // Palette indices of bits 1, 2, 4 or 8, the leftmost pixel in the
        // high bits of a byte.
        indices,
        // channels samples a pixel, of bits 1, 2, 4, 8 or 16 (two bytes, in
        // the byte order little_endian says); red, green, blue and alpha
        // say which is which, alpha == channels for none. Grey is one
        // sample that is all three.
        samples,
        // Pixels of bits 16 or 32, little-endian, their channels where the
        // masks say.
        masked,
    };
    struct mask {
        uint32_t bits = 0;  // 0: no such channel
        uint32_t shift = 0;
    };

    kind packing = kind::samples;
    // Samples: three that are already Y, Cb and Cr, packed as they are.
    bool ycbcr = false;
    uint32_t bits = 8;
    uint32_t channels = 1;
    uint8_t red = 0, green = 0, blue = 0, alpha = 1;
    bool little_endian = false;
    mask masks[4] = {};  // red, green, blue, alpha
    // Indices: red, green, blue and alpha of each entry.
    uint32_t palette_size = 0;
    std::array<uint8_t, 4 * 256> palette{};
    // Samples: the one colour that is transparent (PNG's tRNS), compared
    // with the samples as stored.
    bool keyed = false;
    std::array<uint16_t, 3> key{};

    // Bytes of samples in a row of width pixels.
    size_t row_bytes(uint32_t width) const
    {
        const uint64_t per_pixel = packing == kind::samples ? uint64_t{bits} * channels : bits;
        return static_cast<size_t>((width * per_pixel + 7) / 8);
    }
};

// A picture whose headers were read and checked: its size and the layout
// of its samples are known, and its rows are read one at a time.
class image_reader {
public:
    image_reader(image_format format, int32_t width, int32_t height, const sample_layout& samples)
        : format_(format), width_(width), height_(height), samples_(samples)
    {
    }
    virtual ~image_reader() = default;
    image_reader(const image_reader&) = delete;
    image_reader& operator=(const image_reader&) = delete;

    image_format format() const { return format_; }
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    const sample_layout& samples() const { return samples_; }
    size_t row_bytes() const { return samples_.row_bytes(static_cast<uint32_t>(width_)); }

    // Reads the next row, the top row first, into row: row_bytes() bytes
    // laid out as samples() says. Called at most height() times; after a
    // failure, not again.
    virtual image_error next_row(uint8_t* row) = 0;

    // Once every row is read, the checks of what follows the last one (a
    // PNG's trailing CRCs and zlib check value, an RLE stream's end): a
    // picture is whole only when this passes too.
    virtual image_error finish() = 0;

    // Whether reading holds the whole picture (an interlaced PNG's passes),
    // memory that grows with it, rather than a few rows.
    virtual bool holds_picture() const { return false; }

    // With every frame asked for (read_limits::all_frames), an animation's
    // frames, each as its format composites it on the ones before: its
    // rows come after the previous frame's, so that next_row is called
    // height() times for each. A still picture is one frame. Each frame's
    // delay is in milliseconds, 0 for a still picture.
    uint32_t frames() const { return static_cast<uint32_t>(delays_.size()); }
    const std::vector<uint32_t>& delays() const { return delays_; }

protected:
    void set_delays(std::vector<uint32_t> delays) { delays_ = std::move(delays); }

private:
    image_format format_;
    int32_t width_, height_;
    sample_layout samples_;
    std::vector<uint32_t> delays_{0};
};

// The bytes that the readers of a run may hold for their pictures, which
// only an interlaced PNG needs (its passes): taken as its data arrives, and
// out_of_memory past them, before the system runs out and the run is
// killed halfway. Shared by the threads that read.
class memory_budget {
public:
    explicit memory_budget(uint64_t bytes) : left_(bytes) {}

    // False, and nothing taken, when fewer are left.
    bool take(uint64_t bytes)
    {
        uint64_t left = left_.load();
        while (left >= bytes)
            if (left_.compare_exchange_weak(left, left - bytes))
                return true;
        return false;
    }
    void give(uint64_t bytes) { left_ += bytes; }
    uint64_t left() const { return left_.load(); }

private:
    std::atomic<uint64_t> left_;
};

// What a reader may spend on a picture, and when it is to give up.
struct read_limits {
    memory_budget* memory = nullptr;  // none: what the system gives
    // Once set, nobody wants the rows any more: the reader gives up between
    // two rows, or two rows of a pass, with read_failed, rather than
    // decoding a picture that will be thrown away.
    const std::atomic<bool>* stop = nullptr;

    bool stopped() const { return stop != nullptr && stop->load(std::memory_order_relaxed); }

    // A YCbCr JPEG's own luma and chroma (after upsampling), packed as they
    // are, rather than its pixels converted to RGB and back (--source-ycbcr).
    bool source_ycbcr = false;

    // Every frame of an animation rather than the first (--frames).
    bool all_frames = false;
};

// Reads and checks the headers of the picture that source holds, which must
// outlive the reader. On failure returns null with error set; format says
// which reader took the file either way, or which format it was found to
// be when none takes it. name, the file's name, is only a hint, for a TGA
// file without the footer that would say what it is; null takes the name
// the source was opened by, if any.
std::unique_ptr<image_reader> open_image(byte_source& source, image_format& format, image_error& error,
                                         const read_limits& limits = {}, const char* name = nullptr);

// The readers that open_image chooses between, given the source and its
// first bytes, all of a small file, read with one call.
std::unique_ptr<image_reader> open_bmp(byte_source& source, std::vector<uint8_t> head, image_error& error);
std::unique_ptr<image_reader> open_png(byte_source& source, std::vector<uint8_t> head, image_error& error,
                                       const read_limits& limits = {});
std::unique_ptr<image_reader> open_qoi(byte_source& source, std::vector<uint8_t> head, image_error& error);
std::unique_ptr<image_reader> open_tga(byte_source& source, std::vector<uint8_t> head, image_error& error);
// GIF, whose interlaced frame takes memory from the limits' budget.
std::unique_ptr<image_reader> open_gif(byte_source& source, std::vector<uint8_t> head, image_error& error,
                                       const read_limits& limits = {});
// WebP, whose file and decoded picture are taken from the limits' budget.
std::unique_ptr<image_reader> open_webp(byte_source& source, std::vector<uint8_t> head, image_error& error,
                                        const read_limits& limits = {});
// JPEG, whose progressive coefficients and turned pictures take memory
// from the limits' budget.
std::unique_ptr<image_reader> open_jpeg(byte_source& source, std::vector<uint8_t> head, image_error& error,
                                        const read_limits& limits = {});

#endif
