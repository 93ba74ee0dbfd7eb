// Tovinel check: the likely mistakes on a medium: its Tovinel.ini, the files it names, its autorun.inf.
// Values come from the launcher's own .ini reader; the lines they sit on from a scan of the file text.
#include "check.h"

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <strings.h>

#include "config.h"
#include "ini_reader.h"

namespace {

const char autorun_file_name[] = "autorun.inf";
const char launcher_file_name[] = "tovinel.exe";

// One line of an .ini file that is a section header or a key, as the reader sees it.
struct ini_line {
    unsigned number;
    bool is_section;
    std::string name;          // the section's or the key's name, trimmed
    std::string section;       // for a key: the section it belongs to
    bool first_section;        // for a key: its section is the first of that name (the one read)
    bool in_section;           // for a key: it follows some section header
};

bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1a';
}

std::string trimmed(const std::string& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && is_blank(text[begin]))
        ++begin;
    while (end > begin && is_blank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

bool equal_ignoring_case(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

std::string lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool read_file(const std::string& path, std::string* text)
{
    std::ifstream file(path, std::ios::binary);  // read only: nothing on the medium is ever written
    if (!file)
        return false;
    text->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

// The section headers and key lines of `text`, with their line numbers, following the reader's
// rules: breaks at CR, LF or CRLF; ';' starts a comment line; a header's name ends at its first ']'.
std::vector<ini_line> scan_lines(const std::string& text)
{
    std::vector<ini_line> lines;
    std::vector<std::string> sections_seen;
    std::string section;
    bool first_section = false;
    bool in_section = false;
    unsigned number = 0;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos)
            end = text.size();
        ++number;
        std::string line = trimmed(text.substr(at, end - at));
        // CRLF is one break, a lone CR or LF one each.
        at = end + (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n' ? 2 : 1);
        // A NUL ends the text of a line, as it does in the reader.
        line = trimmed(line.substr(0, line.find('\0')));
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            section = trimmed(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            first_section = true;
            for (const std::string& seen : sections_seen)
                first_section = first_section && !equal_ignoring_case(seen, section);
            sections_seen.push_back(section);
            in_section = true;
            lines.push_back({number, true, section, "", first_section, true});
            continue;
        }
        lines.push_back({number, false, trimmed(line.substr(0, line.find('='))), section, first_section, in_section});
    }
    return lines;
}

// The line of the key `key` that the reader reads in `section`, 0 when there is none.
unsigned line_of(const std::vector<ini_line>& lines, const char* section, const char* key)
{
    for (const ini_line& line : lines) {
        if (!line.is_section && line.in_section && line.first_section && equal_ignoring_case(line.section, section) &&
            equal_ignoring_case(line.name, key))
            return line.number;
    }
    return 0;
}

// The value of `key` in `section`, read by the launcher's reader but never cut.
std::string full_value(const std::string& host_path, const char* section, const char* key)
{
    static char buffer[1 << 16];
    unsigned length = ini_file_read_text(host_path.c_str(), section, key, buffer, sizeof buffer);
    return std::string(buffer, length);
}

// Levenshtein distance, for suggesting the name that a misspelt one was meant to be.
unsigned distance(const std::string& a, const std::string& b)
{
    std::vector<unsigned> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = static_cast<unsigned>(j);
    for (size_t i = 1; i <= a.size(); ++i) {
        unsigned diagonal = row[0];
        row[0] = static_cast<unsigned>(i);
        for (size_t j = 1; j <= b.size(); ++j) {
            unsigned above = row[j];
            unsigned cost = lower(a.substr(i - 1, 1)) == lower(b.substr(j - 1, 1)) ? 0 : 1;
            row[j] = std::min(std::min(row[j] + 1, row[j - 1] + 1), diagonal + cost);
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string suggestion(const std::string& name, const std::vector<const char*>& known, const char* before,
                       const char* after)
{
    for (const char* candidate : known) {
        if (distance(name, candidate) <= 2)
            return std::string(" Did you mean ") + before + candidate + after + "?";
    }
    return "";
}

struct findings_context {
    const check_options& options;
    const check_decision& decision;
    std::vector<check_finding>& found;
};

void add(findings_context& context, const std::string& file, unsigned line, const std::string& text,
         bool note = false)
{
    context.found.push_back({file, line, text, note});
}

void check_names(findings_context& context, const std::vector<ini_line>& lines)
{
    const std::vector<const char*> sections = {section_application, section_setup};
    const std::vector<const char*> application_keys = {key_reg_key, key_start};
    const std::vector<const char*> setup_keys = {key_window_class, key_window_title, key_run};
    for (size_t i = 0; i < lines.size(); ++i) {
        const ini_line& line = lines[i];
        if (line.is_section) {
            bool known = false;
            for (const char* name : sections)
                known = known || equal_ignoring_case(line.name, name);
            if (!known)
                add(context, config_file_name, line.number,
                    "Section [" + line.name + "] is never read by the launcher, nor is anything in it." +
                        suggestion(line.name, sections, "[", "]"));
            else if (!line.first_section)
                add(context, config_file_name, line.number,
                    "A second [" + line.name + "] section is ignored: only the first section of a name is read.");
            continue;
        }
        if (!line.in_section) {
            add(context, config_file_name, line.number,
                "Key " + line.name + " stands before any section: the launcher never reads it.");
            continue;
        }
        bool is_application = equal_ignoring_case(line.section, section_application);
        bool is_setup = equal_ignoring_case(line.section, section_setup);
        if (!line.first_section || (!is_application && !is_setup))
            continue;  // the section itself is reported
        const std::vector<const char*>& keys = is_application ? application_keys : setup_keys;
        bool known = false;
        for (const char* name : keys)
            known = known || equal_ignoring_case(line.name, name);
        if (!known) {
            add(context, config_file_name, line.number,
                "Key " + line.name + " is not one the launcher reads in [" + line.section + "] (it reads " +
                    (is_application ? "RegKey and Start" : "WindowClass, WindowTitle and Run") + ")." +
                    suggestion(line.name, keys, "", ""));
            continue;
        }
        for (size_t j = 0; j < i; ++j) {
            if (!lines[j].is_section && lines[j].first_section && lines[j].in_section &&
                equal_ignoring_case(lines[j].section, line.section) && equal_ignoring_case(lines[j].name, line.name)) {
                add(context, config_file_name, line.number,
                    "A second " + line.name + " is ignored: the one on line " + std::to_string(lines[j].number) +
                        " is read.");
                break;
            }
        }
    }
}

void check_cut(findings_context& context, const std::vector<ini_line>& lines, const char* section,
               const char* key, const std::string& value, unsigned capacity, const char* consequence)
{
    if (value.size() > capacity - 1)
        add(context, config_file_name, line_of(lines, section, key),
            std::string(key) + " is " + std::to_string(value.size()) +
                " bytes long; the launcher reads only the first " + std::to_string(capacity - 1) + ", so " +
                consequence + ".");
}

// A ';' after a blank looks like a comment to a reader of the file, but Windows keeps it in the value.
void check_inline_comment(findings_context& context, const std::vector<ini_line>& lines, const char* section,
                          const char* key, const std::string& value)
{
    size_t at = value.find(';');
    if (at != std::string::npos && at > 0 && is_blank(value[at - 1]))
        add(context, config_file_name, line_of(lines, section, key),
            std::string(key) + " holds ';' after a blank: that is no comment, Windows keeps it in the value '" +
                value + "'.");
}

void check_reg_key(findings_context& context, const std::vector<ini_line>& lines, const std::string& reg_key)
{
    size_t root_length = check_registry_root_length(reg_key);
    if (root_length != 0)
        add(context, config_file_name, line_of(lines, section_application, key_reg_key),
            "RegKey begins with the root name " + reg_key.substr(0, root_length) +
                ": the launcher already looks below HKEY_LOCAL_MACHINE, so this key never opens and the"
                " product never counts as installed. Write the path below the root, e.g."
                " SOFTWARE\\Maker\\Product.");
    check_cut(context, lines, section_application, key_reg_key, reg_key, path_capacity,
              "the cut key never opens");
}

// Tells whether the Windows path names a regular file on the medium, trying ".exe" after a name
// without an extension, as Windows does when it starts a program.
bool program_on_medium(const check_options& options, const std::string& windows_path)
{
    std::string host;
    struct stat facts;
    if (check_host_path(options, windows_path, &host, nullptr) && stat(host.c_str(), &facts) == 0 &&
        S_ISREG(facts.st_mode))
        return true;
    std::string last = windows_path.substr(windows_path.rfind('\\') + 1);
    return last.find('.') == std::string::npos && program_on_medium(options, windows_path + ".exe");
}

void check_run(findings_context& context, const std::vector<ini_line>& lines, const std::string& run)
{
    unsigned line = line_of(lines, section_setup, key_run);
    check_cut(context, lines, section_setup, key_run, run, path_capacity, "the command names a cut path");
    if (run.empty() || run.size() >= path_capacity)
        return;
    bool drive = run.size() >= 2 && run[1] == ':';
    if (drive || run.compare(0, 2, "\\\\") == 0) {
        add(context, config_file_name, line,
            "Run is a full path, but the launcher appends it to its own folder, giving " +
                check_launcher_folder(context.options) + run + ": write it relative to the medium.");
        return;
    }
    std::string folder = check_launcher_folder(context.options);
    bool from_root = run[0] == '\\';
    std::string base = from_root ? folder.substr(0, 2) : folder;
    // Windows takes the command up to its first blank as the program first, then longer and longer
    // parts: the first part that names a file is what runs.
    std::string first_part = run.substr(0, run.find(' '));
    if (program_on_medium(context.options, base + first_part)) {
        if (!from_root && folder.find(' ') != std::string::npos)
            add(context, config_file_name, line,
                "The launcher's folder " + folder +
                    " holds a blank and the command line is not quoted: Windows tries " +
                    folder.substr(0, folder.find(' ')) + " first and may start another program.");
        return;
    }
    for (size_t blank = run.find(' '); blank != std::string::npos; blank = run.find(' ', blank + 1)) {
        std::string longer = run.substr(0, run.find(' ', blank + 1));
        if (program_on_medium(context.options, base + longer)) {
            add(context, config_file_name, line,
                "Run names " + longer + ", a path with a blank, and the command line is not quoted: Windows tries " +
                    base + first_part + " first and may start another program, or pass the rest as arguments.");
            return;
        }
    }
    add(context, config_file_name, line,
        "Run names " + first_part + ", which is not on the medium (looked for " + base + first_part +
            ", letter case ignored): the setup program will not start.");
}

void check_window(findings_context& context, const std::vector<ini_line>& lines, const std::string& window_class,
                  const std::string& window_title)
{
    check_cut(context, lines, section_setup, key_window_class, window_class, window_text_capacity,
              "it never finds the setup window");
    check_cut(context, lines, section_setup, key_window_title, window_title, window_text_capacity,
              "it never finds the setup window");
    if (window_class.empty() && !window_title.empty())
        add(context, config_file_name, line_of(lines, section_setup, key_window_title),
            "WindowTitle without WindowClass: the launcher looks for the title under an empty class name,"
            " which Windows matches to no window, so a second insertion starts setup again. Add WindowClass.");
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

void check_start(findings_context& context, const std::vector<ini_line>& lines, const std::string& host_config,
                 const std::string& start)
{
    if (start.empty() || is_number(start))
        return;
    unsigned read = ini_file_read_int(host_config.c_str(), section_application, key_start, 0);
    add(context, config_file_name, line_of(lines, section_application, key_start),
        "Start=" + start + " is not a number: the launcher reads it as " + std::to_string(read) +
            (read == 0 ? ", so an installed product starts nothing." : "."));
}

void check_configuration(findings_context& context)
{
    std::string host_config;
    bool case_differs = false;
    if (!check_host_path(context.options, context.decision.config_path, &host_config, &case_differs)) {
        add(context, config_file_name, 0,
            "There is no Tovinel.ini beside the launcher (" + context.decision.config_path +
                "): the launcher reads nothing and starts nothing.");
        return;
    }
    std::string text;
    if (!read_file(host_config, &text)) {
        add(context, config_file_name, 0, "Tovinel.ini cannot be read: " + host_config + ".");
        return;
    }
    std::string actual_name = host_config.substr(host_config.rfind('/') + 1);
    if (case_differs && actual_name != config_file_name)
        add(context, config_file_name, 0,
            "The file is named " + actual_name +
                "; Windows finds it all the same (letter case is ignored), but Tovinel.ini is the usual name.",
            true);
    std::vector<ini_line> lines = scan_lines(text);
    check_names(context, lines);

    std::string reg_key = full_value(host_config, section_application, key_reg_key);
    std::string start = full_value(host_config, section_application, key_start);
    std::string window_class = full_value(host_config, section_setup, key_window_class);
    std::string window_title = full_value(host_config, section_setup, key_window_title);
    std::string run = full_value(host_config, section_setup, key_run);
    const struct {
        const char* section;
        const char* key;
        const std::string& value;
    } values[] = {{section_application, key_reg_key, reg_key}, {section_application, key_start, start},
                  {section_setup, key_window_class, window_class}, {section_setup, key_window_title, window_title},
                  {section_setup, key_run, run}};
    for (const auto& value : values)
        check_inline_comment(context, lines, value.section, value.key, value.value);

    check_reg_key(context, lines, reg_key);
    check_start(context, lines, host_config, start);
    check_window(context, lines, window_class, window_title);
    check_run(context, lines, run);
    if (context.decision.command_too_long)
        add(context, config_file_name,
            line_of(lines, context.decision.branch == branch_setup ? section_setup : section_application,
                    context.decision.branch == branch_setup ? key_run : key_reg_key),
            "The command line would be " + std::to_string(context.decision.command_length) +
                " bytes, more than the 259 the launcher allows: nothing would start.");
}

// Tells whether an autorun.inf entry starts `expected` (a path from the medium's root): the entry,
// quoted or not and with or without a leading backslash, begins with that path and then ends or
// goes on with a blank or a quote.
bool autorun_starts(std::string entry, const std::string& expected)
{
    if (!entry.empty() && entry[0] == '"')
        entry.erase(0, 1);
    while (!entry.empty() && (entry[0] == '\\' || entry.compare(0, 2, ".\\") == 0))
        entry.erase(0, entry[0] == '\\' ? 1 : 2);
    if (entry.size() < expected.size() || !equal_ignoring_case(entry.substr(0, expected.size()), expected))
        return false;
    return entry.size() == expected.size() || entry[expected.size()] == ' ' || entry[expected.size()] == '"';
}

void check_autorun(findings_context& context)
{
    std::string root = check_launcher_folder(context.options).substr(0, 3);
    std::string host;
    if (!check_host_path(context.options, root + autorun_file_name, &host, nullptr)) {
        add(context, autorun_file_name, 0,
            "There is no autorun.inf in the medium's root: Windows will not start the launcher when the"
            " medium is inserted.");
        return;
    }
    std::string text;
    read_file(host, &text);
    std::vector<ini_line> lines = scan_lines(text);
    std::string expected = context.options.folder.empty() ? launcher_file_name
                                                          : context.options.folder + "\\" + launcher_file_name;
    bool any = false;
    for (const char* key : {"open", "shellexecute"}) {
        std::string entry = full_value(host, "autorun", key);
        if (entry.empty())
            continue;
        any = true;
        if (!autorun_starts(entry, expected))
            add(context, autorun_file_name, line_of(lines, "autorun", key),
                std::string(key) + "=" + entry + " does not start the launcher, " + expected +
                    ": Tovinel will not run when the medium is inserted.");
    }
    if (!any)
        add(context, autorun_file_name, 0,
            "autorun.inf names no program ([autorun] has no open= or shellexecute=): Windows will not start"
            " the launcher when the medium is inserted.");
}

}  // namespace

std::vector<check_finding> check_findings(const check_options& options, const check_decision& decision)
{
    std::vector<check_finding> found;
    findings_context context{options, decision, found};
    check_configuration(context);
    check_autorun(context);
    if (options.installed && options.has_default_value && !options.default_value.empty() &&
        options.default_value[0] != '"' && options.default_value.find(' ') != std::string::npos) {
        std::string program = options.default_value.substr(0, options.default_value.find(' '));
        std::string extension = lower(program.substr(program.find_last_of(".\\") + 1));
        if (extension != "exe" && extension != "com" && extension != "bat" && extension != "cmd")
            add(context, "--installed", 0,
                "The default value holds a blank and is not quoted: Windows tries " + program +
                    " first and may start another program. The product's setup should write the program's"
                    " path in quotes.");
    }
    return found;
}

unsigned check_key_line(const std::string& text, const char* section, const char* key)
{
    return line_of(scan_lines(text), section, key);
}
