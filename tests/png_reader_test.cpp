// The PNG reader on files the tests make, for what the corpus does not
// show: every way a file fails, each with its own error, and what a reader
// must let pass.
#include <gtest/gtest.h>

#include <climits>

#include "png_util.h"

namespace {

image_error load(const bytes& file, std::vector<uint32_t>* words = nullptr)
{
    const read_picture picture = read_words(file);
    EXPECT_EQ(picture.format, image_format::png);
    if (words)
        *words = picture.words;
    return picture.error;
}

// A 2 x 2 picture of palette indices 0 1 / 2 0, its parts given.
struct indexed {
    bytes plte = chunk("PLTE", {255, 0, 0, 0, 255, 0, 0, 0, 255});
    bytes rows = unfiltered({{0, 1}, {2, 0}});
    bytes stream = zlib_stored(rows);
    std::vector<bytes> before_idat{}, after_idat{};
    bytes idat() const { return chunk("IDAT", stream); }
    bytes file(bool with_iend = true) const
    {
        std::vector<bytes> parts = {png_signature, ihdr(2, 2, 8, 3), plte};
        parts.insert(parts.end(), before_idat.begin(), before_idat.end());
        parts.push_back(idat());
        parts.insert(parts.end(), after_idat.begin(), after_idat.end());
        if (with_iend)
            parts.push_back(chunk("IEND", {}));
        return join(parts);
    }
};

const std::vector<uint32_t> red_green_blue_red = {pack_ycbcr(255, 0, 0), pack_ycbcr(0, 255, 0), pack_ycbcr(0, 0, 255),
                                                  pack_ycbcr(255, 0, 0)};

// What a reader lets pass: image data longer than the picture (libpng
// ignores the rest); ancillary chunks anywhere, a broken one among them, an unknown one, a
// text chunk of 16 MiB that is never read; no IEND after complete image
// data.
TEST(PngReader, ReadsWhatTheStandardAllows)
{
    std::vector<indexed> files(5);
    files[1].before_idat = {chunk("tEXt", bytes(1 << 20, 'x')), chunk("gAMA", {0, 0, 0, 1}, false), chunk("vpAg", {1})};
    files[2].after_idat = {chunk("tIME", {7, 233, 1, 1, 0, 0, 0})};
    files[3].plte = chunk("PLTE", {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9});  // an entry no index uses
    files[3].stream = zlib_stored(unfiltered({{0, 1}, {2, 0}, {1, 1}}));  // image data past the picture's
    for (size_t i = 0; i < files.size(); ++i) {
        std::vector<uint32_t> words;
        ASSERT_EQ(load(files[i].file(i != 4), &words), image_error::none) << "file " << i;
        EXPECT_EQ(words, red_green_blue_red) << "file " << i;
    }
}

// Every way a file fails that the corpus does not show, with its error.
TEST(PngReader, RefusesEachFaultWithItsOwnError)
{
    const auto fault = image_error::bad_format, truncated = image_error::truncated, big = image_error::too_large;
    const bytes whole = indexed{}.file();
    std::vector<std::pair<bytes, image_error>> files;
    // Cut in the signature's chunk, in IHDR, before IDAT, inside the image data.
    for (const size_t kept : {size_t(12), size_t(20), size_t(50), whole.size() - 20})
        files.push_back({bytes(whole.begin(), whole.begin() + long(kept)), truncated});
    const auto with = [](auto change) {
        indexed file;
        change(file);
        return file.file();
    };
    files.push_back({with([](indexed& f) { f.plte = chunk("PLTE", {255, 0, 0, 0, 255, 0}); }), fault});  // index 2 has no entry
    files.push_back({with([](indexed& f) { f.plte = chunk("PLTE", {1, 2}); }), fault});  // not whole entries
    files.push_back({with([](indexed& f) { f.plte = chunk("PLTE", {255, 0, 0}, false); }), fault});  // critical CRC
    files.push_back({with([](indexed& f) { f.plte = {}; }), fault});  // no palette
    files.push_back({with([](indexed& f) { f.after_idat = {indexed{}.plte}; }), fault});  // a second palette, late
    files.push_back({with([](indexed& f) { f.before_idat = {chunk("HUGE", {1})}; }), fault});  // unknown critical chunk
    files.push_back({with([](indexed& f) { f.before_idat = {chunk("ab1d", {1})}; }), fault});  // not a chunk type
    files.push_back({with([](indexed& f) { f.after_idat = {chunk("tEXt", {}), f.idat()}; }), fault});  // IDAT apart
    files.push_back({with([](indexed& f) { f.stream = zlib_stored(bytes(f.rows.begin(), f.rows.end() - 1)); }), fault});  // too short
    files.push_back({with([](indexed& f) { f.rows[3] = 7, f.stream = zlib_stored(f.rows); }), fault});  // filter type 7
    files.push_back({with([](indexed& f) { f.stream = zlib_stored(f.rows, false); }), fault});  // the Adler-32
    files.push_back({with([](indexed& f) { f.stream[5] ^= 1; }), fault});  // a stored block's length check
    // IHDR values: a width of 0, a colour type and depth that do not go
    // together, an unknown filter method, Adam7's next number; sizes past
    // the limits.
    for (const bytes& header : {ihdr(0, 2, 8, 3), ihdr(2, 2, 16, 3), ihdr(2, 2, 4, 2), ihdr(2, 2, 8, 5)})
        files.push_back({join({png_signature, header, indexed{}.plte, indexed{}.idat(), chunk("IEND", {})}), fault});
    bytes filter = ihdr(2, 2, 8, 3), interlace = filter;
    filter[19] = 1, interlace[20] = 2;
    for (bytes* header : {&filter, &interlace}) {
        *header = chunk("IHDR", bytes(header->begin() + 8, header->end() - 4));
        files.push_back({join({png_signature, *header, indexed{}.plte, indexed{}.idat(), chunk("IEND", {})}), fault});
    }
    for (const bytes& header : {ihdr(65536, 1, 8, 3), ihdr(1, 65536, 8, 3), ihdr(65535, 32769, 8, 3)})
        files.push_back({join({png_signature, header, indexed{}.plte, indexed{}.idat(), chunk("IEND", {})}), big});
    files.push_back({join({png_signature, ihdr(2, 2, 8, 3), indexed{}.plte, chunk("IEND", {})}), fault});  // no IDAT
    files.push_back({join({png_signature, chunk("tEXt", {'a', 0, 'b'}), ihdr(2, 2, 8, 3), indexed{}.plte, indexed{}.idat(),
                           chunk("IEND", {})}), fault});  // a chunk before IHDR
    // A CRC wrong in an IDAT chunk after the image data, which a decoder
    // need not read to give every row.
    files.push_back({with([](indexed& f) { f.after_idat = {chunk("IDAT", {}, false)}; }), fault});
    for (size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(load(files[i].first), files[i].second) << "file " << i;
}

// A source over a file's bytes that counts its reads, and fails from read
// fail_from on.
struct counting_source : byte_source {
    bytes data;
    int reads = 0, fail_from = INT_MAX;
    explicit counting_source(bytes file) : byte_source(file.size()), data(std::move(file)) {}
    image_error read(uint64_t offset, size_t count, uint8_t* dest) override
    {
        if (++reads >= fail_from)
            return image_error::read_failed;
        if (offset > data.size() || count > data.size() - offset)
            return image_error::truncated;
        std::copy_n(data.begin() + long(offset), count, dest);
        return image_error::none;
    }
};

// A source that fails once the chunks are checked: the image data read
// for the library then fails as the system's failure, not as a broken file.
TEST(PngReader, ReportsAReadFailureAfterTheChecksAsSuch)
{
    counting_source source(indexed{}.file());
    source.fail_from = 2;
    EXPECT_EQ(read_words(source).error, image_error::read_failed);
    EXPECT_EQ(source.reads, 2);  // the first took the whole file, the chunks checked from it
}

// Image data in chunks of one byte, 13 bytes of file for each, after an
// empty one, is read whole, and in blocks all the same: its cost does not
// follow the layout of its chunks.
TEST(PngReader, ReadsImageDataInBlocksWhateverItsChunks)
{
    const bytes stream = zlib_stored(unfiltered(std::vector<bytes>(128, bytes(3 * 128, 0x5a))));
    std::vector<bytes> parts = {png_signature, ihdr(128, 128, 8, 2), chunk("IDAT", {})};
    for (const uint8_t byte : stream)
        parts.push_back(chunk("IDAT", {byte}));
    parts.push_back(chunk("IEND", {}));
    counting_source source(join(parts));
    EXPECT_EQ(read_words(source).words, std::vector<uint32_t>(128 * 128, pack_ycbcr(0x5a, 0x5a, 0x5a)));
    EXPECT_LT(source.reads, int(source.data.size() >> 14)) << source.data.size() << " bytes";
}

}  // namespace
