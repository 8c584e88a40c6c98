#include "pipeline.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

#include "big_buffer.h"

// Pictures of at least this many pixels are read on a thread of their own,
// a row at a time; smaller ones whole, at once. The fuzz build lowers it,
// so that its small inputs reach the thread too.
#ifndef VANTREL_BACKGROUND_PIXELS
#define VANTREL_BACKGROUND_PIXELS (1 << 20)
#endif

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
    p->run_stop_ = options.stop;
    p->budget_ = std::make_unique<memory_budget>(options.memory_limit);
    p->reader_ =
        open_image(*p->source_, format, error,
                   {options.budget ? options.budget : p->budget_.get(), &p->stop_, options.source_ycbcr, options.all_frames});
    if (!p->reader_)
        return nullptr;
    const image_reader& reader = *p->reader_;
    // An animation's frames come one after the other, as rows of one tall picture.
    const auto width = size_t(reader.width()), height = size_t(p->rows()), row_bytes = reader.row_bytes();
    p->converter_ =
        std::make_unique<row_converter>(reader.samples(), uint32_t(width), options, uint64_t{width} * height);
    if (uint64_t{width} * height < uint64_t{VANTREL_BACKGROUND_PIXELS}) {
        p->whole_ = true;
        error = p->read_whole();
        return error == image_error::none ? std::move(p) : nullptr;
    }
    // A slot holds a row's samples and its words.
    if (const size_t slot_bytes = row_bytes + width * sizeof(uint32_t); ring_bytes >= slot_bytes) {
        p->slots_ = uint32_t(std::min(ring_bytes / slot_bytes, height));
        p->samples_ring_ = make_buffer<uint8_t>(p->slots_ * row_bytes);
        p->words_ring_ = make_buffer<uint32_t>(p->slots_ * width);
        p->converted_.resize(p->slots_);
        if (p->samples_ring_ && p->words_ring_) {
            // A picture held whole by its reader is decoded only once its
            // rows are asked for: a run that loads pictures ahead then
            // holds one such picture at a time, not one more for each
            // picture ahead.
            p->deferred_ = p->reader_->holds_picture();
            if (p->deferred_ || p->start_reading())
                return p;
        }
    }
    p->slots_ = 1;
    p->samples_ring_ = make_buffer<uint8_t>(row_bytes);
    p->words_ring_ = make_buffer<uint32_t>(width);
    if (!p->samples_ring_ || !p->words_ring_) {
        error = image_error::out_of_memory;
        return nullptr;
    }
    return p;
}

std::unique_ptr<loaded_picture> loaded_picture::open(const char* path, const read_options& options,
                                                     image_format& format, image_error& error)
{
    format = image_format::bmp;
    std::unique_ptr<byte_source> source = open_file_source(path);
    if (!source) {
        error = image_error::cant_open;
        return nullptr;
    }
    return load(std::move(source), options, format, error);
}

// Starts the reading thread; false, with one slot left to read rows here,
// if no thread can be had.
bool loaded_picture::start_reading()
{
    try {
        thread_ = start_thread([this] { read_rows(); });
        return true;
    } catch (const std::exception&) {
        // No thread, or no memory for one: the rows are read here.
        slots_ = 1;
        return false;
    }
}

image_error loaded_picture::read_whole()
{
    const auto width = size_t(reader_->width()), height = size_t(rows());
    words_.resize(width * height);
    std::vector<uint8_t> samples(reader_->row_bytes());
    for (size_t t = 0; t < height; ++t) {
        // Loaded ahead by a run that has failed since: nobody will read it.
        if (run_stop_ != nullptr && run_stop_->load(std::memory_order_relaxed))
            return image_error::read_failed;
        image_error why = reader_->next_row(samples.data());
        if (why == image_error::none)
            why = convert(samples.data(), words_.data() + t * width);
        if (why != image_error::none)
            return why;
    }
    return reader_->finish();
}

void loaded_picture::read_rows()
{
    // Rows are published in batches, and free slots learnt when they run
    // out: every exchange wakes the other thread, which costs more than a
    // row takes to convert.
    constexpr uint32_t batch = 32;
    const auto height = uint32_t(rows());
    uint32_t read = 0, published = 0, free_slots = 0;
    const auto publish = [&] {
        const uint32_t taken = progress_.update([&](progress& s) { return s.read = read, s.taken; });
        published = read, free_slots = slots_ - (read - taken);
    };
    image_error why = image_error::none;
    try {
        while (read < height) {
            if (free_slots == 0) {
                publish();
                const progress p = progress_.wait([&](const progress& s) { return s.read - s.taken < slots_ || s.stop; });
                if (p.stop)
                    break;
                free_slots = slots_ - (p.read - p.taken);
            }
            // The slot is past every row the other thread may be reading.
            if (why = reader_->next_row(samples_of(read)); why != image_error::none)
                break;
            // Whichever thread has time converts: this one when the other
            // is behind, with the ring more than half full (a bitmap, whose
            // reading is quick), the other when it waits for rows (a PNG,
            // whose inflating is the slow part).
            const bool here = free_slots <= slots_ / 2;
            converted_[read % slots_] = here;
            if (here && (why = convert(samples_of(read), words_of(read))) != image_error::none)
                break;
            ++read, --free_slots;
            if (read - published == batch)
                publish();
        }
        if (read == height)
            why = reader_->finish();
    } catch (const std::bad_alloc&) {
        // An exception may not leave a thread; it ends the reading.
        why = image_error::out_of_memory;
    }
    progress_.update([&](progress& s) {
        s.read = read;
        s.error = why;
        s.finished = true;
    });
}

