// RLE8 and RLE4: pairs of (count, index) runs, and escapes after a zero
// count for end of line (0), end of bitmap (1), a delta move (2) and
// absolute runs (3..255 indices, padded to a 16-bit boundary). Rows go
// bottom-up. Pixels the stream never sets keep palette entry 0.
//
// The stream is walked twice. The first walk, when the file is opened,
// checks every code, run and index and records where each row's codes
// start; the second decodes a row from there when it is asked for, the top
// row (the stream's last) first.
//
// ImageMagick and GraphicsMagick encode each row's padding pixels too, so
// the last run of a row may reach past the right edge. Their own readers,
// browsers and Pillow drop those pixels, and so does this one. A delta that leaves the picture or a run above the top row is
// still an error, since it can only come from a broken stream.
#include <algorithm>
#include <cstring>
#include <vector>

#include "bmp_decoding.h"

namespace {

// The stream's bytes one at a time from any place in it, up to the file's
// length as it was when the headers were checked, read a window at a time.
class rle_bytes {
public:
    // The window is no bigger than the stream: a small file costs no
    // more than itself.
    rle_bytes(bmp_source& source, uint64_t offset)
        : source_(source), begin_(offset), pos_(offset),
          buffer_(size_t(std::clamp<uint64_t>(source.bytes.size() > offset ? source.bytes.size() - offset : 1, 1,
                                              uint64_t{64} << 10)))
    {
    }

    uint64_t pos() const { return pos_; }
    bool failed() const { return failed_; }

    // Moves to pos, a row's first code; its codes end before end. The
    // window is read to end there if the row fits in it: rows are asked
    // for from the stream's end backwards.
    void seek(uint64_t pos, uint64_t end)
    {
        pos_ = pos;
        if (pos >= at_ && end <= at_ + size_)
            return;
        const uint64_t window = buffer_.size();
        refill(end - pos <= window && end >= window ? end - window : pos);
    }

    bool next(uint8_t& v)
    {
        if (pos_ < at_ || pos_ >= at_ + size_) {
            if (failed_ || !refill(pos_))
                return false;
        }
        v = buffer_[size_t(pos_++ - at_)];
        return true;
    }

private:
    // Reads the window from start on; false if nothing is there.
    bool refill(uint64_t start)
    {
        start = std::max(start, begin_);
        const uint64_t size = source_.bytes.size();
        at_ = start, size_ = 0;
        if (start >= size || failed_)
            return false;
        const auto want = size_t(std::min<uint64_t>(buffer_.size(), size - start));
        const image_error why = source_.read(start, want, buffer_.data());
        // A file that shrank since its length was taken ends the stream
        // there; any other failure is the system's.
        failed_ = why == image_error::read_failed;
        size_ = why == image_error::none ? want : 0;
        return size_ > 0 && pos_ >= at_ && pos_ < at_ + size_;
    }

    bmp_source& source_;
    const uint64_t begin_;  // the stream's first byte
    uint64_t pos_;
    std::vector<uint8_t> buffer_;
    uint64_t at_ = 0;  // where the window's bytes are in the file
    size_t size_ = 0;
    bool failed_ = false;
};

// Where the walk stands: column x of row y, counted from the bottom as rows
// are stored.
struct rle_position {
    uint64_t x = 0, y = 0;
};

// Walks the stream from at, handing put(x, index) every pixel that lands
// inside the picture and enter(at) every row that it moves to, with the
// position of that row's first code; enter returning false stops the walk
// there. end_code is set where an end-of-bitmap code ends it.
template <class Put, class Enter>
image_error walk_rle(rle_bytes& in, const bmp_layout& layout, rle_position& at, Put&& put, Enter&& enter,
                     bool& end_code)
{
    const auto width = static_cast<uint64_t>(layout.width), height = static_cast<uint64_t>(layout.height);
    const bool rle4 = layout.coding == encoding::rle4;
    uint64_t& x = at.x;
    uint64_t& y = at.y;
    end_code = false;

    // The stream may end without an end-of-bitmap code once the top row is
    // complete; earlier, the picture is cut short.
    const auto ended = [&] {
        if (in.failed())
            return image_error::read_failed;
        const bool complete = y >= height || (y == height - 1 && x == width);
        return complete ? image_error::none : image_error::truncated;
    };
    // Every index must have a palette entry, also one past the right edge.
    const auto pixel = [&](uint32_t index) {
        if (index >= layout.samples.palette_size)
            return false;
        if (x < width)
            put(x, index);
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
            // A run alternates two indices (one, for RLE8), each of which
            // must have an entry; its pixels past the right edge cost
            // nothing, however many runs a row has.
            const uint32_t first = rle4 ? value >> 4 : value, second = rle4 ? value & 15u : value;
            if (first >= layout.samples.palette_size || (count > 1 && second >= layout.samples.palette_size))
                return image_error::bad_format;
            const uint64_t inside = x < width ? std::min<uint64_t>(count, width - x) : 0;
            for (uint64_t i = 0; i < inside; ++i)
                put(x + i, i % 2 == 0 ? first : second);
            x = std::min(x + count, width);
        } else if (value == 0) {
            x = 0, ++y;
            if (!enter(in.pos()))
                return image_error::none;
        } else if (value == 1) {
            end_code = true;
            return image_error::none;
        } else if (value == 2) {
            uint8_t dx = 0, dy = 0;
            if (!in.next(dx) || !in.next(dy))
                return ended();
            x += dx, y += dy;
            if (x > width || y >= height)
                return image_error::bad_format;
            if (dy > 0 && !enter(in.pos()))
                return image_error::none;
        } else {
            if (y >= height)
                return image_error::bad_format;
            const uint32_t stored = rle4 ? (value + 1u) / 2 : value;
            for (uint32_t i = 0, left = value; i < stored + stored % 2; ++i) {
                uint8_t byte = 0;
                if (!in.next(byte))
                    return ended();
                for (uint32_t k = 0; k < (rle4 ? 2u : 1u) && left > 0 && i < stored; ++k, --left)
                    if (!pixel(rle4 ? (k == 0 ? byte >> 4 : byte & 15u) : byte))
                        return image_error::bad_format;
            }
            x = std::min(x, width);
        }
    }
}

