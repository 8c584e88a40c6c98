// The naming rules: header names by position, identifiers that compile.
// The text itself is checked end to end by the command-line and round-trip
// tests.
#include <gtest/gtest.h>

#include "converter.h"

namespace {

TEST(Names, HeaderNamesAndIdentifiers)
{
    const std::pair<const char*, const char*> headers[] = {
        {"LOGO.BMP", "LOGO.h"}, {"pics/logo.bmp", "pics/logo.h"}, {"scan.bitmap", "scan.bith"}, {"abc", "abc.h"}, {"", ".h"},
        {"logo.webp", "logo.h"}, {"pics/Photo.JPEG", "pics/Photo.h"}, {"logo.jpg", "logo.h"}, {".WebP", ".h"},
    };
    for (const auto& [argument, header] : headers)
        EXPECT_EQ(header_name(argument), header);

#ifdef _WIN32
    const char* backslashed = "logo";
#else
    const char* backslashed = "pics_logo";
#endif
    const std::pair<const char*, const char*> ids[] = {
        {"logo", "logo"}, {"a/b/c_d", "c_d"}, {"my-icon", "my_icon"}, {"caf\xc3\xa9", "caf__"}, {"9lives", "img_9lives"}, {"0day", "img_0day"},
        {"pics/", "img_"}, {"int", "img_int"}, {"and", "img_and"}, {"Int", "Int"}, {"pics\\logo", backslashed},
        {"main", "img_main"}, {"Main", "Main"}, {"_Logo", "_Logo"}, {"island", "island"}, {"linux", "img_linux"},
        {"std", "img_std"}, {"WIN32", "img_WIN32"}, {"__int64", "img___int64"}, {"__builtin_x", "img___builtin_x"},
        {"__logo", "__logo"},
    };
    for (const auto& [image, id] : ids)
        EXPECT_EQ(c_identifier(image), id) << image;
}

}  // namespace
