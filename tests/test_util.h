// Helpers shared by the tests: synthetic bitmaps, scratch directories and
// running the built program.
#ifndef VANTREL_TEST_UTIL_H
#define VANTREL_TEST_UTIL_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct rgb {
    uint8_t r, g, b;
};

constexpr rgb black{0, 0, 0}, white{255, 255, 255}, red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255};

// A 24-bit bitmap as a writer would lay it out. pixels are given top row
// first, left to right; rows are stored bottom-up unless height < 0.
struct bmp_spec {
    int32_t width = 1;
    int32_t height = 1;
    std::vector<rgb> pixels{};  // filled with a pattern when empty
    uint32_t info_size = 40;
    uint16_t planes = 1;
    uint16_t bits = 24;
    uint32_t compression = 0;
    uint32_t gap = 0;              // bytes between the headers and the pixels
    bool last_row_padded = true;
};

std::vector<uint8_t> make_bmp(const bmp_spec& spec);

// Overwrites the 32-bit little-endian field at offset, to claim what a file
// does not hold.
void patch32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);

// A colour for every (x, y) that differs between neighbours.
rgb pattern(int x, int y);

void write_file(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
void write_file(const std::filesystem::path& path, const std::string& text);
std::string read_file(const std::filesystem::path& path);

// A fresh directory, removed with everything in it at the end of the test.
class scratch_dir {
public:
    scratch_dir();
    ~scratch_dir();
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

struct run_result {
    int status;
    std::string output;  // standard output
    std::string errors;  // standard error
};

// Runs a shell command line in dir.
run_result run_in(const std::filesystem::path& dir, const std::string& command);

// Runs vantrel with the given (already quoted) arguments in dir.
run_result vantrel(const std::filesystem::path& dir, const std::string& args);

// The text the writer produces for an image given top row first.
std::string expected_declarations(const std::string& id, int width, int height, const std::vector<uint32_t>& words);
extern const std::string banner_text;

#endif
