#include "pipeline.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

#include "big_buffer.h"

namespace {

// A picture's pixels are faulted in ahead of decoding only when they take at
// most this many times the file's length: 32 words for the byte of a 1-bit
// bitmap.
constexpr uint64_t prefault_ratio = 32;

size_t image_bytes(const bmp_image& image)
{
    return size_t(image.width) * size_t(image.height) * sizeof(uint32_t);
}

}  // namespace

std::unique_ptr<loaded_picture> loaded_picture::load(std::unique_ptr<byte_source> source, const read_options& options,
                                                     image_format& format, image_error& error, size_t ring_bytes)
{
    try {
        return start(std::move(source), options, format, error, ring_bytes);
    } catch (const std::bad_alloc&) {
        error = image_error::out_of_memory;
        return nullptr;
    }
}

std::unique_ptr<loaded_picture> loaded_picture::start(std::unique_ptr<byte_source> source, const read_options& options,
                                                      image_format& format, image_error& error, size_t ring_bytes)
{
    std::unique_ptr<loaded_picture> p(new loaded_picture);
    p->source_ = std::move(source);
    p->decoder_ = open_image(*p->source_, options, format, error);
    if (!p->decoder_)
        return nullptr;
    const image_decoder& decoder = *p->decoder_;
    // A decoder whose library is the slow part leaves converting to the
    // thread that asks for the rows, through a ring of a few MiB: the
    // picture then needs no pixels of its own.
    if (const size_t slot_bytes = decoder.sample_row_bytes(); decoder.streams() && slot_bytes > 0 && ring_bytes >= slot_bytes) {
        p->slot_bytes_ = slot_bytes;
        p->slots_ = static_cast<uint32_t>(std::min<size_t>(ring_bytes / slot_bytes, size_t(decoder.height())));
        p->ring_ = make_buffer<uint8_t>(p->slots_ * p->slot_bytes_);
        p->row_words_ = make_buffer<uint32_t>(size_t(decoder.width()));
        p->image_.reset(new bmp_image{decoder.width(), decoder.height(), nullptr});
        try {
            if (p->ring_ && p->row_words_) {
                p->thread_ = start_thread([picture = p.get()] { picture->decode_samples(); });
                return p;
            }
        } catch (const std::exception&) {
            // No thread, or no memory for one: the picture is decoded whole.
        }
        p->slot_bytes_ = 0;
    }
    p->image_.reset(allocate_image(decoder));
    if (!p->image_) {
        error = image_error::out_of_memory;
        return nullptr;
    }
    if (decoder.streams()) {
        try {
            p->thread_ = start_thread([picture = p.get()] { picture->decode(); });
            // The decoding thread is the slow one: the first touch of every
            // page of the pixels is made here instead. Only where the file
            // itself is of the pixels' order of size: a few bytes of a PNG
            // may claim gigabytes of pixels, which would all be committed
            // (and the run deaf to signals) before the data shows it false.
            if (image_bytes(p->image()) / prefault_ratio <= p->source_->size())
                prefault_buffer(p->image_->pixels, image_bytes(p->image()));
            return p;
        } catch (const std::exception&) {
            // No thread, or no memory for one: the picture is decoded here.
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

// Row t of the ring's samples into row_words: rows come in order, so the
// one asked for is the next one. Slots are given back in batches, like
// the rows the decoding thread puts in.
const uint32_t* loaded_picture::converted_row(uint32_t t)
{
    if (t != converted_ || conversion_error_ != image_error::none)
        return nullptr;
    if (t >= seen_decoded_) {
        const progress p = progress_.wait([&](const progress& s) { return s.decoded > t || s.finished; });
        if ((seen_decoded_ = p.decoded) <= t)
            return nullptr;
    }
    if (!decoder_->convert_row(ring_.get() + size_t(t % slots_) * slot_bytes_, row_words_.get())) {
        conversion_error_ = image_error::bad_format;
        progress_.update([](progress& s) { s.stop = true; });
        return nullptr;
    }
    ++converted_;
    if (converted_ % 32 == 0 || converted_ == seen_decoded_)
        progress_.update([&](progress& s) { s.taken = converted_; });
    return row_words_.get();
}

loaded_picture::~loaded_picture()
{
    if (thread_.joinable()) {
        progress_.update([](progress& s) { s.stop = true; });
        thread_.join();
    }
}

const uint32_t* loaded_picture::row(int32_t t)
{
    if (t < 0 || t >= image_->height)
        return nullptr;
    const auto wanted = static_cast<uint32_t>(t) + 1;
    const uint32_t* words = nullptr;
    if (slot_bytes_ > 0) {
        words = converted_row(uint32_t(t));
    } else {
        const bool ready = !thread_.joinable() || [&] {
            const progress p = progress_.wait([&](const progress& s) { return s.rows_ready >= wanted || s.finished; });
            return p.rows_ready >= wanted && p.error == image_error::none;
        }();
        words = ready ? image_->pixels + size_t(t) * size_t(image_->width) : nullptr;
    }
    // The last row is released only once decoding has finished and passed
    // every check of the file, however the rows came: a reader may report
    // it complete before its final checks (the CRCs and zlib check value
    // after the last row).
    if (words && wanted == uint32_t(image_->height) && thread_.joinable() &&
        progress_.wait([](const progress& s) { return s.finished; }).error != image_error::none)
        return nullptr;
    return words;
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
