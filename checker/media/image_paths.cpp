// Tovinel check, media: resolving and comparing the backslash paths of a disc image's entries
// (image_paths.h), for the ISO 9660 and the UDF reader alike.
#include "media/image_paths.h"

std::string image_path_lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::vector<std::string> image_path_names(const std::string& path)
{
    std::vector<std::string> names;
    size_t at = 0;
    while (at <= path.size()) {
        size_t end = path.find('\\', at);
        if (end == std::string::npos)
            end = path.size();
        std::string name = path.substr(at, end - at);
        if (name == "..") {
            if (!names.empty())
                names.pop_back();
        } else if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        at = end + 1;
    }
    return names;
}

std::string image_path_joined(const std::vector<std::string>& names)
{
    std::string path;
    for (const std::string& name : names)
        path += (path.empty() ? "" : "\\") + name;
    return path;
}

std::string image_path_resolved(const std::string& path)
{
    return image_path_joined(image_path_names(path));
}
