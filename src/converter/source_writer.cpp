// The split forms: a header of declarations, which any number of C and C++
// files of one program may include, and a source that defines what it
// declares, its words as C or as assembler data.
#include <algorithm>
#include <bit>
#include <cstdio>
#include <string>
#include <vector>

#include "converter.h"
#include "header_text.h"
#include "paths.h"
#include "text_sink.h"

using namespace header_text;

namespace {

// What the assembler form's images need, once a source. The words are
// pulled in from the binary file of the target's byte order (.incbin, which
// costs the assembler next to nothing, where the same words as text take
// it seconds); each image, its array and its two sizes, sits in a section
// of its own, so that a linker that drops unused sections drops unused
// images, under the names C gives the symbols (with the "_" that i686
// Windows, Mach-O and some ELF ports, or -fleading-underscore, put in
// front). With nothing but assembler data in the file, the COFF section left
// at its end is the one it started in. Any other compiler, or object format,
// stops at the #error.
constexpr std::string_view assembler_prologue = R"(#if !defined(__GNUC__) || !(defined(__ELF__) || defined(_WIN32) || defined(__APPLE__))
#error "assembler data for GCC and Clang: convert with vantrel --split for portable C"
#endif

#define VANTREL_STRING(x) #x
#define VANTREL_EXPANDED(x) VANTREL_STRING(x)
#define VANTREL_LABEL(id) VANTREL_EXPANDED(__USER_LABEL_PREFIX__) #id
#if defined(__ELF__)
#define VANTREL_BEGIN(id) ".pushsection .rodata." #id ",\"a\",%progbits\n"
#define VANTREL_OBJECT(id, bytes) "\t.globl " VANTREL_LABEL(id) "\n\t.type " VANTREL_LABEL(id) ",%object\n\t.size " VANTREL_LABEL(id) "," #bytes "\n" VANTREL_LABEL(id) ":\n"
#define VANTREL_END ".popsection\n"
#elif defined(_WIN32)
#define VANTREL_BEGIN(id) ".section .rdata$" #id ",\"dr\"\n"
#define VANTREL_OBJECT(id, bytes) "\t.globl " VANTREL_LABEL(id) "\n" VANTREL_LABEL(id) ":\n"
#define VANTREL_END ".text\n"
#else
#define VANTREL_BEGIN(id) ".pushsection __TEXT,__const\n"
#define VANTREL_OBJECT(id, bytes) "\t.globl " VANTREL_LABEL(id) "\n" VANTREL_LABEL(id) ":\n"
#define VANTREL_END ".popsection\n"
#endif
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
#define VANTREL_WORDS(stem, offset, bytes) "\t.incbin \"" stem ".be.bin\"," #offset "," #bytes "\n"
#else
#define VANTREL_WORDS(stem, offset, bytes) "\t.incbin \"" stem ".le.bin\"," #offset "," #bytes "\n"
#endif

)";

// Where unsigned int is not 32 bits (16 on AVR, MSP430 and with SDCC), the
// split forms' arrays would hold cut words, and the assembler form's 4-byte
// words would be read as something else: their header stops such a build
// rather than let it run on wrong data. GCC and Clang say the width
// themselves, so that the header needs no library header with them
// (freestanding builds, cross compilers without a C library); others have
// <limits.h>.
constexpr std::string_view int_width_check =
    "#ifndef __INT_MAX__\n#include <limits.h>\n#endif\n"
    "#if defined(__INT_MAX__) ? __INT_MAX__ != 0x7fffffff : UINT_MAX != 0xffffffff\n"
    "#error \"unsigned int is not 32 bits here: convert with vantrel --uint32\"\n#endif\n";

