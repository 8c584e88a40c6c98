// Checking a PNG file's chunks, in the order they come, before any library
// decodes it; and the stream of its critical chunks that the library reads.
// PNG, 2nd edition (ISO/IEC 15948), clauses 5 (chunks) and 11 (the critical
// chunks and tRNS).
#include <algorithm>
#include <array>
#include <cstring>

#include "byte_reader.h"
#include "checked_size.h"
#include "png_crc.h"
#include "png_decoding.h"
#include "reader_limits.h"

namespace {

// The file is read this much at a time, whatever its chunks' sizes.
constexpr size_t stream_buffer_bytes = size_t{64} << 10;
// "Chunk length ... shall not exceed 2^31 - 1 bytes" (5.3).
constexpr uint32_t max_chunk_length = 0x7fffffff;

constexpr uint32_t chunk_type(const char (&name)[5])
{
    return uint32_t(uint8_t(name[0])) << 24 | uint32_t(uint8_t(name[1])) << 16 | uint32_t(uint8_t(name[2])) << 8 |
           uint32_t(uint8_t(name[3]));
}

constexpr uint32_t IHDR = chunk_type("IHDR"), PLTE = chunk_type("PLTE"), IDAT = chunk_type("IDAT"),
                   IEND = chunk_type("IEND"), tRNS = chunk_type("tRNS");

// A chunk as it is stored: length, type, data, and the CRC of type and data.
void append_chunk(std::vector<uint8_t>& out, uint32_t type, const uint8_t* data, uint32_t length)
{
    const uint8_t head[8] = {uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length),
                             uint8_t(type >> 24),   uint8_t(type >> 16),   uint8_t(type >> 8),   uint8_t(type)};
    out.insert(out.end(), head, head + 8);
    out.insert(out.end(), data, data + length);
    const uint32_t crc = ~crc_update(crc_update(0xffffffff, head + 4, 4), data, length);
    const uint8_t tail[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)};
    out.insert(out.end(), tail, tail + 4);
}

// The file read front to back, a few KiB at a time, what is skipped unread.
class chunk_reader {
public:
    chunk_reader(byte_source& source, std::vector<uint8_t> head)
        : source_(source), buffer_(std::move(head)), end_(buffer_.size())
    {
    }

    uint64_t position() const { return position_; }
    uint64_t left() const { return source_.size() - position_; }

    // The next n bytes into dest, and through crc.
    image_error take(size_t n, uint8_t* dest, uint32_t& crc)
    {
        while (n > 0) {
            if (at_ == end_) {
                // What is read here is chunk headers and small chunks,
                // between image data that is skipped; where the chunks are
                // many and small, a block holds many of them.
                buffer_.resize(std::max(buffer_.size(), stream_buffer_bytes));
                const auto want = static_cast<size_t>(std::min<uint64_t>(std::max(n, stream_buffer_bytes), left()));
                if (want == 0)
                    return image_error::truncated;
                if (const image_error why = source_.read(position_, want, buffer_.data()); why != image_error::none)
                    return why;
                at_ = 0, end_ = want;
            }
            const size_t step = std::min(n, end_ - at_);
            crc = crc_update(crc, buffer_.data() + at_, step);
            std::memcpy(dest, buffer_.data() + at_, step);
            dest += step;
            at_ += step, position_ += step, n -= step;
        }
        return image_error::none;
    }

    // Moves past n bytes without reading those not yet read.
    void skip(uint64_t n)
    {
        const uint64_t buffered = std::min<uint64_t>(n, end_ - at_);
        at_ += static_cast<size_t>(buffered);
        position_ += n;
        if (buffered < n)
            at_ = end_ = 0;
    }

private:
    byte_source& source_;
    std::vector<uint8_t> buffer_;
    size_t at_ = 0, end_ = 0;
    uint64_t position_ = 0;
};

