// Uncompressed rows: read in blocks of whole rows by their place in the
// file, so that a bottom-up bitmap, whose top row is stored last, comes top
// row first from reads that go backwards through the file.
#include <algorithm>
#include <cstring>

#include "big_buffer.h"
#include "bmp_decoding.h"
#include "reader_limits.h"

namespace {

class raw_rows final : public image_reader {
public:
    raw_rows(bmp_source source, const bmp_layout& layout)
        : image_reader(image_format::bmp, layout.width, layout.height, layout.samples), source_(std::move(source)),
          layout_(layout)
    {
    }

    // A small file was read whole with its headers; a bigger one is read a
    // block of rows at a time.
    image_error start()
    {
        const uint64_t height = uint64_t(layout_.height);
        if (layout_.offset + (height - 1) * layout_.stride + layout_.row_bytes <= source_.head.size())
            return image_error::none;
        rows_per_block_ = std::clamp<uint64_t>(uint64_t{VANTREL_BLOCK_BYTES} / layout_.stride, 1, height);
        block_ = make_buffer<uint8_t>(size_t(rows_per_block_ * layout_.stride));
        return block_ ? image_error::none : image_error::out_of_memory;
    }

    image_error next_row(uint8_t* row) override
    {
        const uint64_t height = uint64_t(layout_.height), t = next_++;
        const uint64_t stored = layout_.top_down ? t : height - 1 - t;
        const auto size = size_t(layout_.row_bytes);
        if (!block_) {
            std::memcpy(row, source_.head.data() + layout_.offset + stored * layout_.stride, size);
            return image_error::none;
        }
        if (stored < block_first_ || stored >= block_first_ + block_rows_) {
            // The block that holds the next rows_per_block_ rows from the
            // top, however they are stored; the file's last row may lack
            // its padding.
            block_rows_ = std::min(rows_per_block_, height - t);
            block_first_ = layout_.top_down ? t : height - t - block_rows_;
            const uint64_t bytes = (block_rows_ - 1) * layout_.stride + layout_.row_bytes;
            if (const image_error why =
                    source_.read(layout_.offset + block_first_ * layout_.stride, size_t(bytes), block_.get());
                why != image_error::none)
                return why;
        }
        std::memcpy(row, block_.get() + (stored - block_first_) * layout_.stride, size);
        return image_error::none;
    }

    // Every row was read from the file when it was asked for: there is
    // nothing after the last.
    image_error finish() override { return image_error::none; }

private:
    bmp_source source_;
    bmp_layout layout_;
    uint64_t next_ = 0;  // rows handed on, from the top
    buffer_ptr<uint8_t> block_{nullptr, &std::free};
    uint64_t rows_per_block_ = 0, block_first_ = 0, block_rows_ = 0;  // stored rows in the block
};

}  // namespace

std::unique_ptr<image_reader> open_raw_rows(bmp_source source, const bmp_layout& layout, image_error& error)
{
    auto reader = std::make_unique<raw_rows>(std::move(source), layout);
    error = reader->start();
    return error == image_error::none ? std::move(reader) : nullptr;
}
