// The PNG reader's inside: what checking the chunks learns about a file,
// the stream of its critical chunks that a library decodes, and the rows of
// samples the library gives back.
#ifndef VANTREL_PNG_DECODING_H
#define VANTREL_PNG_DECODING_H

#include <array>
#include <cstdint>
#include <functional>
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

// How the library lays out the samples of a row.
struct sample_format {
    unsigned bits = 8;      // per sample: 1, 2, 4, 8 or 16
    unsigned channels = 1;  // samples per pixel
    bool indexed = false;
    // Which sample of a pixel is red, green, blue and alpha (alpha ==
    // channels: none). Grey is one sample that is all three.
    uint8_t red = 0, green = 0, blue = 0, alpha = 1;
    bool little_endian = false;  // 16-bit samples
};

// One row of samples: count pixels of image row y, in columns x0, x0 + dx,
// ... (an interlaced pass's row, or a whole row), packed as format says.
struct png_row {
    uint32_t y, x0, dx, count;
    const uint8_t* samples;
};

using png_row_fn = std::function<bool(const png_row& row)>;

// What the library made of the stream.
enum class png_outcome {
    decoded,
    broken,         // zlib, filter or image data faults
    stream_failed,  // reading the stream failed: stream_error says how
    out_of_memory,
};

// Decodes the stream with the platform's library (libpng, or WIC on
// Windows), handing every row to row as it is decoded, in the order they
// come (pass by pass for an interlaced picture, unless the library
// deinterlaces it); row returning false stops it. format is set before the
// first row.
png_outcome png_decode(png_stream& stream, const png_layout& layout, sample_format& format, const png_row_fn& row,
                       image_error& stream_error);

// Turns rows of samples into the record's words, with the palette, scaling
// and alpha rules of image_reader.h.
class png_converter {
public:
    png_converter(const png_layout& layout, const read_options& options);
    // Converts row into the words of its image row, laid out as the record
    // lays them out (mirrored); false for a palette index without an entry.
    bool convert(const sample_format& format, const png_row& row, uint32_t* row_words);

private:
    uint32_t word(const sample_format& format, const uint8_t* pixel_samples, uint32_t bit_offset) const;

    const png_layout& layout_;
    read_options options_;
    std::array<uint32_t, 256> palette_words_{};  // also the words of greys of up to 8 bits
    std::vector<uint8_t> to_8_bits_;              // every 16-bit sample's 8 bits, for 16-bit pictures
};

#endif
