// Tovinel check, media: the UDF file system of a disc image, the names Windows XP and later read
// instead of the ISO 9660 and Joliet ones. Read through libudfread, only read, within fixed bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The most bytes of one file that a read ever holds, whatever the caller asks for or the image holds.
constexpr size_t udf_read_cap = 64u << 20;

// One folder or file below the root of the UDF volume.
struct udf_entry {
    std::string path;          // names joined by backslashes, UTF-8, no leading one: "Driver Setup\setup.exe"
    bool is_folder = false;
    uint64_t size = 0;         // of a file's data; 0 for a folder
    // The file's data lies past the end of the image (a cut image): listed, but it cannot be read.
    bool beyond_end = false;
};

// An opened UDF volume. Plain data; entries stay valid as long as the image does.
struct udf_image {
    std::string image_path;          // the host file; "" for an image held in memory
    // The UDF revision the logical volume declares, in the BCD UDF writes: 0x0102, 0x0150, 0x0200,
    // 0x0201, 0x0250 or 0x0260.
    unsigned revision = 0;
    // The Minimum UDF Read Revision its integrity descriptor records (what a reader must know to read
    // it); 0 when the volume has no such descriptor.
    unsigned min_read_revision = 0;
    std::string volume_id;           // UTF-8
    std::vector<udf_entry> entries;  // in the image's order, each folder followed by what it holds; no root
    // "" when the tree was read whole; otherwise one line that tells where the listing left something
    // out or stopped (the first such place, and how many more there were). What was sound is listed.
    std::string damage;
    // Each entry's names as libudfread hands them over (MUTF-8), joined by backslashes: how a read
    // finds the entry again. Parallel to `entries`.
    std::vector<std::string> stored_paths;
    // The image's bytes when it is held in memory (udf_image_open_memory): read instead of image_path.
    std::string_view memory;
};

// Tells whether the regular file `image_path` announces a UDF file system: the volume recognition
// sequence from sector 16 on (after any ISO 9660 descriptors) holds BEA01, then NSR02 or NSR03,
// then TEA01. Reads at most 240 sectors' first bytes; false for anything it cannot read.
bool udf_image_present(const std::string& image_path);

// Opens the regular file `image_path` as a UDF volume of 2048-byte sectors (CD, DVD and Blu-ray
// media) and lists its tree. Reads only volume structures, file entries and folders, never a file's
// data, and stays within fixed bounds whatever the image holds: 60000 entries, 10000 of them in one
// folder, 64 folders deep, 16 MiB of folder data, and (structures and file entries included) about
// 135 MiB of the image in all; a loop of folders is not followed. What lies beyond a bound, or
// cannot be read, is left out and told by `damage`; so is a name Windows cannot hold (one with a
// NUL, a backslash or a slash, or "." or ".."), with what it holds, for Windows shows such a name
// translated in a way of its own and none of them may ever read as a path. False, with a one-line
// reason in *error (no trailing period), when it is no regular file, announces no UDF, or its volume
// or root folder cannot be read at all (libudfread reads no virtual or sparable partition). While
// libudfread reads, `stderr` is a stream that drops its messages: call it from one thread at a time.
bool udf_image_open(const std::string& image_path, udf_image* image, std::string* error);

// udf_image_open on an image held in memory, `bytes`, which must stay unchanged for as long as the
// image is read (the fuzz target's way in).
bool udf_image_open_memory(std::string_view bytes, udf_image* image, std::string* error);

// The entry that `windows_path` names, each name matched without regard to ASCII letter case as
// Windows matches names on a disc, an exact match first; repeated backslashes, "." and ".." are
// resolved, never above the root. "" names the root, which has no entry: null then, as for a path
// that is not there.
const udf_entry* udf_image_find(const udf_image& image, const std::string& windows_path);

// The entries directly inside the folder `folder_path` ("" for the root), in the image's order.
std::vector<const udf_entry*> udf_image_list(const udf_image& image, const std::string& folder_path);

// Reads the first bytes of the file `entry` (one of image.entries) into *bytes: at most
// min(max_bytes, udf_read_cap). Opens the volume again, finds the entry by its stored names and reads
// no more of the image than that needs. False with the reason in *error (no trailing period) when
// the data cannot be read or the image no longer holds that file.
bool udf_image_read(const udf_image& image, const udf_entry& entry, size_t max_bytes, std::string* bytes,
                    std::string* error);
