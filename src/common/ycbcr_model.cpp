#include "ycbcr_model.h"

#include <algorithm>

namespace {

constexpr int64_t unit = 10000;  // the constants' ten thousandths

// n / d rounded to nearest, halves up, for d > 0 and n of either sign.
constexpr int64_t rounded(int64_t n, int64_t d)
{
    const int64_t twice = 2 * n + d, den = 2 * d;
    return twice >= 0 ? twice / den : -((-twice + den - 1) / den);
}

constexpr uint8_t clamped(int64_t v)
{
    return static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255));
}

static_assert(rounded(5, 2) == 3 && rounded(-5, 2) == -2 && rounded(-7, 2) == -3 && rounded(1, 3) == 0);

}  // namespace

std::string ycbcr_model::name() const
{
    return std::string(coefficients == matrix::bt601 ? "BT.601" : "BT.709") + (limited ? ", limited range" : ", full range");
}

ycbcr_model::terms ycbcr_model::exact(uint8_t r, uint8_t g, uint8_t b) const
{
    const int64_t y = kr() * r + (unit - kr() - kb()) * g + kb() * b;
    return {y, unit * b - y, unit * r - y};
}

uint8_t ycbcr_model::luma(int64_t y_sum, int pixels) const
{
    // 255 E'Y = y / unit; 16 + 219 E'Y = 16 + 219 y / (255 unit).
    return limited ? clamped(16 + rounded(219 * y_sum, 255 * unit * pixels)) : clamped(rounded(y_sum, unit * pixels));
}

uint8_t ycbcr_model::cb(int64_t b_minus_y_sum, int pixels) const
{
    // 255 E'Pb = (B - Y) / (2 (1 - Kb)), B - Y in ten thousandths.
    const int64_t d = 2 * (unit - kb()) * pixels;
    return clamped(128 + (limited ? rounded(224 * b_minus_y_sum, 255 * d) : rounded(b_minus_y_sum, d)));
}

uint8_t ycbcr_model::cr(int64_t r_minus_y_sum, int pixels) const
{
    const int64_t d = 2 * (unit - kr()) * pixels;
    return clamped(128 + (limited ? rounded(224 * r_minus_y_sum, 255 * d) : rounded(r_minus_y_sum, d)));
}

uint32_t ycbcr_model::word(uint8_t r, uint8_t g, uint8_t b) const
{
    const terms t = exact(r, g, b);
    const uint32_t y = luma(t.y);
    return y << 24 | uint32_t{cb(t.b_minus_y)} << 16 | y << 8 | cr(t.r_minus_y);
}

void ycbcr_model::to_rgb(uint8_t y, uint8_t cb_value, uint8_t cr_value, uint8_t* rgb) const
{
    // E'Y and the colour differences scaled to channel steps, over a common
    // denominator: R = E'Y + 2 (1 - Kr) E'Pr, B = E'Y + 2 (1 - Kb) E'Pb,
    // G = (E'Y - Kr R - Kb B) / Kg.
    const int64_t scale_y = limited ? 255 * 224 : 1, scale_c = limited ? 255 * 219 : 1, den = limited ? 219 * 224 : 1;
    const int64_t ys = (int64_t{y} - (limited ? 16 : 0)) * scale_y;
    const int64_t bs = (int64_t{cb_value} - 128) * scale_c, rs = (int64_t{cr_value} - 128) * scale_c;
    const int64_t kg = unit - kr() - kb();
    rgb[0] = clamped(rounded(unit * ys + 2 * (unit - kr()) * rs, unit * den));
    rgb[1] = clamped(rounded(unit * kg * ys - 2 * kb() * (unit - kb()) * bs - 2 * kr() * (unit - kr()) * rs, unit * kg * den));
    rgb[2] = clamped(rounded(unit * ys + 2 * (unit - kb()) * bs, unit * den));
}

bool parse_matrix(const std::string& text, ycbcr_model& model)
{
    if (text != "bt601" && text != "bt709")
        return false;
    model.coefficients = text == "bt601" ? ycbcr_model::matrix::bt601 : ycbcr_model::matrix::bt709;
    return true;
}

bool parse_range(const std::string& text, ycbcr_model& model)
{
    if (text != "full" && text != "limited")
        return false;
    model.limited = text == "limited";
    return true;
}
