#include "text_sink.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include "big_buffer.h"
#include "hex_format.h"
#include "pipeline.h"

// The text buffer's size bounds: a small image gets a small buffer, a big
// one two of the largest.
#ifndef VANTREL_TEXT_BUFFER_BYTES
#define VANTREL_TEXT_BUFFER_BYTES (1 << 20)
#endif
constexpr uint64_t min_capacity = 4096;
constexpr uint64_t max_capacity = VANTREL_TEXT_BUFFER_BYTES;

text_sink::text_sink(FILE* out, uint64_t expected)
    : out_(out),
      capacity_(static_cast<size_t>(std::clamp<uint64_t>(expected, min_capacity, max_capacity))),
      memory_(static_cast<char*>(allocate_buffer(expected > capacity_ ? 2 * capacity_ : capacity_)), &std::free)
{
    if (!memory_)
        throw std::bad_alloc();
    buf_ = memory_.get(), spare_ = buf_;
    if (expected <= capacity_)
        return;  // one buffer holds it all
    spare_ = buf_ + capacity_;
    try {
        writer_ = std::make_unique<background_writer>(out);
    } catch (const std::exception&) {
        // No thread, or no memory for one: the writes are made here.
    }
}

text_sink::~text_sink() = default;

void text_sink::text(std::string_view s)
{
#ifdef _WIN32
    newlines_ += static_cast<uint64_t>(std::count(s.begin(), s.end(), '\n'));
#endif
    if (s.size() > capacity_ - used_) {
        flush_buffer();
        if (s.size() > capacity_) {
            handed_ += s.size();
            write(s.data(), s.size());
            return;
        }
    }
    std::memcpy(buf_ + used_, s.data(), s.size());
    used_ += s.size();
}

namespace {

// "0x00, " to "0xff, ": a big picture has millions of bytes, each copied
// whole, as one 8-byte store whose last two bytes the next one overwrites.
constexpr size_t byte_width = 6, byte_store = 8;
const std::array<std::array<char, byte_store>, 256> byte_text = [] {
    std::array<std::array<char, byte_store>, 256> t{};
    constexpr char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < 256; ++i)
        t[i] = {'0', 'x', digits[i >> 4], digits[i & 15], ',', ' ', ' ', ' '};
    return t;
}();

}  // namespace

void text_sink::byte_line(const uint8_t* first, size_t count, std::string_view end)
{
    // Room too for the last store's two bytes past its text.
    const size_t needed = 1 + count * byte_width + std::max(end.size(), byte_store - byte_width);
    if (needed > capacity_ - used_) {
        flush_buffer();
        if (needed > capacity_) {  // longer than the buffer: a byte at a time
            text("\t");
            for (size_t i = 0; i < count; ++i)
                text(std::string_view(byte_text[first[i]].data(), i + 1 < count ? byte_width : 4));
            text(end);
            return;
        }
    }
#ifdef _WIN32
    newlines_ += static_cast<uint64_t>(std::count(end.begin(), end.end(), '\n'));
#endif
    char* p = buf_ + used_;
    *p++ = '\t';
    for (size_t i = 0; i < count; ++i, p += byte_width)
        std::memcpy(p, byte_text[first[i]].data(), byte_store);
    p -= 2;  // the last byte's ", "
    std::memcpy(p, end.data(), end.size());
    used_ = size_t(p + end.size() - buf_);
}

void text_sink::first_word(uint32_t v)
{
    if (capacity_ - used_ < word_size)
        flush_buffer();
    char* p = buf_ + used_;
    const uint64_t digits = hex_digits(v);
    std::memcpy(p, "\t0x", 3);
    std::memcpy(p + 3, &digits, 8);
    used_ += word_size - 1;
}

void text_sink::words(const uint32_t* first, size_t count)
{
    while (count > 0) {
        if (capacity_ - used_ < word_size)
            flush_buffer();
        const size_t n = std::min(count, (capacity_ - used_) / word_size);
        char* p = buf_ + used_;
        size_t i = 0;
#ifdef VANTREL_SSE2
        for (; i + 4 <= n; i += 4, first += 4, p += 4 * word_size)
            four_words(first, p);
#endif
        for (; i < n; ++i, p += word_size) {
            const uint64_t digits = hex_digits(*first++);
            std::memcpy(p, ", 0x", 4);
            std::memcpy(p + 4, &digits, 8);
        }
        used_ += n * word_size;
        count -= n;
    }
}

void text_sink::flush_buffer()
{
    handed_ += used_;
    if (writer_ && ok_ && used_ > 0) {
        ok_ = writer_->write(buf_, used_);
        std::swap(buf_, spare_);
    } else {
        write(buf_, used_);
    }
    used_ = 0;
}

bool text_sink::finish()
{
    if (writer_ && !writer_->finish())
        ok_ = false;
    return ok_;
}

void text_sink::write(const char* data, size_t n)
{
    if (writer_ && !writer_->finish())
        ok_ = false;
    if (ok_ && n > 0) {
        const size_t written = std::fwrite(data, 1, n, out_);
        written_here_ += written;
        ok_ = written == n;
    }
}

uint64_t text_sink::written() const
{
    return written_here_ + (writer_ ? writer_->written() : 0);
}
