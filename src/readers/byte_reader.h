// Fields read from bytes at hand, which refuse to read past them: no field
// is ever made up from bytes the file does not have.
#ifndef VANTREL_BYTE_READER_H
#define VANTREL_BYTE_READER_H

#include <cstddef>
#include <cstdint>

struct byte_reader {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;

    bool skip(size_t n)
    {
        if (size - pos < n)
            return false;
        pos += n;
        return true;
    }

    bool u8(uint8_t& v)
    {
        if (pos >= size)
            return false;
        v = data[pos++];
        return true;
    }

    // Little-endian, as in BMP.
    bool u16(uint16_t& v)
    {
        if (size - pos < 2)
            return false;
        v = static_cast<uint16_t>(data[pos] | data[pos + 1] << 8);
        pos += 2;
        return true;
    }

    bool u32(uint32_t& v)
    {
        if (size - pos < 4)
            return false;
        v = static_cast<uint32_t>(data[pos]) | static_cast<uint32_t>(data[pos + 1]) << 8 |
            static_cast<uint32_t>(data[pos + 2]) << 16 | static_cast<uint32_t>(data[pos + 3]) << 24;
        pos += 4;
        return true;
    }

    // Big-endian, as in PNG.
    bool be16(uint16_t& v)
    {
        if (size - pos < 2)
            return false;
        v = static_cast<uint16_t>(data[pos] << 8 | data[pos + 1]);
        pos += 2;
        return true;
    }

    bool be32(uint32_t& v)
    {
        if (size - pos < 4)
            return false;
        v = static_cast<uint32_t>(data[pos]) << 24 | static_cast<uint32_t>(data[pos + 1]) << 16 |
            static_cast<uint32_t>(data[pos + 2]) << 8 | static_cast<uint32_t>(data[pos + 3]);
        pos += 4;
        return true;
    }
};

#endif
