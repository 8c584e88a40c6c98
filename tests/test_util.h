// Helpers shared by the tests: synthetic bitmaps, scratch directories and
// running the built program.
#ifndef VANTREL_TEST_UTIL_H
#define VANTREL_TEST_UTIL_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "image_reader.h"
#include "pipeline.h"

namespace fs = std::filesystem;
using bytes = std::vector<uint8_t>;

struct rgb {
    uint8_t r, g, b;
};
constexpr rgb black{0, 0, 0}, white{255, 255, 255}, red{255, 0, 0}, blue{0, 0, 255};

// A colour for every (x, y) that differs between neighbours.
inline rgb pattern(int x, int y)
{
    return {uint8_t(x * 37 + y * 11), uint8_t(x * 5 + y * 73 + 1), uint8_t(x * y + 200)};
}

// A 24-bit bitmap as writers lay it out: stored bottom-up unless height < 0,
// rows padded to 4 bytes, gap bytes between the headers and the pixels.
struct bmp_spec {
    int32_t width = 3, height = 3;
    uint32_t info_size = 40, gap = 0;
    bool last_row_padded = true;
    std::vector<rgb> pixels{};  // top row first; pattern() when empty
};

// The bitmap's colours, top row first.
inline std::vector<rgb> pixels_of(const bmp_spec& s)
{
    if (!s.pixels.empty())
        return s.pixels;
    std::vector<rgb> p;
    for (int i = 0; i < s.width * std::abs(s.height); ++i)
        p.push_back(pattern(i % s.width, i / s.width));
    return p;
}

// The words colours convert to.
inline std::vector<uint32_t> words_of(const std::vector<rgb>& pixels)
{
    std::vector<uint32_t> words;
    for (const rgb& c : pixels)
        words.push_back(pack_ycbcr(c.r, c.g, c.b));
    return words;
}

inline std::vector<uint32_t> words_of(const bmp_spec& s)
{
    return words_of(pixels_of(s));
}

// Overwrites the little-endian field of size bytes at offset.
inline void patch(bytes& b, size_t at, uint32_t value, size_t size = 4)
{
    for (size_t i = 0; i < size; ++i)
        b.at(at + i) = uint8_t(value >> (8 * i));
}

// Any bitmap, given as its parts: the info header's fields, the bytes that
// follow the header (masks, palette) and the pixel data right after them.
struct bmp_parts {
    uint32_t info_size = 40;
    int32_t width = 1, height = 1;
    uint16_t bits = 8;
    uint32_t compression = 0, colours = 0;
    std::vector<uint32_t> header_masks{};  // written from byte 54 of a longer header
    bytes extra{};
    bytes data{};
};

inline bytes assemble(const bmp_parts& p)
{
    bytes out(14 + p.info_size, 0);
    out[0] = 'B', out[1] = 'M';
    patch(out, 14, p.info_size);
    patch(out, 18, uint32_t(p.width));
    patch(out, 22, uint32_t(p.height));
    patch(out, 26, 1, 2);
    patch(out, 28, p.bits, 2);
    patch(out, 30, p.compression);
    patch(out, 46, p.colours);
    for (size_t i = 0; i < p.header_masks.size(); ++i)
        patch(out, 54 + 4 * i, p.header_masks[i]);
    out.insert(out.end(), p.extra.begin(), p.extra.end());
    patch(out, 10, uint32_t(out.size()));
    out.insert(out.end(), p.data.begin(), p.data.end());
    patch(out, 2, uint32_t(out.size()));
    return out;
}

inline bytes make_bmp(const bmp_spec& s)
{
    const std::vector<rgb> p = pixels_of(s);
    const int height = std::abs(s.height);
    const long row = 3L * s.width, stride = (row + 3) / 4 * 4;
    bmp_parts parts{.info_size = s.info_size, .width = s.width, .height = s.height, .bits = 24, .extra = bytes(s.gap, 0xee)};
    for (int r = 0; r < height; ++r) {
        const auto first = p.begin() + long(s.width) * (s.height < 0 ? r : height - 1 - r);
        for (auto c = first; c != first + s.width; ++c)
            parts.data.insert(parts.data.end(), {c->b, c->g, c->r});
        if (r + 1 < height || s.last_row_padded)
            parts.data.resize(parts.data.size() + size_t(stride - row), 0xcc);
    }
    return assemble(parts);
}

