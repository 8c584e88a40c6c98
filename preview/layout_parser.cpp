// What the header parser reads of a layout's bytes (--layout): the line
// that names the layout and the model, the places of an image's planes,
// and its bytes, a frame at a time.
#include <charconv>

#include "header_parser.h"

bool parse_data_note(std::string_view text, std::optional<ycbcr_model>& model, std::optional<byte_layout>& layout)
{
    for (const char* matrix : {"bt601", "bt709"})
        for (const char* range : {"full", "limited"}) {
            ycbcr_model m;
            parse_matrix(matrix, m), parse_range(range, m);
            if ("Y, Cb, Y, Cr words: " + m.name() == text)
                model = m;
            for (const char* name : {"yuyv", "uyvy", "yvyu", "vyuy", "nv12", "nv21", "i420", "yv12", "yuv444"}) {
                byte_layout l{};
                parse_layout(name, l);
                if (std::string(layout_name(l)) + " bytes: " + m.name() == text)
                    model = m, layout = l;
            }
        }
    return model.has_value();
}

bool header_parser::read_note(std::string_view line)
{
    const std::string_view text = line.substr(3);
    return parse_data_note(text, model_, layout_) || fail("unknown model or layout: " + std::string(text));
}

// The places of the image's planes, which must be where its layout and size
// put them.
bool header_parser::read_places(const image_declaration& image, std::string_view line)
{
    const layout_geometry g = geometry_of(*layout_, image.width, image.height);
    std::vector<std::pair<std::string, uint64_t>> places = {{"_stride", g.stride}};
    if (g.planar)
        places.insert(places.end(), {{"_cb_offset", g.cb_offset}, {"_cr_offset", g.cr_offset}, {"_chroma_stride", g.chroma_stride}});
    bool first = true;
    for (const auto& [suffix, value] : places) {
        if (!first && !next_line(line))
            return false;
        first = false;
        const std::string wanted = "const unsigned long int " + image.id + suffix + " = " + std::to_string(value) + ";";
        if (line != wanted)
            return unexpected(line, "missing declaration " + image.id + suffix);
        declared_.insert(image.id + suffix);
    }
    return true;
}

bool header_parser::read_bytes(std::vector<uint8_t>& bytes)
{
    if (frames_left_ == 0)
        return fail("too many frames");
    --frames_left_;
    if (animated_ && !frame_line(true))
        return false;
    bytes.clear();
    bytes.reserve(size_t(geometry_.bytes));
    while (bytes.size() < geometry_.bytes) {
        std::string_view line;
        if (!next_line(line))
            return false;
        if (!line.starts_with("\t"))
            return fail(line == "};" ? "too few bytes" : "malformed row");
        line.remove_prefix(1);
        for (;;) {
            unsigned value = 0;
            if (line.size() < 4 || !line.starts_with("0x") ||
                std::from_chars(line.data() + 2, line.data() + 4, value, 16).ptr != line.data() + 4 ||
                line[2] < '0' || line[3] < '0' || (line[2] > '9' && line[2] < 'a') || (line[3] > '9' && line[3] < 'a'))
                return fail("malformed byte");
            bytes.push_back(uint8_t(value));
            line.remove_prefix(4);
            if (!line.starts_with(", "))
                break;
            line.remove_prefix(2);
        }
        if (line != (bytes.size() == geometry_.bytes ? "" : ","))
            return fail(bytes.size() > geometry_.bytes ? "too many bytes" : "malformed row");
    }
    return !animated_ || frame_line(false);
}
