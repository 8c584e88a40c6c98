#include <gtest/gtest.h>

#include <memory>

#include "main.h"
#include "test_util.h"

namespace {

// What make_header and make_data write for a record given directly.
std::string write_image(const std::string& header, int32_t width, int32_t height, std::vector<uint32_t> pixels)
{
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::tmpfile(), &std::fclose);
    std::string name = header;
    make_header(f.get());
    testing::internal::CaptureStdout();
    EXPECT_TRUE(make_data(f.get(), name, bmp_image{width, height, pixels.data()}));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Writing " + name + "\n");
    EXPECT_EQ(name, header.substr(0, header.size() - 2));
    std::string text(size_t(std::ftell(f.get())), '\0');
    std::rewind(f.get());
    EXPECT_EQ(std::fread(text.data(), 1, text.size(), f.get()), text.size());
    return text;
}

std::string declarations(const std::string& id, int width, int height, const std::string& array)
{
    return banner_text + "const unsigned short int " + id + "_x = " + std::to_string(width) +
           ";\nconst unsigned short int " + id + "_y = " + std::to_string(height) + ";\n\nconst unsigned int " + id +
           array + "};\n\n";
}

// Records hold rows top first, each mirrored; the text lists them left to
// right, one row a line, the last without a comma.
TEST(Writer, SmallRecords)
{
    EXPECT_EQ(write_image("ab.h", 2, 2, {0x00800080, 0xfe80fe80, 0x1dff1d6b, 0x4c544cff}),
              declarations("ab", 2, 2, "[4] = {\n\t0xfe80fe80, 0x00800080,\n\t0x4c544cff, 0x1dff1d6b\n"));
    EXPECT_EQ(write_image("dot.h", 1, 1, {0xdeadbeef}), declarations("dot", 1, 1, "[1] = {\n\t0xdeadbeef\n"));
}

TEST(Names, HeaderNamesAndIdentifiers)
{
    const std::pair<const char*, const char*> headers[] = {
        {"LOGO.BMP", "LOGO.h"}, {"pics/logo.bmp", "pics/logo.h"}, {"scan.bitmap", "scan.bith"}, {"abc", "abc.h"}, {"", ".h"},
    };
    for (const auto& [argument, header] : headers)
        EXPECT_EQ(header_name(argument), header);

#ifdef _WIN32
    const char* backslashed = "logo";
#else
    const char* backslashed = "pics_logo";
#endif
    const std::pair<const char*, const char*> ids[] = {
        {"logo", "logo"}, {"a/b/c_d", "c_d"}, {"my-icon", "my_icon"}, {"caf\xc3\xa9", "caf__"}, {"9lives", "img_9lives"},
        {"pics/", "img_"}, {"int", "img_int"}, {"and", "img_and"}, {"Int", "Int"}, {"pics\\logo", backslashed},
        {"main", "img_main"}, {"Main", "Main"}, {"_Logo", "_Logo"}, {"island", "island"},
    };
    for (const auto& [image, id] : ids)
        EXPECT_EQ(c_identifier(image), id) << image;
}

}  // namespace
