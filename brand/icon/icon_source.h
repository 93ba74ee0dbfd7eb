// Tovinel brand, the icon: a publisher's image file, a PNG or an .ico, read into RGBA images, and the
// one each of the launcher's sizes is drawn from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "system/system.h"

// The most pixels an image may have on a side: 8192x8192 RGBA is 256 MiB, more than a logo needs and
// as much as a 32-bit process should be asked for at once.
const uint32_t image_side_limit = 8192;

struct icon_frame {
    rgba_image image;
    uint32_t bits = 32;  // colour depth of an .ico entry; between images of one size the deeper wins
};

struct icon_source {
    std::string kind;  // "PNG" or ".ico", for the report
    std::vector<icon_frame> frames;
};

// Reads `bytes` by their content, whatever the file's name: a PNG, or an .ico of BMP entries (1, 4,
// 8, 24 or 32 bits per pixel with their AND mask) and PNG entries. False with `why` for anything else
// (a JPEG, a GIF, text), a file cut short, or more than image_side_limit pixels on a side.
bool read_icon_source(const std::string& bytes, icon_source* source, std::string* why);

// The image a `size` x `size` icon is drawn from: one of exactly that size (the deepest), else the
// largest.
const rgba_image& icon_source_image(const icon_source& source, uint32_t size);
