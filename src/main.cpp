#include "main.h"

#include <algorithm>
#include <array>
#include <bit>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#endif

namespace {

// ---------------------------------------------------------------------------
// Header writer

// Anyone may write to this address: example.org is reserved for examples.
constexpr const char* banner = "//\n// Made with Vantrel by vantrel@example.org\n//\n\n";

// The eight lower-case hexadecimal digits of v, most significant first in
// memory order, as one 64-bit value. A big image has millions of words, and
// a few shifts and adds per word cost less than a table lookup per byte.
constexpr uint64_t hex_digits(uint32_t v)
{
    static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big);
    uint64_t x = v;
    if constexpr (std::endian::native == std::endian::little)
        x = (x >> 24) | ((x >> 8) & 0xff00) | ((x << 8) & 0xff0000) | ((x << 24) & 0xff000000);
    // Each byte of v into every other byte of x, then its two nibbles into a
    // byte each, the high nibble at the lower address.
    x = (x | (x << 16)) & 0x0000ffff0000ffff;
    x = (x | (x << 8)) & 0x00ff00ff00ff00ff;
    if constexpr (std::endian::native == std::endian::little)
        x = ((x & 0x000f000f000f000f) << 8) | ((x & 0x00f000f000f000f0) >> 4);
    else
        x = ((x & 0x00f000f000f000f0) << 4) | (x & 0x000f000f000f000f);
    // Nibbles of 10 and up carry into bit 4 when 6 is added; those bytes get
    // the gap from '9' + 1 to 'a' on top of '0'. No byte ever carries into
    // the next.
    const uint64_t letters = (((x + 0x0606060606060606) >> 4) & 0x0101010101010101) * uint64_t{'a' - '0' - 10};
    return x + 0x3030303030303030 + letters;
}

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define VANTREL_SSE2 1
// The same digits for four words at once, with the SSE2 that every x86-64
// processor has: the four words before end, last one first, each as ", 0x"
// and its eight digits, 48 bytes in all.
void four_words_backwards(const uint32_t* end, char* p)
{
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(end - 4));
    x = _mm_shuffle_epi32(x, _MM_SHUFFLE(0, 1, 2, 3));
    // Most significant byte first in memory, then each byte's nibbles side
    // by side, the high one first.
    x = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(x, 24), _mm_srli_epi32(x, 24)),
                     _mm_or_si128(_mm_and_si128(_mm_slli_epi32(x, 8), _mm_set1_epi32(0x00ff0000)),
                                  _mm_and_si128(_mm_srli_epi32(x, 8), _mm_set1_epi32(0x0000ff00))));
    const __m128i nibble = _mm_set1_epi8(0x0f);
    const __m128i high = _mm_and_si128(_mm_srli_epi16(x, 4), nibble), low = _mm_and_si128(x, nibble);
    const auto ascii = [](__m128i d) {
        const __m128i letters = _mm_and_si128(_mm_cmpgt_epi8(d, _mm_set1_epi8(9)), _mm_set1_epi8('a' - '0' - 10));
        return _mm_add_epi8(_mm_add_epi8(d, _mm_set1_epi8('0')), letters);
    };
    const __m128i first = ascii(_mm_unpacklo_epi8(high, low)), second = ascii(_mm_unpackhi_epi8(high, low));
    for (int k = 0; k < 4; ++k)
        std::memcpy(p + 12 * k, ", 0x", 4);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 4), first);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 16), _mm_unpackhi_epi64(first, first));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 28), second);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 40), _mm_unpackhi_epi64(second, second));
}
#endif

// Writes buffers on a thread of its own, one at a time and in the order
// given, so that formatting the next buffer overlaps writing this one.
class background_writer {
public:
    explicit background_writer(FILE* out) : out_(out), thread_([this] { run(); }) {}

