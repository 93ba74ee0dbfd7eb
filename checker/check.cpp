// Tovinel check: one check of a medium, in the order Windows meets it: autorun.inf names the
// launcher, the launcher reads Tovinel.ini beside it, the decision starts a program.
#include <strings.h>

#include <algorithm>
#include <cassert>
#include <cstring>

#include "autorun.h"
#include "check_context.h"
#include "config.h"
#include "encoding.h"
#include "ini_reader.h"
#include "ini_scan.h"

namespace {

const char autorun_file_name[] = "autorun.inf";
const char default_launcher_name[] = "tovinel.exe";

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

// Decodes a text file's first bytes as the ANSI profile functions read it.
void decode(unsigned codepage, text_file* file)
{
    const std::string& raw = file->raw;
    if (raw.compare(0, 2, "\xFF\xFE") == 0) {
        file->encoding = text_file::utf16le;
        file->converted = utf16le_to_codepage(codepage, raw.substr(2));
        return;
    }
    if (raw.compare(0, 2, "\xFE\xFF") == 0) {
        file->encoding = text_file::utf16be;
    } else if (raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        file->encoding = text_file::utf8_mark;
    } else {
        // UTF-16 without a mark: most ASCII text then has a NUL in every other byte.
        size_t sample = std::min<size_t>(raw.size(), 4096);
        size_t low_first = 0;
        size_t high_first = 0;
        for (size_t i = 1; i < sample; i += 2) {
            low_first += raw[i] == '\0' && raw[i - 1] != '\0' ? 1 : 0;
            high_first += raw[i] != '\0' && raw[i - 1] == '\0' ? 1 : 0;
        }
        size_t pairs = sample / 2;
        if (sample >= 8 && (low_first * 10 >= pairs * 9 || high_first * 10 >= pairs * 9))
            file->encoding = text_file::utf16_unmarked;
    }
}

// Reads the text file that `windows_path` names into `file`; records what cannot be read.
void read_text_file(check_context& context, const std::string& windows_path, text_file* file, bool* is_folder,
                    bool* case_differs)
{
    std::string medium_path;
    *is_folder = false;
    if (!check_resolve(context, windows_path, &medium_path, case_differs))
        return;
    file->medium_path = medium_path;
    std::string why;
    medium_kind kind = context.medium.kind_of(medium_path, &why);
    if (kind == medium_kind::folder) {
        *is_folder = true;
        return;
    }
    if (kind != medium_kind::file || !context.medium.read_start(medium_path, check_text_limit, &file->raw,
                                                                 &file->size, &why)) {
        check_unreadable(context, medium_path, why);
        return;
    }
    file->present = true;
    decode(context.options.codepage, file);
}

std::string drive_root(const check_options& options)
{
    return std::string(1, options.drive) + ":\\";
}

}  // namespace

std::string check_autorun_program(const check_context& context, const std::string& command, std::string* arguments)
{
    std::string root = drive_root(context.options);
    autorun_command split = autorun_split(command);
    *arguments = split.arguments;
    if (command.empty() || command[0] == '"')
        return split.program;
    // Unquoted, the name may hold blanks: Windows tries each blank in turn, as for Run.
    std::string unquoted = split.program + (split.arguments.empty() ? "" : " " + split.arguments);
    program_search search = check_find_program(context, root + unquoted);
    if (!search.found)
        return split.program;
    *arguments = unquoted.substr(std::min(unquoted.size(), search.end - root.size()));
    while (!arguments->empty() && ((*arguments)[0] == ' ' || (*arguments)[0] == '\t'))
        arguments->erase(0, 1);
    return search.windows_path.substr(root.size());
}

namespace {

// Where the launcher is: the program autorun.inf starts, unless the options say otherwise.
void locate_launcher(check_context& context)
{
    const check_options& options = context.options;
    std::string root = drive_root(options);
    bool folder = false;
    bool ignored = false;
    read_text_file(context, root + autorun_file_name, &context.autorun, &folder, &ignored);
    std::string program;
    std::string arguments;
    if (context.autorun.present) {
        autorun_facts facts = autorun_read(context.autorun.text());
        const autorun_value& command = !facts.open.text.empty() ? facts.open : facts.shell_execute;
        program = check_autorun_program(context, command.text, &arguments);
    }
    // The launcher finds its folder in its own path, a double-byte character at a time.
    size_t name_start = codepage_name_start(options.codepage, program);
    std::string program_folder = program.substr(0, name_start == 0 ? 0 : name_start - 1);
    context.launcher_name = program.empty() ? default_launcher_name : program.substr(name_start);
    context.launcher_from_autorun = !program.empty();
    std::string folder_below_root = options.folder_given ? utf8_to_codepage(options.codepage, options.folder, nullptr)
                                                         : program_folder;
    context.launcher_folder = root + (folder_below_root.empty() ? "" : folder_below_root + "\\");
    context.tail = options.tail_given ? options.tail : arguments;
}

}  // namespace

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
               const std::string& text, bool note)
{
    // A new id must be listed before it is reported: scripts rely on the list (finding_ids.cpp).
    assert(check_finding_id_known(id));
    if (context.options.ignored.count(id) != 0) {
        ++context.report.ignored;
        return;
    }
    context.report.found.add({file_rank, file, line, id, text, note});
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
    std::string root = drive_root(context.options);
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

check_report check_medium(const medium_access& medium, const check_options& options)
{
    check_report report;
    check_context context{medium, options, report, "", "", false, "", {}, {}};
    locate_launcher(context);
    check_launcher_findings(context);

    bool folder = false;
    bool case_differs = false;
    std::string config_path = context.launcher_folder + config_file_name;
    size_t unreadable_before = report.unreadable.size();
    report.decision.launcher_path = context.launcher_folder + context.launcher_name;
    report.decision.config_path = config_path;
    report.decision.tail = context.tail;
    read_text_file(context, config_path, &context.config, &folder, &case_differs);
    if (report.unreadable.size() == unreadable_before) {
        report.decision = options.this_machine ? check_play_this_machine(context) : check_play(context);
        check_config_findings(context);
        if (context.config.present && case_differs) {
            std::string actual = context.config.medium_path.substr(context.config.medium_path.rfind('/') + 1);
            if (actual != config_file_name)
                check_add(context, rank_config, config_file_name, 0, "ini-name-case",
                          "The file is named " + quoted_utf8(actual) +
                              "; Windows finds it all the same (letter case is ignored), but Tovinel.ini is the"
                              " usual name.",
                          true);
        }
        if (folder)
            check_add(context, rank_config, config_file_name, 0, "ini-folder",
                      "Tovinel.ini is a folder, not a file: the launcher reads nothing and starts nothing.");
    }
    check_autorun_findings(context);
    check_installed_findings(context);
    check_image_findings(context);
    return report;
}

check_decision check_decide(const check_options& options)
{
    std::unique_ptr<medium_access> medium = medium_in_folder(options.medium_dir);
    return check_medium(*medium, options).decision;
}
