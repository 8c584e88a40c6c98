// The fixed text of the headers Vantrel writes, which vantrel-preview reads
// back, and the limits both hold pictures to.
#ifndef VANTREL_HEADER_TEXT_H
#define VANTREL_HEADER_TEXT_H

#include <cstdint>
#include <string_view>

namespace header_text {

// Anyone may write to this address: example.org is reserved for examples.
constexpr std::string_view banner = "//\n// Made with Vantrel by vantrel@example.org\n//\n\n";

// With --matrix or --range, the line after the banner (and the include of
// <stdint.h>) that says which model made the words: "// Y, Cb, Y, Cr
// words: BT.709, limited range", then a blank line.
constexpr std::string_view model_note = "// Y, Cb, Y, Cr words: ";

// The width and height ("<prefix><id>_x = <width>;"), and the array
// ("<prefix><id>[<width x height>] = {").
constexpr std::string_view size_prefix = "const unsigned short int ";
constexpr std::string_view array_prefix = "const unsigned int ";

// With --uint32, for targets whose unsigned int is narrower than the words:
// the arrays are uint32_t, which the header form includes <stdint.h> for
// (a line of its own and a blank one), once, right after the banner.
constexpr std::string_view uint32_array_prefix = "const uint32_t ";
constexpr std::string_view uint32_include = "#include <stdint.h>";

// The sizes are declared unsigned short, and the array's length is written
// as a signed 32-bit count.
constexpr int64_t max_dimension = 65535;
constexpr uint64_t max_pixels = INT32_MAX;

// The characters of the identifiers the declarations use: ASCII letters,
// digits and underscores.
constexpr bool identifier_char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace header_text

#endif