    ~background_writer()
    {
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    // Waits for the previous buffer, then starts writing this one. False
    // if an earlier write failed.
    bool write(const char* data, size_t size)
    {
        std::unique_lock lock(mutex_);
        wait_idle(lock);
        data_ = data, size_ = size;
        lock.unlock();
        changed_.notify_all();
        return ok_;
    }

    // Waits until every buffer is written; false if any write failed.
    bool finish()
    {
        std::unique_lock lock(mutex_);
        wait_idle(lock);
        return ok_;
    }

private:
    void wait_idle(std::unique_lock<std::mutex>& lock)
    {
        changed_.wait(lock, [this] { return data_ == nullptr; });
    }

    void run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return data_ != nullptr || stop_; });
            if (data_ == nullptr)
                return;
            const char* data = data_;
            const size_t size = size_;
            lock.unlock();
            const bool written = std::fwrite(data, 1, size, out_) == size;
            lock.lock();
            ok_ = ok_ && written;
            data_ = nullptr;
            changed_.notify_all();
        }
    }

    FILE* out_;
    std::mutex mutex_;
    std::condition_variable changed_;
    const char* data_ = nullptr;
    size_t size_ = 0;
    bool stop_ = false, ok_ = true;
    std::thread thread_;  // last: it starts once the rest is ready
};

// A big image is a few hundred megabytes of text: it is formatted into a
// large buffer and handed to the stream in few writes, instead of one
// formatted-output call per value. Text of more than one buffer is written
// by a background_writer from two buffers in turn.
class text_sink {
public:
    // expected is about how much text is coming: a small image gets a small
    // buffer, so that a combined run of many icons does not set up a
    // megabyte for each.
    text_sink(FILE* out, uint64_t expected)
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
        } catch (const std::system_error&) {
            // No thread to be had: the writes are made here.
        }
    }

    bool ok() const { return ok_; }

    void text(std::string_view s)
    {
        if (s.size() > capacity_ - used_) {
            flush(false);
            if (s.size() > capacity_) {
                write(s.data(), s.size());
                return;
            }
        }
        std::memcpy(buf_ + used_, s.data(), s.size());
        used_ += s.size();
    }

    // "\t0x" and the word: the first of a row.
    void first_word(uint32_t v)
    {
        if (capacity_ - used_ < word_size)
            flush(false);
        char* p = buf_ + used_;
        const uint64_t digits = hex_digits(v);
        std::memcpy(p, "\t0x", 3);
        std::memcpy(p + 3, &digits, 8);
        used_ += word_size - 1;
    }

    // ", 0x" and the word for each of the count words before end, last one
    // first.
    void words_backwards(const uint32_t* end, size_t count)
    {
        while (count > 0) {
            if (capacity_ - used_ < word_size)
                flush(false);
            const size_t n = std::min(count, (capacity_ - used_) / word_size);
            char* p = buf_ + used_;
            size_t i = 0;
#ifdef VANTREL_SSE2
            for (; i + 4 <= n; i += 4, end -= 4, p += 4 * word_size)
                four_words_backwards(end, p);
#endif
            for (; i < n; ++i, p += word_size) {
                const uint64_t digits = hex_digits(*--end);
                std::memcpy(p, ", 0x", 4);
                std::memcpy(p + 4, &digits, 8);
            }
            used_ += n * word_size;
            count -= n;
        }
    }

    // Hands over the buffered text. The last flush also waits until all of
    // it is written.
    bool flush(bool last = true)
    {
        if (writer_ && ok_ && used_ > 0) {
            ok_ = writer_->write(buf_, used_);
            std::swap(buf_, spare_);
        } else {
            write(buf_, used_);
        }
        used_ = 0;
        if (last && writer_ && !writer_->finish())
            ok_ = false;
        return ok_;
    }

private:
    static constexpr size_t word_size = 12;  // ", 0x" and eight digits
    static constexpr uint64_t min_capacity = 4096;
    static constexpr uint64_t max_capacity = uint64_t{1} << 20;

    void write(const char* data, size_t n)
    {
        if (writer_ && !writer_->finish())
            ok_ = false;
        if (ok_ && n > 0 && std::fwrite(data, 1, n, out_) != n)
            ok_ = false;
    }

    FILE* out_;
    size_t capacity_;
    // Both buffers in one block: a big image's 2 MiB take one huge page.
    std::unique_ptr<char[], void (*)(void*)> memory_;
    char *buf_, *spare_;
    size_t used_ = 0;
    bool ok_ = true;
    std::unique_ptr<background_writer> writer_;  // last: it stops before the buffers go
};

