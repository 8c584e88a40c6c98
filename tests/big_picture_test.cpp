// Pictures of over a million pixels through every way a run reads them:
// PNG of 8 and 16 bits, interlaced and not, bitmaps stored bottom-up,
// top-down and as RLE8, a bottom-up RLE TGA, a QOI file and a WebP. At that size rows are decoded on a thread of their
// own, through a ring that wraps around, while the rows already done are
// taken: a ring of the default size, one of two to four rows, where reader
// and taker wait for each other at every row, and none at all (rows read as
// they are asked for). No two rows are alike, so that a row overwritten by
// a later one shows; every word is compared with the picture the file was
// made from.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#ifdef VANTREL_WEBP
#include <webp/encode.h>
#endif

#include "pipeline.h"
#include "png_util.h"

namespace {

// Rows 256 apart would repeat the test pattern's colours.
constexpr int width = 20000, height = 60;

struct big_picture {
    std::string name;
    bytes file;
    rendering want;
    image_error error = image_error::none;
};

// The test pattern at 8 bits, or at 16 with low bytes that round either way.
rendering pattern_rendering(bool deep)
{
    rendering r{width, height, deep ? 65535u : 255u};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const rgb c = pattern(x, y);
            for (const uint8_t v : {c.r, c.g, c.b})
                r.rgba.push_back(deep ? uint16_t(v << 8 | ((x * 7 + y) & 0xff)) : v);
            r.rgba.push_back(uint16_t(r.maxval));
        }
    return r;
}

// An RGB PNG of the rendering, interlaced with Adam7 or not, its image data
// in IDAT chunks of 64 KiB.
bytes rgb_png(const rendering& r, bool interlaced)
{
    struct pass {
        int x0, y0, dx, dy;
    };
    const std::vector<pass> passes = interlaced ? std::vector<pass>{{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                                                     {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}
                                                : std::vector<pass>{{0, 0, 1, 1}};
    bytes raw;
    for (const pass& p : passes)
        for (int y = p.y0; y < r.height && p.x0 < r.width; y += p.dy) {
            raw.push_back(0);
            for (int x = p.x0; x < r.width; x += p.dx)
                for (int k = 0; k < 3; ++k) {
                    const uint16_t v = r.rgba[size_t(y * r.width + x) * 4 + size_t(k)];
                    if (r.maxval > 255)
                        raw.push_back(uint8_t(v >> 8));
                    raw.push_back(uint8_t(v));
                }
        }
    const bytes stream = zlib_stored(raw);
    std::vector<bytes> parts = {png_signature, ihdr(uint32_t(r.width), uint32_t(r.height), r.maxval > 255 ? 16 : 8, 2,
                                                    interlaced)};
    for (size_t at = 0; at < stream.size(); at += 65536)
        parts.push_back(chunk("IDAT", bytes(stream.begin() + long(at), stream.begin() + long(std::min(at + 65536, stream.size())))));
    parts.push_back(chunk("IEND", {}));
    return join(parts);
}

// An RLE8 bitmap of runs of 13 pixels, each row ended by its own escape,
// and the rendering of its palette's colours.
big_picture rle8_bitmap()
{
    big_picture p{"rle8", {}, {width, height, 255}};
    bytes palette, stream;
    for (int i = 0; i < 256; ++i)
        for (const int v : {i * 7, 255 - i, i, 0})  // blue, green, red
            palette.push_back(uint8_t(v));
    const auto index = [](int x, int y) { return uint8_t(x / 13 + y * 3); };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p.want.rgba.insert(p.want.rgba.end(), {index(x, y), uint16_t(255 - index(x, y)), uint8_t(index(x, y) * 7), 255});
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width;) {
            int run = 1;
            while (x + run < width && run < 255 && index(x + run, y) == index(x, y))
                ++run;
            stream.push_back(uint8_t(run)), stream.push_back(index(x, y));
            x += run;
        }
        stream.push_back(0), stream.push_back(y == 0 ? 1 : 0);
    }
    p.file = assemble({.width = width, .height = height, .bits = 8, .compression = 1, .colours = 256, .extra = palette,
                       .data = stream});
    return p;
}

// A bottom-up run-length TGA of stored packets of 128 pixels, which run
// across rows, with the footer that tells it from a bitmap.
bytes rle_tga(const rendering& r)
{
    bytes f = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, uint8_t(width), uint8_t(width >> 8), uint8_t(height), uint8_t(height >> 8), 24, 0};
    for (int i = 0, n = width * height; i < n; ++i) {
        if (i % 128 == 0)
            f.push_back(uint8_t(std::min(n - i, 128) - 1));
        const size_t at = size_t((height - 1 - i / width) * width + i % width) * 4;
        f.insert(f.end(), {uint8_t(r.rgba[at + 2]), uint8_t(r.rgba[at + 1]), uint8_t(r.rgba[at])});
    }
    const std::string footer = "TRUEVISION-XFILE.";
    f.insert(f.end(), 8, 0), f.insert(f.end(), footer.begin(), footer.end() + 1);
    return f;
}

