// Tovinel brand, the icon: the preview a publisher looks at before burning, both images enlarged 8
// times and at their size on three backgrounds, as a PNG written here (no image library needed).
#pragma once

#include <string>
#include <vector>

#include "icon/icon_draw.h"

// The PNG of `images` side by side, each pixel an 8x8 block on a checkerboard that shows the
// transparent ones, and below them a band with the images at their size on white (a window), teal
// (the Windows 95 desktop) and dark grey (a dark desktop): the picture make_icon.py's png_preview drew.
std::string icon_preview_png(const std::vector<icon_pixels>& images);
