// What a run asks of its pictures' samples, and row_converter, which turns
// each row of them into packed luma/chroma words.
#ifndef VANTREL_ROW_CONVERTER_H
#define VANTREL_ROW_CONVERTER_H

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "byte_layouts.h"
#include "image_reader.h"

// What alpha becomes: ignored, the stored colour kept, unless a background
// is given; then each pixel with alpha is composited over it, each channel
// round(a * c + (1 - a) * b) with a = alpha / its maximum, in integers.
struct read_options {
    bool composite = false;
    uint8_t background[3] = {};  // red, green, blue
    // What a picture may hold (memory_budget): 1 GiB unless the command
    // line says otherwise; the pictures of a run that loads ahead share one
    // budget (budget), so that the run stays within it.
    uint64_t memory_limit = uint64_t{1} << 30;
    memory_budget* budget = nullptr;
    // The run's own stop: set once it has failed, so that pictures loaded
    // ahead are given up.
    const std::atomic<bool>* stop = nullptr;
    bool source_ycbcr = false;  // as in read_limits
    bool all_frames = false;    // as in read_limits
    // Each pixel's colour, 0x00RRGGBB, rather than its word, for output
    // that converts it with a model of its own (ycbcr_model.h).
    bool rgb = false;
    // With rgb and a model, each row's colours then made by the thread that
    // converts them into the model's words (ycbcr_model::words), or with a
    // layout too into what of its bytes a row alone gives (prepare_row,
    // byte_layouts.h; the default model without one).
    std::optional<ycbcr_model> model{};
    std::optional<byte_layout> layout{};
};

// Turns rows of samples into words: palette entries, channels of any width
// (an n-bit value v becomes v * 255 / (2^n - 1) rounded to nearest), masks,
// and alpha as read_options says, the same rules for every format.
class row_converter {
public:
    // Throws std::bad_alloc. A picture of pixels pixels, fewer than a
    // table of every 16-bit value has entries, has its pixels converted
    // one by one instead.
    row_converter(const sample_layout& layout, uint32_t width, const read_options& options,
                  uint64_t pixels = UINT64_MAX);

    // The width words of one row, left to right; false for a palette index
    // that has no entry.
    bool convert(const uint8_t* samples, uint32_t* words) const;

private:
    bool convert_colours(const uint8_t* samples, uint32_t* words) const;
    uint32_t word(const uint8_t* samples, size_t first) const;
    uint32_t masked_word(uint32_t pixel) const;

    sample_layout layout_;
    uint32_t width_;
    read_options options_;
    std::array<uint32_t, 256> table_{};  // palette entries, and greys of up to 8 bits
    std::vector<uint32_t> pixel_words_;  // every 16-bit masked pixel's word
    std::vector<uint8_t> to_8_bits_;     // every 16-bit sample's 8 bits
};

// The packed luma/chroma word of one 8-bit-per-channel colour, computed
// exactly (see ycbcr.h).
uint32_t pack_ycbcr(uint8_t r, uint8_t g, uint8_t b);

#endif
