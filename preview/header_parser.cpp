#include "header_parser.h"

#include <bit>
#include <algorithm>
#include <charconv>
#include <cstring>

#include "header_text.h"

namespace {

using header_text::identifier_char, header_text::max_dimension, header_text::max_pixels, header_text::size_prefix;
// "0x" and eight digits: no word is shorter, whatever separates it.
constexpr uint64_t min_word_text = 10;

// The identifier at the front of text, removed from it.
std::string_view take_identifier(std::string_view& text)
{
    size_t n = 0;
    while (n < text.size() && identifier_char(text[n]))
        ++n;
    const std::string_view id = text.substr(0, n);
    text.remove_prefix(n);
    return id;
}

// A decimal number that makes up the whole of text, written as Vantrel
// writes it: no sign and no leading zero (which C would read as octal).
bool whole_number(std::string_view text, uint64_t& value)
{
    if (text.empty() || text.size() > 10 || (text[0] == '0' && text.size() > 1))
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

constexpr uint32_t byteswap32(uint32_t v)
{
    return (v >> 24) | ((v >> 8) & 0xff00) | ((v << 8) & 0xff0000) | (v << 24);
}

// The value of the eight hexadecimal digits at p, most significant first;
// false if any of them is not a digit. All eight bytes are checked and
// converted at once: a big picture has millions of words.
bool hex_word(const char* p, uint32_t& value)
{
    uint64_t x;
    std::memcpy(&x, p, 8);
    if constexpr (std::endian::native == std::endian::big)
        x = uint64_t{byteswap32(uint32_t(x))} << 32 | byteswap32(uint32_t(x >> 32));
    constexpr uint64_t ones = 0x0101010101010101, high = ones * 0x80;
    // A byte's low seven bits plus 0x80 - c carry into its top bit exactly
    // when they are c or more, and never into the next byte.
    const auto at_least = [](uint64_t bytes, uint64_t c) { return (bytes + ones * (0x80 - c)) & high; };
    const uint64_t low7 = x & ~high;
    // Lower-case letters only: Vantrel writes no others.
    const uint64_t digit = at_least(low7, '0') & ~at_least(low7, '9' + 1);
    const uint64_t letter = at_least(low7, 'a') & ~at_least(low7, 'f' + 1);
    if (((digit | letter) & ~x) != high)
        return false;
    // Letters have bit 6 set and their low nibble is the value less 9.
    uint64_t n = (x & ones * 0x0f) + ((x >> 6) & ones) * 9;
    n = ((n << 4) | (n >> 8)) & 0x00ff00ff00ff00ff;
    n = (n | (n >> 8)) & 0x0000ffff0000ffff;
    n = (n | (n >> 16)) & 0xffffffff;
    value = byteswap32(uint32_t(n));
    return true;
}

}  // namespace

bool header_parser::fail(const std::string& reason)
{
    error_ = file_ + ":" + std::to_string(text_.line_number()) + ": " + reason;
    return false;
}

bool header_parser::next_line(std::string_view& line)
{
    if (text_.next_line(line))
        return true;
    if (text_.read_failed()) {
        error_ = "can't read file " + file_;
        return false;
    }
    // The line that could not be had is the one after the last.
    error_ = file_ + ":" + std::to_string(text_.line_number() + 1) + ": " +
             (text_.line_too_long()       ? "line too long"
              : text_.mixed_line_ends() ? "line end unlike the first line's"
                                        : "unexpected end of file");
    return false;
}

// A line other than the one wanted: a declaration made twice is named as
// such, anything else gets the reason given.
bool header_parser::unexpected(std::string_view line, const std::string& reason)
{
    for (const std::string_view prefix : {size_prefix, array_prefix_})
        if (line.starts_with(prefix)) {
            line.remove_prefix(prefix.size());
            const std::string_view name = take_identifier(line);
            if (declared_.count(name) != 0)
                return fail("repeated declaration " + std::string(name));
        }
    return fail(reason);
}

bool header_parser::expect(std::string_view wanted, const char* reason)
{
    std::string_view line;
    if (!next_line(line))
        return false;
    return line == wanted || unexpected(line, reason);
}

bool header_parser::read_banner()
{
    // Line by line, without its line ends.
    for (std::string_view rest = header_text::banner; !rest.empty();) {
        const size_t end = rest.find('\n');
        if (!expect(rest.substr(0, end), "not a header made by Vantrel"))
            return false;
        rest.remove_prefix(end + 1);
    }
    return true;
}

// "const unsigned short int <name> = <value>;" with a value from 1 to 65535.
bool header_parser::read_size(std::string_view line, const std::string& name, uint32_t& value)
{
    std::string_view rest = line;
    if (!rest.starts_with(size_prefix))
        return unexpected(line, "missing declaration " + name);
    rest.remove_prefix(size_prefix.size());
    if (take_identifier(rest) != name)
        return unexpected(line, "missing declaration " + name);
    uint64_t number = 0;
    if (!rest.starts_with(" = ") || !rest.ends_with(";") || !whole_number(rest.substr(3, rest.size() - 4), number))
        return fail("malformed declaration " + name);
    if (number < 1 || number > uint64_t(max_dimension))
        return fail(name + " out of range");
    value = static_cast<uint32_t>(number);
    declared_.insert(name);
    return true;
}

// After "<id>_frames = <count>;": "const unsigned int <id>_delays[<count>] =
// {", a line of that many delays, "};".
bool header_parser::read_delays(image_declaration& image)
{
    const std::string name = image.id + "_delays";
    std::string_view line;
    if (!next_line(line))
        return false;
    if (source_ && line.starts_with(header_text::uint32_array_prefix))
        array_prefix_ = header_text::uint32_array_prefix;
    const std::string opening = std::string(layout_ ? "const unsigned long int " : array_prefix_) + name + "[" +
                                std::to_string(image.delays.size()) + "] = {";
    if (line != opening)
        return unexpected(line, "missing declaration " + name);
    if (!next_line(line))
        return false;
    for (size_t i = 0; i < image.delays.size(); ++i) {
        const std::string_view separator = i == 0 ? "\t" : ", ";
        size_t end = separator.size();
        while (end < line.size() && line[end] >= '0' && line[end] <= '9')
            ++end;
        uint64_t delay = 0;
        if (!line.starts_with(separator) || !whole_number(line.substr(separator.size(), end - separator.size()), delay) ||
            delay > UINT32_MAX)
            return fail("malformed declaration " + name);
        image.delays[i] = uint32_t(delay);
        line.remove_prefix(end);
    }
    if (!line.empty())
        return fail("malformed declaration " + name);
    declared_.insert(name);
    if (!next_line(line))
        return false;
    return line == "};" || fail("malformed declaration " + name);
}

// "const unsigned int <id>[<width x height>] = {" (after [<frames>] with
// --frames), and enough text left for that many words.
bool header_parser::check_array(std::string_view line, const image_declaration& image)
{
    std::string_view rest = line;
    if (source_ && line.starts_with(header_text::uint32_array_prefix))
        array_prefix_ = header_text::uint32_array_prefix;
    const std::string_view prefix = layout_ ? "const unsigned char " : array_prefix_;
    if (!rest.starts_with(prefix))
        return unexpected(line, "missing declaration " + image.id);
    rest.remove_prefix(prefix.size());
    if (take_identifier(rest) != image.id)
        return unexpected(line, "missing declaration " + image.id);
    std::string frames = std::to_string(image.delays.size());
    frames.insert(frames.begin(), '[');
    frames.push_back(']');
    if (!image.delays.empty() && !rest.starts_with(frames))
        return fail("malformed declaration " + image.id);
    rest.remove_prefix(image.delays.empty() ? 0 : frames.size());
    uint64_t count = 0;
    if (!rest.starts_with("[") || !rest.ends_with("] = {") || !whole_number(rest.substr(1, rest.size() - 6), count))
        return fail("malformed declaration " + image.id);
    const uint64_t pixels = uint64_t{image.width} * image.height;
    if (pixels * std::max<uint64_t>(image.delays.size(), 1) > max_pixels)
        return fail("image too large");
    if (layout_) {
        geometry_ = geometry_of(*layout_, image.width, image.height);
        if (count != geometry_.bytes)
            return fail("array size " + std::to_string(count) + " is not " + std::to_string(geometry_.bytes));
        // "0x00" and a comma: no byte is shorter.
        if (text_.bytes_left() / 5 / std::max<uint64_t>(image.delays.size(), 1) < count)
            return fail("file too short for " + std::to_string(count) + " bytes");
        declared_.insert(image.id);
        return true;
    }
    if (count != pixels)
        return fail("array size " + std::to_string(count) + " is not " + std::to_string(image.width) + " x " +
                    std::to_string(image.height));
    // Checked before anything is allocated for the picture, so that a short
    // file claiming a huge one costs nothing.
    if (text_.bytes_left() / min_word_text / std::max<uint64_t>(image.delays.size(), 1) < count)
        return fail("file too short for " + std::to_string(count) + " words");
    declared_.insert(image.id);
    return true;
}

bool header_parser::next_image(image_declaration& image)
{
    std::string_view line;
    if (!text_.next_line(line)) {
        if (text_.finished())
            return false;  // the end, between two images
        return next_line(line);  // gives the reason
    }
    // A header made with --uint32: the include its arrays need, once,
    // before the first image, if there is one (a data.h whose first picture
    // failed has none).
    if (declared_.empty() && array_prefix_ == header_text::array_prefix && !model_ && line == header_text::uint32_include) {
        array_prefix_ = header_text::uint32_array_prefix;
        return expect("", "expected a blank line") && next_image(image);
    }
    // With --matrix or --range, the line that names the words' model, once,
    // after that.
    // A split form's source: the include of its header, whose arrays it
    // defines, unsigned int or uint32_t as the header declared them.
    if (declared_.empty() && !source_ && !model_ && line.starts_with("#include \"") && line.ends_with(".h\"")) {
        source_ = true;
        return expect("", "expected a blank line") && next_image(image);
    }
    if (declared_.empty() && !model_ && line.starts_with("// "))
        return read_note(line) && expect("", "expected a blank line") && next_image(image);
    // A layout's image opens with a comment that says where its planes lie.
    if (layout_ && line.starts_with("// ") && !next_line(line))
        return false;
    std::string_view rest = line;
    if (!rest.starts_with(size_prefix))
        return unexpected(line, "unexpected text");
    rest.remove_prefix(size_prefix.size());
    const std::string_view name = take_identifier(rest);
    if (name.size() < 3 || !name.ends_with("_x") || (name[0] >= '0' && name[0] <= '9'))
        return unexpected(line, "missing declaration of a width");
    image.id = name.substr(0, name.size() - 2);
    image.delays.clear();
    for (const std::string& taken : {image.id, image.id + "_x", image.id + "_y", image.id + "_frames", image.id + "_delays"})
        if (declared_.count(taken) != 0)
            return fail("repeated declaration " + taken);
    if (!read_size(line, image.id + "_x", image.width) || !next_line(line) ||
        !read_size(line, image.id + "_y", image.height) || !next_line(line))
        return false;
    if (line.starts_with(std::string(size_prefix) + image.id + "_frames ")) {
        uint32_t frames = 0;
        if (!read_size(line, image.id + "_frames", frames))
            return false;
        image.delays.resize(frames);
        if (!read_delays(image) || !next_line(line))
            return false;
    }
    if (layout_ && (!read_places(image, line) || !next_line(line)))
        return false;
    if ((line != "" && !unexpected(line, "expected a blank line")) || !next_line(line) || !check_array(line, image))
        return false;
    width_ = image.width, height_ = image.height;
    animated_ = !image.delays.empty();
    frames_left_ = animated_ ? uint32_t(image.delays.size()) : 1;
    rows_left_ = 0;
    return true;
}

// An animation's "{" before a frame's rows, or "}," after them ("}" after
// the last frame's).
bool header_parser::frame_line(bool opening)
{
    std::string_view line;
    if (!next_line(line))
        return false;
    if (opening ? line == "{" : line == (frames_left_ == 0 ? "}" : "},"))
        return true;
    if (line == "};")
        return fail(opening ? "too few frames" : "too few rows");
    return fail(line.starts_with("\t0x") ? "too many rows" : "malformed frame");
}

bool header_parser::read_row(uint32_t* words)
{
    if (rows_left_ == 0) {
        if (frames_left_ == 0)
            return fail("too many rows");
        --frames_left_;
        rows_left_ = height_;
        if (animated_ && !frame_line(true))
            return false;
    }
    std::string_view line;
    if (!next_line(line))
        return false;
    if (line == "};")
        return fail("too few rows");
    const char* p = line.data();
    const char* const end = p + line.size();
    if (line.size() < 3 || std::memcmp(p, "\t0x", 3) != 0)
        return fail("malformed row");
    p += 3;
    for (uint32_t i = 0;;) {
        if (end - p < 8 || !hex_word(p, words[i]))
            return fail("malformed word");
        p += 8;
        if (++i == width_)
            break;
        if (end - p < 4 || std::memcmp(p, ", 0x", 4) != 0) {
            const std::string_view rest(p, size_t(end - p));
            return fail(rest.empty() || rest == "," ? "too few words in row" : "malformed row");
        }
        p += 4;
    }
    const std::string_view rest(p, size_t(end - p));
    if (rest == (rows_left_ == 1 ? "" : ",")) {
        --rows_left_;
        return rows_left_ != 0 || !animated_ || frame_line(false);
    }
    return fail(rest.starts_with(", 0x") ? "too many words in row" : "malformed row");
}

bool header_parser::end_image()
{
    std::string_view line;
    if (!next_line(line))
        return false;
    if (line != "};")
        return fail(line.starts_with("\t0x") ? "too many rows" : line == "{" ? "too many frames" : "malformed end of array");
    return expect("", "expected a blank line");
}