inline bytes read_bytes(const std::string& test_file)
{
    std::ifstream in(fs::path(VANTREL_TEST_FILES) / test_file, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(in), {});
}

template <class Bytes>
void write_file(const fs::path& path, const Bytes& data)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

inline std::string read_file(const fs::path& path)
{
    std::ostringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

// A rendering, as the test data holds them: a binary PPM (P6, maxval 255)
// or a PAM (P7, RGB_ALPHA, maxval 255 or 65535). Four samples a pixel, red,
// green, blue and alpha (the maximum for a PPM), top row first.
struct rendering {
    int width = 0, height = 0;
    uint32_t maxval = 255;
    std::vector<uint16_t> rgba{};
};

inline rendering read_rendering(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    rendering r;
    std::string magic, word;
    in >> magic;
    if (magic == "P7") {
        std::map<std::string, std::string> fields;
        while (in >> word && word != "ENDHDR")
            in >> fields[word];
        r.width = std::stoi(fields["WIDTH"]), r.height = std::stoi(fields["HEIGHT"]);
        r.maxval = uint32_t(std::stoul(fields["MAXVAL"]));
    } else {
        in >> r.width >> r.height >> r.maxval;
    }
    in.get();
    const size_t channels = magic == "P7" ? 4 : 3, width = r.maxval > 255 ? 2 : 1;
    std::vector<unsigned char> raw(size_t(r.width) * size_t(r.height) * channels * width);
    in.read(reinterpret_cast<char*>(raw.data()), std::streamsize(raw.size()));
    for (size_t i = 0; i < raw.size() / width; ++i) {
        r.rgba.push_back(uint16_t(width == 2 ? raw[2 * i] << 8 | raw[2 * i + 1] : raw[i]));
        if (channels == 3 && i % 3 == 2)
            r.rgba.push_back(uint16_t(r.maxval));
    }
    return r;
}

// The words a rendering converts to, top row first: each sample taken to 8
// bits, rounded to nearest (v * 255 / maxval), alpha ignored.
inline std::vector<uint32_t> words_of(const rendering& r)
{
    std::vector<uint32_t> words;
    const auto eight_bits = [&](size_t i) { return uint8_t((2 * r.rgba[i] * 255u + r.maxval) / (2 * r.maxval)); };
    for (size_t i = 0; i + 3 < r.rgba.size(); i += 4)
        words.push_back(pack_ycbcr(eight_bits(i), eight_bits(i + 1), eight_bits(i + 2)));
    return words;
}

// A source that reads another, which the test keeps.
class borrowed_source final : public byte_source {
public:
    explicit borrowed_source(byte_source& source) : byte_source(source.size(), source.name()), source_(source) {}
    image_error read(uint64_t offset, size_t count, uint8_t* dest) override { return source_.read(offset, count, dest); }

private:
    byte_source& source_;
};

// A picture read the way a run reads it (loaded_picture): its words, top
// row first; none if reading failed, and error then says why.
struct read_picture {
    image_error error = image_error::none;
    image_format format = image_format::bmp;
    int32_t width = 0, height = 0;
    std::vector<uint32_t> words;
    std::vector<uint32_t> delays;
};

inline read_picture read_words(byte_source& source, const read_options& options = {},
                               size_t ring_bytes = loaded_picture::default_ring_bytes)
{
    read_picture r;
    const auto picture =
        loaded_picture::load(std::make_unique<borrowed_source>(source), options, r.format, r.error, ring_bytes);
    EXPECT_EQ(picture == nullptr, r.error != image_error::none);
    // An animation's frames (read_options::all_frames) one under another.
    for (int32_t t = 0; picture && t < picture->rows(); ++t) {
        const uint32_t* row = picture->row(t);
        if (!row) {
            r.error = picture->error();
            EXPECT_NE(r.error, image_error::none) << "row " << t;
            r.words.clear();
            return r;
        }
        r.words.insert(r.words.end(), row, row + picture->width());
    }
    if (picture)
        r.width = picture->width(), r.height = picture->rows(), r.delays = picture->delays();
    return r;
}

inline read_picture read_words(const bytes& data, const read_options& options = {})
{
    memory_source source(data);
    return read_words(source, options);
}

inline read_picture load_file(const fs::path& path, const read_options& options = {})
{
    const std::unique_ptr<byte_source> source = open_file_source(path.string().c_str());
    if (source)
        return read_words(*source, options);
    read_picture none;
    none.error = image_error::cant_open;
    return none;
}

// A fresh directory, removed with everything in it at the end of the test.
struct scratch_dir {
    const fs::path path = fs::temp_directory_path() / ("vantrel-" + std::to_string(std::random_device{}()));
    scratch_dir() { fs::create_directories(path); }
    ~scratch_dir() { fs::remove_all(path); }
    fs::path operator/(const std::string& name) const { return path / name; }
};

// The program writes its messages and headers as text streams, which end
// lines with CR LF on Windows. This gives such text back with LF endings, so
// that one expectation serves both systems; a line end that lacks its CR, or
// a CR out of place, stays visible and fails the comparison.
inline std::string lf_text(std::string text)
{
#ifdef _WIN32
    std::string lf;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            lf += "<LF without CR>\n";
        else if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n')
            lf += text[i];
    return lf;
#else
    return text;
#endif
}

struct run_result {
    int status;
    std::string output;  // standard output (lf_text); standard error must stay empty
};

// Runs a command line in dir through the system's shell, sh or cmd.exe, all
// of its output captured.
inline run_result run_in(const fs::path& dir, const std::string& command)
{
#ifdef VANTREL_EXE
    // Command lines name the programs as users do, found on PATH.
    static const bool on_path = [] {
        const std::string bin = fs::absolute(VANTREL_EXE).parent_path().string();
#ifdef _WIN32
        return _putenv_s("PATH", (bin + ";" + std::getenv("PATH")).c_str()) == 0;
#else
        return setenv("PATH", (bin + ":" + std::getenv("PATH")).c_str(), 1) == 0;
#endif
    }();
    (void)on_path;
#endif
#ifdef _WIN32
    // cmd.exe redirects the last command of a chain alone: the tables give
    // single commands where they run on Windows. Wine's cmd, busy, now and
    // then fails to start a program it started a moment before ("Can't
    // recognize ..."), which no cmd.exe does: such a run is made again once.
    const std::string line = "cd /d \"" + dir.string() + "\" && " + command + " >.out 2>.err";
    int status = std::system(line.c_str());
    if (status != 0 && read_file(dir / ".err").starts_with("Can't recognize"))
        status = std::system(line.c_str());
#else
    const int raw = std::system(("cd '" + dir.string() + "' && { " + command + "\n} >.out 2>.err").c_str());
    const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    run_result r{status, lf_text(read_file(dir / ".out")) + read_file(dir / ".err")};
    fs::remove(dir / ".out");
    fs::remove(dir / ".err");
    return r;
}

const std::string banner_text = "//\n// Made with Vantrel by vantrel@example.org\n//\n\n";

// The declarations of an image, formatted the slow, obvious way.
inline std::string expected_declarations(const std::string& id, int width, int height, const std::vector<uint32_t>& words)
{
    std::string s = "const unsigned short int " + id + "_x = " + std::to_string(width) + ";\nconst unsigned short int " +
                    id + "_y = " + std::to_string(height) + ";\n\nconst unsigned int " + id + "[" +
                    std::to_string(width * height) + "] = {\n";
    char value[16];
    for (int i = 0; i < width * height; ++i) {
        std::snprintf(value, sizeof value, "0x%.8x", words[size_t(i)]);
        s += (i % width ? ", " : "\t") + std::string(value) + ((i + 1) % width ? "" : i + 1 < width * height ? ",\n" : "\n");
    }
    return s + "};\n\n";
}

#endif
