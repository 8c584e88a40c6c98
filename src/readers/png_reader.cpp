// The PNG reader's face: the chunks checked first, then the library's rows
// turned into words.
#include "png_decoding.h"

namespace {

class png_decoder final : public image_decoder {
public:
    png_decoder(byte_source& source, const png_layout& layout, const read_options& options)
        : image_decoder(image_format::png, int32_t(layout.width), int32_t(layout.height)), source_(source),
          layout_(layout), options_(options)
    {
    }

    // Inflating is the slow part of reading a PNG, which the writing of
    // rows already decoded can overlap.
    bool streams() const override { return true; }

    image_error decode(uint32_t* pixels, const rows_done_fn& rows_done) override
    {
        png_stream stream(source_, layout_);
        png_converter converter(layout_, options_, pixels);
        sample_format format;
        bool bad_index = false, stopped = false;
        image_error stream_error = image_error::none;
        const png_outcome outcome = png_decode(
            stream, layout_, format,
            [&](const png_row& row) {
                if (!converter.convert(format, row))
                    return !(bad_index = true);
                // An interlaced picture's rows are complete only once its
                // last pass is.
                return layout_.interlaced || row.y + 1 == layout_.height || !(stopped = !rows_done(row.y + 1));
            },
            stream_error);
        if (bad_index)
            return image_error::bad_format;
        if (stopped)
            return image_error::none;  // nobody wants the rest
        switch (outcome) {
        case png_outcome::decoded:
            rows_done(layout_.height);
            return image_error::none;
        case png_outcome::stream_failed:
            return stream_error;
        case png_outcome::out_of_memory:
            return image_error::out_of_memory;
        case png_outcome::broken:
            break;
        }
        // Image data that ends too soon, in a file that ends before IEND,
        // is a file cut short; in a whole file, it is broken like any other.
        return layout_.cut_short ? image_error::truncated : image_error::bad_format;
    }

private:
    byte_source& source_;
    png_layout layout_;
    read_options options_;
};

}  // namespace

std::unique_ptr<image_decoder> open_png(byte_source& source, std::vector<uint8_t> head, const read_options& options,
                                        image_error& error)
{
    png_layout layout;
    error = parse_png(source, std::move(head), layout);
    if (error != image_error::none)
        return nullptr;
    return std::make_unique<png_decoder>(source, layout, options);
}
