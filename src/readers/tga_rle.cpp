// TGA's run-length rows: packets of up to 128 pixels, each a header byte
// (top bit set: one pixel repeated; clear: that many pixels stored) and its
// pixels. Packets run on across the end of a row, as most writers make
// them, so a row may begin inside one.
//
// The packets are walked twice. The first walk, when the file is opened,
// checks that they hold every pixel and no more, and records for each row
// the packet its first pixel is in and how many of that packet's pixels
// come before it; the second decodes a row from there when it is asked
// for, so that a bottom-up file comes top row first in bounded memory.
#include <algorithm>
#include <cstring>
#include <vector>

#include "reader_limits.h"
#include "tga_decoding.h"

namespace {

constexpr uint32_t max_packet_pixels = 128;

// The stream's bytes from any place in it, read a window at a time.
class packet_bytes {
public:
    packet_bytes(tga_source& source, uint64_t begin)
        : source_(source), begin_(begin),
          buffer_(std::clamp<size_t>(VANTREL_BLOCK_BYTES, 1 + max_packet_pixels * 4, 1 << 20))
    {
    }

    // Makes the bytes from pos up to end (a row's packets) ready, ending
    // the window at end if they fit in it: rows are asked for from the
    // stream's end backwards when the file is stored bottom-up.
    image_error seek(uint64_t pos, uint64_t end)
    {
        if (pos >= at_ && end <= at_ + size_)
            return image_error::none;
        const uint64_t window = buffer_.size();
        return refill(std::max(begin_, end - pos <= window && end >= window ? end - window : pos));
    }

    // The n bytes at pos, n no more than a packet's; truncated where the
    // file ends before them.
    image_error view(uint64_t pos, size_t n, const uint8_t*& bytes)
    {
        if (pos < at_ || pos + n > at_ + size_) {
            if (const image_error why = refill(pos); why != image_error::none)
                return why;
            if (pos + n > at_ + size_)
                return image_error::truncated;
        }
        bytes = buffer_.data() + (pos - at_);
        return image_error::none;
    }

private:
    image_error refill(uint64_t start)
    {
        const uint64_t size = source_.bytes.size();
        at_ = start, size_ = 0;
        if (start >= size)
            return image_error::truncated;
        const auto want = size_t(std::min<uint64_t>(buffer_.size(), size - start));
        const image_error why = source_.read(start, want, buffer_.data());
        size_ = why == image_error::none ? want : 0;
        return why;
    }

    tga_source& source_;
    const uint64_t begin_;  // the first packet's place
    std::vector<uint8_t> buffer_;
    uint64_t at_ = 0;  // where the window's bytes are in the file
    size_t size_ = 0;
};

// Where a stored row's first pixel is: in the packet at packet, after
// skip of its pixels.
struct row_start {
    uint64_t packet = 0;
    uint32_t skip = 0;
};

class tga_rle_rows final : public image_reader {
public:
    tga_rle_rows(tga_source source, const tga_layout& layout)
        : image_reader(image_format::tga, layout.width, layout.height, layout.samples), source_(std::move(source)),
          layout_(layout), in_(source_, layout.offset), rows_(size_t(layout.height))
    {
    }

    // The first walk: every packet's header read, every row's start
    // recorded, the pixels' bytes only counted.
    image_error check()
    {
        const uint64_t width = uint64_t(layout_.width), total = width * uint64_t(layout_.height);
        uint64_t pos = layout_.offset, done = 0;
        while (done < total) {
            const uint8_t* header = nullptr;
            if (const image_error why = in_.view(pos, 1, header); why != image_error::none)
                return why;
            const uint32_t count = (header[0] & 127u) + 1;
            // Rows whose first pixel is in this packet start here.
            for (uint64_t row = (done + width - 1) / width; row * width < done + count && row < rows_.size(); ++row)
                rows_[size_t(row)] = {pos, uint32_t(row * width - done)};
            done += count;
            pos += 1 + uint64_t{layout_.pixel_bytes} * (header[0] & 128 ? 1 : count);
            // A packet past the last pixel can only come from a broken
            // stream.
            if (done > total)
                return image_error::bad_format;
        }
        end_ = pos;
        return pos > source_.bytes.size() ? image_error::truncated : image_error::none;
    }

    image_error next_row(uint8_t* row) override
    {
        const size_t t = next_++, stored = layout_.top_down ? t : rows_.size() - 1 - t;
        const row_start start = rows_[stored];
        // The row's packets end before the next row's first packet ends.
        const uint64_t end = stored + 1 < rows_.size()
                                 ? rows_[stored + 1].packet + 1 + max_packet_pixels * layout_.pixel_bytes
                                 : end_;
        if (const image_error why = in_.seek(start.packet, std::min(end, end_)); why != image_error::none)
            return why;
        const size_t size = layout_.pixel_bytes;
        uint64_t pos = start.packet;
        uint32_t skip = start.skip;
        for (size_t x = 0, width = size_t(layout_.width); x < width;) {
            const uint8_t* packet = nullptr;
            if (const image_error why = in_.view(pos, 1, packet); why != image_error::none)
                return why;
            const bool run = packet[0] & 128;
            const uint32_t count = (packet[0] & 127u) + 1;
            const size_t bytes = run ? size : count * size;
            if (const image_error why = in_.view(pos, 1 + bytes, packet); why != image_error::none)
                return why;
            const size_t n = std::min<size_t>(count - skip, width - x);
            for (size_t i = 0; i < n; ++i)
                std::memcpy(row + (x + i) * size, packet + 1 + (run ? 0 : (skip + i) * size), size);
            x += n, skip = 0, pos += 1 + bytes;
        }
        arrange_row(row, layout_);
        return image_error::none;
    }

    // What follows the last packet (a 2.0 file's extension area and
    // footer) holds nothing of the picture.
    image_error finish() override { return image_error::none; }

private:
    tga_source source_;
    tga_layout layout_;
    packet_bytes in_;
    std::vector<row_start> rows_;  // by stored row
    uint64_t end_ = 0;             // where the last packet ends
    size_t next_ = 0;              // rows handed on, from the top
};

}  // namespace

std::unique_ptr<image_reader> open_tga_rle_rows(tga_source source, const tga_layout& layout, image_error& error)
{
    auto reader = std::make_unique<tga_rle_rows>(std::move(source), layout);
    error = reader->check();
    return error == image_error::none ? std::move(reader) : nullptr;
}
