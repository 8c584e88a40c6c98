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
    // Pointers of their own: a byte stored through out_.data() could, for
    // all the compiler knows, change the vectors themselves.
    uint8_t* const luma = out_.data();
    std::array<uint16_t, 3>* const sums = sums_.data();
    const uint32_t pairs = width_ / 2;
    for (uint32_t i = 0; i < pairs; ++i, bytes += 8) {
        std::array<uint16_t, 3> pair;
        std::memcpy(pair.data(), bytes + 2, sizeof pair);
        luma[2 * i] = bytes[0], luma[2 * i + 1] = bytes[1];
        for (size_t c = 0; c < 3; ++c)
            sums[i][c] = uint16_t(sums[i][c] + pair[c]);
    }
    if (width_ % 2 == 1) {
        luma[width_ - 1] = bytes[0];
        for (size_t c = 0; c < 3; ++c)
            sums[pairs][c] = uint16_t(sums[pairs][c] + bytes[1 + c]);
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
    const std::array<uint16_t, 3>* const sums = sums_.data();
    for (size_t i = 0, blocks = sums_.size(); i < blocks; ++i, cb += step, cr += step) {
        const ycbcr_model::terms t = model::exact(sums[i][0], sums[i][1], sums[i][2]);
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
