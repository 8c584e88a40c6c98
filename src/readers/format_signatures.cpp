// The signatures of the formats vantrel reads, and of those it recognises
// only to say that it does not read them: a PDF or a TIFF given by mistake
// is then named as what it is, not called a broken bitmap.
#include "format_signatures.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

bool starts_with(std::span<const uint8_t> bytes, std::string_view prefix, size_t at = 0)
{
    return bytes.size() >= at + prefix.size() && std::memcmp(bytes.data() + at, prefix.data(), prefix.size()) == 0;
}

// An ISO base media file (HEIF, AVIF, but also MP4 video) names its brands
// in the ftyp box that opens it: the major one, then the compatible ones.
std::optional<image_format> format_by_brand(std::span<const uint8_t> head)
{
    if (!starts_with(head, "ftyp", 4))
        return std::nullopt;
    const uint64_t box = uint64_t{head[0]} << 24 | uint64_t{head[1]} << 16 | uint64_t{head[2]} << 8 | head[3];
    const size_t end = size_t(std::min<uint64_t>(box, head.size()));
    bool heif = false;
    for (size_t at = 8; at + 4 <= end; at += at == 8 ? 8 : 4) {  // the minor version after the major brand
        const std::string_view brand(reinterpret_cast<const char*>(head.data() + at), 4);
        if (brand == "avif" || brand == "avis")
            return image_format::avif;
        heif = heif || brand == "heic" || brand == "heix" || brand == "hevc" || brand == "hevx" ||
               brand == "heim" || brand == "heis" || brand == "mif1" || brand == "msf1";
    }
    return heif ? std::optional(image_format::heif) : std::nullopt;
}

// SVG and other XML are text: after an optional UTF-8 byte order mark and
// white space, an XML declaration or the svg element.
std::optional<image_format> format_of_text(std::span<const uint8_t> head)
{
    size_t at = starts_with(head, "\xEF\xBB\xBF") ? 3 : 0;
    while (at < head.size() && (head[at] == ' ' || head[at] == '\t' || head[at] == '\r' || head[at] == '\n'))
        ++at;
    if (starts_with(head, "<svg", at))
        return image_format::svg;
    if (!starts_with(head, "<?xml", at))
        return std::nullopt;
    // An SVG file mostly opens with a declaration; its element follows soon.
    const std::string_view text(reinterpret_cast<const char*>(head.data()), std::min<size_t>(head.size(), 4096));
    return text.find("<svg") != std::string_view::npos ? image_format::svg : image_format::xml;
}

}  // namespace

std::optional<image_format> format_by_signature(std::span<const uint8_t> head)
{
    static constexpr struct {
        std::string_view bytes;
        image_format format;
    } signatures[] = {
        {{"\x89PNG\r\n\x1A\n", 8}, image_format::png},
        {"BM", image_format::bmp},
        {"qoif", image_format::qoi},
        {"\xFF\xD8\xFF", image_format::jpeg},
        {"GIF87a", image_format::gif},
        {"GIF89a", image_format::gif},
        {{"II*\0", 4}, image_format::tiff},
        {{"MM\0*", 4}, image_format::tiff},
        {{"II+\0", 4}, image_format::tiff},  // BigTIFF
        {{"MM\0+", 4}, image_format::tiff},
        {"8BPS", image_format::psd},
        {{"\0\0\0\x0CJXL \r\n\x87\n", 12}, image_format::jxl},  // the container
        {"%PDF-", image_format::pdf},
    };
    for (const auto& s : signatures)
        if (starts_with(head, s.bytes))
            return s.format;
    if (starts_with(head, "RIFF") && starts_with(head, "WEBP", 8))
        return image_format::webp;
    if (const auto brand = format_by_brand(head))
        return brand;
    return format_of_text(head);
}

std::optional<image_format> format_by_weak_signature(std::span<const uint8_t> head)
{
    if (starts_with(head, "\xFF\x0A"))
        return image_format::jxl;  // the bare codestream
    // An icon directory: reserved 0, type 1 (icon) or 2 (cursor), at least
    // one entry, and the first entry's reserved byte 0 and its image after
    // the directory.
    if (head.size() < 22 || head[0] != 0 || head[1] != 0 || (head[2] != 1 && head[2] != 2) || head[3] != 0)
        return std::nullopt;
    const uint32_t count = uint32_t(head[4] | head[5] << 8);
    const uint64_t offset = uint64_t{head[18]} | uint64_t{head[19]} << 8 | uint64_t{head[20]} << 16 |
                            uint64_t{head[21]} << 24;
    if (count == 0 || head[9] != 0 || offset < 6 + 16 * uint64_t{count})
        return std::nullopt;
    return head[2] == 1 ? image_format::ico : image_format::cur;
}
