// The components of ycbcr_exact.h's models from tables, for the layouts'
// millions of pixels: the same bytes, a few loads and adds each.
//
// A component of k pixels (k = 1, or 2 for a 4:2:2 pair's chroma) is
// floor(V) clamped to 255, with V = offset + 1/2 + num v / (den k) and v the
// pixels' summed term, a sum over their channels of coefficient times
// value. Each channel's table holds S num coefficient value / den (S = 2^16)
// rounded down, for Cb and Cr, and twice that for luma, side by side in one
// 16-byte entry, so that a pixel costs three loads and two adds. Summed,
// each component is S k (V - offset - 1/2) short by less than 3 k, with
// k = 2 for a single luma, whose terms are doubled. The component is that
// sum with S k (offset + 1/2) added, divided by S k and rounded down, unless
// the sum lies within 3 k below a multiple of S k; for those few values
// (about one in twenty thousand) the exact arithmetic decides.
#ifndef VANTREL_YCBCR_FAST_H
#define VANTREL_YCBCR_FAST_H

#include <algorithm>
#include <array>
#include <cstdint>

#include "ycbcr_exact.h"

namespace ycbcr_fast {

constexpr int bits = 16;
constexpr int64_t one = int64_t{1} << bits;

// S num coefficient value / den, rounded down.
constexpr int32_t term(const ycbcr_exact::scale& s, int64_t coefficient, int64_t value)
{
    const int64_t n = one * s.num * coefficient * value;
    return int32_t(n >= 0 ? n / s.den : -((-n + s.den - 1) / s.den));
}

// Twice the luma term, Cb's and Cr's, and a lane of 0 that lets a pair's
// second pixel's luma be moved beside the first's (packed_rows.cpp).
struct alignas(16) entry {
    int32_t y2, cb, zero, cr;
};

template <typename model>
struct tables {
    std::array<entry, 256> red{}, green{}, blue{};

    constexpr tables()
    {
        constexpr int64_t u = model::unit, kr = model::kr, kg = model::kg, kb = model::kb;
        constexpr ycbcr_exact::scale y = model::luma_scale, cb = model::cb_scale, cr = model::cr_scale;
        // Y = Kr R + Kg G + Kb B, B - Y and R - Y, in ten thousandths.
        for (int64_t v = 0; v < 256; ++v) {
            red[size_t(v)] = {2 * term(y, kr, v), term(cb, -kr, v), 0, term(cr, u - kr, v)};
            green[size_t(v)] = {2 * term(y, kg, v), term(cb, -kg, v), 0, term(cr, -kg, v)};
            blue[size_t(v)] = {2 * term(y, kb, v), term(cb, u - kb, v), 0, term(cr, -kb, v)};
        }
    }

    entry of(uint32_t colour) const
    {
        const entry& r = red[colour >> 16 & 0xff];
        const entry& g = green[colour >> 8 & 0xff];
        const entry& b = blue[colour & 0xff];
        return {r.y2 + g.y2 + b.y2, r.cb + g.cb + b.cb, 0, r.cr + g.cr + b.cr};
    }
};

template <typename model>
inline constexpr tables<model> tables_of{};

// What a sum at S k adds: S k (offset + 1/2), and a bias of 256 S k that
// keeps it above 0 and goes with the bits above the byte.
template <int k>
constexpr int32_t lift(const ycbcr_exact::scale& s)
{
    return int32_t(k * one * (2 * s.offset + 1) / 2 + 256 * k * one);
}

// The component of k pixels (k = 2 for one pixel's luma) whose entries sum
// to sum, in s; -1 when the sum lies too near a rounding edge to tell.
template <int k>
constexpr int component(int32_t sum, const ycbcr_exact::scale& s)
{
    constexpr uint32_t whole = uint32_t{k} << bits, shift = k == 1 ? bits : bits + 1;
    static_assert(k == 1 || k == 2);
    const uint32_t lifted = uint32_t(sum) + uint32_t(lift<k>(s));
    if ((lifted & (whole - 1)) > whole - 3 * k)
        return -1;
    return std::min(int(lifted >> shift) - 256, 255);
}

}  // namespace ycbcr_fast

#endif
