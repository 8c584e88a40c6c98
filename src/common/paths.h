// Paths as both programs take them apart: a directory part, then a name.
#ifndef VANTREL_PATHS_H
#define VANTREL_PATHS_H

#include <string_view>

// Windows takes either slash between directories; POSIX only "/", so that
// a "\" there is part of a name.
#ifdef _WIN32
inline constexpr std::string_view directory_separators = "\\/";
#else
inline constexpr std::string_view directory_separators = "/";
#endif

// Where the name after path's last directory separator starts (0 where
// there is none).
inline size_t name_start(std::string_view path)
{
    const size_t cut = path.find_last_of(directory_separators);
    return cut == std::string_view::npos ? 0 : cut + 1;
}

#endif
