// Tovinel check: ISO images where libarchive is not at hand (tovinel-check.exe): none are read.
// Windows 8 and later mount an image as a drive with a double click; that drive is then checked.
#include "media/medium.h"

bool medium_in_image(const std::string& /*image_path*/, medium_source* /*source*/, std::string* error)
{
    *error = "this build reads no ISO images; mount the image (double-click it in Explorer) and check its drive";
    return false;
}
