// Tovinel check: the likely mistakes in Tovinel.ini: names the launcher never reads, values it reads
// otherwise than meant, and a configuration that can never start anything.
// Values come from the launcher's own .ini reader; the lines they sit on from ini_scan.
#include <map>

#include "config.h"
#include "findings/check_context.h"
#include "formats/encoding.h"
#include "formats/ini_scan.h"
#include "ini_reader.h"

namespace {

struct known_key {
    const char* section;
    const char* key;
};

const known_key known_keys[] = {{section_application, key_reg_key},   {section_application, key_start},
                                {section_setup, key_window_class},    {section_setup, key_window_title},
                                {section_setup, key_run}};

const known_key* known(const std::string& key)
{
    for (const known_key& entry : known_keys)
        if (ini_same_name(entry.key, key))
            return &entry;
    return nullptr;
}

bool is_known_section(const std::string& name)
{
    return ini_same_name(name, section_application) || ini_same_name(name, section_setup);
}

// " Did you mean X?" for a name within two edits of a known one. Names whose length differs by
// more than two cannot be, so a huge name costs nothing.
std::string suggestion(const std::string& name, const std::vector<const char*>& candidates, const char* before,
                       const char* after)
{
    for (const char* candidate : candidates) {
        std::string known_name = candidate;
        size_t longer = std::max(name.size(), known_name.size());
        size_t shorter = std::min(name.size(), known_name.size());
        if (longer - shorter <= 2 && ini_name_distance(name, known_name) <= 2)
            return std::string(" Did you mean ") + before + candidate + after + "?";
    }
    return "";
}

// What the scan of the file's lines found out.
struct line_facts {
    unsigned lines_with_content = 0;           // sections and keys, comments not counted
    std::map<std::string, unsigned> key_lines;  // "section\nkey" (lower case) -> line of the one read
};

void add_config(check_context& context, unsigned line, const char* id, const std::string& text, bool note = false)
{
    check_add(context, rank_config, config_file_name, line, id, text, note);
}

// One pass over the lines: names the launcher never reads, repeats, and hints.
line_facts check_names(check_context& context)
{
    line_facts facts;
    const std::vector<const char*> sections = {section_application, section_setup};
    std::string section;
    bool in_section = false;
    bool first_of_name = false;     // the current section is the first of its name
    bool seen_application = false;
    bool seen_setup = false;
    ini_scan(context.config.meant_text(), [&](const ini_line& line) {
        if (line.kind == ini_line_kind::comment)
            return;
        ++facts.lines_with_content;
        if (line.kind == ini_line_kind::section) {
            section = line.name;
            in_section = true;
            bool application = ini_same_name(section, section_application);
            bool setup = ini_same_name(section, section_setup);
            first_of_name = (application && !seen_application) || (setup && !seen_setup);
            seen_application = seen_application || application;
            seen_setup = seen_setup || setup;
            if (!application && !setup)
                add_config(context, line.number, "section-unknown",
                           "Section " + quoted(context, "[" + line.name + "]") +
                               " is never read by the launcher, nor is anything in it." +
                               suggestion(line.name, sections, "[", "]"));
            else if (!first_of_name)
                add_config(context, line.number, "section-repeated",
                           "A second " + quoted(context, "[" + line.name + "]") +
                               " section is ignored: only the first section of a name is read.");
            return;
        }
        if (!line.name.empty() && line.name[0] == '#') {
            add_config(context, line.number, "hash-comment",
                       "A line beginning with '#' is no comment: only ';' starts one. The launcher reads this"
                       " line as a key named " +
                           quoted(context, line.name) + ".",
                       true);
            return;
        }
        if (!in_section) {
            add_config(context, line.number, "key-outside-section",
                       "Key " + quoted(context, line.name) + " stands before any section: the launcher never reads it." +
                           (known(line.name) != nullptr
                                ? std::string(" It belongs in [") + known(line.name)->section + "]."
                                : std::string()));
            return;
        }
        if (!is_known_section(section) || !first_of_name)
            return;  // the section itself is reported
        bool application = ini_same_name(section, section_application);
        const known_key* entry = known(line.name);
        if (entry == nullptr) {
            std::vector<const char*> keys;
            for (const known_key& candidate : known_keys)
                if (ini_same_name(candidate.section, section))
                    keys.push_back(candidate.key);
            add_config(context, line.number, "key-unknown",
                       "Key " + quoted(context, line.name) + " is not one the launcher reads in [" +
                           (application ? section_application : section_setup) + "] (it reads " +
                           (application ? "RegKey and Start" : "WindowClass, WindowTitle and Run") + ")." +
                           suggestion(line.name, keys, "", ""));
            return;
        }
        if (!ini_same_name(entry->section, section)) {
            add_config(context, line.number, "key-wrong-section",
                       std::string("Key ") + entry->key + " stands in [" +
                           (application ? section_application : section_setup) +
                           "], where the launcher never reads it: it belongs in [" + entry->section + "].");
            return;
        }
        std::string slot = ascii_lower(std::string(entry->section) + "\n" + entry->key);
        auto first = facts.key_lines.find(slot);
        if (first != facts.key_lines.end()) {
            add_config(context, line.number, "key-repeated",
                       std::string("A second ") + entry->key + " is ignored: the one on line " +
                           std::to_string(first->second) + " is read.");
            return;
        }
        facts.key_lines[slot] = line.number;
    });
    return facts;
}

unsigned line_of(const line_facts& facts, const char* section, const char* key)
{
    auto found = facts.key_lines.find(ascii_lower(std::string(section) + "\n" + key));
    return found == facts.key_lines.end() ? 0 : found->second;
}

std::string whole_value(const check_context& context, const char* section, const char* key)
{
    return check_whole_value(context.config.meant_text(), section, key);
}

void check_cut(check_context& context, unsigned line, const char* key, const std::string& value, unsigned capacity,
               const char* id, const char* consequence)
{
    if (value.size() > capacity - 1)
        add_config(context, line, id,
                   std::string(key) + " is " + (value.size() >= check_value_limit ? "at least " : "") +
                       std::to_string(value.size()) +
                       " bytes long; the launcher reads only the first " + std::to_string(capacity - 1) + ", so " +
                       consequence + ".");
}

// Tells whether `value` holds a ';' after a blank, which a reader of the file takes for a comment
// but Windows keeps in the value.
bool has_comment(const std::string& value)
{
    for (size_t at = value.find(';'); at != std::string::npos; at = value.find(';', at + 1))
        if (at > 0 && ini_is_blank(value[at - 1]))
            return true;
    return false;
}

void check_reg_key(check_context& context, unsigned line, const std::string& reg_key)
{
    const char* never = ", so the key never opens and the product never counts as installed.";
    size_t root_length = check_registry_root_length(reg_key);
    if (root_length != 0) {
        std::string root = reg_key.substr(0, root_length);
        std::string below = check_installed_key(reg_key);
        bool machine = ini_same_name(root, "HKLM") || ini_same_name(root, "HKEY_LOCAL_MACHINE");
        std::string corrected = "RegKey=" + shown(codepage_to_utf8(context.options.codepage, below, nullptr)) + ".";
        std::string advice =
            below.empty() ? " Write the path of the product's key below the root, such as SOFTWARE\\Maker\\Product."
            : machine     ? " Write the path below the root: " + corrected
                          : " Have the product's setup write its key below HKEY_LOCAL_MACHINE, then write the path"
                            " below the root: " + corrected;
        add_config(context, line, "regkey-root",
                   "RegKey begins with the root name " + quoted(context, root) +
                       (machine ? ": the launcher already looks below HKEY_LOCAL_MACHINE"
                                : ": the launcher looks only below HKEY_LOCAL_MACHINE, never below " +
                                      quoted(context, root)) +
                       never + advice);
    }
    check_cut(context, line, key_reg_key, reg_key, path_capacity, "regkey-cut",
              "the cut key never opens and the product never counts as installed");
    if (has_comment(reg_key))
        add_config(context, line, "regkey-comment",
                   "RegKey holds ';' after a blank: that is no comment, Windows keeps it in the key " +
                       quoted(context, reg_key) + never + " Put comments on lines of their own.");
    if (reg_key.find('/') != std::string::npos)
        add_config(context, line, "regkey-forward-slash",
                   "RegKey holds '/': in the registry that is part of a key's name, not a separator" + std::string(never) +
                       " Write backslashes.");
    if (!reg_key.empty() && reg_key[0] == '\\')
        add_config(context, line, "regkey-leading-backslash",
                   "RegKey begins with a backslash: a key path below HKEY_LOCAL_MACHINE must not" + std::string(never));
    size_t doubled = reg_key.find("\\\\", reg_key[0] == '\\' ? reg_key.find_first_not_of('\\') : 0);
    if (doubled != std::string::npos)
        add_config(context, line, "regkey-empty-name",
                   "RegKey holds an empty name between two backslashes" + std::string(never));
}

// The number syntax of the profile integer reads: optional sign, optional 0x/0o/0b, digits of the base.
bool is_number(const std::string& text)
{
    size_t at = 0;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        ++at;
    int base = 10;
    if (text.size() >= at + 2 && text[at] == '0') {
        char prefix = text[at + 1];
        base = prefix == 'x' ? 16 : prefix == 'o' ? 8 : prefix == 'b' ? 2 : 10;
        at += base == 10 ? 0 : 2;
    }
    if (at == text.size())
        return false;
    for (; at < text.size(); ++at) {
        char c = text[at];
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'z' ? c - 'a' + 10
                    : c >= 'A' && c <= 'Z' ? c - 'A' + 10
                                           : 99;
        if (digit >= base)
            return false;
    }
    return true;
}

void check_start(check_context& context, unsigned line, const std::string& start)
{
    if (start.empty() || is_number(start))
        return;
    const std::string& text = context.config.meant_text();
    unsigned read = ini_read_int(text.data(), static_cast<unsigned long>(text.size()), section_application, key_start, 0);
    add_config(context, line, "start-not-number",
               "Start=" + quoted(context, start) + " is not a number: the launcher reads it as " +
                   std::to_string(read) + (read == 0 ? ", so an installed product starts nothing." : "."));
}

void check_window(check_context& context, const line_facts& facts, const std::string& window_class,
                  const std::string& window_title)
{
    unsigned class_line = line_of(facts, section_setup, key_window_class);
    unsigned title_line = line_of(facts, section_setup, key_window_title);
    check_cut(context, class_line, key_window_class, window_class, window_text_capacity, "window-class-cut",
              "it never finds the setup window");
    check_cut(context, title_line, key_window_title, window_title, window_text_capacity, "window-title-cut",
              "it never finds the setup window");
    if (window_class.empty() && !window_title.empty())
        add_config(context, title_line, "window-title-without-class",
                   "WindowTitle without WindowClass: the launcher looks for the title under an empty class name,"
                   " which Windows matches to no window, so a second insertion starts setup again. Add WindowClass.");
}

}  // namespace

