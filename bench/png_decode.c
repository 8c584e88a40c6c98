/* Decodes a PNG with libpng and does nothing else: every row read as
   stored, with libpng's default checks, and thrown away. It is the floor
   bench/run holds vantrel's PNG cases to, since vantrel decodes with the
   same library on one thread while it converts and writes on others.

   Usage: png_decode file.png */
#include <png.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    FILE *f = fopen(argv[1], "rb");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, NULL, NULL, NULL);
    png_infop info = png ? png_create_info_struct(png) : NULL;
    if (!f || !info)
        return 1;
    unsigned char *volatile row = NULL;
    if (setjmp(png_jmpbuf(png)))
        return 1;
    png_init_io(png, f);
    png_read_info(png, info);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    row = malloc(png_get_rowbytes(png, info));
    if (!row)
        return 1;
    const png_uint_32 height = png_get_image_height(png, info);
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y)
            png_read_row(png, row, NULL);
    png_read_end(png, NULL);
    free(row);
    png_destroy_read_struct(&png, &info, NULL);
    fclose(f);
    return 0;
}
