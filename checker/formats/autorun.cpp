// Tovinel check: autorun.inf read with the launcher's own profile reader, which follows the same
// rules as the Windows shell's read of the file: only the first [autorun] section counts.
#include "formats/autorun.h"

#include <algorithm>

#include "formats/ini_scan.h"
#include "ini_reader.h"

namespace {

autorun_value read_value(const std::string& text, const std::string& section, const char* key)
{
    autorun_value value;
    // Long enough to tell any value worth reading; a longer one is cut, which changes nothing here.
    std::string buffer(std::min<size_t>(text.size(), 65536) + 1, '\0');
    unsigned length = ini_read_text(text.data(), static_cast<unsigned long>(text.size()), section.c_str(), key,
                                    &buffer[0], static_cast<unsigned>(buffer.size()));
    value.text = buffer.substr(0, length);
    if (length != 0)
        value.line = ini_line_of(text, section, key);
    return value;
}

}  // namespace

autorun_facts autorun_read(const std::string& ansi_text, const std::string& section)
{
    autorun_facts facts;
    facts.open = read_value(ansi_text, section, "open");
    facts.shell_execute = read_value(ansi_text, section, "shellexecute");
    facts.icon = read_value(ansi_text, section, "icon");
    facts.label = read_value(ansi_text, section, "label");
    facts.action = read_value(ansi_text, section, "action");
    return facts;
}

bool autorun_has_section(const std::string& ansi_text, const std::string& section)
{
    bool found = false;
    ini_scan(ansi_text, [&](const ini_line& line) {
        found |= line.kind == ini_line_kind::section && ini_same_name(line.name, section);
    });
    return found;
}

autorun_command autorun_split(const std::string& command)
{
    autorun_command split;
    size_t end = 0;
    if (!command.empty() && command[0] == '"') {
        size_t close = command.find('"', 1);
        split.program = command.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        end = close == std::string::npos ? command.size() : close + 1;
    } else {
        end = command.find_first_of(" \t");
        if (end == std::string::npos)
            end = command.size();
        split.program = command.substr(0, end);
    }
    while (end < command.size() && (command[end] == ' ' || command[end] == '\t'))
        ++end;
    split.arguments = command.substr(end);
    while (split.program.compare(0, 2, ".\\") == 0 || split.program.compare(0, 1, "\\") == 0)
        split.program.erase(0, split.program[0] == '.' ? 2 : 1);
    return split;
}

std::string autorun_icon_file(const std::string& icon)
{
    size_t comma = icon.rfind(',');
    if (comma == std::string::npos)
        return icon;
    size_t digits = comma + 1;
    if (digits < icon.size() && icon[digits] == '-')
        ++digits;
    if (digits == icon.size())
        return icon;
    for (size_t i = digits; i < icon.size(); ++i)
        if (icon[i] < '0' || icon[i] > '9')
            return icon;
    return ini_trimmed(icon.substr(0, comma));
}
