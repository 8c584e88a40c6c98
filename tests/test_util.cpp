#include "test_util.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}

}  // namespace

void patch32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i)
        bytes.at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
}

const std::string banner_text = "//\n// Made with Vantrel by vantrel@example.org\n//\n\n";

rgb pattern(int x, int y)
{
    return {static_cast<uint8_t>(x * 37 + y * 11), static_cast<uint8_t>(x * 5 + y * 73 + 1), static_cast<uint8_t>(x * y + 200)};
}

std::vector<uint8_t> make_bmp(const bmp_spec& spec)
{
    const int64_t w = spec.width > 0 ? spec.width : 0;
    const int64_t h = spec.height < 0 ? -int64_t{spec.height} : spec.height;
    const int64_t row = (3 * w + 3) / 4 * 4;
    const uint32_t offset = 14 + spec.info_size + spec.gap;

    std::vector<uint8_t> out{'B', 'M'};
    put32(out, static_cast<uint32_t>(offset + row * h));
    put32(out, 0);
    put32(out, offset);
    put32(out, spec.info_size);
    put32(out, static_cast<uint32_t>(spec.width));
    put32(out, static_cast<uint32_t>(spec.height));
    put16(out, spec.planes);
    put16(out, spec.bits);
    put32(out, spec.compression);
    put32(out, static_cast<uint32_t>(row * h));
    put32(out, 2835);
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
    out.resize(14 + spec.info_size + spec.gap, 0xee);

    for (int64_t r = 0; r < h; ++r) {
        const int64_t top_row = spec.height < 0 ? r : h - 1 - r;
        for (int64_t x = 0; x < w; ++x) {
            const size_t at = static_cast<size_t>(top_row * w + x);
            const rgb c = spec.pixels.empty() ? pattern(static_cast<int>(x), static_cast<int>(top_row)) : spec.pixels.at(at);
            out.insert(out.end(), {c.b, c.g, c.r});
        }
        if (r + 1 < h || spec.last_row_padded)
            out.resize(out.size() + static_cast<size_t>(row - 3 * w), 0xcc);
    }
    return out;
}

void write_file(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

void write_file(const fs::path& path, const std::string& text)
{
    write_file(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::string read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

scratch_dir::scratch_dir()
{
    static std::atomic<int> counter{0};
    path_ = fs::temp_directory_path() /
            ("vantrel-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::remove_all(path_);
    fs::create_directories(path_);
}

scratch_dir::~scratch_dir()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
}

run_result run_in(const fs::path& dir, const std::string& command)
{
    const fs::path out = dir / ".stdout", err = dir / ".stderr";
    const std::string line = "cd '" + dir.string() + "' && " + command + " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int raw = std::system(line.c_str());
    run_result r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file(out), read_file(err)};
    fs::remove(out);
    fs::remove(err);
    return r;
}

run_result vantrel(const fs::path& dir, const std::string& args)
{
    return run_in(dir, std::string("'") + VANTREL_EXE + "' " + args);
}

std::string expected_declarations(const std::string& id, int width, int height, const std::vector<uint32_t>& words)
{
    std::string s = "const unsigned short int " + id + "_x = " + std::to_string(width) + ";\n" +
                    "const unsigned short int " + id + "_y = " + std::to_string(height) + ";\n\n" +
                    "const unsigned int " + id + "[" + std::to_string(width * height) + "] = {\n";
    char hex[16];
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::snprintf(hex, sizeof hex, "0x%.8x", words.at(static_cast<size_t>(y * width + x)));
            s += (x == 0 ? "\t" : ", ");
            s += hex;
        }
        s += (y + 1 < height ? ",\n" : "\n");
    }
    return s + "};\n\n";
}