bool is_keyword(std::string_view word)
{
    // C23 and C++20 keywords, alternative tokens included: an array named
    // after any of them would not compile as C or as C++.
    static const std::set<std::string_view> keywords = {
        "_Alignas", "_Alignof", "_Atomic", "_BitInt", "_Bool", "_Complex", "_Decimal128",
        "_Decimal32", "_Decimal64", "_Generic", "_Imaginary", "_Noreturn", "_Static_assert",
        "_Thread_local", "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor",
        "bool", "break", "case", "catch", "char", "char16_t", "char32_t", "char8_t", "class",
        "co_await", "co_return", "co_yield", "compl", "concept", "const", "const_cast",
        "consteval", "constexpr", "constinit", "continue", "decltype", "default", "delete", "do",
        "double", "dynamic_cast", "else", "enum", "explicit", "export", "extern", "false",
        "float", "for", "friend", "goto", "if", "inline", "int", "long", "mutable", "namespace",
        "new", "noexcept", "not", "not_eq", "nullptr", "operator", "or", "or_eq", "private",
        "protected", "public", "register", "reinterpret_cast", "requires", "restrict", "return",
        "short", "signed", "sizeof", "static", "static_assert", "static_cast", "struct",
        "switch", "template", "this", "thread_local", "throw", "true", "try", "typedef",
        "typeid", "typename", "typeof", "typeof_unqual", "union", "unsigned", "using",
        "virtual", "void", "volatile", "wchar_t", "while", "xor", "xor_eq",
    };
    return keywords.count(word) != 0;
}

bool identifier_char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// ---------------------------------------------------------------------------
// Driver

#ifdef _WIN32
constexpr const char* directory_separators = "\\/";
#else
constexpr const char* directory_separators = "/";
#endif

using file_ptr = std::unique_ptr<FILE, int (*)(FILE*)>;

// Closes the stream and says whether everything written to it reached the
// file: a full disk often shows only when the last buffer is flushed.
bool close_checked(file_ptr& out)
{
    const bool written = std::fflush(out.get()) == 0 && !std::ferror(out.get());
    return std::fclose(out.release()) == 0 && written;
}

// The writer hands the stream whole buffers of text: a stdio buffer as well
// would copy them once more and split each into several system writes.
file_ptr open_output(const std::string& file)
{
    file_ptr out(std::fopen(file.c_str(), "w+"), &std::fclose);
    if (out)
        std::setvbuf(out.get(), nullptr, _IONBF, 0);
    return out;
}

bool cant_write(const std::string& file)
{
    std::printf("error: can't write file %s\n", file.c_str());
    return false;
}

bool report(bmp_error error, const char* path)
{
    switch (error) {
    case bmp_error::none:
        return true;
    case bmp_error::cant_open:
        std::printf("error: can't open file %s\n", path);
        break;
    case bmp_error::read_failed:
        std::printf("error: can't read file %s\n", path);
        break;
    case bmp_error::bad_format:
        std::printf("error: wrong BMP format\n");
        break;
    case bmp_error::unsupported:
        std::printf("error: unsupported BMP format\n");
        break;
    case bmp_error::truncated:
        std::printf("error: truncated BMP file\n");
        break;
    case bmp_error::too_large:
        std::printf("error: image too large\n");
        break;
    case bmp_error::out_of_memory:
        std::printf("error: out of memory\n");
        break;
    }
    return false;
}

// The header name less its ".h".
std::string_view image_name(std::string_view header)
{
    return header.substr(0, header.size() >= 2 ? header.size() - 2 : 0);
}

using image_ptr = std::unique_ptr<bmp_image, void (*)(bmp_image*)>;

image_ptr load(const char* path)
{
    std::printf("Loading %s\n", path);
    bmp_error error = bmp_error::none;
    image_ptr image(load_bmp(path, error), &free_bmp);
    report(error, path);
    return image;
}

}  // namespace

std::string header_name(std::string_view argument)
{
    if (argument.size() < 4)
        return std::string(argument) + ".h";
    return std::string(argument.substr(0, argument.size() - 3)) + "h";
}

std::string c_identifier(std::string_view image_name)
{
    const size_t cut = image_name.find_last_of(directory_separators);
    if (cut != std::string_view::npos)
        image_name.remove_prefix(cut + 1);
    std::string id(image_name);
    std::replace_if(id.begin(), id.end(), [](char c) { return !identifier_char(c); }, '_');
    if (id.empty() || (id[0] >= '0' && id[0] <= '9') || is_keyword(id))
        id.insert(0, "img_");
    return id;
}

void make_header(FILE* out)
{
    std::fputs(banner, out);
}

