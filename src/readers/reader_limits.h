// The limits every reader holds pictures to, and the sizes of its reads.
#ifndef VANTREL_READER_LIMITS_H
#define VANTREL_READER_LIMITS_H

#include <cstddef>
#include <cstdint>

#include "header_text.h"
#include "image_reader.h"

// The fuzz build lowers these, so that its small inputs still reach block
// reads, and no input spends the run filling a huge buffer.
#ifndef VANTREL_MAX_PIXELS
#define VANTREL_MAX_PIXELS INT32_MAX
#endif
// The first read takes this much, so that a small file (an icon of 64 x 64
// at 24 bits is 12 KiB) is read whole with one system call.
#ifndef VANTREL_PREFETCH_BYTES
#define VANTREL_PREFETCH_BYTES (64 << 10)
#endif
// Rows and chunks are read in blocks of about this size.
#ifndef VANTREL_BLOCK_BYTES
#define VANTREL_BLOCK_BYTES (1 << 20)
#endif

constexpr uint64_t max_pixels = VANTREL_MAX_PIXELS;
// Every byte a bitmap's headers can consult: the file header, the largest
// info header, four masks after a 40-byte header and a full palette.
constexpr size_t bmp_head_bytes = 14 + 124 + 16 + 4 * 256;
// What the first read takes: at least every byte a reader's headers need.
constexpr uint64_t first_read_bytes = VANTREL_PREFETCH_BYTES > bmp_head_bytes ? VANTREL_PREFETCH_BYTES : bmp_head_bytes;
static_assert(max_pixels <= header_text::max_pixels);

// too_large unless both sides are from 1 to 65535 and the picture has at
// most max_pixels pixels; the caller has checked they are positive.
constexpr image_error check_size(uint64_t width, uint64_t height)
{
    if (width > uint64_t(header_text::max_dimension) || height > uint64_t(header_text::max_dimension))
        return image_error::too_large;
    return width * height > max_pixels ? image_error::too_large : image_error::none;
}

// too_large unless an animation of frames frames of width x height has at
// most 65535 of them (their count is declared unsigned short) and at most
// as many words in all as one array may hold (max_pixels, which the fuzz
// build lowers, so that an animation of tiny frames on a big canvas does
// not spend its run reading thousands of them).
constexpr image_error check_frames(uint64_t width, uint64_t height, uint64_t frames)
{
    return frames > uint64_t(header_text::max_dimension) || width * height * frames > max_pixels
               ? image_error::too_large
               : image_error::none;
}

// Memory taken from a run's budget (read_limits::memory), given back when
// the holder goes, however it goes.
class held_memory {
public:
    held_memory() = default;
    held_memory(memory_budget* budget, uint64_t bytes) : budget_(budget), bytes_(budget ? bytes : 0) {}
    held_memory(held_memory&& other) noexcept : budget_(other.budget_), bytes_(other.bytes_) { other.bytes_ = 0; }
    held_memory& operator=(held_memory&&) = delete;
    ~held_memory()
    {
        if (budget_)
            budget_->give(bytes_);
    }

private:
    memory_budget* budget_ = nullptr;
    uint64_t bytes_ = 0;
};

// Samples of 8 bits, red, green, blue and alpha: what the library readers
// of GIF and WebP hand on.
inline sample_layout rgba_layout()
{
    sample_layout l;
    l.channels = 4, l.green = 1, l.blue = 2, l.alpha = 3;
    return l;
}

#endif
