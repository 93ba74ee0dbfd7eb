// Tovinel check, media: the one way the checker reaches a medium's files, whatever holds them. A
// host folder or an ISO image; a Windows drive can answer the same four questions.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

// What a name on the medium is, as far as the checker may go: only regular files are ever read.
enum class medium_kind {
    missing,      // no such name
    file,         // a regular file (a link to one counts as the file)
    folder,
    other,        // a FIFO, device, socket or anything else no Windows medium can hold
    unreadable    // this machine cannot tell: a broken or looping link, no permission
};

struct medium_entry {
    std::string name;    // as the medium spells it, UTF-8
    medium_kind kind;
};

// Paths below the medium's root are its names joined by '/', UTF-8, with no leading slash; "" is
// the root. Every answer is about this machine's view of the medium; `why` (may be null) receives a
// short reason for `other` and `unreadable` ("a FIFO", "a link to /x, which does not exist").
class medium_access {
public:
    virtual ~medium_access() = default;

    // Calls `visit` for each entry of `folder` until it returns false. False when the folder cannot
    // be listed (then `why` tells why).
    virtual bool each_entry(const std::string& folder, const std::function<bool(const medium_entry&)>& visit,
                            std::string* why) const = 0;

    virtual medium_kind kind_of(const std::string& path, std::string* why) const = 0;

    // Reads at most `limit` bytes from the start of the regular file `path` into *bytes, and its
    // whole size into *size. Never opens anything but a regular file, so it cannot block on a FIFO
    // or run on forever on a device. False (with `why`) when the file cannot be read.
    virtual bool read_start(const std::string& path, size_t limit, std::string* bytes, unsigned long long* size,
                            std::string* why) const = 0;

    // How this machine names `path`, for messages: the host path, or the image and the name in it.
    virtual std::string where(const std::string& path) const = 0;

    // Why Windows will not find `path` on the medium although another system shows it there (an
    // image's Rock Ridge names on Linux): a sentence, or "" when there is nothing to say, as for a
    // folder, whose names are the same for every system.
    virtual std::string why_missing(const std::string& /*path*/) const { return ""; }

    // Why Windows sees the name of `path`, which it finds, otherwise than another system shows it
    // (an image without Joliet names: ISO 9660 names in capitals, Rock Ridge names on Linux): a
    // sentence, or "" when the name is the medium's own.
    virtual std::string why_named(const std::string& /*path*/) const { return ""; }
};

// The medium held by the host folder `folder`.
std::unique_ptr<medium_access> medium_in_folder(const std::string& folder);

// The file systems Windows may read on a medium: a host folder's own, and the three an image can hold.
enum class file_system { folder, udf, joliet, iso9660 };

// The kind of drive Windows sees the medium in: what decides whether it starts anything on insertion.
enum class drive_type { optical, removable, fixed };

// One file system of a medium, as the Windows versions that read it see the whole medium.
struct medium_tree {
    file_system kind = file_system::folder;
    unsigned udf_revision = 0;   // UDF: the revision Windows weighs (0x0102 ... 0x0260), BCD as UDF writes it
    std::unique_ptr<medium_access> access;
};

// A medium with every file system some Windows reads on it: a host folder has one; an image its UDF
// tree and its ISO 9660 side (the Joliet names where it has them: every Windows that reads the ISO
// 9660 side reads those), either of which may be missing.
struct medium_source {
    std::string description;     // for people: "disc.iso (an ISO image; ...)"
    bool image = false;
    std::vector<medium_tree> trees;
    // What of the medium cannot be read, each with its reason: a damaged UDF tree, read as far as it
    // is sound.
    std::vector<std::string> unreadable;
};

// The medium held by the ISO image `image_path`, as Windows will see it once burnt: its UDF tree
// when it has one, its Joliet names when it has them, else its ISO 9660 names (Windows ignores
// Rock Ridge). False, with the reason in *error, when it is no image this machine can read.
bool medium_in_image(const std::string& image_path, medium_source* source, std::string* error);

// The medium in the host folder `folder`, or in the image file it names; false with the reason in
// *error when an image cannot be read.
bool medium_open(const std::string& path, medium_source* source, std::string* error);

// The kind of drive that holds the host folder `folder`, where this machine can tell: *how says
// what it went by, for the report ("the block device sdb is removable"). False when it cannot tell
// (a folder on a fixed disk may be a copy of any medium).
bool medium_drive_type(const std::string& folder, drive_type* type, std::string* how);
