#include "ycbcr_model.h"

#include <algorithm>

#include "ycbcr_exact.h"
#include "ycbcr_fast.h"

namespace {

constexpr int64_t unit = 10000;  // the constants' ten thousandths
using ycbcr_exact::clamped, ycbcr_exact::rounded;

}  // namespace

std::string ycbcr_model::name() const
{
    return std::string(coefficients == matrix::bt601 ? "BT.601" : "BT.709") + (limited ? ", limited range" : ", full range");
}

ycbcr_model::terms ycbcr_model::exact(uint8_t r, uint8_t g, uint8_t b) const
{
    return ycbcr_exact::with_model(*this, [&](auto m) { return m.exact(r, g, b); });
}

uint8_t ycbcr_model::luma(int32_t y_sum, int pixels) const
{
    return ycbcr_exact::with_model(*this, [&](auto m) {
        return ycbcr_exact::with_pixels(pixels, [&](auto n) { return m.template luma<n()>(y_sum); });
    });
}

uint8_t ycbcr_model::cb(int32_t b_minus_y_sum, int pixels) const
{
    return ycbcr_exact::with_model(*this, [&](auto m) {
        return ycbcr_exact::with_pixels(pixels, [&](auto n) { return m.template cb<n()>(b_minus_y_sum); });
    });
}

uint8_t ycbcr_model::cr(int32_t r_minus_y_sum, int pixels) const
{
    return ycbcr_exact::with_model(*this, [&](auto m) {
        return ycbcr_exact::with_pixels(pixels, [&](auto n) { return m.template cr<n()>(r_minus_y_sum); });
    });
}

uint32_t ycbcr_model::word(uint8_t r, uint8_t g, uint8_t b) const
{
    return ycbcr_exact::with_model(*this, [&](auto m) {
        const terms t = m.exact(r, g, b);
        const uint32_t y = m.template luma<1>(t.y);
        return y << 24 | uint32_t{m.template cb<1>(t.b_minus_y)} << 16 | y << 8 | m.template cr<1>(t.r_minus_y);
    });
}

void ycbcr_model::words(uint32_t* row, size_t count) const
{
    using ycbcr_fast::component;
    ycbcr_exact::with_model(*this, [&](auto m) {
        using model = decltype(m);
        const ycbcr_fast::tables<model>& fast = ycbcr_fast::tables_of<model>;
        for (uint32_t* const end = row + count; row != end; ++row) {
            const ycbcr_fast::entry e = fast.of(*row);
            const int y = component<2>(e.y2, model::luma_scale), cb = component<1>(e.cb, model::cb_scale),
                      cr = component<1>(e.cr, model::cr_scale);
            *row = (y | cb | cr) >= 0 ? uint32_t(y) << 24 | uint32_t(cb) << 16 | uint32_t(y) << 8 | uint32_t(cr)
                                      : word(uint8_t(*row >> 16), uint8_t(*row >> 8), uint8_t(*row));
        }
    });
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
