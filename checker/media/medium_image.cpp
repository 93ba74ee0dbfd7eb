// Tovinel check: a medium held by an ISO image, as Windows will see it once burnt (iso_image.h).
// Medium paths join names with '/'; the image's own paths join them with backslashes.
#include <algorithm>

#include "media/iso_image.h"
#include "media/medium.h"

namespace {

std::string image_path_of(const std::string& medium_path)
{
    std::string path = medium_path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

class image_medium : public medium_access {
public:
    explicit image_medium(iso_image image) : image_(std::move(image)) {}

    bool each_entry(const std::string& folder, const std::function<bool(const medium_entry&)>& visit,
                    std::string* why) const override
    {
        if (kind_of(folder, nullptr) != medium_kind::folder) {
            if (why != nullptr)
                *why = "it is no folder of the image";
            return false;
        }
        for (const iso_entry* entry : iso_image_list(image_, image_path_of(folder))) {
            std::string name = entry->path.substr(entry->path.rfind('\\') + 1);
            if (!visit({name, entry->is_folder ? medium_kind::folder : medium_kind::file}))
                break;
        }
        return true;
    }

    medium_kind kind_of(const std::string& path, std::string* /*why*/) const override
    {
        if (path.empty())
            return medium_kind::folder;
        const iso_entry* entry = iso_image_find(image_, image_path_of(path));
        return entry == nullptr ? medium_kind::missing : entry->is_folder ? medium_kind::folder : medium_kind::file;
    }

    bool read_start(const std::string& path, size_t limit, std::string* bytes, unsigned long long* size,
                    std::string* why) const override
    {
        bytes->clear();
        *size = 0;
        const iso_entry* entry = iso_image_find(image_, image_path_of(path));
        std::string error;
        if (entry == nullptr || entry->is_folder) {
            error = entry == nullptr ? "it does not exist" : "it is a folder";
        } else {
            *size = entry->size;
            if (iso_image_read(image_, *entry, limit, bytes, &error))
                return true;
        }
        if (why != nullptr)
            *why = error;
        return false;
    }

    std::string where(const std::string& path) const override { return image_.image_path + ": " + path; }

    std::string why_missing(const std::string& path) const override
    {
        return iso_image_explain_missing(image_, image_path_of(path));
    }

    std::string why_named(const std::string& path) const override
    {
        return iso_image_explain_named(image_, image_path_of(path));
    }

private:
    iso_image image_;
};

}  // namespace

bool medium_in_image(const std::string& image_path, medium_source* source, std::string* error)
{
    iso_image image;
    if (!iso_image_open(image_path, &image, error))
        return false;
    source->image = true;
    source->description = image_path + (image.joliet ? " (an ISO image; Windows reads its Joliet names)"
                                                     : " (an ISO image without Joliet names; Windows reads its"
                                                       " ISO 9660 names)");
    if (image.udf)
        source->description += "; it also holds a UDF file system, which Windows reads instead and this check does not";
    medium_tree tree;
    tree.kind = image.joliet ? file_system::joliet : file_system::iso9660;
    tree.access = std::make_unique<image_medium>(std::move(image));
    source->trees.push_back(std::move(tree));
    return true;
}
