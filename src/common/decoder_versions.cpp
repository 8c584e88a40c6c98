#include "decoder_versions.h"

#include <cstdio>

#include <png.h>
#include <zlib.h>
#ifdef VANTREL_JPEG
#include <jpeglib.h>
#endif
#ifdef VANTREL_GIF
#include <gif_lib.h>
#endif

// libjpeg-turbo's version is a bare token (2.1.5), made a string here.
#define VANTREL_TEXT(token) #token
#define VANTREL_TEXT_OF(macro) VANTREL_TEXT(macro)

std::string decoder_versions()
{
    // libpng's and zlib's own answers rather than their headers' macros: on
    // Linux the shared libraries loaded can be newer than the headers
    // compiled against. libjpeg-turbo and giflib have only the macros.
    std::string text = std::string("libpng ") + png_get_libpng_ver(nullptr) + ", zlib " + zlibVersion();
#ifdef VANTREL_JPEG
    text += ", libjpeg-turbo " VANTREL_TEXT_OF(LIBJPEG_TURBO_VERSION);
#endif
#ifdef VANTREL_GIF
    char gif[32];
    std::snprintf(gif, sizeof gif, ", giflib %d.%d.%d", GIFLIB_MAJOR, GIFLIB_MINOR, GIFLIB_RELEASE);
    text += gif;
#endif
    return text;
}
