// Tovinel check: an ISO image laid out as a medium folder, so that every check and the launcher's
// own reads run on the files Windows will see, and the findings about names Windows sees otherwise.
#pragma once

#include <string>
#include <vector>

#include "check.h"
#include "iso_image.h"

// Windows' view of an image, laid out in a private temporary folder: its folders, and its files
// under their Windows names with their real sizes. Only the bytes the checks read are copied (the
// whole of .ini, .inf and .ico files, the head of programs, a few KiB of the rest; 128 MiB in all);
// the rest of each file reads as zeros and takes no room. Nothing is ever written to the image.
struct iso_medium {
    iso_image image;
    std::string folder;            // the host folder holding the view; "" when there is none
    unsigned not_laid_out = 0;     // entries whose names this host cannot hold (over 255 bytes)
    unsigned unreadable = 0;       // files whose data could not be read (a cut image)
};

// Opens the image at `image_path` and lays out Windows' view of it. False, with the reason in
// *error, when it is no image that can be read, or the temporary folder cannot be made.
bool iso_medium_open(const std::string& image_path, iso_medium* medium, std::string* error);

// Removes the temporary folder and all in it. Safe to call twice.
void iso_medium_remove(iso_medium* medium);

// What the image is, for the "Medium:" line: "disc.iso (an ISO image; Windows reads its Joliet names)".
std::string iso_medium_description(const iso_medium& medium);

// The names that Tovinel.ini and autorun.inf give (Run, the autorun program and icon) where Windows
// will not find them on the image although Linux may show them, each with the reason; and notes on
// what of the image could not be checked.
std::vector<check_finding> iso_medium_findings(const iso_medium& medium, const check_options& options);
