// Tovinel check, media: an ISO 9660 image as Windows will see it once burnt, read through
// libarchive. Joliet names when the image has them, else the ISO 9660 names; Rock Ridge names only
// to explain.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The most bytes of one file that a read ever holds, whatever the caller asks for or the image holds.
constexpr size_t iso_read_cap = 64u << 20;

// One folder or file below the image's root, as Windows names it.
struct iso_entry {
    std::string path;               // names joined by backslashes, no leading one: "Driver Setup\setup.exe"
    bool is_folder = false;
    uint64_t size = 0;              // of a file's data; 0 for a folder
    // The file's data lies past the end of the image (a cut image): listed, but it cannot be read.
    bool beyond_end = false;
    // The same entry's path under Rock Ridge, the names Linux shows, when it is known and differs
    // from `path` in any byte; "" otherwise.
    std::string rock_ridge_path;
};

// An opened image: what Windows will see in it, and the facts that explain where that differs from
// what Linux shows. Plain data; entries stay valid as long as the image does.
struct iso_image {
    std::string image_path;         // the host file
    bool joliet = false;            // Windows reads Joliet names; otherwise the ISO 9660 names
    bool rock_ridge = false;        // the image also has Rock Ridge names (which Windows ignores)
    std::vector<iso_entry> entries; // Windows' view, in the image's own order; no entry for the root
    // The Rock Ridge view: each Rock Ridge path with the index of the same entry in `entries`, or -1
    // where that entry could not be told (then it is still worth knowing that the name exists).
    std::vector<std::pair<std::string, long>> rock_ridge_entries;
    // For each entry, the index of the entry whose data it reads: itself, or the first name of a
    // hard-linked file (libarchive hands such data out once).
    std::vector<long> data_of;
};

// Opens the regular file `image_path` as an ISO 9660 image and lists it as Windows will see it.
// Reads only; memory and time stay bounded whatever the file holds: a listing that needs more than
// 16 MiB of folder data or holds more than 60000 entries (about 1 KiB of memory each) is refused.
// False, with the reason in *error ("it is no ISO 9660 image (...)", no trailing period), when it is
// no regular file, no ISO 9660 image, or cannot be read as one. A cut image whose folders are whole
// opens; reading a cut file then fails.
bool iso_image_open(const std::string& image_path, iso_image* image, std::string* error);

// The entry that `windows_path` names, each name matched without regard to ASCII letter case as
// Windows matches names on a disc; repeated backslashes, "." and ".." are resolved, never above the
// root. "" names the root, which has no entry: null then, as for a path that is not there.
const iso_entry* iso_image_find(const iso_image& image, const std::string& windows_path);

// The entries whose Rock Ridge path is `rock_ridge_path` (backslashes or slashes, case ignored):
// the index into `entries` of the same entry as Windows sees it, -1 when that is unknown, or -2
// when the image has no such Rock Ridge name.
long iso_image_find_rock_ridge(const iso_image& image, const std::string& rock_ridge_path);

// The entries directly inside the folder `folder_path` ("" for the root), in the image's order.
std::vector<const iso_entry*> iso_image_list(const iso_image& image, const std::string& folder_path);

// Reads the first bytes of the file `entry` (one of image.entries) into *bytes: at most
// min(max_bytes, iso_read_cap). False with the reason in *error when the data cannot be read.
bool iso_image_read(const iso_image& image, const iso_entry& entry, size_t max_bytes, std::string* bytes,
                    std::string* error);

// Why Windows will not find `windows_path` (a path below the root that the medium's files name) on
// the image although Linux may show it: the sentence to add to a finding, or "" when Windows finds
// it or when its absence has nothing to do with the image's names.
std::string iso_image_explain_missing(const iso_image& image, const std::string& windows_path);

// Why Windows names `windows_path`, which it finds on the image, otherwise than it was written: on an
// image without Joliet names, the ISO 9660 names in capitals (and the Rock Ridge name that Linux
// shows, when there is one); "" for an image with Joliet names, whose names are as written.
std::string iso_image_explain_named(const iso_image& image, const std::string& windows_path);
