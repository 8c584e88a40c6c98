// prepare_row (byte_layouts.h): what the thread that converts a row makes
// of its colours alone, in the row's own memory.
#include <array>
#include <cstring>

#include "byte_layouts.h"
#include "ycbcr_exact.h"
#include "ycbcr_fast.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define VANTREL_LAYOUT_SSE2 1
#include <emmintrin.h>
#endif

namespace {

using ycbcr_fast::component;

uint32_t red(uint32_t c) { return c >> 16 & 0xff; }
uint32_t green(uint32_t c) { return c >> 8 & 0xff; }
uint32_t blue(uint32_t c) { return c & 0xff; }

// One pair of a packed 4:2:2 row, x and x + 1 (the last pixel again at an
// odd end), by the exact arithmetic.
template <typename model>
void exact_pair(const uint32_t* rgb, uint32_t x, uint32_t width, const pair_order& o, uint8_t* out)
{
    const auto terms_of = [&](uint32_t i) { return model::exact(int32_t(red(rgb[i])), int32_t(green(rgb[i])), int32_t(blue(rgb[i]))); };
    const ycbcr_model::terms first = terms_of(x), second = x + 1 < width ? terms_of(x + 1) : first;
    out[o.y0] = model::template luma<1>(first.y), out[o.y1] = model::template luma<1>(second.y);
    out[o.cb] = model::template cb<2>(first.b_minus_y + second.b_minus_y);
    out[o.cr] = model::template cr<2>(first.r_minus_y + second.r_minus_y);
}

#ifdef VANTREL_LAYOUT_SSE2
// Four pairs at a time, while eight pixels remain: a pair's lanes are the
// first pixel's entry and the second's with its luma moved to the zero
// lane, Y0, Cb, Y1, Cr, every one at 2 S (ycbcr_fast.h), put in the
// layout's order (shuffle) and packed to bytes, which clamps them to 255.
// Returns where the rest begins.
template <typename model, int shuffle>
uint32_t packed_pairs_sse2(uint32_t width, const uint32_t* rgb, uint8_t* out, const pair_order& o)
{
    using namespace ycbcr_fast;
    const tables<model>& t = tables_of<model>;
    const auto entry_of = [&](uint32_t c) {
        const auto load = [](const entry& e) { return _mm_load_si128(reinterpret_cast<const __m128i*>(&e)); };
        return _mm_add_epi32(_mm_add_epi32(load(t.red[red(c)]), load(t.green[green(c)])), load(t.blue[blue(c)]));
    };
    const __m128i lifted = _mm_setr_epi32(lift<2>(model::luma_scale), lift<2>(model::cb_scale), lift<2>(model::luma_scale),
                                          lift<2>(model::cr_scale));
    const __m128i below = _mm_set1_epi32(int32_t(2 * one - 1)), edge = _mm_set1_epi32(int32_t(2 * one - 6)),
                  bias = _mm_set1_epi32(256);
    uint32_t x = 0;
    for (; x + 8 <= width; x += 8, out += 16) {
        __m128i v[4], near = _mm_setzero_si128();
        for (uint32_t k = 0; k < 4; ++k) {
            const __m128i second = _mm_shuffle_epi32(entry_of(rgb[x + 2 * k + 1]), _MM_SHUFFLE(3, 0, 1, 2));
            const __m128i sum = _mm_add_epi32(_mm_add_epi32(entry_of(rgb[x + 2 * k]), second), lifted);
            near = _mm_or_si128(near, _mm_cmpgt_epi32(_mm_and_si128(sum, below), edge));
            v[k] = _mm_shuffle_epi32(_mm_sub_epi32(_mm_srli_epi32(sum, bits + 1), bias), shuffle);
        }
        if (_mm_movemask_epi8(near) != 0) {
            for (uint32_t k = 0; k < 4; ++k)
                exact_pair<model>(rgb, x + 2 * k, width, o, out + 4 * k);
            continue;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(_mm_packs_epi32(v[0], v[1]), _mm_packs_epi32(v[2], v[3])));
    }
    return x;
}
#endif

// Each pixel, pair or lone last pixel is made from the tables, or by the
// exact arithmetic when they cannot tell.
template <typename model>
void packed_row(byte_layout layout, uint32_t width, const uint32_t* rgb, uint8_t* out)
{
    const ycbcr_fast::tables<model>& fast = ycbcr_fast::tables_of<model>;
    if (layout == byte_layout::yuv444) {
        for (uint32_t x = 0; x < width; ++x, out += 3) {
            const ycbcr_fast::entry e = fast.of(rgb[x]);
            const int y = component<2>(e.y2, model::luma_scale), cb = component<1>(e.cb, model::cb_scale),
                      cr = component<1>(e.cr, model::cr_scale);
            if ((y | cb | cr) >= 0) {
                out[0] = uint8_t(y), out[1] = uint8_t(cb), out[2] = uint8_t(cr);
                continue;
            }
            const ycbcr_model::terms t = model::exact(int32_t(red(rgb[x])), int32_t(green(rgb[x])), int32_t(blue(rgb[x])));
            out[0] = model::template luma<1>(t.y), out[1] = model::template cb<1>(t.b_minus_y);
            out[2] = model::template cr<1>(t.r_minus_y);
        }
        return;
    }
    const pair_order o = order_of(layout);
    uint32_t x = 0;
#ifdef VANTREL_LAYOUT_SSE2
    // Lane j of the bytes takes the pair's lane that order puts there.
    switch (layout) {
    case byte_layout::uyvy: x = packed_pairs_sse2<model, _MM_SHUFFLE(2, 3, 0, 1)>(width, rgb, out, o); break;
    case byte_layout::yvyu: x = packed_pairs_sse2<model, _MM_SHUFFLE(1, 2, 3, 0)>(width, rgb, out, o); break;
    case byte_layout::vyuy: x = packed_pairs_sse2<model, _MM_SHUFFLE(2, 1, 0, 3)>(width, rgb, out, o); break;
    default: x = packed_pairs_sse2<model, _MM_SHUFFLE(3, 2, 1, 0)>(width, rgb, out, o);
    }
    out += 2 * x;
#endif
    for (; x < width; x += 2, out += 4) {
        if (x + 1 < width) {
            const ycbcr_fast::entry first = fast.of(rgb[x]), second = fast.of(rgb[x + 1]);
            const int y0 = component<2>(first.y2, model::luma_scale), y1 = component<2>(second.y2, model::luma_scale);
            const int cb = component<2>(first.cb + second.cb, model::cb_scale);
            const int cr = component<2>(first.cr + second.cr, model::cr_scale);
            if ((y0 | y1 | cb | cr) >= 0) {
                out[o.y0] = uint8_t(y0), out[o.y1] = uint8_t(y1), out[o.cb] = uint8_t(cb), out[o.cr] = uint8_t(cr);
                continue;
            }
        }
        exact_pair<model>(rgb, x, width, o, out);
    }
}

// A 4:2:0 row's part that stands alone: each pair's two lumas, then its red,
// green and blue sums (up to 510: 16 bits each, in memory order), in the
// pair's own eight bytes; a lone last pixel's luma, red, green and blue in
// its four.
template <typename model>
void planar_row(uint32_t width, uint32_t* row)
{
    auto* out = reinterpret_cast<uint8_t*>(row);
    const ycbcr_fast::tables<model>& fast = ycbcr_fast::tables_of<model>;
    const auto luma = [&](uint32_t c) {
        const int y = component<2>(fast.red[red(c)].y2 + fast.green[green(c)].y2 + fast.blue[blue(c)].y2, model::luma_scale);
        return y >= 0 ? uint8_t(y) : model::template luma<1>(model::exact(int32_t(red(c)), int32_t(green(c)), int32_t(blue(c))).y);
    };
    uint32_t x = 0;
    for (; x + 1 < width; x += 2, out += 8) {
        const uint32_t first = row[x], second = row[x + 1];
        const std::array<uint16_t, 3> sums = {uint16_t(red(first) + red(second)), uint16_t(green(first) + green(second)),
                                              uint16_t(blue(first) + blue(second))};
        out[0] = luma(first), out[1] = luma(second);
        std::memcpy(out + 2, sums.data(), sizeof sums);
    }
    if (x < width) {
        const uint32_t last = row[x];
        out[0] = luma(last), out[1] = uint8_t(red(last)), out[2] = uint8_t(green(last)), out[3] = uint8_t(blue(last));
    }
}

}  // namespace

void prepare_row(byte_layout layout, const ycbcr_model& model, uint32_t width, uint32_t* row)
{
    ycbcr_exact::with_model(model, [&](auto m) {
        if (geometry_of(layout, 1, 1).planar)
            planar_row<decltype(m)>(width, row);
        else
            packed_row<decltype(m)>(layout, width, row, reinterpret_cast<uint8_t*>(row));
    });
}
