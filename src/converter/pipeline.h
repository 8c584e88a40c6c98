// The threads a run overlaps its work with: a big picture is read on a
// thread of its own while the rows already read are converted and
// formatted, and text is written on another while the next text is
// formatted. Both hand their work over through a handoff (handoff.h).
#ifndef VANTREL_PIPELINE_H
#define VANTREL_PIPELINE_H

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "handoff.h"
#include "image_reader.h"

// A picture being read: its rows of words, one at a time, top row first.
// A small picture is read whole when it is loaded, so that a file that
// fails does so before anything is written; a big one is read row by row,
// on a thread of its own that runs ahead of the rows asked for by at most
// a ring of a few MiB, so that memory does not grow with the picture.
class loaded_picture {
public:
    // What the ring of rows of words handed from the reading thread to the
    // one that asks for them holds at most.
    static constexpr size_t default_ring_bytes = size_t{4} << 20;

    // Opens the picture source holds and checks its headers, and for a
    // small picture reads it whole; a big one is read on a thread through a
    // ring of at most ring_bytes (if 0, or if no thread can be had, here, a
    // row at a time as they are asked for). Null with error set on failure
    // (format says which reader took it); a read that fails later says so
    // through row and error.
    static std::unique_ptr<loaded_picture> load(std::unique_ptr<byte_source> source, const read_options& options,
                                                image_format& format, image_error& error,
                                                size_t ring_bytes = default_ring_bytes);

    // The same for the file at path: cant_open if it is no regular file.
    static std::unique_ptr<loaded_picture> open(const char* path, const read_options& options, image_format& format,
                                                image_error& error);
    ~loaded_picture();

    int32_t width() const { return reader_->width(); }
    int32_t height() const { return reader_->height(); }
    // With every frame asked for, an animation's frames and their delays
    // (image_reader::frames); their rows come one frame after another.
    uint32_t frames() const { return reader_->frames(); }
    const std::vector<uint32_t>& delays() const { return reader_->delays(); }
    int32_t rows() const { return static_cast<int32_t>(int64_t{height()} * frames()); }

    // The words of row t (of rows()), left to right; null if reading failed first, and
    // error() then says why. Rows are asked for in order, top row first,
    // and each pointer serves until the next call. The last row comes only
    // once the reader's final checks have passed.
    const uint32_t* row(int32_t t);

    // Why reading failed, once it has; none while it goes on.
    image_error error();

    // How far the reading thread has come, and how far the rows it put in
    // the ring have been taken out.
    struct progress {
        uint32_t read = 0, taken = 0;
        bool finished = false, stop = false;
        image_error error = image_error::none;
    };

private:
    loaded_picture() = default;
    static std::unique_ptr<loaded_picture> start(std::unique_ptr<byte_source> source, const read_options& options,
                                                 image_format& format, image_error& error, size_t ring_bytes);
    bool start_reading();
    image_error read_whole();
    void read_rows();
    image_error convert(const uint8_t* samples, uint32_t* words) const;
    uint8_t* samples_of(uint32_t t);
    uint32_t* words_of(uint32_t t);
    const uint32_t* next_words(uint32_t t);
    bool ready(uint32_t t, uint32_t last);

    std::unique_ptr<byte_source> source_;
    std::unique_ptr<memory_budget> budget_;  // its own, unless the run shares one; before the reader that takes from it
    std::unique_ptr<image_reader> reader_;
    std::unique_ptr<row_converter> converter_;
    // A small picture's words, all of them.
    std::vector<uint32_t> words_;
    // A big picture's ring of slots rows, each its samples and its words:
    // filled by the reading thread, and taken out by the thread that asks
    // for rows, which converts those the reading thread did not
    // (converted_). One slot, and no flags, for a picture read here.
    std::unique_ptr<uint8_t[], void (*)(void*)> samples_ring_{nullptr, &std::free};
    std::unique_ptr<uint32_t[], void (*)(void*)> words_ring_{nullptr, &std::free};
    std::vector<uint8_t> converted_;
    uint32_t slots_ = 0, next_ = 0, seen_read_ = 0, given_back_ = 0;
    bool whole_ = false;
    bool deferred_ = false;  // the reading thread starts at the first row
    image_error error_ = image_error::none;  // of the thread that asks for rows
    // The reader's stop, set when the picture goes; the run's, set when it
    // has failed.
    std::atomic<bool> stop_{false};
    const std::atomic<bool>* run_stop_ = nullptr;
    handoff<progress> progress_;
    std::thread thread_;  // last: it stops before the rest goes
};

// The pictures of a combined run, loaded in order on a thread of their own
// a few ahead of the one being written, so that a run of many small
// pictures reads and converts the next while it formats the last. It stays
// at most a few MiB of pictures ahead; a picture its reader holds whole (an
// interlaced PNG) is decoded only when its turn comes, so that a run holds
// one such picture at a time. Once the run stops taking pictures, the one
// being loaded is given up.
class picture_queue {
public:
    struct entry {
        std::unique_ptr<loaded_picture> picture;  // as loaded_picture::open gives it
        image_format format = image_format::bmp;
        image_error error = image_error::none;
        size_t bytes = 0;  // about what it holds
    };

    // Starts loading, on a thread if one can be had, else as next asks.
    picture_queue(const std::vector<char*>& paths, const read_options& options);
    ~picture_queue();

    // The next path's picture.
    entry next();

    struct progress {
        size_t loaded = 0, taken = 0, bytes = 0;  // bytes: of the pictures loaded and not taken
        bool stop = false;
    };

private:
    void run();
    entry load(size_t i) const;

    const std::vector<char*>& paths_;
    read_options options_;
    memory_budget budget_;  // the pictures', shared: it outlives them
    std::vector<entry> entries_;
    size_t taken_ = 0;
    std::atomic<bool> stop_{false};  // the loading's own, for the readers
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
