// Tovinel check: what the findings share: the medium as Windows reads it, the launcher's own
// reader for whole values, and the report they fill. Internal to checker/.
#include "findings/check_context.h"

#include <strings.h>

#include <algorithm>
#include <cassert>
#include <cstring>

#include "formats/encoding.h"
#include "formats/ini_scan.h"
#include "ini_reader.h"

namespace {

bool finding_before(const check_finding& a, const check_finding& b)
{
    if (a.file_rank != b.file_rank)
        return a.file_rank < b.file_rank;
    if (a.file != b.file)
        return a.file < b.file;
    return a.line < b.line;
}

// The medium entry of `folder` named `name` (UTF-8): an exact match, else the smallest that
// matches without regard to ASCII letter case (a Windows medium cannot hold both).
bool find_entry(const medium_access& medium, const std::string& folder, const std::string& name, std::string* found,
                bool* case_differs)
{
    bool exact = false;
    found->clear();
    // A folder that cannot be listed holds no name that Windows could open.
    bool listed = medium.each_entry(
        folder,
        [&](const medium_entry& entry) {
            if (entry.name == name) {
                *found = entry.name;
                exact = true;
                return false;
            }
            if (ini_same_name(entry.name, name) && (found->empty() || entry.name < *found))
                *found = entry.name;
            return true;
        },
        nullptr);
    if (!listed)
        return false;
    if (!exact && !found->empty())
        *case_differs = true;
    return !found->empty();
}

}  // namespace

std::string check_drive_root(const check_options& options)
{
    return std::string(1, options.drive) + ":\\";
}

void check_findings::add(const check_finding& finding)
{
    if (!finding.note)
        ++findings_;
    auto at = std::upper_bound(kept_.begin(), kept_.end(), finding, finding_before);
    if (kept_.size() == most_ && at == kept_.end()) {
        ++left_out_;
        return;
    }
    kept_.insert(at, finding);
    if (kept_.size() > most_) {
        kept_.pop_back();
        ++left_out_;
    }
}

void check_unreadable(check_context& context, const std::string& medium_path, const std::string& why)
{
    std::string problem = quoted_utf8(context.medium.where(medium_path)) + ": " + why;
    std::vector<std::string>& unreadable = context.report.unreadable;
    if (std::find(unreadable.begin(), unreadable.end(), problem) == unreadable.end())
        unreadable.push_back(problem);
}

void check_add(check_context& context, unsigned file_rank, const std::string& file, unsigned line, const char* id,
               const std::string& text, bool note, bool drive_specific)
{
    // A new id must be listed before it is reported: scripts rely on the list (finding_ids.cpp).
    assert(check_finding_id_known(id));
    if (context.options.ignored.count(id) != 0) {
        ++context.report.ignored;
        return;
    }
    context.report.found.add({file_rank, file, line, id, text, note, context.platforms, drive_specific});
}

std::string quoted(const check_context& context, const std::string& ansi)
{
    return "'" + shown(codepage_to_utf8(context.options.codepage, ansi, nullptr)) + "'";
}

std::string quoted_utf8(const std::string& text)
{
    return "'" + shown(text) + "'";
}

bool check_resolve(const check_context& context, const std::string& windows_path, std::string* medium_path,
                   bool* case_differs)
{
    bool differs = false;
    medium_path->clear();
    std::string root = check_drive_root(context.options);
    if (windows_path.size() < 2 || strncasecmp(windows_path.c_str(), root.c_str(), 2) != 0 ||
        (windows_path.size() > 2 && windows_path[2] != '\\'))
        return false;
    // Windows converts the whole path before it splits it: a trail byte 0x5C is no backslash.
    std::string path = codepage_to_utf8(context.options.codepage, windows_path.substr(2), nullptr);
    // Windows drops "." and ".." by the text alone (GetFullPathName), before it looks for any
    // file: "D:\\gone\\..\\SETUP.EXE" names D:\\SETUP.EXE whether a folder "gone" is there or not.
    std::vector<std::string> wanted;
    size_t at = 0;
    while (at <= path.size()) {
        size_t end = std::min(path.find('\\', at), path.size());
        std::string name = path.substr(at, end - at);
        if (name == "..") {
            if (!wanted.empty())
                wanted.pop_back();
        } else if (!name.empty() && name != ".") {
            if (wanted.size() == 128)
                return false;
            wanted.push_back(name);
        }
        at = end + 1;
    }
    for (const std::string& name : wanted) {
        std::string found;
        if (!find_entry(context.medium, *medium_path, name, &found, &differs))
            return false;
        *medium_path += (medium_path->empty() ? "" : "/") + found;
    }
    if (case_differs != nullptr)
        *case_differs = differs;
    return true;
}

program_file check_program(check_context& context, const std::string& medium_path)
{
    program_file program;
    program.medium_path = medium_path;
    std::string why;
    program.kind = context.medium.kind_of(medium_path, &why);
    if (program.kind == medium_kind::other || program.kind == medium_kind::unreadable) {
        check_unreadable(context, medium_path, why);
        return program;
    }
    if (program.kind != medium_kind::file)
        return program;
    std::string bytes;
    unsigned long long size = 0;
    if (!context.medium.read_start(medium_path, check_program_limit, &bytes, &size, &why)) {
        check_unreadable(context, medium_path, why);
        return program;
    }
    program.read = true;
    program.facts = program_facts_of(bytes);
    return program;
}

size_t check_registry_root_length(const std::string& key)
{
    // The roots a publisher may write by habit in front of a key path.
    static const char* const roots[] = {"HKEY_LOCAL_MACHINE", "HKLM", "HKEY_CURRENT_USER", "HKCU",
                                        "HKEY_CLASSES_ROOT", "HKCR", "HKEY_USERS", "HKU",
                                        "HKEY_CURRENT_CONFIG", "HKCC"};
    size_t first = std::min(key.find_first_of("\\/"), key.size());
    for (const char* root : roots) {
        if (strlen(root) == first && strncasecmp(key.c_str(), root, first) == 0)
            return first;
    }
    return 0;
}

std::string check_installed_key(const std::string& reg_key)
{
    std::string key = reg_key;
    // A ';' after a blank was meant as a comment.
    for (size_t at = key.find(';'); at != std::string::npos; at = key.find(';', at + 1)) {
        if (at > 0 && ini_is_blank(key[at - 1])) {
            key = ini_trimmed(key.substr(0, at));
            break;
        }
    }
    std::replace(key.begin(), key.end(), '/', '\\');
    size_t root_length = check_registry_root_length(key);
    if (root_length != 0)
        key.erase(0, root_length);
    std::string cleaned;
    for (char c : key) {
        // No leading backslash and no empty names; a trailing one stays, as the launcher asks with it.
        if (c == '\\' && (cleaned.empty() || cleaned.back() == '\\'))
            continue;
        cleaned += c;
    }
    return cleaned;
}

std::string check_whole_value(const std::string& text, const char* section, const char* key)
{
    std::string buffer(std::min(text.size(), check_value_limit) + 1, '\0');
    unsigned length =
        ini_read_text(text.data(), static_cast<unsigned long>(text.size()), section, key, &buffer[0], static_cast<unsigned>(buffer.size()));
    buffer.resize(length);
    return buffer;
}
