// Sizes computed from what a file claims, which may be anything: each is
// computed here, where an overflow cannot pass unnoticed, and compared with
// what the file holds before anything is allocated for it.
#ifndef VANTREL_CHECKED_SIZE_H
#define VANTREL_CHECKED_SIZE_H

#include <cstdint>
#include <optional>

// a * b + c, or nothing when it does not fit in 64 bits.
constexpr std::optional<uint64_t> checked_size(uint64_t a, uint64_t b, uint64_t c = 0)
{
    if (b != 0 && a > (UINT64_MAX - c) / b)
        return std::nullopt;
    return a * b + c;
}

// Bytes of a row of width pixels of bits each, whole bytes.
constexpr std::optional<uint64_t> row_bytes(uint64_t width, uint64_t bits)
{
    const auto total = checked_size(width, bits, 7);
    return total ? std::optional<uint64_t>(*total / 8) : std::nullopt;
}

#endif