image_error loaded_picture::convert(const uint8_t* samples, uint32_t* words) const
{
    // The converter fails only a palette index without an entry.
    return converter_->convert(samples, words) ? image_error::none : image_error::bad_format;
}

uint8_t* loaded_picture::samples_of(uint32_t t)
{
    return samples_ring_.get() + size_t(t % slots_) * reader_->row_bytes();
}

uint32_t* loaded_picture::words_of(uint32_t t)
{
    return words_ring_.get() + size_t(t % slots_) * size_t(reader_->width());
}

// Row t, the next one: read here, or taken from the ring once the reading
// thread has put it there; converted unless that thread did.
const uint32_t* loaded_picture::next_words(uint32_t t)
{
    const auto last = uint32_t(rows()) - 1;
    if (!thread_.joinable()) {
        image_error why = reader_->next_row(samples_of(t));
        if (why == image_error::none && t == last)
            why = reader_->finish();
        error_ = why;
    } else if (!ready(t, last)) {
        return nullptr;
    }
    if (error_ == image_error::none && !(thread_.joinable() && converted_[t % slots_]) &&
        (error_ = convert(samples_of(t), words_of(t))) != image_error::none)
        progress_.update([](progress& s) { s.stop = true; });
    return error_ == image_error::none ? words_of(t) : nullptr;
}

// Whether the reading thread has put row t in the ring.
bool loaded_picture::ready(uint32_t t, uint32_t last)
{
    if (t >= seen_read_) {
        const progress p = progress_.wait([&](const progress& s) { return s.read > t || s.finished; });
        if ((seen_read_ = p.read) <= t)
            return false;
    }
    // The last row is released only once the reader's final checks have
    // passed: the CRCs and zlib check value after a PNG's last row, an RLE
    // stream's end.
    return t != last || progress_.wait([](const progress& s) { return s.finished; }).error == image_error::none;
}

loaded_picture::~loaded_picture()
{
    if (thread_.joinable()) {
        // The reader may be in the middle of an interlaced picture's passes.
        stop_ = true;
        progress_.update([](progress& s) { s.stop = true; });
        thread_.join();
    }
}

const uint32_t* loaded_picture::row(int32_t t)
{
    if (t < 0 || t >= rows() || uint32_t(t) != next_ || error_ != image_error::none)
        return nullptr;
    if (whole_)
        return words_.data() + size_t(next_++) * size_t(reader_->width());
    if (deferred_) {
        deferred_ = false;
        start_reading();
    }
    // The rows before this one are done with; their slots go back in
    // batches, like the rows the reading thread puts in, and before a wait
    // for more.
    if (thread_.joinable() && (next_ - given_back_ >= 32 || next_ >= seen_read_)) {
        progress_.update([&](progress& s) { s.taken = next_; });
        given_back_ = next_;
    }
    const uint32_t* words = next_words(next_);
    next_ += words != nullptr;
    return words;
}

image_error loaded_picture::error()
{
    if (error_ != image_error::none || !thread_.joinable())
        return error_;
    const progress p = progress_.get();
    return p.finished ? p.error : image_error::none;
}

namespace {

// How far the queue loads ahead: a few pictures, and a few MiB of them.
constexpr size_t queue_pictures = 8, queue_bytes = size_t{4} << 20;

}  // namespace

picture_queue::picture_queue(const std::vector<char*>& paths, const read_options& options)
    : paths_(paths), options_(options), budget_(options.memory_limit), entries_(paths.size())
{
    options_.stop = &stop_;
    options_.budget = &budget_;
    try {
        thread_ = start_thread([this] { run(); });
    } catch (const std::exception&) {
        // No thread, or no memory for one: each picture is loaded when asked for.
    }
}

picture_queue::~picture_queue()
{
    if (thread_.joinable()) {
        // The run is over, most likely failed: a picture being loaded is
        // given up between two rows.
        stop_ = true;
        progress_.update([](progress& s) { s.stop = true; });
        thread_.join();
    }
}

picture_queue::entry picture_queue::load(size_t i) const
{
    entry e;
    try {
        e.picture = loaded_picture::open(paths_[i], options_, e.format, e.error);
    } catch (const std::bad_alloc&) {
        e.error = image_error::out_of_memory;
    }
    // A big picture holds its ring, a small one its words.
    if (e.picture)
        e.bytes = std::min(size_t(e.picture->width()) * size_t(e.picture->rows()) * sizeof(uint32_t),
                           loaded_picture::default_ring_bytes);
    return e;
}

void picture_queue::run()
{
    for (size_t i = 0; i < paths_.size(); ++i) {
        const progress p = progress_.wait([](const progress& s) {
            return s.stop || (s.loaded - s.taken < queue_pictures && s.bytes < queue_bytes);
        });
        if (p.stop)
            return;
        // The entry is the other thread's only once it is counted loaded.
        entries_[i] = load(i);
        progress_.update([&](progress& s) { s.loaded = i + 1, s.bytes += entries_[i].bytes; });
    }
}

picture_queue::entry picture_queue::next()
{
    const size_t i = taken_++;
    if (!thread_.joinable())
        return load(i);
    progress_.wait([&](const progress& s) { return s.loaded > i; });
    entry e = std::move(entries_[i]);
    progress_.update([&](progress& s) { s.taken = i + 1, s.bytes -= e.bytes; });
    return e;
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
