// The TGA reader's face, and its plain rows: read in blocks of whole rows
// by their place in the file, so that a bottom-up file, whose top row is
// stored last, comes top row first from reads that go backwards.
#include <algorithm>
#include <cstring>

#include "big_buffer.h"
#include "reader_limits.h"
#include "tga_decoding.h"

namespace {

class tga_raw_rows final : public image_reader {
public:
    tga_raw_rows(tga_source source, const tga_layout& layout)
        : image_reader(image_format::tga, layout.width, layout.height, layout.samples), source_(std::move(source)),
          layout_(layout), stride_(uint64_t(layout.width) * layout.pixel_bytes)
    {
    }

    // A small file was read whole with its header; a bigger one is read a
    // block of rows at a time.
    image_error start()
    {
        const uint64_t height = uint64_t(layout_.height);
        if (layout_.offset + height * stride_ <= source_.head.size())
            return image_error::none;
        rows_per_block_ = std::clamp<uint64_t>(uint64_t{VANTREL_BLOCK_BYTES} / stride_, 1, height);
        block_ = make_buffer<uint8_t>(size_t(rows_per_block_ * stride_));
        return block_ ? image_error::none : image_error::out_of_memory;
    }

    image_error next_row(uint8_t* row) override
    {
        const uint64_t height = uint64_t(layout_.height), t = next_++;
        const uint64_t stored = layout_.top_down ? t : height - 1 - t;
        const uint8_t* from = nullptr;
        if (!block_) {
            from = source_.head.data() + layout_.offset + stored * stride_;
        } else {
            if (stored < block_first_ || stored >= block_first_ + block_rows_) {
                block_rows_ = std::min(rows_per_block_, height - t);
                block_first_ = layout_.top_down ? t : height - t - block_rows_;
                if (const image_error why = source_.read(layout_.offset + block_first_ * stride_,
                                                         size_t(block_rows_ * stride_), block_.get());
                    why != image_error::none)
                    return why;
            }
            from = block_.get() + (stored - block_first_) * stride_;
        }
        std::memcpy(row, from, size_t(stride_));
        arrange_row(row, layout_);
        return image_error::none;
    }

    // What follows the pixels (a 2.0 file's extension area and footer)
    // holds nothing of the picture.
    image_error finish() override { return image_error::none; }

private:
    tga_source source_;
    tga_layout layout_;
    uint64_t stride_;
    uint64_t next_ = 0;  // rows handed on, from the top
    buffer_ptr<uint8_t> block_{nullptr, &std::free};
    uint64_t rows_per_block_ = 0, block_first_ = 0, block_rows_ = 0;  // stored rows in the block
};

}  // namespace

void arrange_row(uint8_t* row, const tga_layout& layout)
{
    const auto width = size_t(layout.width);
    if (layout.right_to_left) {
        const size_t size = layout.pixel_bytes;
        for (size_t l = 0, r = width - 1; l < r; ++l, --r)
            std::swap_ranges(row + l * size, row + (l + 1) * size, row + r * size);
    }
    // Index v names the map's entry v - first; one below the first wraps
    // past the palette's end, where the converter refuses it.
    if (layout.index_base != 0)
        for (size_t i = 0; i < width; ++i)
            row[i] = uint8_t(row[i] - layout.index_base);
}

std::unique_ptr<image_reader> open_tga(byte_source& source, std::vector<uint8_t> head, image_error& error)
{
    tga_source file{source, std::move(head)};
    tga_layout layout{};
    if (error = parse_tga_header(file, layout); error != image_error::none)
        return nullptr;
    if (layout.rle)
        return open_tga_rle_rows(std::move(file), layout, error);
    auto reader = std::make_unique<tga_raw_rows>(std::move(file), layout);
    error = reader->start();
    return error == image_error::none ? std::move(reader) : nullptr;
}
