// The arithmetic of ycbcr_model.h with its constants known to the compiler,
// so that a big picture's divisions become multiplications: one type for
// each matrix and range, with Kr and Kb in ten thousandths.
#ifndef VANTREL_YCBCR_EXACT_H
#define VANTREL_YCBCR_EXACT_H

#include <algorithm>
#include <cstdint>

#include "ycbcr_model.h"

namespace ycbcr_exact {

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

template <int64_t kr, int64_t kb, bool limited>
struct model {
    static constexpr int64_t unit = 10000, kg = unit - kr - kb;

    static constexpr ycbcr_model::terms exact(uint8_t r, uint8_t g, uint8_t b)
    {
        const int64_t y = kr * r + kg * g + kb * b;
        return {y, unit * b - y, unit * r - y};
    }

    // Of the sum of pixels pixels' terms. 255 E'Y = y / unit, and
    // 16 + 219 E'Y = 16 + 219 y / (255 unit); 255 E'Pb = (B - Y) / (2 (1 - Kb)),
    // B - Y in ten thousandths, and the same for Pr.
    template <int pixels>
    static constexpr uint8_t luma(int64_t y)
    {
        return limited ? clamped(16 + rounded(219 * y, 255 * unit * pixels)) : clamped(rounded(y, unit * pixels));
    }
    template <int pixels>
    static constexpr uint8_t cb(int64_t b_minus_y)
    {
        return chroma(b_minus_y, 2 * (unit - kb) * pixels);
    }
    template <int pixels>
    static constexpr uint8_t cr(int64_t r_minus_y)
    {
        return chroma(r_minus_y, 2 * (unit - kr) * pixels);
    }

private:
    static constexpr uint8_t chroma(int64_t difference, int64_t d)
    {
        return clamped(128 + (limited ? rounded(224 * difference, 255 * d) : rounded(difference, d)));
    }
};

// Calls f with the model type that m names.
template <typename F>
decltype(auto) with_model(const ycbcr_model& m, F&& f)
{
    const bool bt601 = m.coefficients == ycbcr_model::matrix::bt601;
    if (bt601)
        return m.limited ? f(model<2990, 1140, true>{}) : f(model<2990, 1140, false>{});
    return m.limited ? f(model<2126, 722, true>{}) : f(model<2126, 722, false>{});
}

// Calls f with std::integral_constant<int, pixels> for 1, 2 and 4 pixels.
template <typename F>
decltype(auto) with_pixels(int pixels, F&& f)
{
    switch (pixels) {
    case 1: return f(std::integral_constant<int, 1>{});
    case 2: return f(std::integral_constant<int, 2>{});
    default: return f(std::integral_constant<int, 4>{});
    }
}

}  // namespace ycbcr_exact

#endif
