// png_writer with the Windows Imaging Component's PNG encoder, so that the
// preview needs no DLL that Windows does not have.
#include "png_writer.h"

// com_stream.h first: its defines keep windows.h's min and max macros out.
#include "com_stream.h"

#include <wincodec.h>

#include <cstring>
#include <new>
#include <vector>

namespace {

// The open file as WIC writes to it. A failed write is kept: the encoder's
// own result may not show it.
class file_stream final : public stream_base {
public:
    FILE* file = nullptr;
    bool failed = false;

    HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG count, ULONG* done) override
    {
        const size_t n = std::fwrite(data, 1, count, file);
        if (done != nullptr)
            *done = ULONG(n);
        if (n == count)
            return S_OK;
        failed = true;
        return STG_E_WRITEFAULT;
    }

    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override
    {
        const int whence = origin == STREAM_SEEK_SET ? SEEK_SET : origin == STREAM_SEEK_CUR ? SEEK_CUR : SEEK_END;
        if (origin > STREAM_SEEK_END || _fseeki64(file, move.QuadPart, whence) != 0)
            return STG_E_INVALIDFUNCTION;
        if (position != nullptr)
            position->QuadPart = uint64_t(_ftelli64(file));
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Stat(STATSTG* into, DWORD) override
    {
        const __int64 at = _ftelli64(file);
        if (at < 0 || _fseeki64(file, 0, SEEK_END) != 0)
            return STG_E_ACCESSDENIED;
        const __int64 size = _ftelli64(file);
        if (_fseeki64(file, at, SEEK_SET) != 0 || size < 0)
            return STG_E_ACCESSDENIED;
        return describe(into, uint64_t(size));
    }

    // The file is flushed and closed by its owner.
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
};

}  // namespace

struct png_writer::state {
    // Declared in the order they are needed: each goes before what it uses.
    com_apartment apartment;
    file_stream out;
    com_ptr<IWICImagingFactory> factory;
    com_ptr<IWICBitmapEncoder> encoder;
    com_ptr<IWICBitmapFrameEncode> frame;
    bool bgr = false;  // the encoder takes blue, green, red
    bool out_of_memory = false;
    std::vector<uint8_t> row;

    // The result of a call: memory running out is thrown, as the libpng
    // writer does.
    bool check(bool done) const
    {
        if (out_of_memory)
            throw std::bad_alloc();
        return done && !out.failed;
    }

    bool ok(HRESULT result)
    {
        out_of_memory = out_of_memory || result == E_OUTOFMEMORY;
        return SUCCEEDED(result);
    }
};

namespace {

// Speed over size, as on the other platforms: unfiltered rows, not
// interlaced. An encoder without these options writes a larger file or
// more slowly, but a correct one, so their failure is ignored.
void ask_for_speed(IPropertyBag2* options)
{
    wchar_t filter_name[] = L"FilterOption", interlace_name[] = L"InterlaceOption";
    PROPBAG2 names[2]{};
    names[0].pstrName = filter_name;
    names[1].pstrName = interlace_name;
    VARIANT values[2]{};  // what VariantInit makes, without oleaut32
    values[0].vt = VT_UI1;
    values[0].bVal = WICPngFilterNone;
    values[1].vt = VT_BOOL;
    values[1].boolVal = VARIANT_FALSE;
    for (int i = 0; i < 2; ++i)
        options->Write(1, &names[i], &values[i]);
}

}  // namespace

png_writer::png_writer() : state_(new state) {}

png_writer::~png_writer()
{
    delete state_;
}

bool png_writer::start(FILE* out, uint32_t width, uint32_t height)
{
    state& s = *state_;
    s.out.file = out;
    s.row.resize(size_t{3} * width);
    const auto ok = [&s](HRESULT result) { return s.ok(result); };
    com_ptr<IPropertyBag2> options;
    if (!ok(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                             reinterpret_cast<void**>(s.factory.put()))) ||
        !ok(s.factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, s.encoder.put())) ||
        !ok(s.encoder->Initialize(&s.out, WICBitmapEncoderNoCache)) ||
        !ok(s.encoder->CreateNewFrame(s.frame.put(), options.put())))
        return s.check(false);
    if (options.get() != nullptr)
        ask_for_speed(options.get());
    if (!ok(s.frame->Initialize(options.get())) || !ok(s.frame->SetSize(width, height)))
        return s.check(false);
    // The encoder answers with the closest format it takes. PNG stores red
    // first, so RGB is the one that may spare a copy inside the encoder;
    // BGR is the one every WIC takes.
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppRGB;
    if (!ok(s.frame->SetPixelFormat(&format)))
        return s.check(false);
    if (!IsEqualGUID(format, GUID_WICPixelFormat24bppRGB)) {
        format = GUID_WICPixelFormat24bppBGR;
        if (!ok(s.frame->SetPixelFormat(&format)) || !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR))
            return s.check(false);
        s.bgr = true;
    }
    return s.check(true);
}

bool png_writer::write_row(const uint8_t* rgb)
{
    state& s = *state_;
    const size_t bytes = s.row.size();
    if (s.bgr) {
        for (size_t i = 0; i < bytes; i += 3) {
            s.row[i] = rgb[i + 2];
            s.row[i + 1] = rgb[i + 1];
            s.row[i + 2] = rgb[i];
        }
    } else {
        std::memcpy(s.row.data(), rgb, bytes);
    }
    return s.check(s.ok(s.frame->WritePixels(1, UINT(bytes), UINT(bytes), s.row.data())));
}

bool png_writer::finish()
{
    state& s = *state_;
    return s.check(s.ok(s.frame->Commit()) && s.ok(s.encoder->Commit()));
}
