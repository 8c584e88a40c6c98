// PNG decoding with the Windows Imaging Component, which comes with every
// Windows: the samples in WIC's own pixel format when it is one the
// converter reads, and converted to 64-bit RGBA, exact for every depth,
// only when it is not. WIC deinterlaces, so rows come whole and in order.
// com_stream.h first: its defines keep windows.h's min and max macros out.
#include "com_stream.h"

#include <wincodec.h>

#include <algorithm>
#include <new>
#include <vector>

#include "png_decoding.h"

namespace {

// The png_stream as WIC reads it. A failing read is kept, so that it is
// reported as the source's error rather than as a broken file.
class reading_stream final : public stream_base {
public:
    explicit reading_stream(png_stream& stream) : stream_(stream), size_(stream.size()) {}

    image_error error = image_error::none;

    HRESULT STDMETHODCALLTYPE Read(void* dest, ULONG count, ULONG* done) override
    {
        // Reads past the end, which buffering readers make, get what there is.
        const ULONG n = ULONG(std::min<uint64_t>(count, position_ < size_ ? size_ - position_ : 0));
        if (done != nullptr)
            *done = 0;
        if (n > 0) {
            if (const image_error why = stream_.read(position_, n, static_cast<uint8_t*>(dest));
                why != image_error::none) {
                error = why;
                return STG_E_READFAULT;
            }
        }
        position_ += n;
        if (done != nullptr)
            *done = n;
        return n == count ? S_OK : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override
    {
        if (!seek_target(move, origin, position_, size_, position_))
            return STG_E_INVALIDFUNCTION;
        if (position != nullptr)
            position->QuadPart = position_;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Stat(STATSTG* into, DWORD) override { return describe(into, size_); }

private:
    png_stream& stream_;
    const uint64_t size_;
    uint64_t position_ = 0;
};

// WIC's formats that match a PNG's samples, as the converter reads them.
// 16-bit samples are little-endian in WIC, as its formats are in memory.
struct native_format {
    const GUID& guid;
    sample_format format;
};

constexpr sample_format grey(unsigned bits)
{
    return {.bits = bits, .little_endian = bits == 16};
}

constexpr sample_format indices(unsigned bits)
{
    return {.bits = bits, .indexed = true};
}

// Three or four samples a pixel, the order of red, green, blue and alpha
// (none: the pixel's fourth sample is padding, or it has three).
constexpr sample_format colour(unsigned bits, unsigned channels, bool bgr, bool has_alpha)
{
    return {.bits = bits, .channels = channels, .red = uint8_t(bgr ? 2 : 0), .green = 1,
            .blue = uint8_t(bgr ? 0 : 2), .alpha = uint8_t(has_alpha ? 3 : channels), .little_endian = bits == 16};
}

const native_format native_formats[] = {
    {GUID_WICPixelFormatBlackWhite, grey(1)},
    {GUID_WICPixelFormat2bppGray, grey(2)},
    {GUID_WICPixelFormat4bppGray, grey(4)},
    {GUID_WICPixelFormat8bppGray, grey(8)},
    {GUID_WICPixelFormat16bppGray, grey(16)},
    {GUID_WICPixelFormat1bppIndexed, indices(1)},
    {GUID_WICPixelFormat2bppIndexed, indices(2)},
    {GUID_WICPixelFormat4bppIndexed, indices(4)},
    {GUID_WICPixelFormat8bppIndexed, indices(8)},
    {GUID_WICPixelFormat24bppBGR, colour(8, 3, true, false)},
    {GUID_WICPixelFormat24bppRGB, colour(8, 3, false, false)},
    {GUID_WICPixelFormat32bppBGR, colour(8, 4, true, false)},
    {GUID_WICPixelFormat32bppBGRA, colour(8, 4, true, true)},
    {GUID_WICPixelFormat32bppRGBA, colour(8, 4, false, true)},
    {GUID_WICPixelFormat48bppRGB, colour(16, 3, false, false)},
    {GUID_WICPixelFormat48bppBGR, colour(16, 3, true, false)},
    {GUID_WICPixelFormat64bppRGBA, colour(16, 4, false, true)},
    {GUID_WICPixelFormat64bppBGRA, colour(16, 4, true, true)},
};

// Whether the converter reads WIC's samples right for this file as they
// are. Greys of up to 8 bits and palette indices are looked up in a table
// made for the file's depth, and the tRNS key is compared with samples of
// that depth. WIC never sees tRNS, which the stream leaves out, so any alpha
// it gives a picture without an alpha channel is opaque: the key decides.
bool reads_as_is(sample_format& format, const png_layout& layout)
{
    if (layout.colour != png_grey_alpha && layout.colour != png_rgba)
        format.alpha = uint8_t(format.channels);
    if (format.channels == 1)
        return format.bits == layout.depth && format.indexed == (layout.colour == png_indexed) &&
               (format.indexed || layout.colour == png_grey);
    return !layout.keyed || format.bits == layout.depth;
}

// In the samples converted to 64-bit RGBA, the alpha that tRNS's key gives,
// the key widened to 16 bits as WIC widens the samples (v * 65535 / (2^depth
// - 1), exact for every depth).
void key_to_alpha(uint8_t* pixels, uint32_t count, const png_layout& layout)
{
    const uint32_t scale = 65535 / ((1u << layout.depth) - 1);
    const auto at = [](const uint8_t* p) { return uint32_t(p[0] | p[1] << 8); };
    for (uint8_t* p = pixels; p != pixels + size_t{8} * count; p += 8) {
        const bool keyed = at(p) == layout.key[0] * scale && at(p + 2) == layout.key[1] * scale &&
                           at(p + 4) == layout.key[2] * scale;
        p[6] = p[7] = keyed ? 0 : 255;
    }
}

// Rows are copied a strip at a time, whatever the width: bounded memory,
// few calls.
constexpr size_t strip_bytes = size_t{4} << 20;

class decoding {
public:
    decoding(png_stream& stream, const png_layout& layout) : in_(stream), layout_(layout) {}

    image_error stream_error() const { return in_.error; }

    png_outcome run(sample_format& format, const png_row_fn& row)
    {
        if (!ok(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                 reinterpret_cast<void**>(factory_.put()))) ||
            !ok(factory_->CreateDecoder(GUID_ContainerFormatPng, nullptr, decoder_.put())) ||
            !ok(decoder_->Initialize(&in_, WICDecodeMetadataCacheOnDemand)) || !ok(decoder_->GetFrame(0, frame_.put())))
            return outcome_;
        UINT width = 0, height = 0;
        WICPixelFormatGUID pixel_format{};
        if (!ok(frame_->GetSize(&width, &height)) || !ok(frame_->GetPixelFormat(&pixel_format)))
            return outcome_;
        if (width != layout_.width || height != layout_.height)
            return png_outcome::broken;

        IWICBitmapSource* source = frame_.get();
        const bool converted = !native(pixel_format, format);
        if (converted) {
            format = colour(16, 4, false, true);
            if (!ok(factory_->CreateFormatConverter(converter_.put())) ||
                !ok(converter_->Initialize(frame_.get(), GUID_WICPixelFormat64bppRGBA, WICBitmapDitherTypeNone,
                                           nullptr, 0.0, WICBitmapPaletteTypeCustom)))
                return outcome_;
            source = converter_.get();
        }

        const UINT stride = UINT((uint64_t{width} * format.bits * format.channels + 7) / 8);
        const UINT strip_rows = std::clamp(UINT(strip_bytes / stride), UINT{1}, height);
        std::vector<uint8_t> strip(size_t{stride} * strip_rows);
        for (UINT y = 0; y < height; y += strip_rows) {
            const UINT rows = std::min(strip_rows, height - y);
            const WICRect rect{0, INT(y), INT(width), INT(rows)};
            if (!ok(source->CopyPixels(&rect, stride, stride * rows, strip.data())))
                return outcome_;
            for (UINT r = 0; r < rows; ++r) {
                uint8_t* samples = strip.data() + size_t{stride} * r;
                if (converted && layout_.keyed)
                    key_to_alpha(samples, width, layout_);
                if (!row({y + r, 0, 1, width, samples}))
                    return png_outcome::decoded;
            }
        }
        return in_.error == image_error::none ? png_outcome::decoded : png_outcome::stream_failed;
    }

private:
    bool native(const WICPixelFormatGUID& pixel_format, sample_format& format) const
    {
        for (const native_format& n : native_formats) {
            if (IsEqualGUID(n.guid, pixel_format)) {
                format = n.format;
                return reads_as_is(format, layout_);
            }
        }
        return false;
    }

    // Whether the call succeeded; if not, outcome_ says how it failed. Our
    // stream's failure comes first, whatever WIC made of it.
    bool ok(HRESULT result)
    {
        if (SUCCEEDED(result))
            return true;
        outcome_ = in_.error != image_error::none ? png_outcome::stream_failed
                   : result == E_OUTOFMEMORY      ? png_outcome::out_of_memory
                                                  : png_outcome::broken;
        return false;
    }

    // The stream first: the objects that hold it go before it does.
    reading_stream in_;
    const png_layout& layout_;
    com_ptr<IWICImagingFactory> factory_;
    com_ptr<IWICBitmapDecoder> decoder_;
    com_ptr<IWICBitmapFrameDecode> frame_;
    com_ptr<IWICFormatConverter> converter_;
    png_outcome outcome_ = png_outcome::broken;
};

}  // namespace

png_outcome png_decode(png_stream& stream, const png_layout& layout, sample_format& format, const png_row_fn& row,
                       image_error& stream_error)
{
    // May run on a thread of the caller's that has no apartment yet.
    const com_apartment apartment;
    png_outcome outcome = png_outcome::out_of_memory;
    try {
        decoding d(stream, layout);
        outcome = d.run(format, row);
        stream_error = d.stream_error();
    } catch (const std::bad_alloc&) {
        outcome = png_outcome::out_of_memory;
    }
    return outcome;
}