bool make_data(FILE* out, std::string& name, const bmp_image& image)
{
    name.resize(image_name(name).size());
    std::printf("Writing %s\n", name.c_str());
    const std::string id = c_identifier(name);

    // The array size is the 32-bit product, whatever its sign: the reader
    // never yields a record where that matters, but a record of width or
    // height 0 still gets a declaration that agrees with its contents.
    const auto size = static_cast<int32_t>(int64_t{image.width} * int64_t{image.height});
    const size_t width = image.width > 0 ? static_cast<size_t>(image.width) : 0;
    const size_t rows = image.height > 0 ? static_cast<size_t>(image.height) : 0;
    text_sink sink(out, (uint64_t{width} * 12 + 2) * rows + 3 * id.size() + 128);
    sink.text("const unsigned short int " + id + "_x = " + std::to_string(image.width) + ";\n");
    sink.text("const unsigned short int " + id + "_y = " + std::to_string(image.height) + ";\n\n");
    sink.text("const unsigned int " + id + "[" + std::to_string(size) + "] = {\n");

    // Rows are stored top row first, each mirrored, so each is walked
    // backwards to list it left to right.
    for (size_t row = 0; row < rows && sink.ok(); ++row) {
        // A big picture may still be arriving row by row.
        if (!wait_for_rows(image, static_cast<int32_t>(row + 1)))
            return false;
        const uint32_t* stored = image.pixels + row * width;
        if (width > 0) {
            sink.first_word(stored[width - 1]);
            sink.words_backwards(stored + width - 1, width - 1);
        }
        sink.text(row + 1 == rows ? "\n" : ",\n");
    }
    sink.text("};\n\n");
    // Flushed per image so that a full disk stops a combined run at the image
    // that did not fit, not after every later one has been read.
    return sink.flush() && std::fflush(out) == 0;
}

// Each input gets its own header beside it. A failing input ends the run;
// the headers written before it stay as they are.
bool run_single(int count, char** files)
{
    for (int i = 0; i < count; ++i) {
        const image_ptr image = load(files[i]);
        if (!image)
            return false;
        std::string name = header_name(files[i]);
        const std::string file = name;
        file_ptr out = open_output(file);
        if (!out)
            return cant_write(file);
        std::printf("Writing %s\n", file.c_str());
        make_header(out.get());
        const bool written = make_data(out.get(), name, *image);
        const bool closed = close_checked(out);
        if (!report(decoding_error(*image), files[i]))
            return false;  // the rest of the picture could not be read
        if (!closed || !written)
            return cant_write(file);
    }
    return true;
}

// Every input goes into one "data.h" in the current directory. An image
// whose declarations would repeat one already written stops the run before
// any of it is written, since the file would no longer compile.
bool run_combined(int count, char** files)
{
    const std::string file = "data.h";
    std::printf("Making %s\n", file.c_str());
    file_ptr out = open_output(file);
    if (!out)
        return cant_write(file);
    make_header(out.get());

    std::set<std::string> declared;
    for (int i = 0; i < count; ++i) {
        std::string name = header_name(files[i]);
        const image_ptr image = load(files[i]);
        if (!image)
            return false;
        const std::string id = c_identifier(image_name(name));
        const std::array<std::string, 3> ids = {id, id + "_x", id + "_y"};
        if (std::any_of(ids.begin(), ids.end(), [&](const std::string& s) { return declared.count(s) != 0; })) {
            std::printf("error: duplicate image name %s\n", id.c_str());
            return false;
        }
        declared.insert(ids.begin(), ids.end());
        const bool written = make_data(out.get(), name, *image);
        if (!report(decoding_error(*image), files[i]))
            return false;  // the rest of the picture could not be read
        if (!written)
            return cant_write(file);
    }
    if (!close_checked(out))
        return cant_write(file);
    return true;
}

#ifndef VANTREL_NO_MAIN
// The only place that decides the exit status: 0 after "Done" or the usage
// line, 1 after any error line.
int main(int argc, char** argv)
{
    if (argc < 2) {
        std::printf("Usage: %s file.bmp ...\n", argc > 0 && argv[0] ? argv[0] : "vantrel");
        return 0;
    }
    const bool combined = std::strncmp(argv[1], "-a", 2) == 0;
    try {
        if (!(combined ? run_combined(argc - 2, argv + 2) : run_single(argc - 1, argv + 1)))
            return 1;
    } catch (const std::bad_alloc&) {
        // The pixel buffer's own failure is reported by the reader; this is
        // the rest (names, read and write buffers) when memory is that tight.
        std::printf("error: out of memory\n");
        return 1;
    }
    std::printf("Done\n");
    return 0;
}
#endif
