// The generated text: the banner that opens every file, and each image's
// width, height and array of packed words, one image row per line.
#include <algorithm>
#include <functional>
#include <string>

#include "console.h"
#include "converter.h"
#include "header_text.h"
#include "text_sink.h"

using namespace header_text;

bool write_text(FILE* out, std::string_view text)
{
    return std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0 && !std::ferror(out);
}

bool make_header(FILE* out, bool uint32_words, std::string_view note)
{
    return write_text(out, banner) && (!uint32_words || write_text(out, std::string(uint32_include) + "\n\n")) &&
           write_text(out, note);
}

std::string size_definitions(const std::string& id, const picture_rows& image, std::string_view delay_type)
{
    std::string text = std::string(size_prefix) + id + "_x = " + std::to_string(image.width) + ";\n";
    text += std::string(size_prefix) + id + "_y = " + std::to_string(image.height) + ";\n";
    if (image.delays.empty())
        return text;
    const std::string frames = std::to_string(image.frames());
    text += std::string(size_prefix) + id + "_frames = " + frames + ";\n";
    text += std::string(delay_type) + id + "_delays[" + frames + "] = {\n";
    for (size_t i = 0; i < image.delays.size(); ++i)
        text += (i == 0 ? "\t" : ", ") + std::to_string(image.delays[i]);
    return text + "\n};\n";
}

bool write_declarations(text_sink& sink, const std::string& name, const picture_rows& image, bool uint32_words)
{
    const std::string id = c_identifier(name);
    const std::string word_type(uint32_words ? uint32_array_prefix : array_prefix);

    // The array size is the 32-bit product, whatever its sign: the reader
    // never yields a record where that matters, but a record of width or
    // height 0 still gets a declaration that agrees with its contents.
    const auto size = static_cast<int32_t>(image.frame_words());
    const size_t width = image.width > 0 ? static_cast<size_t>(image.width) : 0;
    const size_t rows = image.height > 0 ? static_cast<size_t>(image.height) : 0;
    const bool animated = !image.delays.empty();
    const std::string frames = std::to_string(image.frames());
    sink.text(size_definitions(id, image, word_type));
    sink.text("\n" + word_type + id + (animated ? "[" + frames + "]" : "") + "[" + std::to_string(size) + "] = {\n");

    int32_t t = 0;
    for (uint64_t frame = 0; frame < image.frames(); ++frame) {
        if (animated)
            sink.text("{\n");
        for (size_t row = 0; row < rows && sink.ok(); ++row) {
            const uint32_t* words = image.row(t++);
            if (!words)
                return false;
            if (width > 0) {
                sink.first_word(words[0]);
                sink.words(words + 1, width - 1);
            }
            sink.text(row + 1 == rows ? "\n" : ",\n");
        }
        if (animated)
            sink.text(frame + 1 == image.frames() ? "}\n" : "},\n");
    }
    sink.text("};\n\n");
    return sink.ok();
}

namespace {

// The sink sized for the image's text (a layout's bytes take less than its
// words would), the progress line, then the declarations write gives it.
bool make_text(FILE* out, std::string& name, const picture_rows& image,
               const std::function<bool(text_sink&, const std::string&)>& write)
{
    const uint64_t rows = uint64_t(std::max(image.height, 0)) * image.frames();
    text_sink sink(out, image.words() * 12 + 2 * rows + 3 * name.size() + 12 * image.delays.size() + 512);
    name.resize(image_name(name).size());
    progress("Writing %s\n", name.c_str());
    return write(sink, name) && sink.flush() && std::fflush(out) == 0;
}

}  // namespace

bool make_data(FILE* out, std::string& name, const picture_rows& image, bool uint32_words)
{
    return make_text(out, name, image, [&](text_sink& sink, const std::string& image_name) {
        return write_declarations(sink, image_name, image, uint32_words);
    });
}

bool make_layout_data(FILE* out, std::string& name, const picture_rows& image, byte_layout layout,
                      const ycbcr_model& model)
{
    return make_text(out, name, image, [&](text_sink& sink, const std::string& image_name) {
        return write_layout_declarations(sink, image_name, image, layout, model);
    });
}
