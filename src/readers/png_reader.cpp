// The PNG reader's face: the chunks checked first, then the library's rows
// turned into words, on the decoding thread or, row by row in order, on
// another (decode_samples and convert_row).
#include "png_decoding.h"
#include "reader_limits.h"

namespace {

class png_decoder final : public image_decoder {
public:
    png_decoder(byte_source& source, const png_layout& layout, const read_options& options)
        : image_decoder(image_format::png, int32_t(layout.width), int32_t(layout.height)), source_(source),
          layout_(layout), options_(options), converter_(layout_, options_)
    {
    }

    // Inflating is the slow part of reading a big PNG, which the writing of
    // rows already decoded can overlap.
    bool streams() const override
    {
        return uint64_t{layout_.width} * layout_.height >= uint64_t{VANTREL_BACKGROUND_PIXELS};
    }

    image_error decode(uint32_t* pixels, const rows_done_fn& rows_done) override
    {
        return run([&](const png_row& row) {
            if (!converter_.convert(format_, row, pixels + uint64_t{row.y} * layout_.width))
                return bad_index_ = true, false;
            // An interlaced picture's rows are complete only once its last
            // pass is. Otherwise every 64 rows: each report wakes the thread
            // that waits for them, which costs more than it gains row by row.
            return layout_.interlaced || (row.y + 1) % 64 != 0 || rows_done(row.y + 1);
        }, [&] { rows_done(layout_.height); });
    }

    // Whole rows come in order only from a picture that is not interlaced.
    size_t sample_row_bytes() const override { return layout_.interlaced ? 0 : size_t{8} * layout_.width; }

    image_error decode_samples(const take_samples_fn& take) override
    {
        return run([&](const png_row& row) {
            return take(row.samples, static_cast<size_t>((uint64_t{row.count} * format_.bits * format_.channels + 7) / 8));
        }, [] {});
    }

    bool convert_row(const uint8_t* samples, uint32_t* row_words) override
    {
        return converter_.convert(format_, {0, 0, 1, layout_.width, samples}, row_words);
    }

private:
    // Decodes the stream, handing each row to row, and says how it ended;
    // done runs after the last row.
    template <class Row, class Done>
    image_error run(Row&& row, Done&& done)
    {
        png_stream stream(source_, layout_);
        bool stopped = false;
        image_error stream_error = image_error::none;
        const png_outcome outcome = png_decode(
            stream, layout_, format_, [&](const png_row& r) { return row(r) || (stopped = true, false); },
            stream_error);
        if (bad_index_)
            return image_error::bad_format;
        if (stopped)
            return image_error::none;  // nobody wants the rest
        switch (outcome) {
        case png_outcome::decoded:
            // Every IDAT chunk's CRC, on every platform, before the last row
            // counts as decoded.
            if (const image_error why = stream.finish(); why != image_error::none)
                return why;
            done();
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

    byte_source& source_;
    png_layout layout_;
    read_options options_;
    sample_format format_;  // set by png_decode before the first row
    png_converter converter_;  // after layout_ and options_, which it reads
    bool bad_index_ = false;
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
