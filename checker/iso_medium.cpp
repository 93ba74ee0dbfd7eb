// Tovinel check: an ISO image laid out as Windows will see it, for the checks that read a medium
// folder, and the findings about the names Windows will see differently from Linux.
#include "iso_medium.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "config.h"
#include "ini_reader.h"

namespace {

const char autorun_file_name[] = "autorun.inf";

// All the bytes that the views of one image may hold on the host.
constexpr uint64_t copied_cap = 128u << 20;

std::string lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool ends_with(const std::string& text, const char* tail)
{
    size_t length = strlen(tail);
    return text.size() >= length && text.compare(text.size() - length, length, tail) == 0;
}

// How much of a file the checks may read: texts and icons whole; the headers, version record and
// resources of programs; the first bytes of anything else, enough to tell what kind of file it is.
size_t bytes_worth_copying(const iso_entry& entry)
{
    std::string name = lower(entry.path);
    for (const char* text : {".ini", ".inf", ".ico"})
        if (ends_with(name, text))
            return iso_read_cap;
    for (const char* program : {".exe", ".com", ".scr", ".dll", ".msi", ".bat", ".cmd", ".pif"})
        if (ends_with(name, program))
            return 256u << 10;
    return 4u << 10;
}

// The host path of an entry's Windows path below the view's folder.
std::string host_path(const std::string& folder, const std::string& windows_path)
{
    std::string path = folder + "/" + windows_path;
    for (size_t at = folder.size() + 1; at < path.size(); ++at)
        if (path[at] == '\\')
            path[at] = '/';
    return path;
}

int remove_one(const char* path, const struct stat* /*facts*/, int /*type*/, struct FTW* /*where*/)
{
    remove(path);
    return 0;
}

// The value of `key` in `section` of the .ini text, never cut.
std::string value_in(const std::string& text, const char* section, const char* key)
{
    std::string value(text.size() + 1, '\0');
    unsigned length = ini_read_text(text.data(), text.size(), section, key, &value[0], static_cast<unsigned>(value.size()));
    value.resize(length);
    return value;
}

bool read_host_file(const std::string& path, std::string* text)
{
    int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    char buffer[1 << 14];
    ssize_t got;
    while ((got = read(descriptor, buffer, sizeof buffer)) > 0)
        text->append(buffer, static_cast<size_t>(got));
    close(descriptor);
    return got == 0;
}

struct name_finder {
    const iso_medium& medium;
    std::vector<check_finding>& found;

    // Adds a finding for the first of `candidates` (paths below the root, tried in order as Windows
    // tries them) that the image's names explain, unless Windows finds one of them first.
    void check(const char* file, unsigned line, const std::string& what, const std::vector<std::string>& candidates)
    {
        for (const std::string& candidate : candidates) {
            if (iso_image_find(medium.image, candidate) != nullptr)
                return;
            std::string why = iso_image_explain_missing(medium.image, candidate);
            if (!why.empty()) {
                found.push_back({file, line, what + " names " + candidate + ", which Windows will not find: " + why, false});
                return;
            }
        }
    }
};

// The paths below the root that a command names as Windows tries them: the text up to the first
// blank, then up to each further blank; ".exe" after a name without extension; a quoted program
// ends at its closing quote. `folder` is where a relative path starts ("" for the root).
std::vector<std::string> command_paths(const std::string& command, const std::string& folder)
{
    std::vector<std::string> paths;
    auto add = [&](std::string path) {
        std::string base = path.compare(0, 1, "\\") == 0 || folder.empty() ? "" : folder + "\\";
        paths.push_back(base + path);
        std::string last = path.substr(path.rfind('\\') + 1);
        if (last.find('.') == std::string::npos)
            paths.push_back(base + path + ".exe");
    };
    if (command.compare(0, 1, "\"") == 0) {
        add(command.substr(1, command.find('"', 1) - 1));
        return paths;
    }
    for (size_t blank = command.find(' ');; blank = command.find(' ', blank + 1)) {
        add(command.substr(0, blank));
        if (blank == std::string::npos)
            break;
    }
    return paths;
}

}  // namespace

