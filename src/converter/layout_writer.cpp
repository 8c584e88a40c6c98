// The generated text of a layout's bytes (--layout): the image's size,
// where its planes lie, and its bytes, a line for each row of each plane.
#include <algorithm>
#include <array>
#include <cstring>

#include "byte_layouts.h"
#include "converter.h"
#include "header_text.h"
#include "text_sink.h"

using namespace header_text;

namespace {

constexpr std::string_view offset_prefix = "const unsigned long int ";

// The lines of bytes, count to a line; the last without a comma when last.
void byte_lines(text_sink& sink, const uint8_t* bytes, uint64_t size, uint64_t count, bool last)
{
    for (uint64_t start = 0; start < size; start += count) {
        const uint64_t n = std::min(count, size - start);
        sink.byte_line(bytes + start, size_t(n), last && start + n >= size ? "\n" : ",\n");
    }
}

// "[n]"
std::string bracketed(uint64_t n)
{
    std::string text(1, '[');
    text.append(std::to_string(n));
    text.push_back(']');
    return text;
}

// The sizes and places a program needs, by name and value.
std::vector<std::pair<std::string, uint64_t>> places(const layout_geometry& g)
{
    if (!g.planar)
        return {{"_stride", g.stride}};
    return {{"_stride", g.stride}, {"_cb_offset", g.cb_offset}, {"_cr_offset", g.cr_offset}, {"_chroma_stride", g.chroma_stride}};
}

}  // namespace

std::string layout_note(byte_layout layout, const ycbcr_model& model)
{
    return "// " + std::string(layout_name(layout)) + " bytes: " + model.name() + "\n\n";
}

std::vector<std::string> layout_names(const std::string& id, byte_layout layout)
{
    std::vector<std::string> names;
    for (const auto& [suffix, value] : places(geometry_of(layout, 1, 1)))
        names.push_back(id + suffix);
    return names;
}

bool write_layout_declarations(text_sink& sink, const std::string& name, const picture_rows& image, byte_layout layout,
                               const ycbcr_model& model)
{
    const std::string id = c_identifier(name);
    const auto width = uint32_t(std::max(image.width, 0)), height = uint32_t(std::max(image.height, 0));
    layout_encoder encoder(layout, model, width, height);
    const layout_geometry& g = encoder.geometry();
    const bool animated = !image.delays.empty();
    // What a person reads first: the planes, row by row.
    std::string what = "// " + id + ": " + std::to_string(height) + " rows of " + std::to_string(g.stride) + " bytes";
    if (g.planar)
        what += ", then " + std::to_string(g.chroma_rows * (layout == byte_layout::i420 || layout == byte_layout::yv12 ? 2 : 1)) +
                " rows of " + std::to_string(g.chroma_stride) + " chroma bytes";
    sink.text(what + (animated ? ", for each frame\n" : "\n"));
    sink.text(size_definitions(id, image, offset_prefix));
    for (const auto& [suffix, value] : places(g))
        sink.text(std::string(offset_prefix) + id + suffix + " = " + std::to_string(value) + ";\n");
    sink.text("\nconst unsigned char " + id + (animated ? bracketed(image.frames()) : "") + bracketed(g.bytes) + " = {\n");
    int32_t t = 0;
    for (uint64_t frame = 0; frame < image.frames(); ++frame) {
        if (animated)
            sink.text("{\n");
        for (uint32_t row = 0; row < height && sink.ok(); ++row) {
            const uint32_t* rgb = image.row(t++);
            if (!rgb)
                return false;
            const uint8_t* bytes = encoder.prepared_row(rgb);
            byte_lines(sink, bytes, g.stride, g.stride, !g.planar && row + 1 == height);
        }
        const std::vector<uint8_t>& chroma = encoder.finish();
        if (g.planar)
            byte_lines(sink, chroma.data(), chroma.size(), g.chroma_stride, true);
        if (animated)
            sink.text(frame + 1 == image.frames() ? "}\n" : "},\n");
    }
    sink.text("};\n\n");
    return sink.ok();
}

std::string extern_layout_declarations(const std::string& name, const picture_rows& image, byte_layout layout)
{
    const std::string id = c_identifier(name);
    const layout_geometry g = geometry_of(layout, uint32_t(std::max(image.width, 0)), uint32_t(std::max(image.height, 0)));
    std::string text = "extern " + std::string(size_prefix) + id + "_x;\nextern " + std::string(size_prefix) + id + "_y;\n";
    if (!image.delays.empty())
        text += "extern " + std::string(size_prefix) + id + "_frames;\nextern " + std::string(offset_prefix) + id +
                "_delays" + bracketed(image.frames()) + ";\n";
    for (const auto& [suffix, value] : places(g))
        text += "extern " + std::string(offset_prefix) + id + suffix + ";\n";
    return text + "extern const unsigned char " + id + (image.delays.empty() ? "" : bracketed(image.frames())) +
           bracketed(g.bytes) + ";\n";
}

void hash_bytes(word_files& words, const uint8_t* b, size_t count);

bool write_assembler_layout(const std::string& name, const picture_rows& image, byte_layout layout,
                            const ycbcr_model& model, word_files& words)
{
    const auto width = uint32_t(std::max(image.width, 0)), height = uint32_t(std::max(image.height, 0));
    layout_encoder encoder(layout, model, width, height);
    const layout_geometry& g = encoder.geometry();
    std::string definitions;
    for (const auto& [suffix, value] : places(g))
        definitions += std::string(offset_prefix) + c_identifier(name) + suffix + " = " + std::to_string(value) + ";\n";
    words.images.push_back(
        {c_identifier(name), image.width, image.height, words.size, g.bytes * image.frames(), image.delays, definitions + "\n"});
    const auto put_bytes = [&](const uint8_t* bytes, size_t size) {
        if (size == 0)
            return;  // a packed layout's chroma planes: none
        const std::string_view text(reinterpret_cast<const char*>(bytes), size);
        hash_bytes(words, bytes, size);
        words.little->text(text), words.big->text(text);
        words.size += size;
    };
    int32_t t = 0;
    for (uint64_t frame = 0; frame < image.frames(); ++frame) {
        for (uint32_t row = 0; row < height; ++row) {
            const uint32_t* rgb = image.row(t++);
            if (!rgb)
                return false;
            put_bytes(encoder.prepared_row(rgb), size_t(g.stride));
        }
        const std::vector<uint8_t>& chroma = encoder.finish();
        put_bytes(chroma.data(), chroma.size());
    }
    return words.little->ok() && words.big->ok();
}
