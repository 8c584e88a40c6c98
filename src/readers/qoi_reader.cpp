// QOI: a 14-byte header (signature, width and height big-endian, channels
// 3 or 4, colour space), then one stream of ops, top row first, then an
// 8-byte end marker. Each op gives the next pixel from the one before it:
// whole (RGB, RGBA), as small differences (DIFF, LUMA), from a 64-entry
// table of pixels seen (INDEX), or repeated (RUN). The stream is read
// once, in order, through a buffer of bounded size: the table, the last
// pixel and what is left of a run carry from one row to the next.
#include <algorithm>
#include <array>
#include <cstring>

#include "byte_reader.h"
#include "reader_limits.h"

namespace {

constexpr size_t header_size = 14;
constexpr uint8_t end_marker[8] = {0, 0, 0, 0, 0, 0, 0, 1};
constexpr uint64_t max_run = 62;

struct rgba {
    uint8_t r = 0, g = 0, b = 0, a = 255;
};

class qoi_rows final : public image_reader {
public:
    qoi_rows(byte_source& source, std::vector<uint8_t> head, uint32_t width, uint32_t height, uint32_t channels)
        : image_reader(image_format::qoi, int32_t(width), int32_t(height), layout(channels)), source_(source),
          buffer_(std::move(head)), size_(buffer_.size()), pos_(header_size)
    {
        seen_.fill(rgba{0, 0, 0, 0});
    }

    image_error next_row(uint8_t* row) override
    {
        const uint32_t channels = samples().channels;
        for (uint8_t *out = row, *end = row + row_bytes(); out != end; out += channels) {
            if (run_ > 0) {
                --run_;
            } else if (const image_error why = next_pixel(); why != image_error::none) {
                return why;
            }
            out[0] = pixel_.r, out[1] = pixel_.g, out[2] = pixel_.b;
            if (channels == 4)
                out[3] = pixel_.a;
        }
        return image_error::none;
    }

    // The end marker must follow the last pixel's op. What a run holds past
    // the last pixel is dropped, as QOI's own decoder drops it.
    image_error finish() override
    {
        for (size_t i = 0; i < sizeof end_marker; ++i) {
            uint8_t b = 0;
            if (!next(b))
                return failure_ != image_error::none ? failure_ : image_error::truncated;
            if (b != end_marker[i])
                return image_error::bad_format;
        }
        return image_error::none;
    }

private:
    static sample_layout layout(uint32_t channels)
    {
        sample_layout s;
        s.channels = channels;
        s.red = 0, s.green = 1, s.blue = 2, s.alpha = 3;
        return s;
    }

    // The next byte of the stream, false where it ends (failure_ says if
    // the system failed).
    bool next(uint8_t& b)
    {
        if (pos_ == size_) {
            const uint64_t left = source_.size() - offset_ - size_;
            if (left == 0 || failure_ != image_error::none)
                return false;
            offset_ += size_;
            size_ = size_t(std::min<uint64_t>(left, std::max<size_t>(VANTREL_BLOCK_BYTES, 64)));
            if (buffer_.size() < size_)
                buffer_.resize(size_);
            if (failure_ = source_.read(offset_, size_, buffer_.data()); failure_ != image_error::none) {
                size_ = pos_ = 0;
                return false;
            }
            pos_ = 0;
        }
        b = buffer_[pos_++];
        return true;
    }

    image_error next_pixel()
    {
        uint8_t op = 0;
        if (!next(op))
            return cut_short();
        if (op == 0xfe || op == 0xff) {  // RGB, RGBA
            if (!next(pixel_.r) || !next(pixel_.g) || !next(pixel_.b) || (op == 0xff && !next(pixel_.a)))
                return cut_short();
        } else if (op >> 6 == 0) {  // INDEX
            pixel_ = seen_[op];
        } else if (op >> 6 == 1) {  // DIFF: each channel -2..1, wrapping
            pixel_.r = uint8_t(pixel_.r + (op >> 4 & 3) - 2);
            pixel_.g = uint8_t(pixel_.g + (op >> 2 & 3) - 2);
            pixel_.b = uint8_t(pixel_.b + (op & 3) - 2);
        } else if (op >> 6 == 2) {  // LUMA: green -32..31, red and blue -8..7 from it
            uint8_t second = 0;
            if (!next(second))
                return cut_short();
            const int green = (op & 63) - 32;
            pixel_.r = uint8_t(pixel_.r + green - 8 + (second >> 4));
            pixel_.g = uint8_t(pixel_.g + green);
            pixel_.b = uint8_t(pixel_.b + green - 8 + (second & 15));
        } else {  // RUN of 1..max_run: this pixel and as many more as the low bits say
            run_ = op & 63u;
        }
        seen_[(pixel_.r * 3 + pixel_.g * 5 + pixel_.b * 7 + pixel_.a * 11) % 64] = pixel_;
        return image_error::none;
    }

    image_error cut_short() const { return failure_ != image_error::none ? failure_ : image_error::truncated; }

    byte_source& source_;
    std::vector<uint8_t> buffer_;  // the file's bytes from offset_: first the head read with the header
    size_t size_;                  // of them, those read
    size_t pos_;                   // the next one
    uint64_t offset_ = 0;
    image_error failure_ = image_error::none;
    rgba pixel_;                   // the last pixel, at first opaque black
    std::array<rgba, 64> seen_;    // pixels by hash, at first all zero
    uint32_t run_ = 0;             // repeats of pixel_ still to hand on
};

}  // namespace

std::unique_ptr<image_reader> open_qoi(byte_source& source, std::vector<uint8_t> head, image_error& error)
{
    byte_reader in{head.data(), head.size()};
    uint32_t magic = 0, width = 0, height = 0;
    uint8_t channels = 0, colour_space = 0;
    if (!in.be32(magic) || !in.be32(width) || !in.be32(height) || !in.u8(channels) || !in.u8(colour_space)) {
        error = head.size() < source.size() ? image_error::bad_format : image_error::truncated;
        return nullptr;
    }
    // Both colour spaces (sRGB with linear alpha, all linear) are read as
    // the samples are stored: no conversion, as for a PNG's gAMA.
    if (width == 0 || height == 0 || (channels != 3 && channels != 4) || colour_space > 1) {
        error = image_error::bad_format;
        return nullptr;
    }
    if (error = check_size(width, height); error != image_error::none)
        return nullptr;
    // No op gives more than 62 pixels: a file too short to hold the
    // picture fails here, before memory is taken for its words.
    if (const uint64_t ops = source.size() - std::min<uint64_t>(source.size(), header_size + sizeof end_marker);
        ops * max_run < uint64_t{width} * height) {
        error = image_error::truncated;
        return nullptr;
    }
    return std::make_unique<qoi_rows>(source, std::move(head), width, height, channels);
}
