#include "assembler_source.h"

#include <charconv>

#include "header_parser.h"
#include "header_text.h"

namespace {

// The number at the front of text, removed from it with what follows it.
bool take_number(std::string_view& text, uint64_t& value, std::string_view after)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || !std::string_view(end, size_t(text.data() + text.size() - end)).starts_with(after))
        return false;
    text.remove_prefix(size_t(end - text.data()) + after.size());
    return true;
}

// "VANTREL_OBJECT(<id><suffix>, <bytes>) "\t.<kind> <value>\n"" and more
// values of the same kind after it: the values.
bool object_values(std::string_view line, const std::string& name, std::string_view kind, std::vector<uint64_t>& values)
{
    const std::string head = "VANTREL_OBJECT(" + name + ", ";
    const size_t at = line.find(head);
    if (at == std::string_view::npos)
        return false;
    line.remove_prefix(at + head.size());
    uint64_t bytes = 0;
    if (!take_number(line, bytes, ")"))
        return false;
    const std::string value_head = " \"\\t." + std::string(kind) + " ";
    values.clear();
    while (line.starts_with(value_head)) {
        line.remove_prefix(value_head.size());
        uint64_t v = 0;
        if (!take_number(line, v, "\\n\""))
            return false;
        values.push_back(v);
    }
    return !values.empty() && line.empty();
}

}  // namespace

bool is_assembler_source(std::string_view text)
{
    return text.find("#define VANTREL_WORDS(") != std::string_view::npos;
}

bool parse_assembler_source(std::string_view text, const std::string& file, assembler_source& source,
                            std::string& error)
{
    int line_number = 0;
    const auto fail = [&](const std::string& why) {
        error = file + ":" + std::to_string(line_number) + ": " + why;
        return false;
    };
    assembled_image* image = nullptr;
    std::vector<uint64_t> values;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        start = end + 1, ++line_number;
        if (line.ends_with("\r"))
            line.remove_suffix(1);
        if (line.starts_with("// ") && line_number < 12 && !source.model) {
            parse_data_note(line.substr(3), source.model, source.layout);
        } else if (line.starts_with("__asm__(VANTREL_BEGIN(") && line.ends_with(")")) {
            image = &source.images.emplace_back();
            image->id = line.substr(22, line.size() - 23);
        } else if (image && line.starts_with("\tVANTREL_WORDS(\"")) {
            line.remove_prefix(16);
            const size_t quote = line.find('"');
            if (quote == std::string_view::npos || line.substr(0, quote).find('\\') != std::string_view::npos)
                return fail("a word file path the preview does not read");
            const std::string words = std::string(line.substr(0, quote)) + ".le.bin";
            if (!source.words_file.empty() && source.words_file != words)
                return fail("more than one word file");
            source.words_file = words;
            line.remove_prefix(quote + 1);
            if (!line.starts_with(", ") || (line.remove_prefix(2), !take_number(line, image->offset, ", ")) ||
                !take_number(line, image->bytes, ")") || !line.empty())
                return fail("malformed word file place");
        } else if (image && object_values(line, image->id + "_x", "short", values)) {
            image->width = uint32_t(values[0]);
        } else if (image && object_values(line, image->id + "_y", "short", values)) {
            image->height = uint32_t(values[0]);
        } else if (image && object_values(line, image->id + "_delays", "long", values)) {
            image->delays.assign(values.begin(), values.end());
        } else if (image && line == "\tVANTREL_END);") {
            if (image->width < 1 || image->height < 1 || image->width > header_text::max_dimension ||
                image->height > header_text::max_dimension)
                return fail("malformed image " + image->id);
            image = nullptr;
        }
    }
    if (image || source.images.empty())
        return fail("no image whole");
    return true;
}
