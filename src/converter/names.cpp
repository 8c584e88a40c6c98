// The names of an image's declarations: from the file argument to the
// header name, and from the image name to a C identifier.
#include <algorithm>

#include "converter.h"
#include "header_text.h"
#include "paths.h"
#include "reserved_names.h"

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
    image_name.remove_prefix(name_start(image_name));
    std::string id(image_name);
    std::replace_if(id.begin(), id.end(), [](char c) { return !header_text::identifier_char(c); }, '_');
    if (id.empty() || (id[0] >= '0' && id[0] <= '9') || reserved_identifier(id))
        id.insert(0, "img_");
    return id;
}
