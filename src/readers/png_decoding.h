// The PNG reader's inside: what checking the chunks learns about a file,
// the stream of its critical chunks that a library decodes, and the
// library that decodes it a row at a time.
#ifndef VANTREL_PNG_DECODING_H
#define VANTREL_PNG_DECODING_H

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "image_reader.h"

// What every PNG file begins with (5.2).
constexpr uint8_t png_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

enum : uint8_t { png_grey = 0, png_rgb = 2, png_indexed = 3, png_grey_alpha = 4, png_rgba = 6 };

// Everything decoding needs, checked against the file.
struct png_layout {
    uint32_t width = 0, height = 0;  // within the limits
    uint8_t depth = 0, colour = 0;   // a valid pair
    bool interlaced = false;
    // The palette (indexed pictures: 1 to 2^depth entries), and what tRNS
    // gives: an alpha per palette entry (entries past them are opaque), or
    // the one grey or RGB value that is transparent.
    uint32_t palette_size = 0;
    std::array<uint8_t, 3 * 256> palette{};
    uint32_t alphas = 0;
    std::array<uint8_t, 256> alpha{};
    bool keyed = false;
    std::array<uint16_t, 3> key{};
    // The IDAT chunks, whole (length, type, data, CRC), which follow one
    // another in the file: [idat_begin, idat_end).
    uint64_t idat_begin = 0, idat_end = 0;
    bool cut_short = false;  // the file ends before IEND
    read_limits limits;      // the caller's, for an interlaced picture's passes
};

// Checks the signature and every chunk up to IEND (image_reader.h says
// what), reading the file after its first bytes, head. The image data is
// not read here: the IDAT chunks' CRCs are checked by png_stream, as the
// library reads them.
image_error parse_png(byte_source& source, std::vector<uint8_t> head, png_layout& layout);

// The file as the library sees it: the signature, IHDR, PLTE for an indexed
// picture, the IDAT chunks and IEND; nothing else. The IDAT chunks are
// served as the file holds them, each one's CRC checked by the time its
// last byte is served: the image data is read once, by the thread that
// decodes it.
class png_stream {
public:
    png_stream(byte_source& source, const png_layout& layout);

    uint64_t size() const { return head_.size() + (idat_end_ - idat_begin_) + tail_.size(); }

    // Copies the count bytes at position into dest: truncated past the end,
    // bad_format at the end of an IDAT chunk whose CRC is wrong.
    image_error read(uint64_t position, size_t count, uint8_t* dest);

    // Checks the CRCs of the IDAT chunks the library has not read: once the
    // last row is decoded, a decoder may stop reading where the zlib stream
    // ends, before the chunks that follow it.
    image_error finish();

private:
    // Takes the IDAT bytes from checked_ on through the CRC check; false
    // for a wrong CRC.
    bool check(const uint8_t* bytes, size_t count);
    // Checks the IDAT bytes from checked_ up to at (counted from the first
    // IDAT chunk).
    image_error check_up_to(uint64_t at);
    // Copies count IDAT bytes from at (counted from the first IDAT chunk),
    // through buffer_: libraries ask for a chunk's length, type, data and
    // CRC one at a time, and a file of many small chunks would otherwise
    // cost a system call for each.
    image_error read_idat(uint64_t at, size_t count, uint8_t* dest);

    byte_source& source_;
    std::vector<uint8_t> head_, tail_;
    uint64_t idat_begin_, idat_end_;
    std::vector<uint8_t> buffer_;
    uint64_t buffer_at_ = 0;  // where buffer_'s bytes start, counted as at is
    size_t buffered_ = 0;
    // How far the IDAT bytes are checked, and where that is in its chunk:
    // the bytes of its length, type and CRC, what is left of its data, and
    // the CRC of its type and data so far.
    uint64_t checked_ = 0;
    uint8_t fields_[12] = {};
    uint32_t field_bytes_ = 0, data_left_ = 0, crc_ = 0;
};

// What the library made of the stream.
enum class png_outcome {
    decoded,
    broken,         // zlib, filter or image data faults
    stream_failed,  // reading the stream failed: stream_error says how
    out_of_memory,  // the system's memory or the limit's
    stopped,        // given up: the limit's stop was set
};

// libpng decoding a png_stream a row at a time.
class png_library {
public:
    virtual ~png_library() = default;

    // Starts decoding: the stream's first chunks read, and samples set to
    // how the rows are laid out (the palette and key are the caller's, from
    // the layout).
    virtual png_outcome start(sample_layout& samples) = 0;

    // The next row of the picture, top row first and whole, laid out as the
    // samples start set say. An interlaced picture's rows are
    // whole only once its last pass is: the first call decodes them all.
    virtual png_outcome next_row(uint8_t* row) = 0;

    // After the last row: the rest of the image data, whose zlib stream
    // must end well.
    virtual png_outcome finish() = 0;

    // How reading the stream failed, after stream_failed.
    virtual image_error stream_error() const = 0;
};

// The platform's library for the stream, which must outlive it. Throws
// std::bad_alloc.
std::unique_ptr<png_library> make_png_library(png_stream& stream, const png_layout& layout);

// An interlaced picture's passes, kept in order as they come, in memory
// taken as they arrive, and its rows put together from them (Adam7, 8.2).
class adam7_passes {
public:
    // The passes' bytes are taken from budget, if given.
    adam7_passes(uint32_t width, uint32_t height, uint32_t pixel_bits, memory_budget* budget = nullptr);
    ~adam7_passes();
    adam7_passes(const adam7_passes&) = delete;
    adam7_passes& operator=(const adam7_passes&) = delete;

    // The passes that have pixels, in order: columns, rows and where
    // they start in the picture, and how far apart.
    struct pass {
        uint32_t columns, rows, x0, y0, dx, dy;
        size_t row_bytes;
        uint64_t offset;  // of its first row among the passes' bytes
    };
    const std::vector<pass>& passes() const { return passes_; }

    // Room for the next row of the passes, in order, with room bytes
    // writable from it (at least the row's); null when memory runs out or
    // the budget does.
    uint8_t* next_pass_row(size_t room);

    // Row y of the picture, row_bytes of the whole width, from every pass
    // that has pixels in it; all of them must be in.
    void row(uint32_t y, uint8_t* out) const;

private:
    uint32_t width_, pixel_bits_;
    std::vector<pass> passes_;
    uint8_t* data_ = nullptr;
    uint64_t used_ = 0, capacity_ = 0, total_ = 0;
    memory_budget* budget_;
};

#endif
