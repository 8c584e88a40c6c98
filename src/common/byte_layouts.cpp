#include "byte_layouts.h"

#include <algorithm>
#include <array>

#include "ycbcr_exact.h"

namespace {

struct named_layout {
    const char* option;
    const char* name;
    byte_layout layout;
};
constexpr std::array<named_layout, 9> layouts = {{{"yuyv", "YUYV", byte_layout::yuyv},
                                                  {"uyvy", "UYVY", byte_layout::uyvy},
                                                  {"yvyu", "YVYU", byte_layout::yvyu},
                                                  {"vyuy", "VYUY", byte_layout::vyuy},
                                                  {"nv12", "NV12", byte_layout::nv12},
                                                  {"nv21", "NV21", byte_layout::nv21},
                                                  {"i420", "I420", byte_layout::i420},
                                                  {"yv12", "YV12", byte_layout::yv12},
                                                  {"yuv444", "YUV444", byte_layout::yuv444}}};

// Where Y0, Cb, Y1 and Cr go in a packed 4:2:2 pair's four bytes.
struct pair_order {
    int y0, cb, y1, cr;
};
constexpr pair_order order_of(byte_layout layout)
{
    switch (layout) {
    case byte_layout::uyvy: return {1, 0, 3, 2};
    case byte_layout::yvyu: return {0, 3, 2, 1};
    case byte_layout::vyuy: return {1, 2, 3, 0};
    default: return {0, 1, 2, 3};
    }
}

template <typename model>
void packed_row(byte_layout layout, uint32_t width, const uint32_t* rgb, uint8_t* out)
{
    const auto terms_of = [&](uint32_t x) {
        const uint32_t c = rgb[x];
        return model::exact(uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c));
    };
    if (layout == byte_layout::yuv444) {
        for (uint32_t x = 0; x < width; ++x, out += 3) {
            const ycbcr_model::terms t = terms_of(x);
            out[0] = model::template luma<1>(t.y), out[1] = model::template cb<1>(t.b_minus_y);
            out[2] = model::template cr<1>(t.r_minus_y);
        }
        return;
    }
    const pair_order o = order_of(layout);
    for (uint32_t x = 0; x < width; x += 2, out += 4) {
        const ycbcr_model::terms first = terms_of(x), second = x + 1 < width ? terms_of(x + 1) : first;
        const uint8_t y0 = model::template luma<1>(first.y), y1 = model::template luma<1>(second.y);
        const uint8_t cb = model::template cb<2>(first.b_minus_y + second.b_minus_y);
        const uint8_t cr = model::template cr<2>(first.r_minus_y + second.r_minus_y);
        out[o.y0] = y0, out[o.y1] = y1, out[o.cb] = cb, out[o.cr] = cr;
    }
}

}  // namespace

bool parse_layout(const std::string& text, byte_layout& layout)
{
    for (const named_layout& l : layouts)
        if (text == l.option)
            return layout = l.layout, true;
    return false;
}

const char* layout_name(byte_layout layout)
{
    return layouts[size_t(layout)].name;
}

layout_geometry geometry_of(byte_layout layout, uint32_t width, uint32_t height)
{
    layout_geometry g;
    const uint64_t w = width, h = height, half_w = (w + 1) / 2, half_h = (h + 1) / 2;
    switch (layout) {
    case byte_layout::yuv444:
        g.stride = 3 * w;
        break;
    case byte_layout::nv12:
    case byte_layout::nv21:
    case byte_layout::i420:
    case byte_layout::yv12: {
        g.planar = true, g.stride = w, g.chroma_rows = half_h;
        const bool pairs = layout == byte_layout::nv12 || layout == byte_layout::nv21;
        const bool cb_first = layout == byte_layout::nv12 || layout == byte_layout::i420;
        g.chroma_stride = pairs ? 2 * half_w : half_w;
        const uint64_t first = w * h, second = pairs ? first + 1 : first + half_w * half_h;
        g.cb_offset = cb_first ? first : second, g.cr_offset = cb_first ? second : first;
        g.bytes = first + 2 * half_w * half_h;
        return g;
    }
    default:
        g.stride = 4 * half_w;
    }
    g.bytes = g.stride * h;
    return g;
}

