#include "jpeg_exif.h"

#include "byte_reader.h"

uint32_t exif_orientation(const uint8_t* tiff_data, size_t size)
{
    byte_reader tiff{tiff_data, size};
    const bool big = tiff.data[0] == 'M' && tiff.data[1] == 'M';
    if (!big && !(tiff.data[0] == 'I' && tiff.data[1] == 'I'))
        return 1;
    const auto u16 = [&](uint16_t& v) { return big ? tiff.be16(v) : tiff.u16(v); };
    const auto u32 = [&](uint32_t& v) { return big ? tiff.be32(v) : tiff.u32(v); };
    uint16_t magic = 0, entries = 0;
    uint32_t ifd = 0;
    if (!tiff.skip(2) || !u16(magic) || magic != 42 || !u32(ifd) || ifd > tiff.size)
        return 1;
    tiff.pos = ifd;
    if (!u16(entries))
        return 1;
    for (uint16_t i = 0; i < entries; ++i) {
        uint16_t tag = 0, type = 0, value = 0;
        uint32_t count = 0;
        if (!u16(tag) || !u16(type) || !u32(count) || !u16(value) || !tiff.skip(2))
            return 1;
        if (tag == 274)
            return type == 3 && count == 1 && value >= 1 && value <= 8 ? value : 1;
    }
    return 1;
}
