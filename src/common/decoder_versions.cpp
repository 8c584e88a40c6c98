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
#ifdef VANTREL_WEBP
#include <webp/decode.h>
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
    [[maybe_unused]] char version[32];
#ifdef VANTREL_GIF
    std::snprintf(version, sizeof version, ", giflib %d.%d.%d", GIFLIB_MAJOR, GIFLIB_MINOR, GIFLIB_RELEASE);
    text += version;
#endif
#ifdef VANTREL_WEBP
    // The library's own answer, as for libpng and zlib: 0xMMmmrr.
    const int webp = WebPGetDecoderVersion();
    std::snprintf(version, sizeof version, ", libwebp %d.%d.%d", webp >> 16, webp >> 8 & 0xff, webp & 0xff);
    text += version;
#endif
    return text;
}