// IHDR (11.2.2): sizes within the limits, a colour type and bit depth the
// standard allows together, the one compression and filter method, no or
// Adam7 interlacing.
image_error read_ihdr(const uint8_t* data, png_layout& layout)
{
    byte_reader in{data, 13};
    uint8_t compression = 0, filter = 0, interlace = 0;
    in.be32(layout.width), in.be32(layout.height), in.u8(layout.depth), in.u8(layout.colour);
    in.u8(compression), in.u8(filter), in.u8(interlace);
    if (layout.width == 0 || layout.height == 0 || layout.width > max_chunk_length || layout.height > max_chunk_length)
        return image_error::bad_format;
    const unsigned d = layout.depth;
    const bool depth_ok = layout.colour == png_grey      ? d == 1 || d == 2 || d == 4 || d == 8 || d == 16
                          : layout.colour == png_indexed ? d == 1 || d == 2 || d == 4 || d == 8
                          : layout.colour == png_rgb || layout.colour == png_grey_alpha || layout.colour == png_rgba
                              ? d == 8 || d == 16
                              : false;
    if (!depth_ok || compression != 0 || filter != 0 || interlace > 1)
        return image_error::bad_format;
    layout.interlaced = interlace == 1;
    return check_size(layout.width, layout.height);
}

// tRNS (11.3.2.1): what it can say for the colour type, or nothing, as for
// a chunk that is not there: it does not affect decoding, so a malformed
// one is dropped rather than failing the file.
void read_trns(const uint8_t* data, uint32_t length, png_layout& layout)
{
    byte_reader in{data, length};
    if (layout.colour == png_indexed && length <= layout.palette_size) {
        layout.alphas = length;
        std::copy(data, data + length, layout.alpha.begin());
    } else if (layout.colour == png_grey && length == 2) {
        in.be16(layout.key[0]);
        layout.key[1] = layout.key[2] = layout.key[0];
        layout.keyed = true;
    } else if (layout.colour == png_rgb && length == 6) {
        in.be16(layout.key[0]), in.be16(layout.key[1]), in.be16(layout.key[2]);
        layout.keyed = true;
    }
}

}  // namespace

