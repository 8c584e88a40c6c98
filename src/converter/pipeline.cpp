#include "pipeline.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

#include "big_buffer.h"

namespace {

// What the ring of rows handed from a decoding thread to the converting one
// holds at most.
constexpr size_t ring_bytes = size_t{8} << 20;

size_t image_bytes(const bmp_image& image)
{
    return size_t(image.width) * size_t(image.height) * sizeof(uint32_t);
}

}  // namespace

std::unique_ptr<loaded_picture> loaded_picture::load(std::unique_ptr<byte_source> source, const read_options& options,
                                                     image_format& format, image_error& error)
{
    try {
        return start(std::move(source), options, format, error);
    } catch (const std::bad_alloc&) {
        error = image_error::out_of_memory;
        return nullptr;
    }
}

std::unique_ptr<loaded_picture> loaded_picture::start(std::unique_ptr<byte_source> source, const read_options& options,
                                                      image_format& format, image_error& error)
{
    std::unique_ptr<loaded_picture> p(new loaded_picture);
    p->source_ = std::move(source);
    p->decoder_ = open_image(*p->source_, options, format, error);
    if (!p->decoder_)
        return nullptr;
    p->image_.reset(allocate_image(*p->decoder_));
    if (!p->image_) {
        error = image_error::out_of_memory;
        return nullptr;
    }
    if (p->decoder_->streams()) {
        // A decoder whose library is the slow part leaves converting to the
        // thread that waits for the rows, through a ring of a few MiB.
        if ((p->slot_bytes_ = p->decoder_->sample_row_bytes()) > 0) {
            p->slots_ = static_cast<uint32_t>(std::clamp<size_t>(ring_bytes / p->slot_bytes_, 4, size_t(p->image().height)));
            p->ring_ = make_buffer<uint8_t>(p->slots_ * p->slot_bytes_);
            if (!p->ring_)
                p->slot_bytes_ = 0;
        }
        try {
            p->thread_ = start_thread([picture = p.get()] {
                picture->slot_bytes_ > 0 ? picture->decode_samples() : picture->decode();
            });
            // The decoding thread is the slow one: the first touch of every
            // page of the pixels is made here instead.
            prefault_buffer(p->image_->pixels, image_bytes(p->image()));
            return p;
        } catch (const std::exception&) {
            // No thread, or no memory for one: the picture is decoded here.
            p->slot_bytes_ = 0;
        }
    }
    p->decode();
    error = p->progress_.get().error;
    return error == image_error::none ? std::move(p) : nullptr;
}

void loaded_picture::decode()
{
    image_error why = image_error::out_of_memory;
    try {
        why = decoder_->decode(image_->pixels, [this](uint32_t rows) {
            return progress_.update([&](progress& s) {
                s.rows_ready = rows;
                return !s.stop;
            });
        });
    } catch (const std::bad_alloc&) {
        // An exception may not leave a thread; it ends the decoding.
    }
    progress_.update([&](progress& s) {
        s.error = why;
        s.finished = true;
    });
}

void loaded_picture::decode_samples()
{
    // Rows are published in batches, and free slots learnt when they run
    // out: every exchange wakes the other thread, which costs more than a
    // row takes to convert.
    constexpr uint32_t batch = 32;
    uint32_t written = 0, published = 0, free_slots = 0;
    const auto publish = [&] {
        progress_.update([&](progress& s) { s.decoded = written; });
        published = written;
    };
    image_error why = image_error::out_of_memory;
    try {
        why = decoder_->decode_samples([&](const uint8_t* samples, size_t size) {
            if (free_slots == 0) {
                publish();
                const progress p = progress_.wait([&](const progress& s) { return s.decoded - s.taken < slots_ || s.stop; });
                if (p.stop)
                    return false;
                free_slots = slots_ - (p.decoded - p.taken);
            }
            // The slot is past every row the other thread may be reading.
            std::memcpy(ring_.get() + size_t(written % slots_) * slot_bytes_, samples, std::min(size, slot_bytes_));
            ++written, --free_slots;
            if (written - published == batch)
                publish();
            return true;
        });
    } catch (const std::bad_alloc&) {
        // An exception may not leave a thread; it ends the decoding.
    }
    progress_.update([&](progress& s) {
        s.decoded = written;
        s.error = why;
        s.finished = true;
    });
}

// Converts the rows of samples in the ring up to rows, or as many as have
// come; false if a row failed or no more will come.
bool loaded_picture::convert_samples(uint32_t rows)
{
    while (converted_ < rows) {
        const progress p = progress_.wait([&](const progress& s) { return s.decoded > converted_ || s.finished; });
        if (p.decoded == converted_)
            return false;
        for (; converted_ < p.decoded; ++converted_)
            if (!decoder_->convert_row(ring_.get() + size_t(converted_ % slots_) * slot_bytes_, converted_,
                                       image_->pixels)) {
                conversion_error_ = image_error::bad_format;
                progress_.update([](progress& s) { s.stop = true; });
                return false;
            }
        progress_.update([&](progress& s) { s.taken = converted_; });
    }
    // The last row is not the end: the image data may still fail its checks.
    return converted_ < uint32_t(image_->height) ||
           progress_.wait([](const progress& s) { return s.finished; }).error == image_error::none;
}

loaded_picture::~loaded_picture()
{
    if (thread_.joinable()) {
        progress_.update([](progress& s) { s.stop = true; });
        thread_.join();
    }
}

bool loaded_picture::wait_for_rows(int32_t rows)
{
    if (rows <= 0)
        return true;
    const auto wanted = static_cast<uint32_t>(rows);
    if (slot_bytes_ > 0)
        return conversion_error_ == image_error::none && convert_samples(wanted);
    const progress p = progress_.wait([&](const progress& s) { return s.rows_ready >= wanted || s.finished; });
    return p.rows_ready >= wanted && p.error == image_error::none;
}

image_error loaded_picture::error()
{
    if (conversion_error_ != image_error::none)
        return conversion_error_;
    const progress p = progress_.get();
    return p.finished ? p.error : image_error::none;
}

background_writer::background_writer(FILE* out) : out_(out), thread_(start_thread([this] { run(); })) {}

background_writer::~background_writer()
{
    state_.update([](request& r) { r.stop = true; });
    thread_.join();
}

bool background_writer::write(const char* data, size_t size)
{
    if (!finish())
        return false;
    state_.update([&](request& r) { r.data = data, r.size = size; });
    return true;
}

bool background_writer::finish()
{
    return state_.wait([](const request& r) { return r.data == nullptr; }).ok;
}

uint64_t background_writer::written()
{
    return state_.get().written;
}

void background_writer::run()
{
    for (;;) {
        const request r = state_.wait([](const request& s) { return s.data != nullptr || s.stop; });
        if (r.data == nullptr)
            return;
        const size_t written = std::fwrite(r.data, 1, r.size, out_);
        state_.update([&](request& s) {
            s.ok = s.ok && written == r.size;
            s.written += written;
            s.data = nullptr;
        });
    }
}
