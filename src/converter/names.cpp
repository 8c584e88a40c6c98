// The names of an image's declarations: from the file argument to the
// header name, and from the image name to a C identifier.
#include <algorithm>

#include "converter.h"
#include "header_text.h"
#include "paths.h"
#include "reserved_names.h"

std::string header_name(std::string_view argument)
{
    // The positional rule was made for three-letter extensions: a JPEG or
    // WebP named so loses its whole, in any case ("logo.webp" gives
    // "logo.h", not "logo.wh").
    for (const std::string_view four : {".jpeg", ".webp"})
        if (argument.size() >= four.size() &&
            std::equal(four.begin(), four.end(), argument.end() - long(four.size()), [](char a, char b) {
                return a == (b >= 'A' && b <= 'Z' ? char(b - 'A' + 'a') : b);
            }))
            return std::string(argument.substr(0, argument.size() - four.size())) + ".h";
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
