// Tovinel check, Windows only: the kind of drive a folder lies on, as Windows itself tells it to
// AutoPlay: GetDriveType of the folder's volume.
#include <windows.h>

#include <filesystem>
#include <string>

#include "media/medium.h"

bool medium_drive_type(const std::string& folder, drive_type* type, std::string* how)
{
    std::filesystem::path path = std::filesystem::u8path(folder);
    wchar_t volume[MAX_PATH];
    if (!GetVolumePathNameW(std::filesystem::absolute(path).wstring().c_str(), volume, MAX_PATH))
        return false;
    std::string root = std::filesystem::path(volume).u8string();
    switch (GetDriveTypeW(volume)) {
    case DRIVE_CDROM:
        *type = drive_type::optical;
        *how = "GetDriveType says " + root + " is a CD, DVD or Blu-ray drive";
        return true;
    case DRIVE_REMOVABLE:
        *type = drive_type::removable;
        *how = "GetDriveType says " + root + " is a removable drive";
        return true;
    case DRIVE_FIXED: {
        // A folder below a fixed disk's root is a copy of the medium being prepared, not the medium.
        std::error_code error;
        if (!std::filesystem::equivalent(path, std::filesystem::path(volume), error) || error)
            return false;
        *type = drive_type::fixed;
        *how = "GetDriveType says " + root + " is a fixed drive (a USB hard disk)";
        return true;
    }
    default:
        return false;
    }
}
