// The header writer's output buffer: a big image is a few hundred megabytes
// of text, formatted into large buffers and handed to the stream in few
// writes instead of one formatted-output call per value.
#ifndef VANTREL_TEXT_SINK_H
#define VANTREL_TEXT_SINK_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

class background_writer;

class text_sink {
public:
    // expected is about how much text is coming: a small image gets a small
    // buffer, so that a combined run of many icons does not set up a
    // megabyte for each. Text of more than one buffer is written on a
    // thread of its own from two buffers in turn, so that formatting one
    // overlaps writing the other. Throws std::bad_alloc.
    text_sink(FILE* out, uint64_t expected);
    ~text_sink();

    bool ok() const { return ok_; }

    void text(std::string_view s);

    // "\t0x" and the word: the first of a row.
    void first_word(uint32_t v);

    // ", 0x" and the word for each of the count words from first on.
    void words(const uint32_t* first, size_t count);

    // "\t0x12, 0x34, ..." for the count bytes from first on (one or more),
    // then end, which holds the line break: a line of a layout's bytes.
    void byte_line(const uint8_t* first, size_t count, std::string_view end);

    // Hands over the buffered text, to be written while the caller goes on.
    void hand_over() { flush_buffer(); }

    // Waits until all the text handed over is written; false if any of it
    // could not be.
    bool finish();

    bool flush()
    {
        hand_over();
        return finish();
    }

    // Bytes of text given so far, and of those, bytes that reached the
    // stream (all of them once finish() says so).
    uint64_t given() const { return handed_ + used_; }
    uint64_t written() const;

    // Bytes the text given so far takes in the file: a text stream on
    // Windows writes each line break as two.
    uint64_t file_bytes() const { return given() + newlines_; }

private:
    static constexpr size_t word_size = 12;  // ", 0x" and eight digits

    void flush_buffer();
    void write(const char* data, size_t n);

    FILE* out_;
    size_t capacity_;
    // Both buffers in one block: a big image's 2 MiB take one huge page.
    std::unique_ptr<char[], void (*)(void*)> memory_;
    char *buf_, *spare_;
    size_t used_ = 0;
    uint64_t handed_ = 0, written_here_ = 0, newlines_ = 0;
    bool ok_ = true;
    std::unique_ptr<background_writer> writer_;  // last: it stops before the buffers go
};

#endif
