// header_parser: reads back the headers the converter writes, one image and
// one row at a time, so that no picture has to be held whole.
//
// The text must be laid out exactly as the converter writes it, with LF or
// CR LF line ends: the banner (with --uint32 followed by the include of
// <stdint.h> and a blank line), then for each image its two dimensions, a
// blank line, the array's opening line, one line of words per row and the
// closing "};" with a blank line after it. A split form's source has the
// include of its header after the banner. An image made with --frames also
// declares its frame count and delays after its dimensions, and its array
// holds each frame's rows between a "{" line and a "}," (the last "}") line. Anything else stops the parser
// with a message that names the file and the line.
#ifndef VANTREL_PREVIEW_HEADER_PARSER_H
#define VANTREL_PREVIEW_HEADER_PARSER_H

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "header_text.h"
#include "byte_layouts.h"
#include "ycbcr_model.h"
#include "text_source.h"

struct image_declaration {
    std::string id;
    uint32_t width = 0, height = 0;
    // With --frames: each frame's delay, in milliseconds. Empty: one picture.
    std::vector<uint32_t> delays;
};

// The line after the banner that names the model of the words ("Y, Cb, Y,
// Cr words: BT.709, limited range") or a layout and its model ("NV12 bytes:
// BT.601, full range"), without its "// "; false for any other.
bool parse_data_note(std::string_view text, std::optional<ycbcr_model>& model, std::optional<byte_layout>& layout);

class header_parser {
public:
    header_parser(text_source& text, std::string file) : text_(text), file_(std::move(file)) {}

    bool read_banner();

    // The next image's declarations, up to its array's opening line. False
    // at the end of the file (error() empty) or on an error.
    bool next_image(image_declaration& image);

    // The next row of the current image: its width in words. An animation's
    // rows come a frame after another.
    bool read_row(uint32_t* words);

    // The closing lines of the current image's array.
    bool end_image();

    // The model of the words (--matrix, --range), if the header names one;
    // none: the historical full-range JFIF words.
    const std::optional<ycbcr_model>& model() const { return model_; }

    // The layout of the bytes (--layout), if the header names one: its
    // images are then read a frame at a time, whole, with read_bytes.
    const std::optional<byte_layout>& layout() const { return layout_; }
    bool read_bytes(std::vector<uint8_t>& bytes);

    // What went wrong, without the "error: " in front; empty if nothing did.
    const std::string& error() const { return error_; }

private:
    bool next_line(std::string_view& line);
    bool fail(const std::string& reason);
    bool unexpected(std::string_view line, const std::string& reason);
    bool read_size(std::string_view line, const std::string& name, uint32_t& value);
    bool read_delays(image_declaration& image);
    bool check_array(std::string_view line, const image_declaration& image);
    bool frame_line(bool opening);
    bool expect(std::string_view wanted, const char* reason);

    text_source& text_;
    const std::string file_;
    std::string error_;
    std::set<std::string, std::less<>> declared_;
    uint32_t width_ = 0, height_ = 0, rows_left_ = 0, frames_left_ = 0;
    bool animated_ = false;
    // "const unsigned int ", or "const uint32_t " after the include of
    // <stdint.h> that opens a header made with --uint32
    std::string_view array_prefix_ = header_text::array_prefix;
    std::optional<ycbcr_model> model_;
    std::optional<byte_layout> layout_;
    bool source_ = false;  // a split form's source
    layout_geometry geometry_{};

    bool read_note(std::string_view line);
    bool read_places(const image_declaration& image, std::string_view first);
};

#endif