ycbcr_sample sample_at(byte_layout layout, const layout_geometry& g, const uint8_t* bytes, uint32_t x, uint32_t y)
{
    if (layout == byte_layout::yuv444) {
        const uint8_t* p = bytes + y * g.stride + 3 * uint64_t{x};
        return {p[0], p[1], p[2]};
    }
    if (!g.planar) {
        const pair_order o = order_of(layout);
        const uint8_t* p = bytes + y * g.stride + 4 * uint64_t{x / 2};
        return {p[x % 2 ? o.y1 : o.y0], p[o.cb], p[o.cr]};
    }
    const uint64_t step = layout == byte_layout::nv12 || layout == byte_layout::nv21 ? 2 : 1;
    const uint64_t chroma = uint64_t{y / 2} * g.chroma_stride + uint64_t{x / 2} * step;
    return {bytes[y * g.stride + x], bytes[g.cb_offset + chroma], bytes[g.cr_offset + chroma]};
}

layout_encoder::layout_encoder(byte_layout layout, const ycbcr_model& model, uint32_t width, uint32_t height)
    : layout_(layout), model_(model), width_(width), height_(height), geometry_(geometry_of(layout, width, height))
{
    out_.resize(size_t(geometry_.stride));
    if (geometry_.planar) {
        chroma_.resize(size_t(geometry_.bytes - uint64_t{width} * height));
        sums_.resize((size_t{width} + 1) / 2);
        counts_.resize(sums_.size());
    }
}

void encode_packed_row(byte_layout layout, const ycbcr_model& model, uint32_t width, const uint32_t* rgb, uint8_t* out)
{
    ycbcr_exact::with_model(model, [&](auto m) { packed_row<decltype(m)>(layout, width, rgb, out); });
}

const std::vector<uint8_t>& layout_encoder::row(const uint32_t* rgb)
{
    ycbcr_exact::with_model(model_, [&](auto m) { encode<decltype(m)>(rgb); });
    ++next_;
    return out_;
}

template <typename model>
void layout_encoder::encode(const uint32_t* rgb)
{
    const auto terms_of = [&](uint32_t x) {
        const uint32_t c = rgb[x];
        return model::exact(uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c));
    };
    uint8_t* out = out_.data();
    if (!geometry_.planar) {
        packed_row<model>(layout_, width_, rgb, out);
    } else {
        if (next_ % 2 == 0)
            std::fill(sums_.begin(), sums_.end(), ycbcr_model::terms{}), std::fill(counts_.begin(), counts_.end(), 0);
        for (uint32_t x = 0; x < width_; ++x) {
            const ycbcr_model::terms t = terms_of(x);
            out[x] = model::template luma<1>(t.y);
            sums_[x / 2] += t, ++counts_[x / 2];
        }
        if (next_ % 2 == 1 || next_ + 1 == height_)
            chroma_row<model>(next_ / 2);
    }
}

template <typename model>
void layout_encoder::chroma_row(uint32_t chroma_y)
{
    const uint64_t start = uint64_t{width_} * height_;
    const bool pairs = layout_ == byte_layout::nv12 || layout_ == byte_layout::nv21;
    const uint64_t step = pairs ? 2 : 1;
    uint8_t* cb = chroma_.data() + (geometry_.cb_offset - start) + chroma_y * geometry_.chroma_stride;
    uint8_t* cr = chroma_.data() + (geometry_.cr_offset - start) + chroma_y * geometry_.chroma_stride;
    for (size_t i = 0; i < sums_.size(); ++i, cb += step, cr += step) {
        // A whole block, or at an odd edge one or two pixels.
        const ycbcr_model::terms& t = sums_[i];
        if (counts_[i] == 4)
            *cb = model::template cb<4>(t.b_minus_y), *cr = model::template cr<4>(t.r_minus_y);
        else
            ycbcr_exact::with_pixels(counts_[i], [&](auto n) {
                *cb = model::template cb<n()>(t.b_minus_y), *cr = model::template cr<n()>(t.r_minus_y);
            });
    }
}

const std::vector<uint8_t>& layout_encoder::finish()
{
    next_ = 0;
    return chroma_;
}
