#include "row_converter.h"
#include "ycbcr.h"

uint32_t pack_ycbcr(uint8_t r, uint8_t g, uint8_t b)
{
    return ycbcr_word(r, g, b);
}
