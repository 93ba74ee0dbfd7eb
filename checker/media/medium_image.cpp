// Tovinel check: a medium held by a disc image, as Windows will see it once burnt: its UDF tree
// (udf_image.h) and its ISO 9660 side (iso_image.h). Medium paths join names with '/'; the image's
// own paths join them with backslashes.
#include <algorithm>

#include "media/iso_image.h"
#include "media/udf_image.h"
#include "media/medium.h"

namespace {

std::string image_path_of(const std::string& medium_path)
{
    std::string path = medium_path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// One file system of an image, answering the checker's questions through its reader's find, list
// and read: the same for an ISO 9660 side and a UDF tree, whose entries are alike.
template <typename Image, typename Entry>
struct image_reader {
    const Entry* (*find)(const Image&, const std::string&);
    std::vector<const Entry*> (*list)(const Image&, const std::string&);
    bool (*read)(const Image&, const Entry&, size_t, std::string*, std::string*);
};

template <typename Image, typename Entry>
class tree_medium : public medium_access {
public:
    tree_medium(Image image, image_reader<Image, Entry> reader) : image_(std::move(image)), reader_(reader) {}

    bool each_entry(const std::string& folder, const std::function<bool(const medium_entry&)>& visit,
                    std::string* why) const override
    {
        if (kind_of(folder, nullptr) != medium_kind::folder) {
            if (why != nullptr)
                *why = "it is no folder of the image";
            return false;
        }
        for (const Entry* entry : reader_.list(image_, image_path_of(folder))) {
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
        const Entry* entry = reader_.find(image_, image_path_of(path));
        return entry == nullptr ? medium_kind::missing : entry->is_folder ? medium_kind::folder : medium_kind::file;
    }

    bool read_start(const std::string& path, size_t limit, std::string* bytes, unsigned long long* size,
                    std::string* why) const override
    {
        bytes->clear();
        *size = 0;
        const Entry* entry = reader_.find(image_, image_path_of(path));
        std::string error;
        if (entry == nullptr || entry->is_folder) {
            error = entry == nullptr ? "it does not exist" : "it is a folder";
        } else {
            *size = entry->size;
            if (reader_.read(image_, *entry, limit, bytes, &error))
                return true;
        }
        if (why != nullptr)
            *why = error;
        return false;
    }

protected:
    Image image_;

private:
    image_reader<Image, Entry> reader_;
};

// The ISO 9660 side: Joliet names, or ISO 9660 names that it explains where Linux shows others.
class image_medium : public tree_medium<iso_image, iso_entry> {
public:
    explicit image_medium(iso_image image)
        : tree_medium(std::move(image), {iso_image_find, iso_image_list, iso_image_read})
    {
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
};

// A disc image's UDF tree: the names Windows XP and later read on a UDF bridge disc, and every
// Windows on a disc with UDF alone. Its names are as written; nothing explains them further.
class udf_medium : public tree_medium<udf_image, udf_entry> {
public:
    explicit udf_medium(udf_image image)
        : tree_medium(std::move(image), {udf_image_find, udf_image_list, udf_image_read})
    {
    }

    std::string where(const std::string& path) const override { return image_.image_path + " (UDF): " + path; }
};

// "1.02" for the BCD revision 0x0102.
std::string revision_words(unsigned revision)
{
    const char digits[] = "0123456789ABCDEF";
    return std::string(1, digits[revision >> 8 & 0xF]) + "." + digits[revision >> 4 & 0xF] + digits[revision & 0xF];
}

}  // namespace

bool medium_in_image(const std::string& image_path, medium_source* source, std::string* error)
{
    iso_image image;
    std::string iso_error;
    bool iso = iso_image_open(image_path, &image, &iso_error);
    udf_image udf;
    bool has_udf = udf_image_present(image_path);
    if (has_udf && !udf_image_open(image_path, &udf, error)) {
        // Windows XP and later read the UDF tree: a check without it would tell them nothing true.
        *error = "its UDF file system cannot be read: " + *error;
        return false;
    }
    if (!iso && !has_udf) {
        *error = iso_error;
        return false;
    }
    source->image = true;
    // What a reader must know to read the volume, where it says so: what Windows weighs.
    unsigned revision = udf.min_read_revision != 0 ? udf.min_read_revision : udf.revision;
    std::string udf_words = "UDF " + revision_words(udf.revision) +
                            (revision != udf.revision ? ", which readers of " + revision_words(revision) + " read" : "");
    std::string iso_words = image.joliet ? "Joliet names" : "ISO 9660 names without Joliet";
    if (!has_udf)
        source->description = image_path + (image.joliet ? " (an ISO image; Windows reads its Joliet names)"
                                                         : " (an ISO image without Joliet names; Windows reads its"
                                                           " ISO 9660 names)");
    else if (iso)
        source->description = image_path + " (a UDF bridge image: " + udf_words + ", and " + iso_words + ")";
    else
        source->description = image_path + " (a UDF image: " + udf_words + ", no ISO 9660 file system)";
    if (has_udf) {
        if (!udf.damage.empty())
            source->unreadable.push_back("'" + image_path + "' (UDF): " + udf.damage + "; read as far as it is sound");
        medium_tree tree;
        tree.kind = file_system::udf;
        tree.udf_revision = revision;
        tree.access = std::make_unique<udf_medium>(std::move(udf));
        source->trees.push_back(std::move(tree));
    }
    if (iso) {
        medium_tree tree;
        tree.kind = image.joliet ? file_system::joliet : file_system::iso9660;
        tree.access = std::make_unique<image_medium>(std::move(image));
        source->trees.push_back(std::move(tree));
    }
    return true;
}