// A path as a C string literal that holds an assembler string. The
// assembler's string needs "\" and '"' escaped, and every byte other than
// printable ASCII as an octal escape, a newline above all, which would end
// it; the C literal needs each of those backslashes escaped again, and "?"
// escaped too, since "??=" and its like are trigraphs in strict C before
// C23 and in C++ before C++17 (and C++-only projects compile the source as
// C++). On Windows "/" stands for "\", which both separate there.
std::string quoted_path(std::string_view path)
{
    std::string quoted = "\"";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
#ifdef _WIN32
        if (c == '\\') {
            quoted += '/';
            continue;
        }
#endif
        if (c == '\\' || c == '"') {
            quoted += "\\\\\\";
        } else if (c == '?') {
            quoted += '\\';
        } else if (byte < 0x20 || byte > 0x7e) {
            quoted += "\\\\";
            for (const int shift : {6, 3, 0})
                quoted += char('0' + (byte >> shift & 7));
            continue;
        }
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

std::string source_name(std::string_view header)
{
    return std::string(header.substr(0, header.size() - 1)) + "c";
}

std::string extern_declarations(const std::string& name, const picture_rows& image, bool uint32_words)
{
    const std::string id = c_identifier(name);
    const std::string word_type(uint32_words ? uint32_array_prefix : array_prefix);
    const auto size = static_cast<int32_t>(image.frame_words());
    const std::string frames = std::to_string(image.frames());
    std::string text = "extern " + std::string(size_prefix) + id + "_x;\nextern " + std::string(size_prefix) + id + "_y;\n";
    if (!image.delays.empty())
        text += "extern " + std::string(size_prefix) + id + "_frames;\nextern " + word_type + id + "_delays[" + frames +
                "];\nextern " + word_type + id + "[" + frames + "]";
    else
        text += "extern " + word_type + id;
    return text + "[" + std::to_string(size) + "];\n";
}

bool make_declarations_header(FILE* out, std::string_view header_file, const std::string& declarations,
                              bool uint32_words, bool bytes)
{
    // The guard is named after the file: "logo.h" gives VANTREL_LOGO_H.
    std::string guard = "VANTREL_";
    for (const char c : header_file.substr(name_start(header_file)))
        guard += !identifier_char(c) ? '_' : c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
    const std::string word_type = bytes          ? std::string()
                                  : uint32_words ? std::string(uint32_include) + "\n\n"
                                                 : std::string(int_width_check) + "\n";
    return write_text(out, std::string(banner) + "#ifndef " + guard + "\n#define " + guard + "\n\n" + word_type +
                               "#ifdef __cplusplus\nextern \"C\" {\n#endif\n\n" + declarations +
                               "\n#ifdef __cplusplus\n}\n#endif\n\n#endif\n");
}

bool make_source_prologue(FILE* out, std::string_view header_file, data_form form, std::string_view note)
{
    const std::string include = "#include \"" + std::string(header_file.substr(name_start(header_file))) + "\"\n\n";
    return write_text(out, std::string(banner) + include) && write_text(out, note) &&
           (form != data_form::assembler || write_text(out, assembler_prologue));
}

std::string word_file_stem(std::string_view source)
{
    return std::string(source.substr(0, source.size() - 2));
}

namespace {

// The content hash mixes each word into one of four lanes in turn, so that
// the multiplications overlap: a big picture has millions of words.
constexpr uint64_t hash_prime = 0x100000001b3;

uint64_t finished_lane(uint64_t h)
{
    h ^= h >> 33, h *= 0xff51afd7ed558ccd, h ^= h >> 33, h *= 0xc4ceb9fe1a85ec53;
    return h ^ h >> 33;
}

}  // namespace

// A layout's bytes mix into the lanes as words do, a byte at a time.
void hash_bytes(word_files& words, const uint8_t* b, size_t count)
{
    uint64_t k = words.size;
    for (size_t i = 0; i < count; ++i, ++k) {
        uint64_t& lane = words.lanes[k % 4];
        lane = (lane ^ b[i]) * hash_prime;
    }
}

namespace {

void hash_words(word_files& words, const uint32_t* w, size_t count)
{
    uint64_t k = words.size / 4;  // the index of the first word among all of them
    for (size_t i = 0; i < count; ++i, ++k) {
        uint64_t& lane = words.lanes[k % 4];
        lane = (lane ^ w[i]) * hash_prime;
    }
}

}  // namespace

std::string content_hash(const word_files& words)
{
    uint64_t h = finished_lane(words.size);
    for (const uint64_t lane : words.lanes)
        h = finished_lane(h ^ lane);
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(h));
    return digits;
}

bool write_assembler_data(const std::string& name, const picture_rows& image, word_files& words)
{
    const size_t width = image.width > 0 ? static_cast<size_t>(image.width) : 0;
    const size_t rows = image.height > 0 ? static_cast<size_t>(uint64_t(image.height) * image.frames()) : 0;
    const uint64_t bytes = uint64_t{width} * rows * 4;
    words.images.push_back({c_identifier(name), image.width, image.height, words.size, bytes, image.delays});
    // The words of each row, as the processor holds them and with their
    // bytes the other way round.
    std::vector<uint32_t> swapped(width);
    constexpr bool little_endian = std::endian::native == std::endian::little;
    for (size_t row = 0; row < rows && width > 0; ++row) {
        const uint32_t* forwards = image.row(static_cast<int32_t>(row));
        if (!forwards)
            return false;
        for (size_t x = 0; x < width; ++x) {
            const uint32_t w = forwards[x];
            swapped[x] = w >> 24 | (w >> 8 & 0xff00) | (w << 8 & 0xff0000) | w << 24;
        }
        hash_words(words, forwards, width);
        const std::string_view native(reinterpret_cast<const char*>(forwards), width * 4);
        const std::string_view other(reinterpret_cast<const char*>(swapped.data()), width * 4);
        words.little->text(little_endian ? native : other);
        words.big->text(little_endian ? other : native);
        words.size += width * 4;
    }
    return words.little->ok() && words.big->ok();
}

std::string assembler_source(const word_files& words, std::string_view stem)
{
    std::string text;
    const std::string path = quoted_path(stem);
    for (const assembler_image& image : words.images) {
        const std::string& id = image.id;
        text += "__asm__(VANTREL_BEGIN(" + id + ")\n\t\"\\t.balign 4\\n\" VANTREL_OBJECT(" + id + ", " +
                std::to_string(image.bytes) + ")\n\tVANTREL_WORDS(" + path + ", " + std::to_string(image.offset) + ", " +
                std::to_string(image.bytes) + ")\n";
        // A layout's bytes may end at an odd address, where a short must not
        // start on processors that fault on unaligned loads.
        if (image.bytes % 2 != 0)
            text += "\t\"\\t.balign 2\\n\"\n";
        for (const auto& [suffix, value] : {std::pair{"_x", image.width}, {"_y", image.height}})
            text += "\tVANTREL_OBJECT(" + id + suffix + ", 2) \"\\t.short " + std::to_string(value) + "\\n\"\n";
        if (!image.delays.empty()) {
            text += "\tVANTREL_OBJECT(" + id + "_frames, 2) \"\\t.short " + std::to_string(image.delays.size()) +
                    "\\n\"\n\t\"\\t.balign 4\\n\" VANTREL_OBJECT(" + id + "_delays, " +
                    std::to_string(image.delays.size() * 4) + ")";
            for (const uint32_t delay : image.delays)
                text += " \"\\t.long " + std::to_string(delay) + "\\n\"";
            text += "\n";
        }
        text += "\tVANTREL_END);\n\n" + image.definitions;
    }
    return text;
}
