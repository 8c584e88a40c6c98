// An animated WebP: libwebp's animation decoder composites each frame on
// its canvas (blending and disposal as the format says, the canvas
// transparent where no frame has drawn), and rows are handed on from the
// canvas. The first frame, or with every frame asked for each in turn, the
// canvas kept from one to the next; a frame's delay is its duration.
#include "webp_animation.h"

#include <cstring>

#include <webp/demux.h>

#include "reader_limits.h"

namespace {

struct anim_deleter {
    void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};
using anim_ptr = std::unique_ptr<WebPAnimDecoder, anim_deleter>;

class webp_frames final : public image_reader {
public:
    webp_frames(uint32_t width, uint32_t height, std::vector<uint8_t> file, std::vector<uint32_t> delays,
                const read_limits& limits, uint64_t taken)
        : image_reader(image_format::webp, int32_t(width), int32_t(height), rgba_layout()), file_(std::move(file)),
          limits_(limits), taken_(taken)
    {
        set_delays(std::move(delays));
    }
    ~webp_frames() override
    {
        decoder_.reset();
        if (limits_.memory)
            limits_.memory->give(taken_);
    }

    // The decoder reads from the file, which must not move: it is made once
    // the file has its place in the reader.
    bool start()
    {
        WebPAnimDecoderOptions options;
        if (!WebPAnimDecoderOptionsInit(&options))
            return false;
        options.color_mode = MODE_RGBA;
        options.use_threads = 0;
        const WebPData data = {file_.data(), file_.size()};
        decoder_.reset(WebPAnimDecoderNew(&data, &options));
        return decoder_ != nullptr;
    }

    image_error next_row(uint8_t* row) override
    {
        if (row_ == 0 || row_ == uint32_t(height())) {
            int timestamp = 0;
            if (!WebPAnimDecoderGetNext(decoder_.get(), &canvas_, &timestamp))
                return image_error::bad_format;
            row_ = 0;
        }
        std::memcpy(row, canvas_ + size_t{row_++} * row_bytes(), row_bytes());
        return image_error::none;
    }

    image_error finish() override { return image_error::none; }

    bool holds_picture() const override { return true; }

private:
    std::vector<uint8_t> file_;
    read_limits limits_;
    uint64_t taken_;
    anim_ptr decoder_;
    uint8_t* canvas_ = nullptr;  // the decoder's
    uint32_t row_ = 0;
};

// Each frame's duration, from the demuxer, which checks the file's chunks;
// empty if they do not make an animation.
std::vector<uint32_t> durations(const std::vector<uint8_t>& file, bool all_frames)
{
    std::vector<uint32_t> delays;
    const WebPData data = {file.data(), file.size()};
    WebPDemuxer* demux = WebPDemux(&data);
    if (!demux)
        return delays;
    WebPIterator frame;
    if (WebPDemuxGetFrame(demux, 1, &frame)) {
        do
            delays.push_back(all_frames ? uint32_t(frame.duration) : 0);
        while (all_frames && WebPDemuxNextFrame(&frame));
        WebPDemuxReleaseIterator(&frame);
    }
    WebPDemuxDelete(demux);
    return delays;
}

}  // namespace

std::unique_ptr<image_reader> open_webp_animation(std::vector<uint8_t> file, uint32_t width, uint32_t height,
                                                  image_error& error, const read_limits& limits)
{
    std::vector<uint32_t> delays = durations(file, limits.all_frames);
    if (delays.empty()) {
        error = image_error::bad_format;
        return nullptr;
    }
    if (error = check_frames(width, height, delays.size()); error != image_error::none)
        return nullptr;
    // The file, the decoder's canvas and the frame it decodes before
    // blending it in.
    const uint64_t bytes = file.size() + uint64_t{width} * height * 4 * 2;
    if (limits.memory && !limits.memory->take(bytes)) {
        error = image_error::out_of_memory;
        return nullptr;
    }
    auto reader = std::make_unique<webp_frames>(width, height, std::move(file), std::move(delays), limits,
                                                limits.memory ? bytes : 0);
    if (!reader->start()) {
        error = image_error::bad_format;
        return nullptr;
    }
    return reader;
}
