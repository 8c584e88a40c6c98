// Which reader takes a file: by its content, whatever its name says, but
// for TGA, which has no signature.
#include "image_reader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

#include "format_signatures.h"
#include "reader_limits.h"
#include "tga_decoding.h"

namespace {

// A TGA 2.0 file ends with its footer.
bool has_tga_footer(byte_source& source, const std::vector<uint8_t>& head, image_error& error)
{
    constexpr size_t footer_size = 26;
    const uint64_t size = source.size();
    if (size < tga_header_size + footer_size)
        return false;
    uint8_t footer[footer_size];
    if (size <= head.size())
        std::memcpy(footer, head.data() + (size - footer_size), footer_size);
    else if (error = source.read(size - footer_size, footer_size, footer); error != image_error::none)
        return false;
    return std::memcmp(footer + 8, tga_footer_signature, sizeof tga_footer_signature) == 0;
}

// A name ending in ".tga", in any case.
bool tga_name(const char* name)
{
    const std::string_view n = name ? name : "";
    return n.size() >= 4 && std::equal(n.end() - 4, n.end(), ".tga", [](char a, char b) {
               return (a >= 'A' && a <= 'Z' ? char(a - 'A' + 'a') : a) == b;
           });
}

}  // namespace

const char* format_name(image_format format)
{
    switch (format) {
    case image_format::bmp: return "BMP";
    case image_format::png: return "PNG";
    case image_format::qoi: return "QOI";
    case image_format::tga: return "TGA";
    case image_format::jpeg: return "JPEG";
    case image_format::gif: return "GIF";
    case image_format::webp: return "WebP";
    case image_format::tiff: return "TIFF";
    case image_format::ico: return "ICO";
    case image_format::cur: return "CUR";
    case image_format::psd: return "PSD";
    case image_format::heif: return "HEIF";
    case image_format::avif: return "AVIF";
    case image_format::jxl: return "JPEG XL";
    case image_format::pdf: return "PDF";
    case image_format::svg: return "SVG";
    case image_format::xml: return "XML";
    }
    return "BMP";
}

std::unique_ptr<image_reader> open_image(byte_source& source, image_format& format, image_error& error,
                                         const read_limits& limits, const char* name)
{
    // Whatever runs out of memory on the way, everything it held is released
    // and the failure comes back like any other.
    try {
        // The first read takes the head of the file, or all of a small one.
        std::vector<uint8_t> head(static_cast<size_t>(std::min<uint64_t>(source.size(), first_read_bytes)));
        format = image_format::bmp;
        if (error = source.read(0, head.size(), head.data()); error != image_error::none)
            return nullptr;
        std::optional<image_format> found = format_by_signature(head);
        if (!found) {
            // TGA by its footer, or by its name and a header that makes
            // sense as one; only then the signatures a TGA header could
            // begin with. Any other file is read as a bitmap, and fails as
            // one, as it always has.
            const bool footer = has_tga_footer(source, head, error);
            if (error != image_error::none)
                return nullptr;
            if (footer || (tga_name(name ? name : source.name().c_str()) && tga_header_makes_sense(head)))
                found = image_format::tga;
            else
                found = format_by_weak_signature(head);
        }
        format = found.value_or(image_format::bmp);
        switch (format) {
        case image_format::bmp: return open_bmp(source, std::move(head), error);
        case image_format::png: return open_png(source, std::move(head), error, limits);
        case image_format::qoi: return open_qoi(source, std::move(head), error);
        case image_format::tga: return open_tga(source, std::move(head), error);
#ifdef VANTREL_GIF
        case image_format::gif: return open_gif(source, std::move(head), error, limits);
#endif
#ifdef VANTREL_WEBP
        case image_format::webp: return open_webp(source, std::move(head), error, limits);
#endif
#ifdef VANTREL_JPEG
        case image_format::jpeg: return open_jpeg(source, std::move(head), error, limits);
#endif
        default: error = image_error::unsupported_format; return nullptr;
        }
    } catch (const std::bad_alloc&) {
        error = image_error::out_of_memory;
        return nullptr;
    }
}
