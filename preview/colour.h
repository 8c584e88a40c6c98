// colour: packed luma/chroma words back to RGB.
#ifndef VANTREL_PREVIEW_COLOUR_H
#define VANTREL_PREVIEW_COLOUR_H

#include <cstddef>
#include <cstdint>

// Red, green and blue, three bytes per word, of the words' Y (bits 31..24),
// Cb (23..16) and Cr (7..0) by the full-range JFIF equations, each rounded
// to nearest (halves up) and clamped to 0..255.
void words_to_rgb(const uint32_t* words, size_t count, uint8_t* rgb);

#endif
