#include "pipeline.h"

#include <new>
#include <system_error>

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
    const auto decode = [picture = p.get()] {
        image_error why = image_error::out_of_memory;
        try {
            why = picture->decoder_->decode(picture->image_->pixels, [picture](uint32_t rows) {
                return picture->progress_.update([&](progress& s) {
                    s.rows_ready = rows;
                    return !s.stop;
                });
            });
        } catch (const std::bad_alloc&) {
            // An exception may not leave a thread; it ends the decoding.
        }
        picture->progress_.update([&](progress& s) {
            s.error = why;
            s.finished = true;
        });
    };
    if (p->decoder_->streams()) {
        try {
            p->thread_ = start_thread(decode);
            return p;
        } catch (const std::exception&) {
            // No thread, or no memory for one: the picture is decoded here.
        }
    }
    decode();
    error = p->progress_.get().error;
    return error == image_error::none ? std::move(p) : nullptr;
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
    const progress p = progress_.wait([&](const progress& s) { return s.rows_ready >= wanted || s.finished; });
    return p.rows_ready >= wanted && p.error == image_error::none;
}

image_error loaded_picture::error()
{
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
