// The BMP reader's face: the first read, the headers, and the decoder that
// turns the pixel data into words.
#include <algorithm>
#include <vector>

#include "bmp_decoding.h"
#include "reader_limits.h"

namespace {

class bmp_decoder final : public image_decoder {
public:
    bmp_decoder(byte_source& source, std::vector<uint8_t> head, const bmp_layout& layout)
        : image_decoder(image_format::bmp, layout.width, layout.height), source_(source), head_(std::move(head)),
          layout_(layout)
    {
    }

    // Uncompressed pixels of 16 bits and more have nothing left to fail on
    // once their headers and length are checked, but for the system failing
    // to read them.
    bool streams() const override
    {
        const auto pixels = static_cast<uint64_t>(width()) * static_cast<uint64_t>(height());
        return layout_.coding == encoding::raw && layout_.bits >= 16 && pixels >= uint64_t{VANTREL_BACKGROUND_PIXELS};
    }

    image_error decode(uint32_t* pixels, const rows_done_fn& rows_done) override
    {
        const bmp_source source{source_, head_};
        if (layout_.coding == encoding::raw)
            return decode_rows(source, layout_, pixels, rows_done);
        const image_error why = decode_rle(source, layout_, pixels);
        if (why == image_error::none)
            rows_done(static_cast<uint32_t>(height()));
        return why;
    }

private:
    byte_source& source_;
    std::vector<uint8_t> head_;  // the file's first bytes, all of a small one
    bmp_layout layout_;
};

}  // namespace

std::unique_ptr<image_decoder> open_bmp(byte_source& source, std::vector<uint8_t> head, const read_options& options,
                                        image_error& error)
{
    bmp_layout layout{};
    layout.options = options;
    error = parse_header(head.data(), std::min(head.size(), bmp_head_bytes), source.size(), layout);
    // A broken RLE stream fails here, before the pixel buffer it claims
    // exists.
    if (error == image_error::none && layout.coding != encoding::raw)
        error = check_rle({source, head}, layout);
    if (error != image_error::none)
        return nullptr;
    return std::make_unique<bmp_decoder>(source, std::move(head), layout);
}
