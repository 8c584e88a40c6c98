// GIF (87a and 89a) with giflib: the first frame, drawn on the logical
// screen as browsers draw it. The screen starts transparent, so that pixels
// the frame does not draw, and its transparent ones, are black without
// --background and that colour with it; the frame's other pixels take their
// colour from its local palette, or the global one. Rows come out as RGBA,
// a row at a time as the frame's rows are decoded; an interlaced frame's
// rows come in four passes, so it is decoded whole first.
#include <algorithm>
#include <cstring>
#include <vector>

#include "gif_source.h"
#include "reader_limits.h"

namespace {

class gif_rows final : public image_reader {
public:
    gif_rows(std::unique_ptr<gif_input> in, gif_ptr gif, uint32_t width, uint32_t height, int transparent,
             const read_limits& limits)
        : image_reader(image_format::gif, int32_t(width), int32_t(height), layout(*gif, transparent)),
          in_(std::move(in)), gif_(std::move(gif)), transparent_(transparent), limits_(limits)
    {
        const GifImageDesc& d = gif_->Image;
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif_->SColorMap;
        colours_ = map->ColorCount;
        std::copy_n(map->Colors, std::min(colours_, 256), palette_);
        left_ = uint32_t(d.Left), top_ = uint32_t(d.Top), frame_w_ = uint32_t(d.Width), frame_h_ = uint32_t(d.Height);
        line_.resize(frame_w_);
    }

    ~gif_rows() override
    {
        if (limits_.memory)
            limits_.memory->give(taken_);
    }

    image_error next_row(uint8_t* row) override
    {
        // A frame that fills the screen, row by row: its indices are the
        // row, which the converter looks up in the palette.
        if (samples().packing == sample_layout::kind::indices) {
            ++next_;
            return DGifGetLine(gif_.get(), row, int(frame_w_)) == GIF_OK ? image_error::none : failure();
        }
        std::memset(row, 0, row_bytes());
        const uint32_t y = next_++;
        if (y < top_ || y - top_ >= frame_h_)
            return image_error::none;
        const uint32_t fy = y - top_;
        const GifPixelType* pixels = nullptr;
        if (gif_->Image.Interlace) {
            if (frame_.empty())
                if (const image_error why = decode_interlaced(); why != image_error::none)
                    return why;
            pixels = frame_.data() + size_t{fy} * frame_w_;
        } else {
            if (DGifGetLine(gif_.get(), line_.data(), int(frame_w_)) != GIF_OK)
                return failure();
            pixels = line_.data();
        }
        return draw(pixels, row);
    }

    bool holds_picture() const override { return gif_->Image.Interlace; }

    // The frame's data must end well; what follows it (more frames, the
    // trailer) is not read.
    image_error finish() override { return image_error::none; }

private:
    // The frame's indices, with its palette (the transparent entry black
    // and transparent, as the screen under it), where the frame covers the
    // whole screen and comes in order; else the screen's RGBA.
    static sample_layout layout(const GifFileType& gif, int transparent)
    {
        sample_layout l;
        const GifImageDesc& d = gif.Image;
        if (!d.Interlace && d.Left == 0 && d.Top == 0 && d.Width == gif.SWidth && d.Height == gif.SHeight) {
            const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif.SColorMap;
            l.packing = sample_layout::kind::indices;
            l.palette_size = uint32_t(std::clamp(map->ColorCount, 0, 256));
            for (uint32_t i = 0; i < l.palette_size; ++i) {
                const GifColorType& c = map->Colors[i];
                const bool clear = int(i) == transparent;
                l.palette[4 * i] = clear ? 0 : c.Red, l.palette[4 * i + 1] = clear ? 0 : c.Green;
                l.palette[4 * i + 2] = clear ? 0 : c.Blue, l.palette[4 * i + 3] = clear ? 0 : 255;
            }
            return l;
        }
        return rgba_layout();
    }

    image_error failure() const { return gif_failure(*in_, gif_->Error); }

    // GIF 89a, appendix E: rows 0, 8, 16, ...; 4, 12, ...; 2, 6, ...; 1, 3, ...
    // The frame, whatever size it claims, takes its memory from the run's
    // budget: a few bytes of LZW codes can claim gigabytes of it.
    image_error decode_interlaced()
    {
        const uint64_t bytes = uint64_t{frame_w_} * frame_h_;
        if (limits_.memory && !limits_.memory->take(bytes))
            return image_error::out_of_memory;
        taken_ = limits_.memory ? bytes : 0;
        frame_.resize(static_cast<size_t>(bytes));
        constexpr uint32_t starts[4] = {0, 4, 2, 1}, steps[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (uint32_t r = starts[pass]; r < frame_h_; r += steps[pass])
                if (DGifGetLine(gif_.get(), frame_.data() + size_t{r} * frame_w_, int(frame_w_)) != GIF_OK)
                    return failure();
        return image_error::none;
    }

    image_error draw(const GifPixelType* pixels, uint8_t* row) const
    {
        const uint32_t screen_w = uint32_t(width());
        for (uint32_t x = 0; x < frame_w_ && left_ + x < screen_w; ++x) {
            const int index = pixels[x];
            if (index == transparent_)
                continue;
            if (index >= colours_)
                return image_error::bad_format;  // an index without a palette entry
            uint8_t* out = row + size_t{left_ + x} * 4;
            out[0] = palette_[index].Red, out[1] = palette_[index].Green, out[2] = palette_[index].Blue, out[3] = 255;
        }
        return image_error::none;
    }

    std::unique_ptr<gif_input> in_;
    gif_ptr gif_;
    int transparent_;
    read_limits limits_;
    uint64_t taken_ = 0;  // of the budget, for an interlaced frame
    int colours_ = 0;
    GifColorType palette_[256] = {};
    uint32_t left_ = 0, top_ = 0, frame_w_ = 0, frame_h_ = 0, next_ = 0;
    std::vector<GifPixelType> line_, frame_;
};

}  // namespace

std::unique_ptr<image_reader> open_gif(byte_source& source, std::vector<uint8_t> head, image_error& error,
                                       const read_limits& limits)
{
    (void)head;  // read again through giflib's reads, a block at a time
    if (limits.all_frames)
        return open_gif_frames(source, error, limits);
    auto in = std::make_unique<gif_input>();
    gif_ptr gif = open_gif_file(source, *in, error);
    if (!gif)
        return nullptr;
    const auto fail = [&] {
        error = gif_failure(*in, gif->Error);
        return nullptr;
    };
    // Up to the first frame: its graphic control extension says which index
    // is transparent.
    gif_control control;
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &record) != GIF_OK)
            return fail();
        if (record == TERMINATE_RECORD_TYPE) {
            error = image_error::bad_format;  // no frame at all
            return nullptr;
        }
        if (record == EXTENSION_RECORD_TYPE && !read_gif_extension(gif.get(), control))
            return fail();
        if (record == IMAGE_DESC_RECORD_TYPE)
            break;
    }
    if (!read_gif_frame(gif.get()))
        return fail();
    const auto width = uint32_t(gif->SWidth), height = uint32_t(gif->SHeight);
    if (error = check_size(width, height); error != image_error::none)
        return nullptr;
    return std::make_unique<gif_rows>(std::move(in), std::move(gif), width, height, control.transparent, limits);
}
