#include "decoder_versions.h"

#include <png.h>
#include <zlib.h>

std::string decoder_versions()
{
    // The libraries' own answers rather than their headers' macros: on Linux
    // the shared libraries loaded can be newer than the headers compiled
    // against.
    return std::string("libpng ") + png_get_libpng_ver(nullptr) + ", zlib " + zlibVersion();
}
