// WebP with libwebp: lossy, lossless, with alpha, and animated, whose frames
// libwebp's animation decoder composites on its canvas (webp_animation.h),
// from the file read whole. A still picture is decoded by libwebp's
// incremental decoder as its bytes are read, a block at a time, into an
// RGBA picture held whole (the decoder writes each row at its place, and
// a lossy frame's filters reach back over rows already written); each row
// is handed on as soon as the decoder has finished it, so that converting
// and writing the first rows overlaps decoding the rest. The file's bytes
// and the picture are taken from the run's memory budget, once the rows
// are first asked for.
#include <algorithm>
#include <cstring>
#include <vector>

#include <webp/decode.h>
#include "big_buffer.h"
#include "reader_limits.h"
#include "webp_animation.h"

namespace {

// How much of the file one step of decoding is given: small enough that
// rows come out a few dozen at a time, not in bursts the converter waits
// for, and a fixed share of a big file, so that a lossless one, whose
// decoder goes back to its last whole row when the bytes run out, repeats
// little.
uint64_t feed_bytes(uint64_t length)
{
    return std::max<uint64_t>(uint64_t{16} << 10, length / 128);
}

struct idec_deleter {
    void operator()(WebPIDecoder* d) const { WebPIDelete(d); }
};

class webp_rows final : public image_reader {
public:
    webp_rows(byte_source& source, std::vector<uint8_t> head, uint64_t length, uint32_t width, uint32_t height,
              const read_limits& limits)
        : image_reader(image_format::webp, int32_t(width), int32_t(height), rgba_layout()), source_(source),
          head_(std::move(head)), length_(length), limits_(limits)
    {
    }
    ~webp_rows() override
    {
        decoder_.reset();  // before the buffers it reads and writes
        if (limits_.memory)
            limits_.memory->give(taken_);
    }

    image_error next_row(uint8_t* row) override
    {
        if (!decoder_)
            if (const image_error why = start(); why != image_error::none)
                return why;
        while (ready_ <= next_)
            if (const image_error why = feed(); why != image_error::none)
                return why;
        std::memcpy(row, picture_.get() + size_t{next_++} * row_bytes(), row_bytes());
        return image_error::none;
    }

    // Every row is out; the decoder may still want the rest of the data.
    image_error finish() override
    {
        while (!done_)
            if (const image_error why = feed(); why != image_error::none)
                return why;
        return image_error::none;
    }

    bool holds_picture() const override { return true; }

private:
    // The file's bytes and the picture, and a decoder that writes into it.
    image_error start()
    {
        const uint64_t bytes = length_ + uint64_t{row_bytes()} * uint64_t(height());
        if (limits_.memory && !limits_.memory->take(bytes))
            return image_error::out_of_memory;
        taken_ = limits_.memory ? bytes : 0;
        file_ = std::move(head_);
        filled_ = std::min<uint64_t>(file_.size(), length_);
        file_.resize(static_cast<size_t>(length_));
        // Not cleared first: the decoder writes every byte before its row is handed on.
        picture_ = make_buffer<uint8_t>(row_bytes() * size_t(height()));
        if (!picture_)
            return image_error::out_of_memory;
        if (!WebPInitDecoderConfig(&config_))
            return image_error::bad_format;  // a libwebp of another interface
        // A lossy frame's filtering and output on a thread of libwebp's own,
        // beside its decoding: decoding is the slow part of the conversion.
        config_.options.use_threads = 1;
        WebPDecBuffer& out = config_.output;
        out.colorspace = MODE_RGBA;
        out.is_external_memory = 1;
        out.u.RGBA.rgba = picture_.get();
        out.u.RGBA.stride = int(row_bytes());
        out.u.RGBA.size = row_bytes() * size_t(height());
        decoder_.reset(WebPIDecode(nullptr, 0, &config_));
        if (!decoder_)
            return image_error::out_of_memory;
        return decode();
    }

    // Reads the next block into the file's bytes and decodes on from there.
    image_error feed()
    {
        if (limits_.stopped())
            return image_error::read_failed;
        // The decoder wants more than the RIFF header says the file holds.
        if (filled_ == length_)
            return image_error::bad_format;
        const auto n = static_cast<size_t>(std::min(feed_bytes(length_), length_ - filled_));
        if (const image_error why = source_.read(filled_, n, file_.data() + filled_); why != image_error::none)
            return why;
        filled_ += n;
        return decode();
    }

