// libFuzzer target for the reader: every input is read as a whole bitmap
// file. Built with -fsanitize=fuzzer,address,undefined, so a read or write
// outside a buffer, undefined arithmetic or a leak stops the run.
#include <cstdio>
#include <cstdlib>

#include "bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // fmemopen refuses an empty buffer; an empty file is no bitmap either way.
    if (size == 0)
        return 0;
    FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!f)
        return 0;
    bmp_error error = bmp_error::none;
    bmp_image* image = read_bmp(f, size, error);
    std::fclose(f);
    if ((image == nullptr) != (error != bmp_error::none))
        std::abort();  // a record must come with success and only with it
    if (image) {
        // Read every word, so that a pixel left unwritten shows up under
        // MemorySanitizer and a short buffer under AddressSanitizer.
        uint32_t sum = 0;
        for (int64_t i = 0; i < int64_t{image->width} * image->height; ++i)
            sum += image->pixels[i];
        if (image->width <= 0 || image->height <= 0 || sum == 1)
            std::abort();
    }
    free_bmp(image);
    return 0;
}