image_error parse_png(byte_source& source, std::vector<uint8_t> first_bytes, png_layout& layout)
{
    chunk_reader in(source, std::move(first_bytes));
    uint8_t start[8] = {};
    uint32_t unused = 0;
    if (const image_error why = in.take(sizeof start, start, unused); why != image_error::none)
        return why;
    if (std::memcmp(start, png_signature, sizeof png_signature) != 0)
        return image_error::bad_format;

    bool seen_ihdr = false, seen_plte = false, seen_trns = false, after_idat = false;
    std::vector<uint8_t> data;  // of the small chunks read whole
    for (;;) {
        // A file that ends before IEND is read as far as it goes.
        uint8_t head[8];
        if (in.left() < 12)
            break;
        // A file that shrank since it was opened ends here too; a read the
        // system failed is no end of the file.
        if (const image_error why = in.take(8, head, unused); why != image_error::none) {
            if (why != image_error::truncated)
                return why;
            break;
        }
        uint32_t length = 0, type = 0;
        byte_reader fields{head, 8};
        fields.be32(length), fields.be32(type);
        // Chunk types are four ASCII letters (5.4).
        for (int i = 0; i < 4; ++i)
            if (const unsigned c = head[4 + i] & ~0x20u; c < 'A' || c > 'Z')
                return image_error::bad_format;
        if (length > max_chunk_length)
            return image_error::bad_format;
        if (length + uint64_t{4} > in.left()) {
            in.skip(in.left());
            break;
        }
        // IHDR first (5.6), before any chunk of either kind.
        if (!seen_ihdr && type != IHDR)
            return image_error::bad_format;
        const bool critical = (head[4] & 0x20) == 0;
        // The chunks read whole are small, whatever their length field says:
        // a critical one that is longer than it can be is broken, and a
        // tRNS that is is dropped unread.
        const uint32_t longest = type == IHDR ? 13 : type == PLTE ? 3 * 256 : type == tRNS ? 256 : 0;
        if ((type == IHDR || type == PLTE || type == IEND) && length > longest)
            return image_error::bad_format;
        const bool small = (type == IHDR || type == PLTE || type == IEND || type == tRNS) && length <= longest;
        // Other ancillary chunks are skipped unread: they cost nothing.
        if (!critical && !small) {
            in.skip(length + uint64_t{4});
            after_idat = after_idat || layout.idat_begin != 0;
            continue;
        }
        // The image data is read once, by the library, through png_stream,
        // which checks each IDAT chunk's CRC as it goes.
        if (type == IDAT) {
            if (after_idat || (layout.colour == png_indexed && !seen_plte))
                return image_error::bad_format;
            if (layout.idat_begin == 0)
                layout.idat_begin = in.position() - 8;
            in.skip(length + uint64_t{4});
            layout.idat_end = in.position();
            continue;
        }
        // A critical chunk this reader does not know.
        if (!small)
            return image_error::bad_format;
        // What is left is small, and read whole.
        uint32_t crc = crc_update(0xffffffff, head + 4, 4);
        data.resize(std::max<size_t>(length, 1));
        if (const image_error why = in.take(length, data.data(), crc); why != image_error::none)
            return why;
        uint8_t stored[4];
        if (const image_error why = in.take(4, stored, unused); why != image_error::none)
            return why;
        const bool crc_ok = crc_matches(uint32_t(stored[0]) << 24 | uint32_t(stored[1]) << 16 |
                                            uint32_t(stored[2]) << 8 | uint32_t(stored[3]),
                                        ~crc);
        // An ancillary chunk with a bad CRC may be ignored (5.3); a critical
        // one is a broken file.
        if (!crc_ok && !critical)
            continue;
        if (!crc_ok || (type == IHDR && (seen_ihdr || length != 13)))
            return image_error::bad_format;
        if (type == IHDR) {
            seen_ihdr = true;
            if (const image_error why = read_ihdr(data.data(), layout); why != image_error::none)
                return why;
        } else if (type == PLTE) {
            if (seen_plte || layout.idat_begin != 0 || length % 3 != 0 || length == 0 || length > 3 * 256)
                return image_error::bad_format;
            seen_plte = true;
            // Grey pictures may not have one and colour ones need none: only
            // an indexed picture's is kept, its entries that an index can
            // reach.
            if (layout.colour == png_indexed) {
                layout.palette_size = std::min(length / 3, uint32_t{1} << layout.depth);
                std::copy(data.data(), data.data() + 3 * layout.palette_size, layout.palette.begin());
            }
        } else if (type == tRNS) {
            if (!seen_trns && layout.idat_begin == 0 && (seen_plte || layout.colour != png_indexed))
                read_trns(data.data(), length, layout);
            seen_trns = true;
        } else if (type == IEND) {
            if (length != 0)
                return image_error::bad_format;
            return layout.idat_begin == 0 ? image_error::bad_format : image_error::none;
        }
        after_idat = after_idat || layout.idat_begin != 0;
    }
    layout.cut_short = true;
    return layout.idat_begin == 0 || !seen_ihdr ? image_error::truncated : image_error::none;
}

png_stream::png_stream(byte_source& source, const png_layout& layout)
    : source_(source), idat_begin_(layout.idat_begin), idat_end_(layout.idat_end), buffer_(stream_buffer_bytes)
{
    // Room for all of it at once, which also keeps GCC 12 for i686 from
    // seeing a bound the assignment cannot break.
    head_.reserve(sizeof png_signature + 25 + 12 + 3 * size_t{layout.palette_size});
    head_.assign(png_signature, png_signature + sizeof png_signature);
    const uint8_t ihdr[13] = {uint8_t(layout.width >> 24),  uint8_t(layout.width >> 16),  uint8_t(layout.width >> 8),
                              uint8_t(layout.width),        uint8_t(layout.height >> 24), uint8_t(layout.height >> 16),
                              uint8_t(layout.height >> 8),  uint8_t(layout.height),       layout.depth,
                              layout.colour,                0,
                              0,                            uint8_t(layout.interlaced)};
    append_chunk(head_, IHDR, ihdr, sizeof ihdr);
    if (layout.colour == png_indexed)
        append_chunk(head_, PLTE, layout.palette.data(), 3 * layout.palette_size);
    append_chunk(tail_, IEND, nullptr, 0);
}

