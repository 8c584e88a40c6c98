// The luma/chroma layouts that hardware reads (--layout), as bytes in
// memory order, so that every target holds the same ones:
//   packed 4:2:2, a chroma pair for each two pixels: yuyv (Y0 Cb Y1 Cr),
//     uyvy (Cb Y0 Cr Y1), yvyu (Y0 Cr Y1 Cb), vyuy (Cr Y0 Cb Y1); a row
//     of odd width ends with a pair whose second pixel repeats the last;
//   4:2:0, a luma plane then chroma for each 2 x 2 block: nv12 (one plane
//     of Cb, Cr pairs), nv21 (Cr, Cb pairs), i420 (a Cb plane, then a Cr
//     plane), yv12 (Cr, then Cb); the chroma planes are ceil(w / 2) x
//     ceil(h / 2), as ffmpeg lays them out;
//   yuv444, Y, Cb, Cr for each pixel.
// Shared chroma is the average of the pixels' exact chroma (those of the
// pair or block that lie in the picture), rounded once (ycbcr_model.h).
#ifndef VANTREL_BYTE_LAYOUTS_H
#define VANTREL_BYTE_LAYOUTS_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ycbcr_model.h"

enum class byte_layout { yuyv, uyvy, yvyu, vyuy, nv12, nv21, i420, yv12, yuv444 };

// "yuyv", ...: false for any other text.
bool parse_layout(const std::string& text, byte_layout& layout);
// "YUYV", "NV12", ...
const char* layout_name(byte_layout layout);

// Where a picture's bytes lie: the first plane's row length, and for 4:2:0
// where the first Cb and Cr bytes are and the chroma rows' length (in NV12
// a Cb and the next Cr are two bytes apart, in I420 they are planes apart).
struct layout_geometry {
    bool planar = false;
    uint64_t stride = 0, bytes = 0;
    uint64_t cb_offset = 0, cr_offset = 0, chroma_stride = 0, chroma_rows = 0;
};
layout_geometry geometry_of(byte_layout layout, uint32_t width, uint32_t height);

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

// The Y, Cb and Cr that the picture of those bytes gives pixel (x, y): a
// shared chroma for each pixel that shares it.
struct ycbcr_sample {
    uint8_t y, cb, cr;
};
ycbcr_sample sample_at(byte_layout layout, const layout_geometry& g, const uint8_t* bytes, uint32_t x, uint32_t y);

// What the thread that converts a row of colours (0x00RRGGBB) can make of
// it alone, in the row's own memory: a packed layout's bytes (4:2:2 and
// 4:4:4, whose rows stand alone), geometry_of(...).stride of them; for
// 4:2:0, each pair of pixels' lumas and the sums of its red, green and blue,
// which layout_encoder::prepared_row finishes. Each colour is read before
// its place is written.
void prepare_row(byte_layout layout, const ycbcr_model& model, uint32_t width, uint32_t* row);

// Turns a picture's rows (top row first) into its bytes: the packed
// layouts' rows as they come, the 4:2:0 layouts' luma rows as they come and
// their chroma planes after the last row.
class layout_encoder {
public:
    layout_encoder(byte_layout layout, const ycbcr_model& model, uint32_t width, uint32_t height);

    const layout_geometry& geometry() const { return geometry_; }

    // The bytes the next row gives now, geometry().stride of them, valid
    // until the next call: from the row's colours, or from what prepare_row
    // made of them (for a packed layout, those very bytes).
    const uint8_t* row(const uint32_t* rgb);
    const uint8_t* prepared_row(const uint32_t* prepared);

    // After the last row, the chroma planes (empty for packed layouts); the
    // encoder then starts again for another picture of the same size.
    const std::vector<uint8_t>& finish();

private:
    template <typename model>
    void chroma_row(uint32_t chroma_y);

    byte_layout layout_;
    ycbcr_model model_;
    uint32_t width_, height_, next_ = 0;
    layout_geometry geometry_;
    std::vector<uint32_t> colours_;  // row()'s, prepared in place
    std::vector<uint8_t> out_, chroma_;
    // A 4:2:0 row pair's red, green and blue sums, a block at a time.
    std::vector<std::array<uint16_t, 3>> sums_;
};

#endif
