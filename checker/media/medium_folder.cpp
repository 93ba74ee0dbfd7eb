// Tovinel check: a medium held by a host folder, reached through std::filesystem only.
// Links are followed to what they name; only a regular file is ever opened.
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "media/medium.h"

namespace {

namespace fs = std::filesystem;

void tell(std::string* why, const std::string& text)
{
    if (why != nullptr)
        *why = text;
}

class folder_medium : public medium_access {
public:
    explicit folder_medium(std::string folder) : root_(std::move(folder)) {}

    bool each_entry(const std::string& folder, const std::function<bool(const medium_entry&)>& visit,
                    std::string* why) const override
    {
        std::error_code error;
        fs::directory_iterator entries(host(folder), error);
        if (error) {
            tell(why, error.message());
            return false;
        }
        for (const fs::directory_entry& entry : entries) {
            std::string name = entry.path().filename().u8string();
            if (!visit({name, kind_at(entry.path(), nullptr)}))
                break;
        }
        return true;
    }

    medium_kind kind_of(const std::string& path, std::string* why) const override
    {
        return kind_at(host(path), why);
    }

    bool read_start(const std::string& path, size_t limit, std::string* bytes, unsigned long long* size,
                    std::string* why) const override
    {
        bytes->clear();
        *size = 0;
        std::string kind_why;
        medium_kind kind = kind_of(path, &kind_why);
        if (kind != medium_kind::file) {
            tell(why, kind == medium_kind::folder ? "it is a folder" : kind == medium_kind::missing ? "it does not exist"
                                                                                                  : kind_why);
            return false;
        }
        std::error_code error;
        *size = fs::file_size(host(path), error);
        errno = 0;
        std::ifstream file(host(path), std::ios::binary);  // read only: nothing on the medium is written
        if (!file) {
            tell(why, errno != 0 ? std::generic_category().message(errno) : "it cannot be opened");
            return false;
        }
        // Read in pieces up to the limit: the size told may be wrong for files that change.
        char piece[65536];
        while (bytes->size() < limit && file) {
            size_t wanted = std::min(sizeof piece, limit - bytes->size());
            file.read(piece, static_cast<std::streamsize>(wanted));
            bytes->append(piece, static_cast<size_t>(file.gcount()));
        }
        if (file.bad()) {
            tell(why, "reading it failed");
            return false;
        }
        return true;
    }

    std::string where(const std::string& path) const override { return host(path).u8string(); }

private:
    fs::path host(const std::string& path) const
    {
        return path.empty() ? fs::u8path(root_) : fs::u8path(root_) / fs::u8path(path);
    }

    static medium_kind kind_at(const fs::path& path, std::string* why)
    {
        std::error_code error;
        fs::file_status link = fs::symlink_status(path, error);
        if (error) {
            if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory)
                return medium_kind::missing;
            tell(why, error.message());
            return medium_kind::unreadable;
        }
        fs::file_status target = link;
        if (fs::is_symlink(link)) {
            target = fs::status(path, error);
            if (error || !fs::exists(target)) {
                std::error_code ignored;
                std::string to = fs::read_symlink(path, ignored).u8string();
                tell(why, error && error != std::errc::no_such_file_or_directory
                              ? "a link to " + to + " (" + error.message() + ")"
                              : "a link to " + to + ", which does not exist");
                return medium_kind::unreadable;
            }
        }
        switch (target.type()) {
        case fs::file_type::regular:
            return medium_kind::file;
        case fs::file_type::directory:
            return medium_kind::folder;
        case fs::file_type::fifo:
            tell(why, "a FIFO, not a regular file");
            return medium_kind::other;
        case fs::file_type::character:
        case fs::file_type::block:
            tell(why, "a device, not a regular file");
            return medium_kind::other;
        case fs::file_type::socket:
            tell(why, "a socket, not a regular file");
            return medium_kind::other;
        default:
            tell(why, "not a regular file");
            return medium_kind::other;
        }
    }

    std::string root_;
};

}  // namespace

std::unique_ptr<medium_access> medium_in_folder(const std::string& folder)
{
    return std::make_unique<folder_medium>(folder);
}

bool medium_open(const std::string& path, medium_source* source, std::string* error)
{
    *source = medium_source{};
    std::error_code ignored;
    // A regular file is an image: the checks then see what Windows will see once it is burnt.
    if (fs::is_regular_file(fs::u8path(path), ignored))
        return medium_in_image(path, source, error);
    source->description = path;
    medium_tree tree;
    tree.access = medium_in_folder(path);
    source->trees.push_back(std::move(tree));
    return true;
}
