// Tovinel check, media: paths inside a disc image as Windows names them, names joined by backslashes
// and matched without regard to ASCII letter case. Shared by the ISO 9660 and the UDF reader.
#pragma once

#include <string>
#include <vector>

// `text` with ASCII capitals made small; other bytes, UTF-8 included, stay as they are.
std::string image_path_lower(std::string text);

// The names of the backslash path `path`, resolved as Windows resolves them: empty names and "."
// dropped, ".." a step back that never leaves the root.
std::vector<std::string> image_path_names(const std::string& path);

// `names` joined by backslashes, without a leading one: "" for none (the root).
std::string image_path_joined(const std::vector<std::string>& names);

// `path` resolved: image_path_joined(image_path_names(path)).
std::string image_path_resolved(const std::string& path);

// The entry of `entries` (each with a `path` member, resolved) that `windows_path` names: the one
// with exactly that path, else the first whose path differs only in ASCII letter case, as Windows
// opens a name on a disc. Null for the root ("") and for a path that is not there.
template <class Entry>
const Entry* image_path_find(const std::vector<Entry>& entries, const std::string& windows_path)
{
    std::string wanted = image_path_resolved(windows_path);
    if (wanted.empty())
        return nullptr;
    std::string wanted_lower = image_path_lower(wanted);
    const Entry* folded = nullptr;
    for (const Entry& entry : entries) {
        if (entry.path == wanted)
            return &entry;
        if (folded == nullptr && entry.path.size() == wanted.size() && image_path_lower(entry.path) == wanted_lower)
            folded = &entry;
    }
    return folded;
}

// The entries of `entries` directly inside the folder `folder_path` ("" for the root), letter case
// ignored, in their order.
template <class Entry>
std::vector<const Entry*> image_path_list(const std::vector<Entry>& entries, const std::string& folder_path)
{
    std::string folder = image_path_lower(image_path_resolved(folder_path));
    std::vector<const Entry*> inside;
    for (const Entry& entry : entries) {
        size_t slash = entry.path.rfind('\\');
        std::string parent = slash == std::string::npos ? "" : entry.path.substr(0, slash);
        if (parent.size() == folder.size() && image_path_lower(parent) == folder)
            inside.push_back(&entry);
    }
    return inside;
}
