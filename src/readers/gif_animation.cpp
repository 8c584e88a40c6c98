// Every frame of a GIF, composited on the logical screen as browsers show
// them. The screen starts transparent; each frame draws its pixels but the
// transparent ones over what the frames before left, and then its disposal
// method (GIF 89a, section 23) says what the next frame starts from:
//   0, 1 (and the undefined 4-7): the screen as it is;
//   2: the frame's rectangle cleared to transparent, as browsers do, rather
//      than to the background colour the format names;
//   3: the screen as it was before the frame.
// A frame's delay is its graphic control extension's, in hundredths of a
// second. The frames are counted and checked in a first walk over the file,
// which skips their image data; then each frame is decoded onto the screen
// as its first row is asked for, and rows are handed on from there.
#include <algorithm>
#include <cstring>
#include <vector>

#include "gif_source.h"
#include "reader_limits.h"

namespace {

struct frame_walk {
    uint32_t width = 0, height = 0;  // the screen's
    std::vector<uint32_t> delays;
    bool restores = false;  // whether any frame's disposal is 3
};

// The frames, up to the trailer. A file that ends between two frames, as
// some writers leave it, ends there; one that ends inside a frame is cut
// short.
image_error walk_frames(byte_source& source, frame_walk& walk)
{
    gif_input in;
    image_error error = image_error::none;
    const gif_ptr gif = open_gif_file(source, in, error);
    if (!gif)
        return error;
    gif_control control;
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &record) != GIF_OK) {
            const bool at_end = in.position == source.size() && in.at == in.end;
            if (walk.delays.empty() || !at_end)
                return gif_failure(in, gif->Error);
            break;
        }
        if (record == TERMINATE_RECORD_TYPE)
            break;
        if (record == EXTENSION_RECORD_TYPE && !read_gif_extension(gif.get(), control))
            return gif_failure(in, gif->Error);
        if (record != IMAGE_DESC_RECORD_TYPE)
            continue;
        int code_size = 0;
        GifByteType* block = nullptr;
        if (!read_gif_frame(gif.get()) || DGifGetCode(gif.get(), &code_size, &block) != GIF_OK)
            return gif_failure(in, gif->Error);
        while (block)
            if (DGifGetCodeNext(gif.get(), &block) != GIF_OK)
                return gif_failure(in, gif->Error);
        walk.delays.push_back(uint32_t(control.delay) * 10);
        walk.restores = walk.restores || control.disposal == 3;
        if (walk.delays.size() > uint64_t(header_text::max_dimension))
            return image_error::too_large;
        control = {};
    }
    if (walk.delays.empty())
        return image_error::bad_format;  // no frame at all
    walk.width = uint32_t(gif->SWidth), walk.height = uint32_t(gif->SHeight);
    if (const image_error why = check_size(walk.width, walk.height); why != image_error::none)
        return why;
    return check_frames(walk.width, walk.height, walk.delays.size());
}

class gif_frames final : public image_reader {
public:
    gif_frames(std::unique_ptr<gif_input> in, gif_ptr gif, frame_walk walk, const read_limits& limits,
               held_memory taken)
        : image_reader(image_format::gif, int32_t(walk.width), int32_t(walk.height), rgba_layout()),
          taken_(std::move(taken)),
          in_(std::move(in)), gif_(std::move(gif)), limits_(limits)
    {
        set_delays(std::move(walk.delays));
        const size_t bytes = size_t(width()) * size_t(height()) * 4;
        screen_.assign(bytes, 0);
        if (walk.restores)
            saved_.resize(bytes);
        line_.resize(size_t(width()));
    }

    image_error next_row(uint8_t* row) override
    {
        if (row_ == uint32_t(height()) || (row_ == 0 && !drawn_)) {
            if (const image_error why = next_frame(); why != image_error::none)
                return why;
            row_ = 0, drawn_ = true;
        }
        std::memcpy(row, screen_.data() + size_t{row_++} * row_bytes(), row_bytes());
        return image_error::none;
    }

    // What follows the last frame is not read.
    image_error finish() override { return image_error::none; }

    bool holds_picture() const override { return true; }

private:
    image_error failure() const { return gif_failure(*in_, gif_->Error); }

