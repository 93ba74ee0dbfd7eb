// Tovinel check: the kind of drive a host folder lies on, from the block device Linux mounted it
// from: its sysfs entry tells a removable disk, and a SCSI type 5 a CD or DVD drive.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "media/medium.h"

namespace {

namespace fs = std::filesystem;

std::string first_line(const fs::path& path)
{
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

}  // namespace

bool medium_drive_type(const std::string& folder, drive_type* type, std::string* how)
{
    struct stat facts;
    if (stat(folder.c_str(), &facts) != 0)
        return false;
    std::error_code error;
    fs::path device = fs::canonical("/sys/dev/block/" + std::to_string(major(facts.st_dev)) + ":" +
                                        std::to_string(minor(facts.st_dev)),
                                    error);
    if (error)
        return false;
    // A partition's flags are its disk's.
    if (fs::exists(device / "partition", error))
        device = device.parent_path();
    std::string name = device.filename().string();
    if (first_line(device / "device" / "type") == "5") {
        *type = drive_type::optical;
        *how = "it is on " + name + ", a CD, DVD or Blu-ray drive";
        return true;
    }
    if (first_line(device / "removable") == "1") {
        *type = drive_type::removable;
        *how = "it is on " + name + ", a removable disk";
        return true;
    }
    return false;
}