void check_config_findings(check_context& context)
{
    const text_file& config = context.config;
    if (!config.present) {
        // Not even the launcher's folder is found, for a reason the image names: nothing to add.
        std::string folder_path;
        bool folder_unseen = context.launcher_explained &&
                             !check_resolve(context, context.launcher_folder, &folder_path, nullptr);
        if (config.medium_path.empty() && !folder_unseen)
            add_config(context, 0, "ini-missing",
                       "There is no Tovinel.ini beside the launcher (" +
                           quoted(context, context.report.decision.config_path) +
                           "): the launcher reads nothing and starts nothing.");
        return;
    }
    check_encoding_findings(context, config, rank_config, config_file_name);
    if (config.size > config.raw.size())
        add_config(context, 0, "ini-too-large",
                   "Tovinel.ini is " + std::to_string(config.size) + " bytes, far more than any configuration needs;"
                   " only its first " + std::to_string(config.raw.size() >> 20) +
                       " MiB were checked and played, so what lies past them is not shown.");
    line_facts facts = check_names(context);

    std::string reg_key = whole_value(context, section_application, key_reg_key);
    std::string start = whole_value(context, section_application, key_start);
    std::string window_class = whole_value(context, section_setup, key_window_class);
    std::string window_title = whole_value(context, section_setup, key_window_title);
    std::string run = whole_value(context, section_setup, key_run);
    const struct {
        const char* section;
        const char* key;
        const std::string& value;
    } values[] = {{section_application, key_start, start},
                  {section_setup, key_window_class, window_class},
                  {section_setup, key_window_title, window_title},
                  {section_setup, key_run, run}};
    for (const auto& value : values) {
        if (has_comment(value.value))
            add_config(context, line_of(facts, value.section, value.key), "value-comment",
                       std::string(value.key) + " holds ';' after a blank: that is no comment, Windows keeps it in"
                       " the value " + quoted(context, value.value) + ". Put comments on lines of their own.");
    }
    unsigned reg_key_line = line_of(facts, section_application, key_reg_key);
    check_reg_key(context, reg_key_line, reg_key);
    check_start(context, line_of(facts, section_application, key_start), start);
    check_window(context, facts, window_class, window_title);

    const std::string& text = config.meant_text();
    bool starts_something = !run.empty() || (!reg_key.empty() && ini_read_int(text.data(), static_cast<unsigned long>(text.size()),
                                                                               section_application, key_start, 0) != 0);
    if (!starts_something)
        add_config(context, 0, "ini-starts-nothing",
                   facts.lines_with_content == 0
                       ? std::string("Tovinel.ini holds no section and no key: the launcher never starts anything.")
                       : std::string("Tovinel.ini has no Run and no RegKey with a nonzero Start: the launcher never"
                                     " starts anything, whatever the machine."));
    unsigned run_line = line_of(facts, section_setup, key_run);
    // The raw text of the Run line, quotes and all, to tell a quoted value from one that is not.
    std::string raw_run;
    ini_scan(text, [&](const ini_line& found) {
        if (found.number == run_line)
            raw_run = found.value;
    });
    check_run_findings(context, run_line, run, raw_run);
    const check_decision& decision = context.report.decision;
    if (decision.command_too_long)
        add_config(context,
                   decision.branch == branch_setup ? run_line : reg_key_line, "command-too-long",
                   "The command line would be " + std::to_string(decision.command_length) +
                       " bytes, more than the 259 the launcher allows: nothing would start.");
}
