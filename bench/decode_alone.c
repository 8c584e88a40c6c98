/* Decodes a JPEG, WebP or GIF picture with the library vantrel reads it
   with, as vantrel asks it to, and does nothing else: the floor bench/run
   holds vantrel's cases of those formats to. JPEG: libjpeg-turbo, the
   accurate integer transform, RGB rows one at a time. WebP: libwebp, the
   picture whole as RGBA. GIF: giflib, the first frame's rows.

   Usage: decode_alone file.jpg|file.webp|file.gif */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <gif_lib.h>
#include <jpeglib.h>
#include <webp/decode.h>

static int jpeg(FILE *f)
{
    struct jpeg_decompress_struct info;
    struct jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, f);
    jpeg_read_header(&info, TRUE);
    info.dct_method = JDCT_ISLOW;
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    JSAMPROW row = malloc((size_t)info.output_width * 3);
    while (info.output_scanline < info.output_height)
        jpeg_read_scanlines(&info, &row, 1);
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    free(row);
    return 0;
}

static int webp(FILE *f)
{
    fseek(f, 0, SEEK_END);
    const long size = ftell(f);
    rewind(f);
    unsigned char *data = malloc((size_t)size);
    if (!data || fread(data, 1, (size_t)size, f) != (size_t)size)
        return 1;
    int width = 0, height = 0;
    unsigned char *rgba = WebPDecodeRGBA(data, (size_t)size, &width, &height);
    WebPFree(rgba);
    free(data);
    return rgba ? 0 : 1;
}

static int gif(const char *path)
{
    int error = 0;
    GifFileType *g = DGifOpenFileName(path, &error);
    if (!g)
        return 1;
    GifRecordType record;
    do {
        if (DGifGetRecordType(g, &record) != GIF_OK)
            return 1;
        if (record == EXTENSION_RECORD_TYPE) {
            int code;
            GifByteType *block;
            DGifGetExtension(g, &code, &block);
            while (block)
                DGifGetExtensionNext(g, &block);
        }
    } while (record != IMAGE_DESC_RECORD_TYPE && record != TERMINATE_RECORD_TYPE);
    if (record != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(g) != GIF_OK)
        return 1;
    GifPixelType *line = malloc((size_t)g->Image.Width);
    for (int y = 0; y < g->Image.Height; ++y)
        DGifGetLine(g, line, g->Image.Width);
    free(line);
    DGifCloseFile(g, &error);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    const char *dot = strrchr(argv[1], '.');
    if (dot && strcmp(dot, ".gif") == 0)
        return gif(argv[1]);
    FILE *f = fopen(argv[1], "rb");
    if (!f)
        return 1;
    const int status = dot && strcmp(dot, ".webp") == 0 ? webp(f) : jpeg(f);
    fclose(f);
    return status;
}