// A QOI file of one RGB op a pixel, long past the first read.
bytes qoi(const rendering& r)
{
    bytes f = {'q', 'o', 'i', 'f', 0, 0, uint8_t(width >> 8), uint8_t(width), 0, 0, uint8_t(height >> 8), uint8_t(height), 3, 0};
    for (size_t at = 0; at < r.rgba.size(); at += 4)
        f.insert(f.end(), {0xfe, uint8_t(r.rgba[at]), uint8_t(r.rgba[at + 1]), uint8_t(r.rgba[at + 2])});
    f.insert(f.end(), 7, 0), f.push_back(1);
    return f;
}

// The rows as a run takes them, once the reading thread has got as far
// ahead as it may: a ring that overfills loses rows not yet taken.
read_picture take_rows(const bytes& file, size_t ring_bytes)
{
    read_picture r;
    const auto picture = loaded_picture::load(std::make_unique<memory_source>(file), {}, r.format, r.error, ring_bytes);
    std::this_thread::sleep_for(std::chrono::milliseconds(ring_bytes > 0 ? 100 : 0));
    for (int t = 0; picture && t < height; ++t) {
        const uint32_t* row = picture->row(t);
        if (!row)
            break;
        r.words.insert(r.words.end(), row, row + width);
    }
    if (picture)
        r.width = picture->width(), r.height = picture->height(), r.error = picture->error();
    return r;
}

TEST(BigPicture, ComesThroughEveryRingWordForWord)
{
    const rendering shallow = pattern_rendering(false), deep = pattern_rendering(true);
    // The last row waits for the file's final checks: here an IDAT chunk
    // after the image data, whose CRC is wrong.
    bytes bad_crc = rgb_png(shallow, false);
    const bytes bad = chunk("IDAT", {}, false);
    bad_crc.insert(bad_crc.end() - 12, bad.begin(), bad.end());
    const std::vector<big_picture> pictures = {
        {"png8", rgb_png(shallow, false), shallow},
        {"png16", rgb_png(deep, false), deep},
        {"png8-interlaced", rgb_png(shallow, true), shallow},
        {"png16-interlaced", rgb_png(deep, true), deep},
        {"bottom-up", make_bmp({.width = width, .height = height}), shallow},
        {"top-down", make_bmp({.width = width, .height = -height}), shallow},
        rle8_bitmap(),
        {"tga-rle", rle_tga(shallow), shallow},
        {"qoi", qoi(shallow), shallow},
        {"png8-bad-crc-late", bad_crc, shallow, image_error::bad_format},
    };
    // A slot holds a row's samples (up to 6 bytes a pixel) and its words.
    for (const size_t ring_bytes : {loaded_picture::default_ring_bytes, size_t{2 * width * (6 + 4)}, size_t{0}})
        for (const big_picture& p : pictures) {
            SCOPED_TRACE(p.name + ", a ring of " + std::to_string(ring_bytes) + " bytes");
            // Threads that wait for each other for ever fail here, not at
            // ctest's timeout.
            auto taken = std::async(std::launch::async, take_rows, std::cref(p.file), ring_bytes);
            if (taken.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
                ADD_FAILURE() << "the rows stopped coming";
                std::_Exit(1);
            }
            const read_picture got = taken.get();
            EXPECT_EQ(std::pair(got.width, got.height), std::pair(width, height));
            EXPECT_EQ(got.error, p.error);
            // Every row given is right, and all of them come unless the file fails.
            const std::vector<uint32_t> want = words_of(p.want);
            const auto right = std::mismatch(got.words.begin(), got.words.end(), want.begin()).first - got.words.begin();
            EXPECT_EQ(size_t(right), got.words.size()) << "row " << right / width << " is wrong";
            EXPECT_EQ(got.words.size() == want.size(), p.error == image_error::none);
        }
}

#ifdef VANTREL_WEBP
// A still WebP is decoded as its bytes are read, its rows handed on as the
// decoder finishes them. Lossless (a WebP is at most 16383 pixels wide), of
// colours that hardly compress: its codes and rows run far past the first
// bytes read, and every word is compared with the colours it was made from.
TEST(BigPicture, WebPRowsComeAsTheDecoderFinishesThem)
{
    constexpr int w = 1100, h = 1000;
    std::vector<uint8_t> rgba;
    std::vector<rgb> colours;
    for (uint32_t i = 0, seed = 1; i < uint32_t(w * h); ++i) {
        seed = seed * 1103515245 + 12345;
        const rgb c = {uint8_t(seed >> 24), uint8_t(seed >> 16), uint8_t(i % w)};
        colours.push_back(c), rgba.insert(rgba.end(), {c.r, c.g, c.b, 255});
    }
    uint8_t* encoded = nullptr;
    const size_t size = WebPEncodeLosslessRGBA(rgba.data(), w, h, w * 4, &encoded);
    const bytes file(encoded, encoded + size);
    WebPFree(encoded);
    for (const size_t ring_bytes : {loaded_picture::default_ring_bytes, size_t{0}}) {
        read_picture r;
        const auto picture = loaded_picture::load(std::make_unique<memory_source>(file), {}, r.format, r.error, ring_bytes);
        ASSERT_NE(picture, nullptr) << int(r.error);
        for (int t = 0; const uint32_t* row = t < h ? picture->row(t) : nullptr; ++t)
            r.words.insert(r.words.end(), row, row + w);
        EXPECT_EQ(picture->error(), image_error::none);
        EXPECT_TRUE(r.words == words_of(colours)) << r.words.size() << " words";
    }
}
#endif

}  // namespace
