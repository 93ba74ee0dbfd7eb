// Tovinel check, media: the one way the checker reaches a medium's files, whatever holds them. A
// host folder or an ISO image; a Windows drive can answer the same four questions.
#pragma once

#include <functional>
#include <memory>
#include <string>

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

// The medium held by the ISO image `image_path`, as Windows will see it once burnt: its Joliet names
// when it has them, else its ISO 9660 names (Windows ignores Rock Ridge). Null, with the reason in
// *error, when it is no image this machine can read. *description tells what it is, for people:
// "disc.iso (an ISO image; Windows reads its Joliet names)".
std::unique_ptr<medium_access> medium_in_image(const std::string& image_path, std::string* description,
                                               std::string* error);
