// RLE8 and RLE4: pairs of (count, index) runs, and escapes after a zero
// count for end of line (0), end of bitmap (1), a delta move (2) and
// absolute runs (3..255 indices, padded to a 16-bit boundary). Rows go
// bottom-up. Pixels the stream never sets keep palette entry 0.
//
// ImageMagick and GraphicsMagick encode each row's padding pixels too, so
// the last run of a row may reach past the right edge. Their own readers, browsers and Pillow drop those pixels, and so does
// this one. A delta that leaves the picture or a run above the top row is
// still an error, since it can only come from a broken stream.
#include <algorithm>
#include <vector>

#include "bmp_decoding.h"

namespace {

// The stream's bytes one at a time, from the pixel offset up to the file's
// length as it was when the headers were checked: what was read with the
// headers first, then the rest through a buffer.
class rle_bytes {
public:
    rle_bytes(const bmp_source& source, uint64_t offset) : source_(source), pos_(offset) {}

    bool failed() const { return failed_; }

    bool next(uint8_t& v)
    {
        if (pos_ < source_.prefetched.size()) {
            v = source_.prefetched[static_cast<size_t>(pos_++)];
            return true;
        }
        if (at_ == end_ && !refill())
            return false;
        v = buffer_[at_++];
        ++pos_;
        return true;
    }

private:
    bool refill()
    {
        if (pos_ >= source_.bytes.size() || failed_)
            return false;
        if (buffer_.empty())
            buffer_.resize(64 << 10);
        const auto want = static_cast<size_t>(std::min<uint64_t>(buffer_.size(), source_.bytes.size() - pos_));
        const image_error why = source_.bytes.read(pos_, want, buffer_.data());
        // A file that shrank since its length was taken ends the stream
        // there; any other failure is the system's.
        failed_ = why == image_error::read_failed;
        at_ = 0;
        end_ = why == image_error::none ? want : 0;
        return end_ > 0;
    }

    const bmp_source& source_;
    uint64_t pos_;
    std::vector<uint8_t> buffer_;
    size_t at_ = 0, end_ = 0;
    bool failed_ = false;
};

// Walks the stream, handing put(x, y, index) every pixel that lands inside
// the picture (y counts rows from the bottom, as they are stored).
template <class Put>
image_error walk_rle(rle_bytes& in, const bmp_layout& layout, Put&& put)
{
    const auto width = static_cast<uint64_t>(layout.width), height = static_cast<uint64_t>(layout.height);
    const bool rle4 = layout.coding == encoding::rle4;
    uint64_t x = 0, y = 0;

    // The stream may end without an end-of-bitmap code once the top row is
    // complete; earlier, the picture is cut short.
    const auto ended = [&] {
        if (in.failed())
            return image_error::read_failed;
        const bool complete = y >= height || (y == height - 1 && x == width);
        return complete ? image_error::none : image_error::truncated;
    };
    // Every index must have a palette entry, also one past the right edge.
    const auto pixel = [&](unsigned index) {
        if (index >= layout.palette_size)
            return false;
        if (x < width)
            put(x, y, index);
        ++x;
        return true;
    };

    for (;;) {
        uint8_t count = 0, value = 0;
        if (!in.next(count) || !in.next(value))
            return ended();
        if (count > 0) {
            if (y >= height)
                return image_error::bad_format;
            for (unsigned i = 0; i < count; ++i)
                if (!pixel(rle4 ? (i % 2 == 0 ? value >> 4 : value & 15u) : value))
                    return image_error::bad_format;
            x = std::min(x, width);
        } else if (value == 0) {
            x = 0, ++y;
        } else if (value == 1) {
            return image_error::none;
        } else if (value == 2) {
            uint8_t dx = 0, dy = 0;
            if (!in.next(dx) || !in.next(dy))
                return ended();
            x += dx, y += dy;
            if (x > width || y >= height)
                return image_error::bad_format;
        } else {
            if (y >= height)
                return image_error::bad_format;
            const unsigned stored = rle4 ? (value + 1u) / 2 : value;
            for (unsigned i = 0, left = value; i < stored + stored % 2; ++i) {
                uint8_t byte = 0;
                if (!in.next(byte))
                    return ended();
                for (unsigned k = 0; k < (rle4 ? 2u : 1u) && left > 0 && i < stored; ++k, --left)
                    if (!pixel(rle4 ? (k == 0 ? byte >> 4 : byte & 15u) : byte))
                        return image_error::bad_format;
            }
            x = std::min(x, width);
        }
    }
}

}  // namespace

image_error check_rle(const bmp_source& source, const bmp_layout& layout)
{
    rle_bytes in(source, layout.offset);
    return walk_rle(in, layout, [](uint64_t, uint64_t, unsigned) {});
}

image_error decode_rle(const bmp_source& source, const bmp_layout& layout, uint32_t* pixels)
{
    const auto width = static_cast<uint64_t>(layout.width), height = static_cast<uint64_t>(layout.height);
    std::fill(pixels, pixels + width * height, layout.palette[0]);
    rle_bytes in(source, layout.offset);
    return walk_rle(in, layout, [&](uint64_t x, uint64_t y, unsigned index) {
        pixels[(height - 1 - y) * width + (width - 1 - x)] = layout.palette[index];
    });
}