    // What the previous frame's disposal leaves, then the next frame drawn.
    image_error next_frame()
    {
        if (disposal_ == 2)
            for (uint32_t y = top_; y < bottom_; ++y)
                std::memset(screen_.data() + (size_t{y} * uint32_t(width()) + left_) * 4, 0, size_t{right_ - left_} * 4);
        else if (disposal_ == 3)
            screen_ = saved_;
        gif_control control;
        for (;;) {
            if (limits_.stopped())
                return image_error::read_failed;
            GifRecordType record = UNDEFINED_RECORD_TYPE;
            if (DGifGetRecordType(gif_.get(), &record) != GIF_OK)
                return failure();
            if (record == TERMINATE_RECORD_TYPE)
                return image_error::bad_format;  // fewer frames than the first walk found: the file changed
            if (record == EXTENSION_RECORD_TYPE && !read_gif_extension(gif_.get(), control))
                return failure();
            if (record == IMAGE_DESC_RECORD_TYPE)
                break;
        }
        if (!read_gif_frame(gif_.get()))
            return failure();
        if (control.disposal == 3)
            saved_ = screen_;
        disposal_ = control.disposal;
        return draw(control.transparent);
    }

    // GIF 89a, appendix E: an interlaced frame's rows come as rows 0, 8,
    // 16, ...; 4, 12, ...; 2, 6, ...; 1, 3, ... Rows and columns off the
    // screen are decoded and dropped.
    image_error draw(int transparent)
    {
        const GifImageDesc& d = gif_->Image;
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif_->SColorMap;
        const int colours = std::min(map->ColorCount, 256);
        const auto w = uint32_t(width()), h = uint32_t(height()), frame_w = uint32_t(d.Width),
                   frame_h = uint32_t(d.Height);
        left_ = std::min(uint32_t(d.Left), w), top_ = std::min(uint32_t(d.Top), h);
        right_ = std::min(left_ + frame_w, w), bottom_ = std::min(top_ + frame_h, h);
        line_.resize(std::max<size_t>(line_.size(), frame_w));
        constexpr uint32_t starts[4] = {0, 4, 2, 1}, steps[4] = {8, 8, 4, 2};
        const int passes = d.Interlace ? 4 : 1;
        for (int pass = 0; pass < passes; ++pass)
            for (uint32_t r = d.Interlace ? starts[pass] : 0; r < frame_h; r += d.Interlace ? steps[pass] : 1) {
                if (DGifGetLine(gif_.get(), line_.data(), int(frame_w)) != GIF_OK)
                    return failure();
                if (top_ + r >= bottom_)
                    continue;
                uint8_t* out = screen_.data() + (size_t{top_ + r} * w + left_) * 4;
                for (uint32_t x = 0; x < right_ - left_; ++x, out += 4) {
                    const int index = line_[x];
                    if (index == transparent)
                        continue;
                    if (index >= colours)
                        return image_error::bad_format;  // an index without a palette entry
                    const GifColorType& c = map->Colors[index];
                    out[0] = c.Red, out[1] = c.Green, out[2] = c.Blue, out[3] = 255;
                }
            }
        return image_error::none;
    }

    held_memory taken_;  // first: given back whatever happens after
    std::unique_ptr<gif_input> in_;
    gif_ptr gif_;
    read_limits limits_;
    std::vector<uint8_t> screen_, saved_;  // RGBA
    std::vector<GifPixelType> line_;
    uint32_t row_ = 0;
    bool drawn_ = false;
    int disposal_ = 0;
    uint32_t left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;  // the last frame's rectangle, on the screen
};

}  // namespace

std::unique_ptr<image_reader> open_gif_frames(byte_source& source, image_error& error, const read_limits& limits)
{
    frame_walk walk;
    if (error = walk_frames(source, walk); error != image_error::none)
        return nullptr;
    auto in = std::make_unique<gif_input>();
    gif_ptr gif = open_gif_file(source, *in, error);
    if (!gif)
        return nullptr;
    // The screen, and the copy that disposal 3 restores.
    const uint64_t bytes = uint64_t{walk.width} * walk.height * 4 * (walk.restores ? 2 : 1);
    if (limits.memory && !limits.memory->take(bytes)) {
        error = image_error::out_of_memory;
        return nullptr;
    }
    held_memory taken(limits.memory, bytes);
    return std::make_unique<gif_frames>(std::move(in), std::move(gif), std::move(walk), limits, std::move(taken));
}
