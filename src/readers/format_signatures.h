// What a file's first bytes say its format is. Most formats begin with a
// signature; TGA has none, and is told by its footer or its name
// (image_reader.cpp).
#ifndef VANTREL_FORMAT_SIGNATURES_H
#define VANTREL_FORMAT_SIGNATURES_H

#include <cstdint>
#include <optional>
#include <span>

#include "image_reader.h"

// The format of a signature of four bytes or more (or JPEG's three, which
// no TGA header can begin with), or nothing.
std::optional<image_format> format_by_signature(std::span<const uint8_t> head);

// The formats whose first bytes could also begin a TGA file or a broken
// bitmap (JPEG XL's two-byte codestream, ICO and CUR): asked only once the
// file is known not to be TGA.
std::optional<image_format> format_by_weak_signature(std::span<const uint8_t> head);

// TGA 2.0's footer: the file's last 26 bytes end with this.
constexpr char tga_footer_signature[18] = "TRUEVISION-XFILE.";

#endif