bool iso_medium_open(const std::string& image_path, iso_medium* medium, std::string* error)
{
    iso_medium_remove(medium);
    *medium = iso_medium{};
    if (!iso_image_open(image_path, &medium->image, error))
        return false;
    const char* temporary = getenv("TMPDIR");
    std::string pattern = std::string(temporary != nullptr && temporary[0] != '\0' ? temporary : "/tmp") +
                          "/tovinel-check-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) {
        *error = "no temporary folder can be made for the image's files: " + std::string(strerror(errno));
        return false;
    }
    medium->folder = pattern;
    for (const iso_entry& entry : medium->image.entries)
        if (entry.is_folder && mkdir(host_path(medium->folder, entry.path).c_str(), 0700) != 0)
            ++medium->not_laid_out;
    bool read = iso_image_read_each(
        medium->image, copied_cap, bytes_worth_copying,
        [&](const iso_entry& entry, const std::string& bytes, bool complete) {
            std::string path = host_path(medium->folder, entry.path);
            long shares = medium->image.data_of[static_cast<size_t>(&entry - medium->image.entries.data())];
            const iso_entry& owner = medium->image.entries[static_cast<size_t>(shares)];
            if (&owner != &entry) {
                // A hard link on the image is one here too: the earlier name's data is already laid out.
                if (link(host_path(medium->folder, owner.path).c_str(), path.c_str()) != 0)
                    ++medium->not_laid_out;
                return;
            }
            if (!complete)
                ++medium->unreadable;
            int descriptor = open(path.c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (descriptor < 0) {
                ++medium->not_laid_out;
                return;
            }
            bool written = write(descriptor, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
            // The real size, for the checks that tell sizes; what was not copied reads as zeros.
            if (!written || ftruncate(descriptor, static_cast<off_t>(entry.size)) != 0)
                ++medium->not_laid_out;
            close(descriptor);
        },
        error);
    if (!read) {
        iso_medium_remove(medium);
        return false;
    }
    return true;
}

void iso_medium_remove(iso_medium* medium)
{
    if (medium->folder.empty())
        return;
    nftw(medium->folder.c_str(), remove_one, 16, FTW_DEPTH | FTW_PHYS);
    medium->folder.clear();
}

std::string iso_medium_description(const iso_medium& medium)
{
    return medium.image.image_path + (medium.image.joliet ? " (an ISO image; Windows reads its Joliet names)"
                                                          : " (an ISO image without Joliet names; Windows reads its"
                                                            " ISO 9660 names)");
}

std::vector<check_finding> iso_medium_findings(const iso_medium& medium, const check_options& options)
{
    std::vector<check_finding> found;
    name_finder names{medium, found};
    std::string config_host;
    std::string text;
    std::string config = check_launcher_folder(options) + config_file_name;
    if (check_host_path(options, config, &config_host, nullptr) && read_host_file(config_host, &text)) {
        std::string run = value_in(text, section_setup, key_run);
        if (!run.empty() && run.size() < path_capacity)
            names.check(config_file_name, check_key_line(text, section_setup, key_run), "Run",
                        command_paths(run, options.folder));
    }
    std::string autorun_host;
    text.clear();
    std::string root = check_launcher_folder(options).substr(0, 3);
    if (check_host_path(options, root + autorun_file_name, &autorun_host, nullptr) &&
        read_host_file(autorun_host, &text)) {
        for (const char* key : {"open", "shellexecute", "icon"}) {
            std::string value = value_in(text, "autorun", key);
            if (std::string(key) == "icon")
                value = value.substr(0, value.rfind(','));
            if (!value.empty())
                names.check(autorun_file_name, check_key_line(text, "autorun", key), key,
                            std::string(key) == "icon" ? std::vector<std::string>{value} : command_paths(value, ""));
        }
    }
    if (medium.image.udf)
        found.push_back({"image", 0,
                         "The image also holds a UDF file system, which Windows reads instead; this check reads"
                         " the Joliet or ISO 9660 names only.",
                         true});
    if (medium.not_laid_out != 0)
        found.push_back({"image", 0,
                         std::to_string(medium.not_laid_out) +
                             " files or folders have names this machine cannot hold and were not checked.",
                         true});
    if (medium.unreadable != 0)
        found.push_back({"image", 0,
                         std::to_string(medium.unreadable) +
                             " files could not be copied whole for the checks (is the image cut short?); what could be read"
                             " was checked.",
                         true});
    return found;
}
