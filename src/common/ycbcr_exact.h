// The arithmetic of ycbcr_model.h with its constants known to the compiler,
// so that a big picture's divisions become multiplications: one type for
// each matrix and range, with Kr and Kb in ten thousandths.
#ifndef VANTREL_YCBCR_EXACT_H
#define VANTREL_YCBCR_EXACT_H

#include <algorithm>
#include <cstdint>
#include <numeric>

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

// offset + rounded(num v, den), clamped to 0..255, for v in lowest..highest: the
// same value as those functions give, but in unsigned 32-bit integers, so
// that a picture's worth of them costs a multiplication and a shift each.
// With the fraction in lowest terms n / d, offset + round(n v / d) is
// floor((2 n v + d + 2 d offset) / 2 d), whose numerator the asserts keep
// within 0..2^32 - 1 for every v allowed; a result under 0 cannot occur.
template <int64_t num, int64_t den, int64_t offset, int64_t lowest, int64_t highest>
constexpr uint8_t scaled(int32_t v)
{
    constexpr int64_t common = std::gcd(num, den), n = num / common, d = den / common;
    static_assert(2 * n * lowest + d + 2 * d * offset >= 0, "a value could fall below 0");
    static_assert(2 * n * highest + d + 2 * d * offset <= int64_t{UINT32_MAX}, "a value could overflow");
    const uint32_t lifted = uint32_t(int64_t{2 * n} * v + d + 2 * d * offset);
    return static_cast<uint8_t>(std::min<uint32_t>(lifted / uint32_t(2 * d), 255));
}

// A component of one pixel is offset + num v / den rounded, v its term.
struct scale {
    int64_t num, den, offset;
};

template <int64_t kr_, int64_t kb_, bool limited>
struct model {
    static constexpr int64_t unit = 10000, kr = kr_, kb = kb_, kg = unit - kr - kb;

    // Of one colour, or of several colours' summed channels (up to four).
    static constexpr ycbcr_model::terms exact(int32_t r, int32_t g, int32_t b)
    {
        const int32_t y = int32_t(kr * r + kg * g + kb * b);
        return {y, int32_t(unit * b) - y, int32_t(unit * r) - y};
    }

    // 255 E'Y = y / unit, and 16 + 219 E'Y = 16 + 219 y / (255 unit);
    // 255 E'Pb = (B - Y) / (2 (1 - Kb)), B - Y in ten thousandths, and the
    // same for Pr.
    static constexpr scale luma_scale = limited ? scale{219, 255 * unit, 16} : scale{1, unit, 0};
    static constexpr scale cb_scale = limited ? scale{224, 255 * 2 * (unit - kb), 128} : scale{1, 2 * (unit - kb), 128};
    static constexpr scale cr_scale = limited ? scale{224, 255 * 2 * (unit - kr), 128} : scale{1, 2 * (unit - kr), 128};

    // Of the sum of pixels pixels' terms: the average's component. A
    // colour difference lies within 255 (1 - K) of 0 for each pixel.
    template <int pixels>
    static constexpr uint8_t luma(int32_t y)
    {
        return scaled<luma_scale.num, luma_scale.den * pixels, luma_scale.offset, 0, 255 * unit * pixels>(y);
    }
    template <int pixels>
    static constexpr uint8_t cb(int32_t b_minus_y)
    {
        constexpr int64_t most = 255 * (unit - kb) * pixels;
        return scaled<cb_scale.num, cb_scale.den * pixels, cb_scale.offset, -most, most>(b_minus_y);
    }
    template <int pixels>
    static constexpr uint8_t cr(int32_t r_minus_y)
    {
        constexpr int64_t most = 255 * (unit - kr) * pixels;
        return scaled<cr_scale.num, cr_scale.den * pixels, cr_scale.offset, -most, most>(r_minus_y);
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
