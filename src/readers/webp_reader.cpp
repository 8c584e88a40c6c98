// WebP with libwebp: lossy, lossless, with alpha, and animated, whose first
// frame libwebp's animation decoder composites on its canvas. libwebp
// decodes a picture whole, so the file is read whole and the picture held
// decoded (its RGBA samples, taken from the run's memory budget); rows are
// then handed on from there. Both are what the format needs: a WebP frame
// has no rows to decode one at a time.
#include <cstring>
#include <vector>

#include <webp/decode.h>
#include "reader_limits.h"
#include "webp_animation.h"

namespace {

class webp_rows final : public image_reader {
public:
    webp_rows(uint32_t width, uint32_t height, std::vector<uint8_t> rgba, const read_limits& limits, uint64_t taken)
        : image_reader(image_format::webp, int32_t(width), int32_t(height), layout()), rgba_(std::move(rgba)),
          limits_(limits), taken_(taken)
    {
    }
    ~webp_rows() override
    {
        if (limits_.memory)
            limits_.memory->give(taken_);
    }

    image_error next_row(uint8_t* row) override
    {
        std::memcpy(row, rgba_.data() + size_t{next_++} * row_bytes(), row_bytes());
        return image_error::none;
    }

    image_error finish() override { return image_error::none; }

    bool holds_picture() const override { return true; }

private:
    static sample_layout layout()
    {
        sample_layout l;
        l.channels = 4, l.green = 1, l.blue = 2, l.alpha = 3;
        return l;
    }

    std::vector<uint8_t> rgba_;
    read_limits limits_;
    uint64_t taken_;
    uint32_t next_ = 0;
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
    if (limits.memory && !limits.memory->take(length)) {
        error = image_error::out_of_memory;
        return nullptr;
    }
    struct giving {
        const read_limits& limits;
        uint64_t bytes;
        ~giving()
        {
            if (limits.memory)
                limits.memory->give(bytes);
        }
    } file_bytes{limits, length};
    std::vector<uint8_t> file = std::move(head);
    const size_t had = file.size();
    file.resize(static_cast<size_t>(length));
    if (length > had && (error = source.read(had, file.size() - had, file.data() + had)) != image_error::none)
        return nullptr;
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(file.data(), file.size(), &features) != VP8_STATUS_OK || features.width <= 0 ||
        features.height <= 0) {
        error = image_error::bad_format;
        return nullptr;
    }
    const auto width = uint32_t(features.width), height = uint32_t(features.height);
    if (error = check_size(width, height); error != image_error::none)
        return nullptr;
    const uint64_t bytes = uint64_t{width} * height * 4;
    if (limits.memory && !limits.memory->take(bytes)) {
        error = image_error::out_of_memory;
        return nullptr;
    }
    auto reader_bytes = std::vector<uint8_t>();
    try {
        reader_bytes.resize(static_cast<size_t>(bytes));
    } catch (...) {
        if (limits.memory)
            limits.memory->give(bytes);
        throw;
    }
    if (features.has_animation) {
        if (limits.memory)
            limits.memory->give(bytes);
        return open_webp_animation(std::move(file), width, height, error, limits);
    }
    const bool decoded = WebPDecodeRGBAInto(file.data(), file.size(), reader_bytes.data(), reader_bytes.size(),
                                                  int(width * 4)) != nullptr;
    if (!decoded) {
        if (limits.memory)
            limits.memory->give(bytes);
        error = image_error::bad_format;
        return nullptr;
    }
    return std::make_unique<webp_rows>(width, height, std::move(reader_bytes), limits, bytes);
}
