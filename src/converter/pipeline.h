// The threads a run overlaps its work with: a big picture is decoded on a
// thread of its own while the rows already done are formatted, and text is
// written on another while the next text is formatted. Both hand their
// work over through a handoff (handoff.h).
#ifndef VANTREL_PIPELINE_H
#define VANTREL_PIPELINE_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "handoff.h"
#include "image_reader.h"

// A picture being loaded: complete, or still arriving row by row from the
// thread that decodes it.
class loaded_picture {
public:
    // What the ring of rows handed from a decoding thread to the converting
    // one (image_decoder::decode_samples) holds at most.
    static constexpr size_t default_ring_bytes = size_t{8} << 20;

    // Opens the picture source holds, checks its headers, allocates its
    // pixels and decodes them: here, or on a thread of its own for a big
    // picture whose decoder streams, through a ring of at most ring_bytes
    // (none if 0, or if it cannot be had: the pixels of the whole picture
    // then). Null with error set on failure (format says which reader took
    // it); a decoding that fails later says so through row and error.
    static std::unique_ptr<loaded_picture> load(std::unique_ptr<byte_source> source, const read_options& options,
                                                image_format& format, image_error& error,
                                                size_t ring_bytes = default_ring_bytes);
    ~loaded_picture();

    // The picture's size, and its pixels, which a picture whose samples
    // come through a ring (image_decoder::decode_samples) does not have:
    // read its rows with row().
    const bmp_image& image() const { return *image_; }

    // The words of row t (from the top, mirrored as the record's rows are)
    // once they are decoded; null if decoding failed first, and error()
    // then says why. Rows are asked for in order, top row first, and each
    // pointer serves until the next call. The last row comes only once the
    // whole picture has passed its checks.
    const uint32_t* row(int32_t t);

    // Why decoding failed, once it has; none while it goes on.
    image_error error();

    struct progress {
        uint32_t rows_ready = 0;            // complete in the pixels, from the top
        uint32_t decoded = 0, taken = 0;    // rows of samples put in the ring and taken out
        bool finished = false, stop = false;
        image_error error = image_error::none;
    };

private:
    loaded_picture() = default;
    static std::unique_ptr<loaded_picture> start(std::unique_ptr<byte_source> source, const read_options& options,
                                                 image_format& format, image_error& error, size_t ring_bytes);
    void decode();
    void decode_samples();
    const uint32_t* converted_row(uint32_t t);

    std::unique_ptr<byte_source> source_;
    std::unique_ptr<image_decoder> decoder_;
    std::unique_ptr<bmp_image, void (*)(bmp_image*)> image_{nullptr, &free_bmp};
    // When the decoder hands over samples (image_decoder::decode_samples):
    // a ring of slots rows of slot_bytes, filled by the decoding thread and
    // converted a row at a time into row_words by the thread that asks for
    // rows, and how far each has come.
    std::unique_ptr<uint8_t[], void (*)(void*)> ring_{nullptr, &std::free};
    std::unique_ptr<uint32_t[], void (*)(void*)> row_words_{nullptr, &std::free};
    size_t slot_bytes_ = 0;
    uint32_t slots_ = 0, converted_ = 0, seen_decoded_ = 0;
    image_error conversion_error_ = image_error::none;
    handoff<progress> progress_;
    std::thread thread_;  // last: it stops before the rest goes
};

// Writes buffers on a thread of its own, one at a time and in the order
// given. Throws std::system_error or std::bad_alloc when no thread can be
// had.
class background_writer {
public:
    explicit background_writer(FILE* out);
    ~background_writer();

    // Waits for the previous buffer, then starts writing this one. False,
    // and nothing started, if an earlier write failed.
    bool write(const char* data, size_t size);

    // Waits until every buffer is written; false if any write failed.
    bool finish();

    // Bytes that have reached the stream.
    uint64_t written();

    struct request {
        const char* data = nullptr;  // the buffer being written, if any
        size_t size = 0;
        uint64_t written = 0;  // bytes that reached the stream
        bool stop = false, ok = true;
    };

private:
    void run();

    FILE* out_;
    handoff<request> state_;
    std::thread thread_;  // last: it starts once the rest is ready
};

#endif
