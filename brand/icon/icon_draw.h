// Tovinel brand, the icon: an image drawn as one of the launcher's icon images, 16 colours of the
// standard palette at 4 bits a pixel, as tools/steps/make_icon.py draws its pixel maps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "system/system.h"

// The standard 16-colour palette, red, green and blue, in Windows' index order.
extern const unsigned char standard_palette[16][3];

const int transparent_pixel = -1;

// An icon image: a palette index for each pixel, rows from the top; transparent_pixel where the
// icon shows what lies under it.
struct icon_pixels {
    uint32_t size = 0;
    std::vector<int> indexes;  // size * size
};

// `source` scaled to fit `size` x `size` (its aspect kept, centred on a transparent square) and
// dithered to the palette; a pixel is drawn where the scaled image is at least half opaque.
icon_pixels draw_icon(const rgba_image& source, uint32_t size);

// Tells whether every pixel of `pixels` is transparent.
bool icon_is_invisible(const icon_pixels& pixels);

// The RT_ICON data of `pixels`: BITMAPINFOHEADER, the palette, the 4-bit colour rows and the 1-bit
// AND mask, rows from the bottom (744 bytes for 32x32, 296 for 16x16).
std::string icon_bitmap(const icon_pixels& pixels);
