// An animated WebP, whose frames libwebp's animation decoder composites on
// its canvas.
#ifndef VANTREL_WEBP_ANIMATION_H
#define VANTREL_WEBP_ANIMATION_H

#include <cstdint>
#include <memory>
#include <vector>

#include "image_reader.h"

// file: the whole file, whose width and height (the canvas's) are checked.
std::unique_ptr<image_reader> open_webp_animation(std::vector<uint8_t> file, uint32_t width, uint32_t height,
                                                  image_error& error, const read_limits& limits);

#endif