bool png_stream::check(const uint8_t* bytes, size_t count)
{
    checked_ += count;
    while (count > 0) {
        // Length and type, then the data, then the CRC: field_bytes_ of the
        // twelve bytes of fields_ are in, and data_left_ of the data is not.
        if (field_bytes_ < 8 || (field_bytes_ >= 8 && data_left_ == 0)) {
            fields_[field_bytes_++] = *bytes++, --count;
            if (field_bytes_ == 8) {
                data_left_ = uint32_t(fields_[0]) << 24 | uint32_t(fields_[1]) << 16 | uint32_t(fields_[2]) << 8 |
                             uint32_t(fields_[3]);
                crc_ = crc_update(0xffffffff, fields_ + 4, 4);
            } else if (field_bytes_ == 12) {
                const uint32_t stored = uint32_t(fields_[8]) << 24 | uint32_t(fields_[9]) << 16 |
                                        uint32_t(fields_[10]) << 8 | uint32_t(fields_[11]);
                if (!crc_matches(stored, ~crc_))
                    return false;
                field_bytes_ = 0;
            }
            continue;
        }
        const auto step = static_cast<size_t>(std::min<uint64_t>(count, data_left_));
        crc_ = crc_update(crc_, bytes, step);
        bytes += step, count -= step;
        data_left_ -= static_cast<uint32_t>(step);
    }
    return true;
}

image_error png_stream::read_idat(uint64_t at, size_t count, uint8_t* dest)
{
    while (count > 0) {
        if (at >= buffer_at_ && at - buffer_at_ < buffered_) {
            const auto offset = static_cast<size_t>(at - buffer_at_);
            const size_t step = std::min(count, buffered_ - offset);
            std::memcpy(dest, buffer_.data() + offset, step);
            dest += step, at += step, count -= step;
            continue;
        }
        // A request as big as the buffer gains nothing from it.
        if (count >= buffer_.size())
            return source_.read(idat_begin_ + at, count, dest);
        const auto want = static_cast<size_t>(std::min<uint64_t>(buffer_.size(), idat_end_ - idat_begin_ - at));
        if (const image_error why = source_.read(idat_begin_ + at, want, buffer_.data()); why != image_error::none)
            return why;
        buffer_at_ = at, buffered_ = want;
    }
    return image_error::none;
}

image_error png_stream::check_up_to(uint64_t at)
{
    uint8_t gap[4096];
    while (checked_ < at) {
        const auto n = static_cast<size_t>(std::min<uint64_t>(sizeof gap, at - checked_));
        if (const image_error why = read_idat(checked_, n, gap); why != image_error::none)
            return why;
        if (!check(gap, n))
            return image_error::bad_format;
    }
    return image_error::none;
}

image_error png_stream::finish()
{
    return check_up_to(idat_end_ - idat_begin_);
}

image_error png_stream::read(uint64_t position, size_t count, uint8_t* dest)
{
    // The three parts in turn: the chunks made here, the file's IDAT
    // chunks, IEND.
    const uint64_t idat_size = idat_end_ - idat_begin_;
    if (position > size() || count > size() - position)
        return image_error::truncated;
    while (count > 0) {
        size_t step = 0;
        if (position < head_.size()) {
            step = std::min(count, static_cast<size_t>(head_.size() - position));
            std::memcpy(dest, head_.data() + position, step);
        } else if (position < head_.size() + idat_size) {
            const uint64_t at = position - head_.size();
            step = static_cast<size_t>(std::min<uint64_t>(count, idat_size - at));
            // Bytes a library skips are checked all the same: no chunk is
            // given up without its CRC checked.
            if (const image_error why = check_up_to(at); why != image_error::none)
                return why;
            if (const image_error why = read_idat(at, step, dest); why != image_error::none)
                return why;
            if (at + step > checked_ && !check(dest + (checked_ - at), static_cast<size_t>(at + step - checked_)))
                return image_error::bad_format;
        } else {
            const uint64_t at = position - head_.size() - idat_size;
            step = std::min(count, static_cast<size_t>(tail_.size() - at));
            std::memcpy(dest, tail_.data() + at, step);
        }
        dest += step, position += step, count -= step;
    }
    return image_error::none;
}