    // The decoder reads the file's bytes where they are, without a copy.
    image_error decode()
    {
        const VP8StatusCode status = WebPIUpdate(decoder_.get(), file_.data(), static_cast<size_t>(filled_));
        if (status == VP8_STATUS_OUT_OF_MEMORY)
            return image_error::out_of_memory;
        if (status != VP8_STATUS_OK && status != VP8_STATUS_SUSPENDED)
            return image_error::bad_format;
        done_ = status == VP8_STATUS_OK;
        int last_y = 0, width = 0, height = 0, stride = 0;
        // The size is known once a lossless frame's headers (its transforms and
        // codes, which can take more than a block) are read; a frame that is
        // not the size the file's headers said fails.
        if (WebPIDecGetRGB(decoder_.get(), &last_y, &width, &height, &stride) != nullptr && width > 0) {
            if (width != this->width() || height != this->height())
                return image_error::bad_format;
            ready_ = uint32_t(std::max(last_y, 0));
        }
        return image_error::none;
    }

    byte_source& source_;
    std::vector<uint8_t> head_;     // the first bytes, read when the file was opened
    std::vector<uint8_t> file_;     // the file's bytes, filled_ of them read so far
    buffer_ptr<uint8_t> picture_{nullptr, &std::free};  // RGBA, whole
    WebPDecoderConfig config_{};  // how the decoder decodes, and where to (the picture): it keeps the address
    uint64_t length_, filled_ = 0;
    read_limits limits_;
    uint64_t taken_ = 0;
    std::unique_ptr<WebPIDecoder, idec_deleter> decoder_;
    uint32_t next_ = 0, ready_ = 0;  // rows handed on, and rows the decoder has finished
    bool done_ = false;
};

}  // namespace

std::unique_ptr<image_reader> open_webp(byte_source& source, std::vector<uint8_t> head, image_error& error,
                                        const read_limits& limits)
{
    // The RIFF header says how long the file is (its size field, plus 8):
    // what is claimed past the end of the file is a file cut short.
    if (head.size() < 12) {
        error = image_error::truncated;
        return nullptr;
    }
    const uint64_t riff = uint64_t{head[4]} | uint64_t{head[5]} << 8 | uint64_t{head[6]} << 16 | uint64_t{head[7]} << 24;
    const uint64_t length = riff + 8;
    if (length > source.size()) {
        error = image_error::truncated;
        return nullptr;
    }
    if (head.size() > length)
        head.resize(static_cast<size_t>(length));
    // The headers are in the first bytes but for a still picture whose
    // optional chunks (an ICC profile) fill them; then, and for an
    // animation, which is decoded from the file whole, the file is read
    // whole here.
    WebPBitstreamFeatures features;
    VP8StatusCode status = WebPGetFeatures(head.data(), head.size(), &features);
    // The file read whole is held, and counted, until the animation's reader
    // has taken what it holds for itself.
    std::vector<uint8_t> file;
    struct giving {
        const read_limits& limits;
        uint64_t bytes = 0;
        ~giving()
        {
            if (limits.memory)
                limits.memory->give(bytes);
        }
    } file_bytes{limits};
    const auto read_whole = [&] {
        if (limits.memory && !limits.memory->take(length))
            return image_error::out_of_memory;
        file_bytes.bytes = length;
        file = std::move(head);
        const size_t had = file.size();
        file.resize(static_cast<size_t>(length));
        return length > had ? source.read(had, file.size() - had, file.data() + had) : image_error::none;
    };
    if (status == VP8_STATUS_NOT_ENOUGH_DATA && head.size() < length) {
        if (error = read_whole(); error != image_error::none)
            return nullptr;
        status = WebPGetFeatures(file.data(), file.size(), &features);
    }
    if (status != VP8_STATUS_OK || features.width <= 0 || features.height <= 0) {
        error = image_error::bad_format;
        return nullptr;
    }
    const auto width = uint32_t(features.width), height = uint32_t(features.height);
    if (error = check_size(width, height); error != image_error::none)
        return nullptr;
    if (features.has_animation) {
        if (file.empty() && (error = read_whole()) != image_error::none)
            return nullptr;
        return open_webp_animation(std::move(file), width, height, error, limits);
    }
    if (file.empty())
        file = std::move(head);
    return std::make_unique<webp_rows>(source, std::move(file), length, width, height, limits);
}
