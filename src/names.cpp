// The names of an image's declarations: from the file argument to the
// header name, and from the image name to a C identifier.
#include <algorithm>
#include <set>

#include "main.h"

namespace {

#ifdef _WIN32
constexpr const char* directory_separators = "\\/";
#else
constexpr const char* directory_separators = "/";
#endif

bool is_keyword(std::string_view word)
{
    // C23 and C++20 keywords, alternative tokens included: an array named
    // after any of them would not compile as C or as C++.
    static const std::set<std::string_view> keywords = {
        "_Alignas", "_Alignof", "_Atomic", "_BitInt", "_Bool", "_Complex", "_Decimal128",
        "_Decimal32", "_Decimal64", "_Generic", "_Imaginary", "_Noreturn", "_Static_assert",
        "_Thread_local", "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor",
        "bool", "break", "case", "catch", "char", "char16_t", "char32_t", "char8_t", "class",
        "co_await", "co_return", "co_yield", "compl", "concept", "const", "const_cast",
        "consteval", "constexpr", "constinit", "continue", "decltype", "default", "delete", "do",
        "double", "dynamic_cast", "else", "enum", "explicit", "export", "extern", "false",
        "float", "for", "friend", "goto", "if", "inline", "int", "long", "mutable", "namespace",
        "new", "noexcept", "not", "not_eq", "nullptr", "operator", "or", "or_eq", "private",
        "protected", "public", "register", "reinterpret_cast", "requires", "restrict", "return",
        "short", "signed", "sizeof", "static", "static_assert", "static_cast", "struct",
        "switch", "template", "this", "thread_local", "throw", "true", "try", "typedef",
        "typeid", "typename", "typeof", "typeof_unqual", "union", "unsigned", "using",
        "virtual", "void", "volatile", "wchar_t", "while", "xor", "xor_eq",
    };
    return keywords.count(word) != 0;
}

bool identifier_char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

std::string header_name(std::string_view argument)
{
    if (argument.size() < 4)
        return std::string(argument) + ".h";
    return std::string(argument.substr(0, argument.size() - 3)) + "h";
}

std::string_view image_name(std::string_view header)
{
    return header.substr(0, header.size() >= 2 ? header.size() - 2 : 0);
}

std::string c_identifier(std::string_view image_name)
{
    const size_t cut = image_name.find_last_of(directory_separators);
    if (cut != std::string_view::npos)
        image_name.remove_prefix(cut + 1);
    std::string id(image_name);
    std::replace_if(id.begin(), id.end(), [](char c) { return !identifier_char(c); }, '_');
    if (id.empty() || (id[0] >= '0' && id[0] <= '9') || is_keyword(id))
        id.insert(0, "img_");
    return id;
}
