/* The converter anyone would write first, kept as the yardstick vantrel is
   timed against: one fgetc per byte, long double arithmetic, one fprintf per
   value. It reads only what the benchmark makes (bottom-up, uncompressed,
   24-bit) and writes the same header text as vantrel.

   Usage: baseline input.bmp output.h identifier */
#include <stdio.h>
#include <stdlib.h>

static FILE *in;
static long position;

static int byte(void)
{
    int c = fgetc(in);
    if (c == EOF) {
        fprintf(stderr, "baseline: unexpected end of input\n");
        exit(1);
    }
    ++position;
    return c;
}

static unsigned long field(int bytes)
{
    unsigned long v = 0;
    int i;
    for (i = 0; i < bytes; ++i)
        v |= (unsigned long)byte() << (8 * i);
    return v;
}

/* The coefficients are the binary64 constants, widened. On x86-64 the
   80-bit long double holds every product and sum here exactly, so truncating
   gives the same words as vantrel's integer arithmetic. */
static unsigned int pack(int r, int g, int b)
{
    const long double R = r, G = g, B = b;
    const long double y = (long double)0.299 * R + (long double)0.587 * G + (long double)0.114 * B;
    const long double cb = (long double)-0.16874 * R - (long double)0.33126 * G + (long double)0.5 * B + 128;
    const long double cr = (long double)0.5 * R - (long double)0.41869 * G - (long double)0.08131 * B + 128;
    const unsigned int Y = (unsigned int)y, Cb = (unsigned int)cb, Cr = (unsigned int)cr;
    return Y << 24 | Cb << 16 | Y << 8 | Cr;
}

int main(int argc, char **argv)
{
    unsigned long offset, bits, compression;
    long width, height, x, y, i, count;
    unsigned int *pixels;
    FILE *out;

    if (argc != 4) {
        fprintf(stderr, "usage: baseline input.bmp output.h identifier\n");
        return 2;
    }
    in = fopen(argv[1], "rb");
    if (!in) {
        perror(argv[1]);
        return 1;
    }
    if (byte() != 'B' || byte() != 'M') {
        fprintf(stderr, "baseline: not a bitmap\n");
        return 1;
    }
    field(8);
    offset = field(4);
    field(4);
    width = (long)field(4);
    height = (long)field(4);
    field(2);
    bits = field(2);
    compression = field(4);
    if (bits != 24 || compression != 0 || width <= 0 || height <= 0 || height > 0x7fffffffL) {
        fprintf(stderr, "baseline: only bottom-up uncompressed 24-bit bitmaps\n");
        return 1;
    }
    while ((unsigned long)position < offset)
        byte();

    count = width * height;
    pixels = malloc((size_t)count * sizeof *pixels);
    if (!pixels) {
        fprintf(stderr, "baseline: out of memory\n");
        return 1;
    }
    /* Rows come bottom row first, each padded to a multiple of four bytes. */
    for (y = height - 1; y >= 0; --y) {
        for (x = 0; x < width; ++x) {
            const int b = byte(), g = byte(), r = byte();
            pixels[y * width + x] = pack(r, g, b);
        }
        for (x = 3 * width; x % 4 != 0; ++x)
            byte();
    }
    fclose(in);

    out = fopen(argv[2], "w");
    if (!out) {
        perror(argv[2]);
        return 1;
    }
    fprintf(out, "//\n// Made with Vantrel by vantrel@example.org\n//\n\n");
    fprintf(out, "const unsigned short int %s_x = %ld;\n", argv[3], width);
    fprintf(out, "const unsigned short int %s_y = %ld;\n\n", argv[3], height);
    fprintf(out, "const unsigned int %s[%ld] = {\n", argv[3], count);
    for (i = 0; i < count; ++i)
        fprintf(out, "%s0x%08x%s", i % width == 0 ? "\t" : ", ", pixels[i],
                i % width != width - 1 ? "" : i == count - 1 ? "\n" : ",\n");
    fprintf(out, "};\n\n");
    free(pixels);
    if (fclose(out) != 0) {
        perror(argv[2]);
        return 1;
    }
    return 0;
}
