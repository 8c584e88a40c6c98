// Adam7 (PNG 8.2): seven passes over the picture, each a smaller picture of
// every dx-th pixel of every dy-th row. A row of the whole picture has
// pixels in several passes, the last of which comes at the end of the
// data, so the passes are kept until then and the rows put together after.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "png_decoding.h"

namespace {

struct adam7_step {
    uint32_t x0, y0, dx, dy;
};
constexpr adam7_step steps[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                 {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

uint32_t count(uint32_t size, uint32_t start, uint32_t step)
{
    return size > start ? (size - start + step - 1) / step : 0;
}

}  // namespace

adam7_passes::adam7_passes(uint32_t width, uint32_t height, uint32_t pixel_bits, memory_budget* budget)
    : width_(width), pixel_bits_(pixel_bits), budget_(budget)
{
    // Passes without pixels are left out of the data altogether.
    for (const adam7_step& s : steps) {
        const uint32_t columns = count(width, s.x0, s.dx), rows = count(height, s.y0, s.dy);
        if (columns == 0 || rows == 0)
            continue;
        const auto row_bytes = size_t((uint64_t{columns} * pixel_bits + 7) / 8);
        passes_.push_back({columns, rows, s.x0, s.y0, s.dx, s.dy, row_bytes, total_});
        total_ += uint64_t{rows} * row_bytes;
    }
}

adam7_passes::~adam7_passes()
{
    std::free(data_);
    if (budget_)
        budget_->give(capacity_);
}

uint8_t* adam7_passes::next_pass_row(size_t room)
{
    const auto it = std::find_if(passes_.begin(), passes_.end(), [&](const pass& p) {
        return used_ < p.offset + uint64_t{p.rows} * p.row_bytes;
    });
    if (it == passes_.end())
        return nullptr;
    const uint64_t end = used_ + it->row_bytes, writable = used_ + std::max<uint64_t>(room, it->row_bytes);
    if (writable > capacity_) {
        // Doubling keeps the copies few; memory is taken only as the data
        // shows the picture to be there, and never past the budget, however
        // far a small file of zeros inflates: just what the row needs when
        // doubling would pass it.
        uint64_t grown = std::max(writable, std::min(total_, std::max(2 * capacity_, uint64_t{1} << 20)));
        if (budget_ && !budget_->take(grown - capacity_)) {
            grown = writable;
            if (!budget_->take(grown - capacity_))
                return nullptr;
        }
        auto* more = grown <= SIZE_MAX ? static_cast<uint8_t*>(std::realloc(data_, size_t(grown))) : nullptr;
        if (!more) {
            if (budget_)
                budget_->give(grown - capacity_);
            return nullptr;
        }
        data_ = more, capacity_ = grown;
    }
    uint8_t* row = data_ + used_;
    used_ = end;
    return row;
}

void adam7_passes::row(uint32_t y, uint8_t* out) const
{
    const uint32_t bytes = pixel_bits_ / 8;
    if (bytes == 0)
        std::memset(out, 0, size_t((uint64_t{width_} * pixel_bits_ + 7) / 8));
    for (const pass& p : passes_) {
        if (y < p.y0 || (y - p.y0) % p.dy != 0)
            continue;
        const uint8_t* in = data_ + p.offset + uint64_t{(y - p.y0) / p.dy} * p.row_bytes;
        if (bytes > 0) {
            for (uint32_t k = 0, x = p.x0; k < p.columns; ++k, x += p.dx)
                std::memcpy(out + size_t{x} * bytes, in + size_t{k} * bytes, bytes);
            continue;
        }
        // Pixels of 1, 2 or 4 bits, the leftmost in the high bits (7.2).
        const uint32_t bits = pixel_bits_, low = (1u << bits) - 1;
        for (uint32_t k = 0, x = p.x0; k < p.columns; ++k, x += p.dx) {
            const uint32_t from = k * bits, to = x * bits;
            const uint32_t v = uint32_t(in[from / 8] >> (8 - bits - from % 8)) & low;
            out[to / 8] = uint8_t(out[to / 8] | v << (8 - bits - to % 8));
        }
    }
}