// Where the codes of row y are in the stream, and the column its first
// code starts at.
struct row_codes {
    uint64_t y = 0;
    uint64_t begin = 0, end = 0;
    uint64_t x = 0;
};

class rle_rows final : public image_reader {
public:
    rle_rows(bmp_source source, const bmp_layout& layout)
        : image_reader(image_format::bmp, layout.width, layout.height, layout.samples), source_(std::move(source)),
          layout_(layout), in_(source_, layout.offset)
    {
    }

    // The first walk: every code checked, the start of every row it moves
    // to recorded. Only those: a stream that ends at once, or skips rows
    // by deltas, costs nothing for the rows its header claims.
    image_error check()
    {
        rle_position at;
        rows_.push_back({0, layout_.offset, 0, 0});
        const auto height = uint64_t(layout_.height);
        const image_error why = walk_rle(
            in_, layout_, at, [](uint64_t, uint32_t) {},
            [&](uint64_t pos) {
                if (at.y < height)
                    rows_.push_back({at.y, pos, 0, at.x});
                return true;
            },
            end_code_);
        // Each row's codes end where the next row's begin, the last's where
        // the walk ended.
        uint64_t end = in_.pos();
        end_at_ = end_code_ ? end - 2 : end;
        for (size_t i = rows_.size(); i-- > 0;)
            rows_[i].end = end, end = rows_[i].begin;
        above_ = rows_.size();
        return why;
    }

    image_error next_row(uint8_t* row) override
    {
        const auto width = size_t(layout_.width);
        std::memset(row, 0, width);  // pixels no code sets take entry 0
        const uint64_t y = uint64_t(layout_.height) - 1 - next_++;
        // The rows come top first, down the rows the walk recorded.
        while (above_ > 0 && rows_[above_ - 1].y > y)
            --above_;
        if (above_ == 0 || rows_[above_ - 1].y != y)
            return image_error::none;
        const row_codes& codes = rows_[above_ - 1];
        in_.seek(codes.begin, codes.end);
        rle_position at{codes.x, y};
        bool end_code = false;
        return walk_rle(
            in_, layout_, at, [&](uint64_t x, uint32_t index) { row[x] = uint8_t(index); },
            [](uint64_t) { return false; }, end_code);
    }

    // The end-of-bitmap code that the first walk found is still there.
    image_error finish() override
    {
        uint8_t code[2] = {};
        if (!end_code_)
            return image_error::none;
        const image_error why = source_.read(end_at_, 2, code);
        return why != image_error::none ? why : code[0] == 0 && code[1] == 1 ? image_error::none : image_error::bad_format;
    }

private:
    bmp_source source_;
    bmp_layout layout_;
    rle_bytes in_;
    std::vector<row_codes> rows_;  // the rows codes move to, the bottom one first
    size_t above_ = 0;             // of them, those not below the next row asked for
    size_t next_ = 0;              // rows handed on, from the top
    bool end_code_ = false;
    uint64_t end_at_ = 0;  // where the stream ends: its end-of-bitmap code, if it has one
};

}  // namespace

std::unique_ptr<image_reader> open_rle_rows(bmp_source source, const bmp_layout& layout, image_error& error)
{
    auto reader = std::make_unique<rle_rows>(std::move(source), layout);
    error = reader->check();
    return error == image_error::none ? std::move(reader) : nullptr;
}
