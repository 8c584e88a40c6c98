// PNG decoding with the Windows Imaging Component, which comes with every
// Windows: the samples in WIC's own pixel format when it is one the
// converter reads, and converted to 64-bit RGBA, exact for every depth,
// only when it is not. WIC deinterlaces, so rows come whole and in order.
// com_stream.h first: its defines keep windows.h's min and max macros out.
#include "com_stream.h"

#include <wincodec.h>

#include <algorithm>
#include <cstring>
#include <memory>
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
// How WIC lays out a row's samples: the sample_layout fields it sets.
struct sample_format {
    uint32_t bits = 8, channels = 1;
    bool indexed = false;
    uint8_t red = 0, green = 0, blue = 0, alpha = 1;
    bool little_endian = false;
};

struct native_format {
    const GUID& guid;
    sample_format format;
};

constexpr sample_format grey(uint32_t bits)
{
    return {.bits = bits, .little_endian = bits == 16};
}

constexpr sample_format indices(uint32_t bits)
{
    return {.bits = bits, .indexed = true};
}

// Three or four samples a pixel, the order of red, green, blue and alpha
// (none: the pixel's fourth sample is padding, or it has three).
constexpr sample_format colour(uint32_t bits, uint32_t channels, bool bgr, bool has_alpha)
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

class wic_rows final : public png_library {
public:
    wic_rows(png_stream& stream, const png_layout& layout) : in_(stream), layout_(layout) {}

    png_outcome start(sample_layout& samples) override
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

        source_ = frame_.get();
        sample_format format;
        converted_ = !native(pixel_format, format);
        if (converted_) {
            format = colour(16, 4, false, true);
            if (!ok(factory_->CreateFormatConverter(converter_.put())) ||
                !ok(converter_->Initialize(frame_.get(), GUID_WICPixelFormat64bppRGBA, WICBitmapDitherTypeNone,
                                           nullptr, 0.0, WICBitmapPaletteTypeCustom)))
                return outcome_;
            source_ = converter_.get();
        }
        samples.packing = format.indexed ? sample_layout::kind::indices : sample_layout::kind::samples;
        samples.bits = format.bits, samples.channels = format.channels;
        samples.red = format.red, samples.green = format.green, samples.blue = format.blue;
        samples.alpha = format.alpha, samples.little_endian = format.little_endian;

        stride_ = UINT((uint64_t{width} * format.bits * format.channels + 7) / 8);
        strip_rows_ = std::clamp(UINT(strip_bytes / stride_), UINT{1}, height);
        strip_.resize(size_t{stride_} * strip_rows_);
        return png_outcome::decoded;
    }

    png_outcome next_row(uint8_t* row) override
    {
        if (next_ == strip_end_) {
            // This may be another thread than the one that made the
            // objects: it joins their apartment for the call.
            const com_apartment apartment;
            const UINT rows = std::min(strip_rows_, UINT(layout_.height) - next_);
            const WICRect rect{0, INT(next_), INT(layout_.width), INT(rows)};
            if (!ok(source_->CopyPixels(&rect, stride_, stride_ * rows, strip_.data())))
                return outcome_;
            strip_start_ = next_, strip_end_ = next_ + rows;
        }
        uint8_t* samples = strip_.data() + size_t{stride_} * (next_++ - strip_start_);
        if (converted_ && layout_.keyed)
            key_to_alpha(samples, layout_.width, layout_);
        std::memcpy(row, samples, stride_);
        return png_outcome::decoded;
    }

    png_outcome finish() override
    {
        return in_.error == image_error::none ? png_outcome::decoded : png_outcome::stream_failed;
    }

    image_error stream_error() const override { return in_.error; }

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

    // The apartment first and the stream next: the objects that hold the
    // stream go before it does, and all of them before the apartment.
    const com_apartment apartment_;
    reading_stream in_;
    const png_layout layout_;
    com_ptr<IWICImagingFactory> factory_;
    com_ptr<IWICBitmapDecoder> decoder_;
    com_ptr<IWICBitmapFrameDecode> frame_;
    com_ptr<IWICFormatConverter> converter_;
    IWICBitmapSource* source_ = nullptr;  // the frame, or the converter
    bool converted_ = false;
    UINT stride_ = 0, strip_rows_ = 0, strip_start_ = 0, strip_end_ = 0, next_ = 0;
    std::vector<uint8_t> strip_;
    png_outcome outcome_ = png_outcome::broken;
};

}  // namespace

std::unique_ptr<png_library> make_png_library(png_stream& stream, const png_layout& layout)
{
    return std::make_unique<wic_rows>(stream, layout);
}
