#include "byte_layouts.h"

#include <algorithm>
#include <array>
#include <cstring>

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

// A 4:2:0 row's part that stands alone: each pair's two lumas, then its red,
// green and blue sums (up to 510: 16 bits each, in memory order), in the
// pair's own eight bytes; a lone last pixel's luma, red, green and blue in
// its four.
template <typename model>
void planar_row(uint32_t width, uint32_t* row)
{
    auto* out = reinterpret_cast<uint8_t*>(row);
    const auto channels = [](uint32_t c) { return std::array<uint16_t, 3>{uint16_t(c >> 16 & 0xff), uint16_t(c >> 8 & 0xff), uint16_t(c & 0xff)}; };
    const auto luma = [](const std::array<uint16_t, 3>& c) { return model::template luma<1>(model::exact(c[0], c[1], c[2]).y); };
    uint32_t x = 0;
    for (; x + 1 < width; x += 2, out += 8) {
        const std::array<uint16_t, 3> first = channels(row[x]), second = channels(row[x + 1]);
        const std::array<uint16_t, 3> sums = {uint16_t(first[0] + second[0]), uint16_t(first[1] + second[1]),
                                              uint16_t(first[2] + second[2])};
        out[0] = luma(first), out[1] = luma(second);
        std::memcpy(out + 2, sums.data(), sizeof sums);
    }
    if (x < width) {
        const std::array<uint16_t, 3> last = channels(row[x]);
        out[0] = luma(last), out[1] = uint8_t(last[0]), out[2] = uint8_t(last[1]), out[3] = uint8_t(last[2]);
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

void prepare_row(byte_layout layout, const ycbcr_model& model, uint32_t width, uint32_t* row)
{
    ycbcr_exact::with_model(model, [&](auto m) {
        if (geometry_of(layout, 1, 1).planar)
            planar_row<decltype(m)>(width, row);
        else
            packed_row<decltype(m)>(layout, width, row, reinterpret_cast<uint8_t*>(row));
    });
}

layout_encoder::layout_encoder(byte_layout layout, const ycbcr_model& model, uint32_t width, uint32_t height)
    : layout_(layout), model_(model), width_(width), height_(height), geometry_(geometry_of(layout, width, height))
{
    colours_.resize(width);
    if (geometry_.planar) {
        out_.resize(width);
        chroma_.resize(size_t(geometry_.bytes - uint64_t{width} * height));
        sums_.resize((size_t{width} + 1) / 2);
    }
}

const uint8_t* layout_encoder::row(const uint32_t* rgb)
{
    std::copy(rgb, rgb + width_, colours_.begin());
    prepare_row(layout_, model_, width_, colours_.data());
    return prepared_row(colours_.data());
}

const uint8_t* layout_encoder::prepared_row(const uint32_t* prepared)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(prepared);
    if (!geometry_.planar)
        return bytes;
    if (next_ % 2 == 0)
        std::fill(sums_.begin(), sums_.end(), std::array<uint16_t, 3>{});
    const uint32_t pairs = width_ / 2;
    for (uint32_t i = 0; i < pairs; ++i, bytes += 8) {
        std::array<uint16_t, 3> pair;
        std::memcpy(pair.data(), bytes + 2, sizeof pair);
        out_[2 * i] = bytes[0], out_[2 * i + 1] = bytes[1];
        sums_[i][0] = uint16_t(sums_[i][0] + pair[0]), sums_[i][1] = uint16_t(sums_[i][1] + pair[1]);
        sums_[i][2] = uint16_t(sums_[i][2] + pair[2]);
    }
    if (width_ % 2 == 1) {
        out_[width_ - 1] = bytes[0];
        for (int c = 0; c < 3; ++c)
            sums_[pairs][c] = uint16_t(sums_[pairs][c] + bytes[1 + c]);
    }
    if (next_ % 2 == 1 || next_ + 1 == height_)
        ycbcr_exact::with_model(model_, [&](auto m) { chroma_row<decltype(m)>(next_ / 2); });
    ++next_;
    return out_.data();
}

template <typename model>
void layout_encoder::chroma_row(uint32_t chroma_y)
{
    const uint64_t start = uint64_t{width_} * height_;
    const bool pairs = layout_ == byte_layout::nv12 || layout_ == byte_layout::nv21;
    const uint64_t step = pairs ? 2 : 1;
    uint8_t* cb = chroma_.data() + (geometry_.cb_offset - start) + chroma_y * geometry_.chroma_stride;
    uint8_t* cr = chroma_.data() + (geometry_.cr_offset - start) + chroma_y * geometry_.chroma_stride;
    // A whole block has four pixels; at an odd edge, one or two lie in the picture.
    const int rows = 2 * uint64_t{chroma_y} + 1 < height_ ? 2 : 1;
    for (size_t i = 0; i < sums_.size(); ++i, cb += step, cr += step) {
        const ycbcr_model::terms t = model::exact(sums_[i][0], sums_[i][1], sums_[i][2]);
        const int pixels = rows * (2 * i + 1 < width_ ? 2 : 1);
        if (pixels == 4)
            *cb = model::template cb<4>(t.b_minus_y), *cr = model::template cr<4>(t.r_minus_y);
        else
            ycbcr_exact::with_pixels(pixels, [&](auto n) {
                *cb = model::template cb<n()>(t.b_minus_y), *cr = model::template cr<n()>(t.r_minus_y);
            });
    }
}

const std::vector<uint8_t>& layout_encoder::finish()
{
    next_ = 0;
    return chroma_;
}
