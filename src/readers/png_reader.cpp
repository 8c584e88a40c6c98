// The PNG reader's face: the chunks checked first, then the library started
// on the stream of the critical ones, and its rows handed on as they are.
#include <algorithm>

#include "png_decoding.h"

namespace {

// The palette with tRNS's alphas, and its key, as the converter reads them.
sample_layout layout_samples(const png_layout& layout)
{
    sample_layout samples;
    samples.palette_size = layout.palette_size;
    for (uint32_t i = 0; i < layout.palette_size; ++i) {
        std::copy_n(&layout.palette[3 * i], 3, &samples.palette[4 * i]);
        samples.palette[4 * i + 3] = i < layout.alphas ? layout.alpha[i] : 255;
    }
    samples.keyed = layout.keyed;
    samples.key = layout.key;
    return samples;
}

// The reader's failure for what the library made of the stream.
image_error png_error(png_outcome outcome, const png_library& library, bool cut_short)
{
    switch (outcome) {
    case png_outcome::decoded:
        return image_error::none;
    case png_outcome::stream_failed:
        return library.stream_error();
    case png_outcome::out_of_memory:
        return image_error::out_of_memory;
    case png_outcome::stopped:
        return image_error::read_failed;  // nobody is left to read it
    case png_outcome::broken:
        break;
    }
    // Image data that ends too soon, in a file that ends before IEND, is a
    // file cut short; in a whole file, it is broken like any other.
    return cut_short ? image_error::truncated : image_error::bad_format;
}

class png_reader final : public image_reader {
public:
    png_reader(const png_layout& layout, const sample_layout& samples, std::unique_ptr<png_stream> stream,
               std::unique_ptr<png_library> library)
        : image_reader(image_format::png, int32_t(layout.width), int32_t(layout.height), samples),
          cut_short_(layout.cut_short), interlaced_(layout.interlaced), stream_(std::move(stream)),
          library_(std::move(library))
    {
    }

    image_error next_row(uint8_t* row) override { return error(library_->next_row(row)); }

    // Every IDAT chunk's CRC, on every platform, before the picture counts
    // as decoded: a library may stop reading where the zlib stream ends.
    image_error finish() override
    {
        const image_error why = error(library_->finish());
        return why != image_error::none ? why : stream_->finish();
    }

    bool holds_picture() const override { return interlaced_; }

private:
    image_error error(png_outcome outcome) const { return png_error(outcome, *library_, cut_short_); }

    bool cut_short_, interlaced_;
    std::unique_ptr<png_stream> stream_;
    std::unique_ptr<png_library> library_;  // after the stream it reads
};

}  // namespace

std::unique_ptr<image_reader> open_png(byte_source& source, std::vector<uint8_t> head, image_error& error,
                                       const read_limits& limits)
{
    png_layout layout;
    error = parse_png(source, std::move(head), layout);
    if (error != image_error::none)
        return nullptr;
    layout.limits = limits;
    auto stream = std::make_unique<png_stream>(source, layout);
    sample_layout samples = layout_samples(layout);
    std::unique_ptr<png_library> library = make_png_library(*stream, layout);
    if (const png_outcome outcome = library->start(samples); outcome != png_outcome::decoded) {
        error = png_error(outcome, *library, layout.cut_short);
        return nullptr;
    }
    return std::make_unique<png_reader>(layout, samples, std::move(stream), std::move(library));
}
