#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "main.h"
#include "test_util.h"

namespace {

// What make_header and make_data write for a record, and the name it leaves.
struct written {
    std::string text;
    std::string name;
    bool ok;
};

written write_image(std::string name, int32_t width, int32_t height, std::vector<uint32_t> pixels)
{
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::tmpfile(), &std::fclose);
    const bmp_image image{width, height, pixels.data()};
    make_header(f.get());
    testing::internal::CaptureStdout();
    const bool ok = make_data(f.get(), name, image);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Writing " + name + "\n");
    std::fflush(f.get());
    std::string text(static_cast<size_t>(std::ftell(f.get())), '\0');
    std::rewind(f.get());
    EXPECT_EQ(std::fread(text.data(), 1, text.size(), f.get()), text.size());
    return {text, name, ok};
}

TEST(Writer, WorkedExample)
{
    const written w = write_image("ab.h", 2, 2, {0x00800080, 0xfe80fe80, 0x1dff1d6b, 0x4c544cff});
    EXPECT_TRUE(w.ok);
    EXPECT_EQ(w.name, "ab");
    EXPECT_EQ(w.text, banner_text +
                          "const unsigned short int ab_x = 2;\n"
                          "const unsigned short int ab_y = 2;\n"
                          "\n"
                          "const unsigned int ab[4] = {\n"
                          "\t0xfe80fe80, 0x00800080,\n"
                          "\t0x4c544cff, 0x1dff1d6b\n"
                          "};\n"
                          "\n");
}

TEST(Writer, SmallShapes)
{
    EXPECT_EQ(write_image("dot.h", 1, 1, {0xdeadbeef}).text,
              banner_text + "const unsigned short int dot_x = 1;\nconst unsigned short int dot_y = 1;\n\n"
                            "const unsigned int dot[1] = {\n\t0xdeadbeef\n};\n\n");
    EXPECT_EQ(write_image("row.h", 3, 1, {3, 2, 1}).text,
              banner_text + "const unsigned short int row_x = 3;\nconst unsigned short int row_y = 1;\n\n"
                            "const unsigned int row[3] = {\n\t0x00000001, 0x00000002, 0x00000003\n};\n\n");
    EXPECT_EQ(write_image("col.h", 1, 3, {1, 2, 3}).text,
              banner_text + "const unsigned short int col_x = 1;\nconst unsigned short int col_y = 3;\n\n"
                            "const unsigned int col[3] = {\n\t0x00000001,\n\t0x00000002,\n\t0x00000003\n};\n\n");
}

// The reader never yields these records, but the writer still keeps the
// array consistent with its declared size.
TEST(Writer, EmptyRecords)
{
    EXPECT_EQ(write_image("name.h", 5, 0, {}).text,
              banner_text + "const unsigned short int name_x = 5;\nconst unsigned short int name_y = 0;\n\n"
                            "const unsigned int name[0] = {\n};\n\n");
    EXPECT_EQ(write_image("name.h", 0, 2, {}).text,
              banner_text + "const unsigned short int name_x = 0;\nconst unsigned short int name_y = 2;\n\n"
                            "const unsigned int name[0] = {\n,\n\n};\n\n");
}

// Wide enough to pass the writer's buffer several times over.
TEST(Writer, LargeImageMatchesFormattedOutput)
{
    const int width = 1000, height = 300;
    std::vector<uint32_t> stored(size_t(width * height));
    std::vector<uint32_t> top_first(stored.size());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t v = uint32_t(y * width + x) * 2654435761u;
            top_first[size_t(y * width + x)] = v;
            stored[size_t(y * width + (width - 1 - x))] = v;
        }
    EXPECT_EQ(write_image("big.h", width, height, stored).text,
              banner_text + expected_declarations("big", width, height, top_first));
}

TEST(Names, HeaderNameReplacesTheLastThreeCharacters)
{
    EXPECT_EQ(header_name("logo.bmp"), "logo.h");
    EXPECT_EQ(header_name("LOGO.BMP"), "LOGO.h");
    EXPECT_EQ(header_name("pics/logo.bmp"), "pics/logo.h");
    EXPECT_EQ(header_name("scan.bitmap"), "scan.bith");
    EXPECT_EQ(header_name("x.bm"), "xh");
    EXPECT_EQ(header_name("abc"), "abc.h");
    EXPECT_EQ(header_name("a"), "a.h");
    EXPECT_EQ(header_name(""), ".h");
}

TEST(Names, IdentifiersAreValidInCAndCxx)
{
    EXPECT_EQ(c_identifier("logo"), "logo");
    EXPECT_EQ(c_identifier("pics/logo"), "logo");
    EXPECT_EQ(c_identifier("a/b/c_d"), "c_d");
    EXPECT_EQ(c_identifier("my-icon"), "my_icon");
    EXPECT_EQ(c_identifier("scan.bi"), "scan_bi");
    EXPECT_EQ(c_identifier("caf\xc3\xa9"), "caf__");
    EXPECT_EQ(c_identifier("1"), "img_1");
    EXPECT_EQ(c_identifier("9lives"), "img_9lives");
    EXPECT_EQ(c_identifier(""), "img_");
    EXPECT_EQ(c_identifier("pics/"), "img_");
    EXPECT_EQ(c_identifier("int"), "img_int");
    EXPECT_EQ(c_identifier("class"), "img_class");
    EXPECT_EQ(c_identifier("and"), "img_and");
    EXPECT_EQ(c_identifier("_Bool"), "img__Bool");
    EXPECT_EQ(c_identifier("Int"), "Int");
#ifdef _WIN32
    EXPECT_EQ(c_identifier("pics\\logo"), "logo");
#else
    EXPECT_EQ(c_identifier("pics\\logo"), "pics_logo");
#endif
}

}  // namespace
