#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <utility>

#include "pipeline.h"
#include "test_util.h"

#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>
#endif

// Every allocation through new counted, and the one asked for made to fail.
struct {
    std::atomic<long> live{0};
    std::atomic<int> fail_at{0}, made{0};
} allocations;

void* operator new(size_t size)
{
    if (const int n = allocations.fail_at.load(); n > 0 && allocations.made.fetch_add(1) + 1 == n)
        throw std::bad_alloc();
    void* p = std::malloc(size > 0 ? size : 1);
    if (!p)
        throw std::bad_alloc();
    ++allocations.live;
    return p;
}

// GCC takes the free() below for the release of what the new expressions it
// inlines this into allocated.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept
{
    if (p) {
        --allocations.live;
        std::free(p);
    }
}

void operator delete(void* p, size_t) noexcept
{
    operator delete(p);
}

// The other forms go through the two above, so that whatever one allocates
// the other frees (a sanitizer's own forms would not pair with these).
void* operator new[](size_t size)
{
    return operator new(size);
}

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void* operator new[](size_t size, const std::nothrow_t& nothrow) noexcept
{
    return operator new(size, nothrow);
}

void operator delete[](void* p) noexcept
{
    operator delete(p);
}

void operator delete[](void* p, size_t) noexcept
{
    operator delete(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    operator delete(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    operator delete(p);
}

namespace {

class Reader : public ::testing::Test {
protected:
    // Reads the bytes as a run does; the picture, if any, stays until the
    // next load.
    image_error load(const bytes& data, const read_options& options = {})
    {
        picture_ = read_words(data, options);
        return picture_.error;
    }

    scratch_dir dir_;
    read_picture picture_;
};

// Row padding, every header version, both row orders, a gap before the pixel
// data and a missing last padding all move each pixel's bytes.
TEST_F(Reader, ReadsEveryLayoutOfThePicture)
{
    for (int width : {1, 2, 3, 4, 5, 6, 7, 8, 65535})
        for (uint32_t info_size : {40u, 52u, 56u, 108u, 124u})
            for (int height : {3, -3}) {
                const bmp_spec spec{width, height, info_size, width % 2 ? 3u : 0u, width % 3 != 0};
                SCOPED_TRACE(testing::Message() << width << " x " << height << ", header " << info_size);
                ASSERT_EQ(load(make_bmp(spec)), image_error::none);
                ASSERT_EQ(picture_.height, 3);
                ASSERT_EQ(picture_.words, words_of(spec));
            }
}

// A few files for each way a bitmap fails that the corpus does not show,
// none of which may read a value the file does not hold, and the largest
// sides that pass. Masks must be non-zero, contiguous, disjoint (from alpha
// too) and inside the pixel; the corpus checks how every kind of mask is read.
TEST_F(Reader, RejectsEachFaultWithItsOwnError)
{
    const auto fault = image_error::bad_format, unsupported = image_error::unsupported, big = image_error::too_large,
               truncated = image_error::truncated;
    // The first bytes kept of a good file, with a little-endian field patched: at, size, value, kept.
    const std::tuple<size_t, size_t, uint32_t, size_t, image_error> cases[] = {
        {1, 1, 'A', 90, fault}, {0, 0, 0, 30, fault},  // signature, cut in the headers
        {18, 4, 0, 90, fault}, {22, 4, 0, 90, fault},  // no columns, no rows
        {10, 4, 53, 90, fault}, {10, 4, 91, 90, fault},  // pixel data inside the headers, past the end
        {28, 2, 8, 90, fault},  // a palette image without room for a palette
        {30, 4, 4, 90, unsupported}, {18, 4, 65536, 90, big}, {22, 4, uint32_t(-65536), 90, big},
        {22, 4, uint32_t(-3), 86, truncated}, {18, 4, 30000, 90, truncated},  // 30000 x 3 pixels claimed by 90 bytes
    };
    const bytes good = make_bmp({});  // 3 x 3: 54 bytes of headers, 36 of pixels
    std::vector<std::pair<bytes, image_error>> files;
    for (const auto& [at, size, value, kept, error] : cases) {
        files.push_back({bytes(good.begin(), good.begin() + long(kept)), error});
        patch(files.back().first, at, value, size);
    }
    files.push_back({make_bmp({.width = 1, .height = 65535}), image_error::none});  // the tallest picture
    files.push_back({assemble({.colours = 2, .extra = bytes(8), .data = {2, 0, 0, 0}}), fault});  // index past the palette
    files.push_back({assemble({.bits = 4, .compression = 1, .extra = bytes(64), .data = {0, 1}}), fault});  // RLE8 of 4 bits
    files.push_back({good, big});  // each side fits, 2^31 + 32767 pixels do not
    patch(files.back().first, 18, 65535), patch(files.back().first, 22, 32769);
    for (const std::vector<uint32_t>& masks : std::vector<std::vector<uint32_t>>{
             {0x7c01, 0x3e0, 0x1e}, {0x7c00, 0x7e0, 0x1f}, {0x7c00, 0x3e0, 0x1f, 0x8001}, {0x7c000, 0x3e0, 0x1f}})
        files.push_back({assemble({.info_size = 56, .bits = 16, .compression = 3, .header_masks = masks, .data = {0, 0}}), fault});
    for (size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(load(files[i].first), files[i].second) << "file " << i;
}

// Over a background, a pixel's alpha, from the mask the header gives,
// composites it; without that mask, or without a background, alpha is
// ignored. The colours it must give are worked out apart, in exact
// fractions: round(a * c + (1 - a) * b).
TEST_F(Reader, CompositesAlphaOverTheBackground)
{
    const read_options over{.composite = true, .background = {10, 250, 77}};
    // Two pixels of each: blue, green, red and alpha of 8 bits; 4-bit ones as stored.
    const bytes data32 = {50, 100, 200, 0, 255, 99, 7, 128, 3, 2, 1, 255}, data16 = {0x82, 0x0f, 0x9e, 0x73};
    const bmp_parts rgba32{.info_size = 56, .width = 3, .bits = 32, .compression = 3,
                           .header_masks = {0xff0000, 0xff00, 0xff, 0xff000000}, .data = data32};
    const bmp_parts rgba16{.info_size = 56, .width = 2, .bits = 16, .compression = 3,
                           .header_masks = {0x0f00, 0x00f0, 0x000f, 0xf000}, .data = data16};
    bmp_parts plain = rgba32;
    plain.header_masks.back() = 0;
    const std::vector<rgb> colours32 = {{200, 100, 50}, {7, 99, 255}, {1, 2, 3}};
    const std::tuple<bmp_parts, std::vector<rgb>, std::vector<rgb>> cases[] = {  // alone, over the background
        {rgba32, colours32, {{10, 250, 77}, {8, 174, 166}, {1, 2, 3}}},
        {rgba16, {{255, 136, 34}, {51, 153, 238}}, {{10, 250, 77}, {29, 205, 152}}},
        {plain, colours32, colours32}};
    for (const auto& [parts, alone, composited] : cases) {
        ASSERT_EQ(load(assemble(parts), over), image_error::none);
        EXPECT_EQ(picture_.words, words_of(composited));
        ASSERT_EQ(load(assemble(parts)), image_error::none);
        EXPECT_EQ(picture_.words, words_of(alone));
    }
}

const std::vector<rgb> sixteen = [] {
    std::vector<rgb> c;
    for (int i = 0; i < 16; ++i)
        c.push_back(pattern(i, 5));
    return c;
}();

bmp_parts rle(uint32_t compression, int32_t width, int32_t height, bytes stream, uint32_t colours = 0)
{
    bmp_parts p{.width = width, .height = height, .bits = uint16_t(compression == 1 ? 8 : 4), .compression = compression,
                .colours = colours, .data = std::move(stream)};
    for (const rgb& c : sixteen)
        p.extra.insert(p.extra.end(), {c.b, c.g, c.r, 0});
    return p;
}

// Runs, absolute runs with their padding, deltas, ends of line and of
// bitmap: pixels the stream skips take palette entry 0, pixels past the
// right edge are dropped, and a stream may end without its end-of-bitmap
// code once the top row is complete. What leaves the picture otherwise, or
// stops short, fails.
TEST_F(Reader, DecodesRleAndRefusesWhatLeavesThePicture)
{
    const auto fault = image_error::bad_format, truncated = image_error::truncated, none = image_error::none;
    const std::tuple<bmp_parts, image_error, std::vector<int>> cases[] = {  // palette indices, top row first
        {rle(1, 5, 3, {3, 1, 0, 2, 1, 0, 1, 2, 0, 0, 0, 3, 3, 4, 5, 0, 0, 2, 0, 1, 2, 6, 0, 1}), none,
         {0, 0, 0, 6, 6, 3, 4, 5, 0, 0, 1, 1, 1, 0, 2}},
        {rle(2, 7, 2, {3, 0x12, 0, 0, 0, 5, 0x34, 0x56, 0x7f, 0, 2, 0x89, 0, 1}), none, {3, 4, 5, 6, 7, 8, 9, 1, 2, 1, 0, 0, 0, 0}},
        {rle(2, 2, 1, {2, 0xab}), none, {10, 11}},
        {rle(1, 2, 2, {3, 4, 0, 0, 0, 3, 5, 6, 7, 0, 0, 1}), none, {5, 6, 4, 4}},
        {rle(2, 3, 1, {0, 7, 0x12, 0x34, 0x56, 0x70, 0, 1}), none, {1, 2, 3}},
        {rle(1, 2, 2, {4, 1, 0, 2, 0, 1, 0, 1}), none, {0, 0, 1, 1}},  // a run past the edge ends there
        {rle(1, 2, 1, {0, 2, 2, 0, 0, 1}), none, {0, 0}},            // delta to the right edge
        {rle(1, 4, 2, {0, 2, 5, 0}), fault, {}},                    // delta past the right edge
        {rle(1, 4, 1, {0, 2, 0, 1}), fault, {}},                    // delta above the top row
        {rle(1, 4, 1, {4, 1, 0, 0, 1, 1}), fault, {}},              // run above the top row
        {rle(1, 4, 1, {0, 4, 1, 2, 3, 17}), fault, {}},             // index past the palette
        {rle(2, 1, 1, {2, 0x1f}, 15), fault, {}},                   // the same, past the right edge
        {rle(1, 4, 2, {4, 1, 0, 0}), truncated, {}},                // stops before the top row
        {rle(1, 4, 2, {4, 1, 0, 0, 0, 4, 1, 2}), truncated, {}},    // stops inside an absolute run
    };
    for (const auto& [parts, error, indices] : cases) {
        ASSERT_EQ(load(assemble(parts)), error) << testing::PrintToString(parts.data);
        std::vector<rgb> want;
        for (int i : indices)
            want.push_back(sixteen[size_t(i)]);
        EXPECT_EQ(picture_.words, words_of(want));
    }
}

// Memory that runs out anywhere in loading a picture as a run does, a big
// one that is decoded on a thread of its own among them, gives
// out_of_memory or a whole picture, and leaves nothing allocated behind.
TEST_F(Reader, RunningOutOfMemoryLeavesNothingBehind)
{
    for (const bytes& file : {make_bmp({.width = 1100, .height = 1024}), make_bmp({}), read_bytes("pngsuite/basi6a16.png"),
                              read_bytes("tga/pil-rle-rgba-w4.tga"), read_bytes("qoi/ff-rgba-smooth-w17.qoi")}) {
        for (int n = 1;; ++n) {
            const long before = allocations.live;
            auto source = std::make_unique<memory_source>(file);
            allocations.made = 0, allocations.fail_at = n;
            image_format format = image_format::bmp;
            image_error error = image_error::none;
            std::unique_ptr<loaded_picture> picture = loaded_picture::load(std::move(source), {}, format, error);
            for (int32_t t = 0; picture && t < picture->height() && error == image_error::none; ++t)
                if (!picture->row(t))
                    error = picture->error();
            picture.reset();
            allocations.fail_at = 0;
            EXPECT_TRUE(error == image_error::none || error == image_error::out_of_memory) << "allocation " << n;
            EXPECT_EQ(allocations.live, before) << "allocation " << n;
            if (allocations.made < n)
                break;  // none failed: every allocation has had its turn
        }
    }
}

// Pixels 3 GiB into a file, further than a seek by a long can reach on
// Windows: a sparse file.
TEST_F(Reader, ReadsPixelsPast2GiB)
{
    constexpr uint32_t offset = 3u << 30;
    bytes head = make_bmp({.width = 1, .height = 1, .pixels = {red}});
    const bytes pixel(head.begin() + 54, head.end());
    head.resize(54);
    patch(head, 10, offset);
    write_file(dir_ / "far.bmp", head);
#ifdef _WIN32
    // The runtime's own way writes every zero byte; the system's leaves a hole.
    const HANDLE h = CreateFileW((dir_ / "far.bmp").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD ignored = 0;
    DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    ASSERT_TRUE(SetFilePointerEx(h, LARGE_INTEGER{.QuadPart = offset + LONGLONG(pixel.size())}, nullptr, FILE_BEGIN) &&
                SetEndOfFile(h));
    CloseHandle(h);
#else
    fs::resize_file(dir_ / "far.bmp", offset + pixel.size());
#endif
    std::fstream(dir_ / "far.bmp", std::ios::in | std::ios::out | std::ios::binary)
        .seekp(offset)
        .write(reinterpret_cast<const char*>(pixel.data()), std::streamsize(pixel.size()));
    picture_ = load_file(dir_ / "far.bmp");
    ASSERT_EQ(picture_.error, image_error::none);
    EXPECT_EQ(picture_.words, words_of(std::vector<rgb>{red}));
}

}  // namespace
