// Tovinel check: an ISO 9660 image as Windows will see it, read through libarchive's iso9660 reader.
// Each view (Joliet, ISO 9660, Rock Ridge) is one bounded pass over the image with its own options.
#include "media/iso_image.h"

#include "media/image_paths.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <functional>
#include <map>

namespace {

// Bytes of the image that one pass may read besides the data of the file it reads: the volume
// descriptors, path tables and folders of any real disc fit many times over, and libarchive's
// memory for what it parses stays within tens of MiB.
constexpr uint64_t listing_budget = 16u << 20;
// Entries one listing keeps: beyond any distribution medium, and the listing's memory (about 1 KiB
// an entry, both views together) stays within 64 MiB.
constexpr size_t entry_limit = 60000;
constexpr size_t block_size = 64u << 10;

// The image file as libarchive reads it: through these callbacks, so that every byte handed over
// counts against the pass's budget. Skips seek rather than read, so skipped file data costs nothing.
struct image_source {
    int descriptor = -1;
    uint64_t delivered = 0;
    uint64_t budget = 0;
    bool over_budget = false;
    std::vector<char> block = std::vector<char>(block_size);
};

la_ssize_t source_read(struct archive* reader, void* data, const void** buffer)
{
    image_source* source = static_cast<image_source*>(data);
    if (source->delivered >= source->budget) {
        source->over_budget = true;
        archive_set_error(reader, EFBIG, "over budget");
        return -1;
    }
    ssize_t got;
    do
        got = read(source->descriptor, source->block.data(), source->block.size());
    while (got < 0 && errno == EINTR);
    if (got < 0) {
        archive_set_error(reader, errno, "reading it failed: %s", strerror(errno));
        return -1;
    }
    source->delivered += static_cast<uint64_t>(got);
    *buffer = source->block.data();
    return got;
}

la_int64_t source_skip(struct archive* /*reader*/, void* data, la_int64_t request)
{
    image_source* source = static_cast<image_source*>(data);
    // Even past the end of a cut image: the entries after the cut still list, and only reading
    // their data then fails.
    if (request <= 0 || lseek(source->descriptor, request, SEEK_CUR) < 0)
        return 0;
    return request;
}

la_int64_t source_seek(struct archive* /*reader*/, void* data, la_int64_t offset, int whence)
{
    image_source* source = static_cast<image_source*>(data);
    off_t at = lseek(source->descriptor, offset, whence);
    return at < 0 ? ARCHIVE_FATAL : at;
}

// Joliet names come as UTF-16 and are handed over in the current locale's charset: the passes run
// under C.UTF-8 so that every name arrives as UTF-8, whatever the user's locale.
struct utf8_names {
    locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    locale_t previous = utf8 != nullptr ? uselocale(utf8) : nullptr;
    ~utf8_names()
    {
        if (utf8 != nullptr) {
            uselocale(previous);
            freelocale(utf8);
        }
    }
};

enum class view { windows_joliet, iso9660, rock_ridge };

// One pass: opens the image with the options of `names` and hands each entry to `visit` with the
// status libarchive gave it (ARCHIVE_OK or ARCHIVE_WARN); `visit` returns false to end the pass
// early. `extra_budget` is what the pass may read beyond the listing (the data of a file). False,
// with the reason in *error, when the image cannot be read to its end (or to where `visit` stopped).
bool pass(const std::string& image_path, view names, uint64_t extra_budget,
          const std::function<bool(struct archive*, struct archive_entry*, int)>& visit, std::string* error)
{
    image_source source;
    source.descriptor = open(image_path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (source.descriptor < 0) {
        *error = "it cannot be opened: " + std::string(strerror(errno));
        return false;
    }
    struct stat facts;
    if (fstat(source.descriptor, &facts) != 0 || !S_ISREG(facts.st_mode)) {
        close(source.descriptor);
        *error = "it is no regular file";
        return false;
    }
    source.budget = listing_budget + extra_budget;

    utf8_names in_utf8;
    struct archive* reader = archive_read_new();
    archive_read_support_format_iso9660(reader);
    // A null value turns an option off; Windows reads no Rock Ridge, and Joliet only when present.
    archive_read_set_format_option(reader, "iso9660", "rockridge", names == view::rock_ridge ? "1" : nullptr);
    archive_read_set_format_option(reader, "iso9660", "joliet", names == view::windows_joliet ? "1" : nullptr);
    archive_read_set_callback_data(reader, &source);
    archive_read_set_read_callback(reader, source_read);
    archive_read_set_skip_callback(reader, source_skip);
    archive_read_set_seek_callback(reader, source_seek);
    bool whole = archive_read_open1(reader) == ARCHIVE_OK;
    size_t count = 0;
    bool too_many = false;
    struct archive_entry* entry = nullptr;
    int status = ARCHIVE_OK;
    while (whole && (status = archive_read_next_header(reader, &entry)) != ARCHIVE_EOF) {
        if (status != ARCHIVE_OK && status != ARCHIVE_WARN) {
            whole = false;
            break;
        }
        if (++count > entry_limit) {
            too_many = true;
            whole = false;
            break;
        }
        if (!visit(reader, entry, status))
            break;
    }
    if (!whole) {
        const char* reason = archive_error_string(reader);
        if (too_many)
            *error = "it holds more than " + std::to_string(entry_limit) +
                     " files and folders, more than this check lists";
        else if (source.over_budget)
            *error = "it needs more than " + std::to_string(listing_budget >> 20) +
                     " MiB of folder data to be listed, more than this check reads";
        else if (archive_format(reader) == 0)
            *error = "it is no ISO 9660 image (" + std::string(reason != nullptr ? reason : "unknown format") + ")";
        else
            *error = "it cannot be read as an ISO 9660 image: " +
                     std::string(reason != nullptr ? reason : "libarchive gives no reason");
    }
    archive_read_free(reader);
    close(source.descriptor);
    return whole;
}

// A pass's entry, before the views are put together.
struct listed {
    std::string path;      // backslashes
    bool is_folder;
    uint64_t size;
    bool beyond_end;
    std::string hard_link; // the earlier entry whose data this one shares, or ""
};

std::string with_backslashes(std::string path)
{
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

bool list_view(const std::string& image_path, view names, std::vector<listed>* entries, bool* rock_ridge,
               std::string* error)
{
    entries->clear();
    return pass(
        image_path, names, 0,
        [&](struct archive* reader, struct archive_entry* entry, int status) {
            const char* name = archive_entry_pathname(entry);
            if (name == nullptr)
                return true;  // a name that cannot be converted: nothing to match against
            std::string path = image_path_resolved(with_backslashes(name));
            if (path.empty())
                return true;  // the root itself
            bool folder = archive_entry_filetype(entry) == AE_IFDIR;
            // libarchive warns, leaving the entry without type or size, when its data lies past the
            // end of the volume.
            bool beyond = status == ARCHIVE_WARN && archive_entry_filetype(entry) == 0;
            const char* link = archive_entry_hardlink(entry);
            bool sized = !folder && archive_entry_size_is_set(entry);
            uint64_t size = sized ? static_cast<uint64_t>(archive_entry_size(entry)) : 0;
            entries->push_back(
                {path, folder, size, beyond, link != nullptr ? image_path_resolved(with_backslashes(link)) : ""});
            if (rock_ridge != nullptr)
                *rock_ridge = archive_format(reader) == ARCHIVE_FORMAT_ISO9660_ROCKRIDGE;
            return true;
        },
        error);
}

// Sector 16 on holds the volume descriptors, 2048 bytes each, up to the terminator (type 255). A
// supplementary descriptor (type 2) whose escape sequence at byte 88 is "%/@", "%/C" or "%/E" (UCS-2
// levels 1 to 3) is Joliet's: the one Windows reads names from. libarchive reads the Joliet names
// but does not tell whether it found them, and two passes compare equal when the Joliet names equal
// the ISO 9660 ones; these few bytes tell for sure. (A UDF file system after them is udf_image's.)
void probe_descriptors(const std::string& image_path, bool* joliet)
{
    *joliet = false;
    int descriptor = open(image_path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return;
    unsigned char sector[2048];
    bool ended = false;
    // 64 descriptors: beyond what any mastering tool writes, and a bound on a hostile chain.
    for (off_t index = 16; index < 16 + 64; ++index) {
        if (pread(descriptor, sector, sizeof sector, index * 2048) != static_cast<ssize_t>(sizeof sector))
            break;
        const char* id = reinterpret_cast<const char*>(sector + 1);
        if (!ended && memcmp(id, "CD001", 5) == 0) {
            if (sector[0] == 2 && sector[88] == '%' && sector[89] == '/' &&
                (sector[90] == '@' || sector[90] == 'C' || sector[90] == 'E'))
                *joliet = true;
            ended = sector[0] == 255;
        } else {
            break;
        }
    }
    close(descriptor);
}

// The index that stands for the root folder, which has no entry.
constexpr size_t root_folder = static_cast<size_t>(-1);

// Index of each path's entry, and of the children of each folder (root_folder: the root).
struct tree_index {
    std::map<std::string, size_t> by_path;
    std::map<size_t, std::vector<size_t>> children;
};

tree_index index_tree(const std::vector<listed>& entries)
{
    tree_index tree;
    for (size_t i = 0; i < entries.size(); ++i)
        tree.by_path.emplace(entries[i].path, i);
    for (size_t i = 0; i < entries.size(); ++i) {
        size_t slash = entries[i].path.rfind('\\');
        size_t parent = root_folder;
        if (slash != std::string::npos) {
            auto found = tree.by_path.find(entries[i].path.substr(0, slash));
            if (found == tree.by_path.end())
                continue;  // an orphan: never paired
            parent = found->second;
        }
        tree.children[parent].push_back(i);
    }
    return tree;
}

std::string last_name(const std::string& path)
{
    return path.substr(path.rfind('\\') + 1);
}

// Pairs each Windows entry with the Rock Ridge entry that is the same file or folder, folder by
// folder from the root: first by equal names, then, for what is left in a folder, the one left
// entry of the same kind and size (a Joliet name cut at 64 characters, a character Joliet cannot
// hold). Entries that cannot be told apart stay unpaired (-1): better no explanation than a wrong one.
std::vector<long> pair_by_folders(const std::vector<listed>& windows, const std::vector<listed>& rock_ridge)
{
    std::vector<long> pair(rock_ridge.size(), -1);
    tree_index windows_tree = index_tree(windows);
    tree_index rock_ridge_tree = index_tree(rock_ridge);
    std::deque<std::pair<size_t, size_t>> folders = {{root_folder, root_folder}};
    while (!folders.empty()) {
        auto [windows_folder, rock_ridge_folder] = folders.front();
        folders.pop_front();
        auto same_kind = [&](size_t w, size_t r) {
            return windows[w].is_folder == rock_ridge[r].is_folder && windows[w].size == rock_ridge[r].size;
        };
        auto take = [&](size_t w, size_t r) {
            pair[r] = static_cast<long>(w);
            if (windows[w].is_folder)
                folders.push_back({w, r});
        };
        // Equal names first: a map keeps this linear in the folder's size, whatever its order.
        std::multimap<std::string, size_t> by_name;
        for (size_t r : rock_ridge_tree.children[rock_ridge_folder])
            by_name.emplace(last_name(rock_ridge[r].path), r);
        std::vector<size_t> windows_unpaired;
        for (size_t w : windows_tree.children[windows_folder]) {
            auto [first, end] = by_name.equal_range(last_name(windows[w].path));
            while (first != end && !same_kind(w, first->second))
                ++first;
            if (first == end) {
                windows_unpaired.push_back(w);
                continue;
            }
            take(w, first->second);
            by_name.erase(first);
        }
        // The rest only where few are left: a folder of renamed thousands is no case to guess in.
        if (windows_unpaired.size() > 64 || by_name.size() > 64)
            continue;
        for (size_t w : windows_unpaired) {
            size_t only = 0;
            unsigned candidates = 0;
            for (const auto& [name, r] : by_name)
                if (same_kind(w, r) && pair[r] < 0) {
                    only = r;
                    ++candidates;
                }
            if (candidates == 1)
                take(w, only);
        }
    }
    return pair;
}

// Without Joliet, Windows reads the very folder records that carry the Rock Ridge names, and both
// passes list them in the same order: the n-th entries are the same, as long as the two agree.
std::vector<long> pair_by_order(const std::vector<listed>& windows, const std::vector<listed>& rock_ridge)
{
    std::vector<long> pair(rock_ridge.size(), -1);
    if (windows.size() != rock_ridge.size())
        return pair;
    for (size_t i = 0; i < windows.size(); ++i)
        if (windows[i].is_folder != rock_ridge[i].is_folder || windows[i].size != rock_ridge[i].size)
            return std::vector<long>(rock_ridge.size(), -1);
    for (size_t i = 0; i < windows.size(); ++i)
        pair[i] = static_cast<long>(i);
    return pair;
}

}  // namespace

bool iso_image_open(const std::string& image_path, iso_image* image, std::string* error)
{
    *image = iso_image{};
    image->image_path = image_path;
    struct stat facts;
    if (stat(image_path.c_str(), &facts) != 0) {
        *error = "it cannot be read: " + std::string(strerror(errno));
        return false;
    }
    if (!S_ISREG(facts.st_mode)) {
        *error = "it is no regular file";
        return false;
    }
    probe_descriptors(image_path, &image->joliet);

    std::vector<listed> windows;
    std::vector<listed> rock_ridge;
    std::string reason;
    if (!list_view(image_path, image->joliet ? view::windows_joliet : view::iso9660, &windows, nullptr, &reason) ||
        !list_view(image_path, view::rock_ridge, &rock_ridge, &image->rock_ridge, &reason)) {
        *error = reason;
        return false;
    }
    std::vector<long> pair;
    if (image->rock_ridge)
        pair = image->joliet ? pair_by_folders(windows, rock_ridge) : pair_by_order(windows, rock_ridge);

    std::map<std::string, long> windows_index;
    for (const listed& entry : windows) {
        windows_index.emplace(entry.path, static_cast<long>(image->entries.size()));
        image->entries.push_back({entry.path, entry.is_folder, entry.size, entry.beyond_end, ""});
        long source = static_cast<long>(image->data_of.size());
        if (!entry.hard_link.empty()) {
            // A later name for the data of an earlier entry: libarchive hands the data out once.
            auto target = windows_index.find(entry.hard_link);
            if (target != windows_index.end()) {
                source = target->second;
                image->entries.back().size = image->entries[static_cast<size_t>(source)].size;
            }
        }
        image->data_of.push_back(source);
    }
    for (size_t r = 0; image->rock_ridge && r < rock_ridge.size(); ++r) {
        image->rock_ridge_entries.push_back({rock_ridge[r].path, pair[r]});
        if (pair[r] >= 0 && rock_ridge[r].path != image->entries[static_cast<size_t>(pair[r])].path)
            image->entries[static_cast<size_t>(pair[r])].rock_ridge_path = rock_ridge[r].path;
    }
    return true;
}

const iso_entry* iso_image_find(const iso_image& image, const std::string& windows_path)
{
    return image_path_find(image.entries, windows_path);
}

long iso_image_find_rock_ridge(const iso_image& image, const std::string& rock_ridge_path)
{
    std::string wanted = image_path_lower(image_path_resolved(with_backslashes(rock_ridge_path)));
    for (const auto& [path, index] : image.rock_ridge_entries)
        if (path.size() == wanted.size() && image_path_lower(path) == wanted)
            return index;
    return -2;
}

std::vector<const iso_entry*> iso_image_list(const iso_image& image, const std::string& folder_path)
{
    return image_path_list(image.entries, folder_path);
}

bool iso_image_read(const iso_image& image, const iso_entry& entry, size_t max_bytes, std::string* bytes,
                    std::string* error)
{
    bytes->clear();
    if (&entry < image.entries.data() || &entry >= image.entries.data() + image.entries.size()) {
        *error = "the entry is not one of this image's";
        return false;
    }
    size_t index = static_cast<size_t>(&entry - image.entries.data());
    if (entry.is_folder) {
        *error = "it is a folder";
        return false;
    }
    if (entry.beyond_end) {
        *error = "its data lies past the end of the image: the image is cut short";
        return false;
    }
    size_t wanted = std::min<uint64_t>({max_bytes, iso_read_cap, entry.size});
    long source = image.data_of[index];
    long ordinal = -1;
    bool found = false;
    std::string reason;
    bool whole = pass(
        image.image_path, image.joliet ? view::windows_joliet : view::iso9660, wanted + block_size,
        [&](struct archive* reader, struct archive_entry* listed_entry, int /*status*/) {
            const char* name = archive_entry_pathname(listed_entry);
            if (name == nullptr || image_path_resolved(with_backslashes(name)).empty())
                return true;
            if (++ordinal != source)
                return true;
            found = true;
            if (image_path_resolved(with_backslashes(name)) != image.entries[static_cast<size_t>(source)].path) {
                reason = "the image changed while it was read";
                return false;
            }
            std::vector<char> chunk(block_size);
            while (bytes->size() < wanted) {
                size_t piece = std::min(chunk.size(), wanted - bytes->size());
                la_ssize_t got = archive_read_data(reader, chunk.data(), piece);
                if (got < 0) {
                    const char* why = archive_error_string(reader);
                    reason = std::string("its data cannot be read: ") + (why != nullptr ? why : "no reason given");
                    return false;
                }
                if (got == 0)
                    break;
                bytes->append(chunk.data(), static_cast<size_t>(got));
            }
            return false;
        },
        &reason);
    if (!found || !reason.empty() || !whole) {
        *error = reason.empty() ? "it is not found on a second reading" : reason;
        bytes->clear();
        return false;
    }
    if (bytes->size() < wanted) {
        *error = "its data ends early: the image is cut short";
        bytes->clear();
        return false;
    }
    return true;
}

namespace {

// Tells whether every name of `path` can be an ISO 9660 name as it is written: capitals (Windows
// matches them ignoring case), digits and underscores, at most one dot, and 8.3 at level 1 (31
// bytes at the higher levels).
bool fits_iso9660(const std::string& path, bool level1)
{
    for (const std::string& name : image_path_names(path)) {
        size_t dot = name.find('.');
        std::string stem = name.substr(0, dot);
        std::string extension = dot == std::string::npos ? "" : name.substr(dot + 1);
        if (stem.empty() || extension.find('.') != std::string::npos || name.size() > 31 ||
            (level1 && (stem.size() > 8 || extension.size() > 3)))
            return false;
        for (char c : stem + extension) {
            bool d_character = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
            if (!d_character)
                return false;
        }
    }
    return true;
}

const char joliet_advice[] =
    " Make the image with Joliet names as well (xorriso -as mkisofs -J -R, genisoimage -J -R).";

}  // namespace

std::string iso_image_explain_missing(const iso_image& image, const std::string& windows_path)
{
    std::string wanted = image_path_resolved(windows_path);
    if (wanted.empty() || iso_image_find(image, wanted) != nullptr)
        return "";
    long same = iso_image_find_rock_ridge(image, wanted);
    std::string shown = same >= 0 ? image.entries[static_cast<size_t>(same)].path : "";
    if (!image.joliet) {
        std::string text = "this image has no Joliet names, so Windows reads its ISO 9660 names";
        if (same >= 0)
            return text + ", where " + wanted + " is " + shown + "; Linux shows " + wanted +
                   " because it reads the Rock Ridge names, which Windows ignores." + joliet_advice;
        if (same == -1)
            return text + ", and Linux shows " + wanted + " only because it reads the Rock Ridge names, which"
                   " Windows ignores." + joliet_advice;
        bool level1 = true;
        for (const iso_entry& entry : image.entries)
            level1 = level1 && fits_iso9660(entry.path, true);
        if (!fits_iso9660(wanted, level1))
            return text + std::string(", names in capitals, digits and underscores") +
                   (level1 ? ", 8.3 at most" : "") + ": " + wanted + " cannot be one of them." + joliet_advice;
        return "";
    }
    if (same >= 0)
        return "Windows reads this image's Joliet names, where " + wanted + " is " + shown +
               " (Joliet holds 64 characters of a name and no * / : ; ? \\); Linux shows " + wanted +
               " because it reads the Rock Ridge names. Shorten the name, or make the image with"
               " xorriso -joliet-long (103 characters).";
    if (same == -1)
        return "Linux shows " + wanted + " because it reads this image's Rock Ridge names, but the Joliet names"
               " that Windows reads hold no such name.";
    return "";
}

std::string iso_image_explain_named(const iso_image& image, const std::string& windows_path)
{
    const iso_entry* entry = iso_image_find(image, image_path_resolved(windows_path));
    if (image.joliet || entry == nullptr)
        return "";
    std::string text = "this image has no Joliet names, so Windows reads its ISO 9660 names";
    if (entry->rock_ridge_path.empty())
        return text + ", which are written in capitals." + joliet_advice;
    return text + ", where " + entry->rock_ridge_path + " is " + entry->path + "; Linux shows " +
           entry->rock_ridge_path + " because it reads the Rock Ridge names, which Windows ignores." + joliet_advice;
}
