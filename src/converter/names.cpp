// The names of an image's declarations: from the file argument to the
// header name, and from the image name to a C identifier.
#include <algorithm>

#include "converter.h"
#include "reserved_names.h"

namespace {

#ifdef _WIN32
constexpr const char* directory_separators = "\\/";
#else
constexpr const char* directory_separators = "/";
#endif

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
    if (id.empty() || (id[0] >= '0' && id[0] <= '9') || reserved_identifier(id))
        id.insert(0, "img_");
    return id;
}
