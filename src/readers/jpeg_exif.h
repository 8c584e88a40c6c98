// The orientation an EXIF block gives a JPEG picture.
#ifndef VANTREL_JPEG_EXIF_H
#define VANTREL_JPEG_EXIF_H

#include <cstddef>
#include <cstdint>

// The EXIF orientation (TIFF tag 274) in the TIFF data of an APP1 "Exif"
// marker (what follows "Exif\0\0"), 1 where there is none or it makes no
// sense: 1 upright, 2 mirrored, 3 turned half round, 4 flipped, 5 to 8 the
// same transposed.
uint32_t exif_orientation(const uint8_t* tiff_data, size_t size);

#endif
