// The luma/chroma models a run may ask for (--matrix, --range): BT.601 or
// BT.709 coefficients, full or limited range, computed exactly in integers
// from the standards' constants and rounded once to the nearest integer,
// halves up, then clamped to 0..255:
//   E'Y = Kr R' + (1 - Kr - Kb) G' + Kb B',  E'Pb = (B' - E'Y) / (2 (1 - Kb)),
//   E'Pr = (R' - E'Y) / (2 (1 - Kr)),  with R' = R / 255 and so on;
//   full range:    Y = 255 E'Y,       C = 128 + 255 E'P;
//   limited range: Y = 16 + 219 E'Y,  C = 128 + 224 E'P.
// BT.601 has Kr 0.299, Kb 0.114; BT.709 Kr 0.2126, Kb 0.0722. Given in ten
// thousandths, every quantity is a ratio of integers, so every platform
// gets the same bytes. Chroma shared by several pixels (4:2:2, 4:2:0) is
// the average of their exact chroma, rounded once.
#ifndef VANTREL_YCBCR_MODEL_H
#define VANTREL_YCBCR_MODEL_H

#include <cstddef>
#include <cstdint>
#include <string>

struct ycbcr_model {
    enum class matrix : uint8_t { bt601, bt709 };
    matrix coefficients = matrix::bt601;
    bool limited = false;

    // "BT.601, full range", "BT.709, limited range", ...
    std::string name() const;

    // The exact terms of one pixel, or the sum of up to four pixels' terms:
    // the luma's numerator and the two colour differences' (B - Y, R - Y),
    // all in ten thousandths of a channel step (within 4 * 2550000).
    struct terms {
        int32_t y = 0, b_minus_y = 0, r_minus_y = 0;
        terms& operator+=(const terms& t)
        {
            y += t.y, b_minus_y += t.b_minus_y, r_minus_y += t.r_minus_y;
            return *this;
        }
    };
    terms exact(uint8_t r, uint8_t g, uint8_t b) const;

    // Y, Cb and Cr of the average of pixels pixels whose terms are summed.
    uint8_t luma(int32_t y_sum, int pixels = 1) const;
    uint8_t cb(int32_t b_minus_y_sum, int pixels = 1) const;
    uint8_t cr(int32_t r_minus_y_sum, int pixels = 1) const;

    // Y << 24 | Cb << 16 | Y << 8 | Cr of one colour: the word form.
    uint32_t word(uint8_t r, uint8_t g, uint8_t b) const;
    // A row of colours (0x00RRGGBB) made into those words where it lies, the
    // same ones, from tables (ycbcr_fast.h).
    void words(uint32_t* row, size_t count) const;

    // Back to red, green and blue, each rounded to nearest and clamped.
    void to_rgb(uint8_t y, uint8_t cb, uint8_t cr, uint8_t* rgb) const;

private:
    int64_t kr() const { return coefficients == matrix::bt601 ? 2990 : 2126; }
    int64_t kb() const { return coefficients == matrix::bt601 ? 1140 : 722; }
};

// Parses "bt601", "bt709" (--matrix) and "full", "limited" (--range) into
// model; false for any other text.
bool parse_matrix(const std::string& text, ycbcr_model& model);
bool parse_range(const std::string& text, ycbcr_model& model);

#endif
