// Tovinel check: the report as one JSON object. Texts of the medium (ANSI) are converted through the
// machine's code page; everything written is well-formed UTF-8 with JSON's own escapes.
#include "cli/report_json.h"

#include <algorithm>

#include "formats/encoding.h"
#include "insertion/autoplay.h"

namespace {

const char hex_digits[] = "0123456789abcdef";

}  // namespace

std::string json_string(const std::string& text)
{
    std::string out = "\"";
    for (size_t at = 0; at < text.size();) {
        unsigned char byte = static_cast<unsigned char>(text[at]);
        if (byte < 0x80) {
            if (byte == '"' || byte == '\\') {
                out += '\\';
                out += static_cast<char>(byte);
            } else if (byte == '\n') {
                out += "\\n";
            } else if (byte < 0x20 || byte == 0x7F) {
                out += "\\u00";
                out += hex_digits[byte >> 4];
                out += hex_digits[byte & 0xF];
            } else {
                out += static_cast<char>(byte);
            }
            ++at;
            continue;
        }
        // The character's length from its first byte, so that the ASCII byte after it (a backslash,
        // a quote) is never taken into it unescaped.
        size_t length = utf8_length(text, at);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++at;
        } else {
            out.append(text, at, length);
            at += length;
        }
    }
    return out + "\"";
}

std::string finding_message(const check_finding& finding, platform_set universe)
{
    std::string scope = platforms_words(finding.platforms, universe);
    return scope.empty() ? finding.text : scope + ": " + finding.text;
}

namespace {

// ANSI text of the medium or the machine, in the code page of the check.
std::string json_ansi(const check_options& options, const std::string& ansi)
{
    return json_string(codepage_to_utf8(options.codepage, ansi, nullptr));
}

std::string json_list(const std::vector<std::string>& texts)
{
    std::string out = "[";
    for (size_t i = 0; i < texts.size(); ++i)
        out += (i == 0 ? "" : ", ") + json_string(texts[i]);
    return out + "]";
}

const char* outcome(const check_decision& decision)
{
    if (!decision.known)
        return "unknown";
    if (!decision.started)
        return "start-nothing";
    return decision.branch == branch_application ? "start-application" : "start-setup";
}

std::string machine_object(const check_options& options, const check_decision& decision, const std::string& words)
{
    std::string out = "{\"this_machine\": " + std::string(options.this_machine ? "true" : "false") +
                      ", \"description\": " + json_string(words) +
                      ", \"codepage\": " + std::to_string(options.codepage);
    if (!options.this_machine) {
        out += ", \"installed\": " + std::string(options.installed ? "true" : "false");
        out += ", \"default_value\": " +
               (options.installed && options.has_default_value ? json_ansi(options, options.default_value) : "null");
        out += ", \"setup_window\": " +
               (options.window_open ? "{\"class\": " + json_ansi(options, options.window_class) +
                                          ", \"title\": " + json_ansi(options, options.window_title) + "}"
                                    : std::string("null"));
    }
    if (options.this_machine)
        out += ", \"insertion_here\": " + json_string(decision.insertion_here);
    return out + ", \"facts\": " + json_list(decision.facts) + "}";
}

// An object of `members`, each written as "\"name\": value".
std::string object_of(const std::vector<std::string>& members)
{
    std::string out = "{";
    for (size_t i = 0; i < members.size(); ++i)
        out += (i == 0 ? "" : ", ") + members[i];
    return out + "}";
}

// "windows" and "architecture" of what a set of platforms concerns: neither when it is all of them.
std::vector<std::string> scope_members(platform_set platforms, platform_set universe)
{
    std::vector<std::string> members;
    std::vector<windows_version> versions = versions_in(platforms & universe);
    if (versions.size() != windows_version_count) {
        std::string list;
        for (size_t i = 0; i < versions.size(); ++i)
            list += std::string(i == 0 ? "\"" : ", \"") + version_id(versions[i]) + "\"";
        members.push_back("\"windows\": [" + list + "]");
    }
    architecture arch = architecture::x86;
    if (only_architecture(platforms, universe, &arch))
        members.push_back(std::string("\"architecture\": \"") + architecture_id(arch) + "\"");
    return members;
}

std::string json_ansi_or_null(const check_options& options, const std::string& ansi)
{
    return ansi.empty() ? "null" : json_ansi(options, ansi);
}

std::string json_string_or_null(const std::string& text)
{
    return text.empty() ? "null" : json_string(text);
}

std::string drive_type_member(const check_options& options)
{
    return std::string("\"drive_type\": \"") + drive_type_id(options.drive_kind) + "\"";
}

std::string finding_object(const check_options& options, const check_finding& finding, platform_set universe)
{
    std::vector<std::string> members = {
        "\"id\": " + json_string(finding.id), "\"file\": " + json_string(finding.file),
        "\"line\": " + (finding.line != 0 ? std::to_string(finding.line) : std::string("null")),
        std::string("\"severity\": ") + (finding.note ? "\"note\"" : "\"error\"")};
    for (const std::string& member : scope_members(finding.platforms, universe))
        members.push_back(member);
    if (finding.drive_specific)
        members.push_back(drive_type_member(options));
    members.push_back("\"message\": " + json_string(finding_message(finding, universe)));
    return object_of(members);
}

std::string insertion_object(const check_options& options, const insertion_group& group, platform_set universe)
{
    std::vector<std::string> members = scope_members(group.platforms, universe);
    for (const std::string& member : {
             drive_type_member(options),
             "\"file_system\": " +
                 (group.reads_files ? std::string("\"") + file_system_id(group.reads) + "\"" : std::string("null")),
             "\"section\": " + json_string_or_null(group.section),
             std::string("\"autorun\": \"") + autorun_outcome_id(group.outcome) + "\"",
             "\"program\": " + json_ansi_or_null(options, group.program),
             "\"publisher\": " + json_string_or_null(group.publisher),
             "\"option\": " + json_string_or_null(group.option),
             "\"icon\": " + json_ansi_or_null(options, group.icon),
             "\"label\": " + json_ansi_or_null(options, group.label),
             "\"why\": " + json_string(group.why)})
        members.push_back(member);
    return object_of(members);
}

std::string reading_object(const check_options& options, const reading_decision& reading, platform_set universe)
{
    std::vector<std::string> members = scope_members(reading.platforms, universe);
    members.push_back(std::string("\"file_system\": \"") + file_system_id(reading.reads) + "\"");
    members.push_back("\"section\": " + json_string(reading.section));
    members.push_back(std::string("\"outcome\": \"") + outcome(reading.decision) + "\"");
    members.push_back("\"command_line\": " +
                      (reading.decision.started ? json_ansi(options, reading.decision.command) : "null"));
    return object_of(members);
}

}  // namespace

std::string json_report(const check_options& options, const std::string& description, const check_report& report,
                        const std::string& machine, int exit_code)
{
    const check_decision& decision = report.decision;
    const check_findings& found = report.found;
    unsigned long long notes = 0;
    for (const check_finding& finding : found.kept())
        notes += finding.note ? 1 : 0;
    std::string out = "{\n";
    out += "  \"format\": \"tovinel-check\",\n";
    out += "  \"version\": " + std::to_string(json_report_version) + ",\n";
    out += "  \"tool_version\": " + json_string(TOVINEL_VERSION) + ",\n";
    out += "  \"medium\": {\"path\": " + json_string(options.medium_dir) +
           ", \"description\": " + json_string(description) + ", \"drive_type\": \"" +
           drive_type_id(options.drive_kind) + "\", \"drive_type_how\": " + json_string(options.drive_kind_how) +
           "},\n";
    out += "  \"launcher\": {\"path\": " + json_ansi(options, decision.launcher_path) +
           ", \"config_path\": " + json_ansi(options, decision.config_path) +
           ", \"tail\": " + json_ansi(options, decision.tail) +
           (decision.autorun_starts.empty() ? "" : ", \"autorun_starts\": " + json_ansi(options, decision.autorun_starts)) +
           "},\n";
    out += "  \"machine\": " + machine_object(options, decision, machine) + ",\n";
    out += "  \"decision\": {\"outcome\": \"" + std::string(outcome(decision)) +
           "\", \"reasons\": " + json_list(decision.reasons) + "},\n";
    out += "  \"command_line\": " + (decision.started ? json_ansi(options, decision.command) : "null") + ",\n";
    out += "  \"shell\": " +
           (decision.elevated ? "{\"program\": " + json_ansi(options, decision.shell_program) +
                                    ", \"parameters\": " + json_ansi(options, decision.shell_parameters) + "}"
                              : std::string("null")) +
           ",\n";
    out += "  \"readings\": [";
    for (size_t i = 0; i < report.readings.size(); ++i)
        out += std::string(i == 0 ? "\n    " : ",\n    ") + reading_object(options, report.readings[i], report.universe);
    out += report.readings.empty() ? "],\n" : "\n  ],\n";
    out += "  \"insertion\": [";
    for (size_t i = 0; i < report.insertion.size(); ++i)
        out += std::string(i == 0 ? "\n    " : ",\n    ") +
               insertion_object(options, report.insertion[i], report.universe);
    out += report.insertion.empty() ? "],\n" : "\n  ],\n";
    out += "  \"findings\": [";
    for (size_t i = 0; i < found.kept().size(); ++i)
        out += std::string(i == 0 ? "\n    " : ",\n    ") + finding_object(options, found.kept()[i], report.universe);
    out += found.kept().empty() ? "],\n" : "\n  ],\n";
    out += "  \"counts\": {\"findings\": " + std::to_string(found.findings()) +
           ", \"notes_shown\": " + std::to_string(notes) +
           ", \"not_shown\": " + std::to_string(found.left_out()) +
           ", \"ignored\": " + std::to_string(report.ignored) + "},\n";
    out += "  \"unreadable\": " + json_list(report.unreadable) + ",\n";
    out += "  \"exit_code\": " + std::to_string(exit_code) + "\n";
    return out + "}\n";
}

std::string json_reports(const std::vector<unsigned>& codepages, const std::vector<std::string>& reports, int exit_code)
{
    std::string out = "{\n";
    out += "  \"format\": \"tovinel-check\",\n";
    out += "  \"version\": " + std::to_string(json_report_version) + ",\n";
    out += "  \"tool_version\": " + json_string(TOVINEL_VERSION) + ",\n";
    out += "  \"codepages\": [";
    for (size_t i = 0; i < codepages.size(); ++i)
        out += (i == 0 ? "" : ", ") + std::to_string(codepages[i]);
    out += "],\n  \"reports\": [";
    for (size_t i = 0; i < reports.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        // Each report indented by four, its last line break left out.
        const std::string& report = reports[i];
        for (size_t at = 0; at < report.size();) {
            size_t end = std::min(report.find('\n', at), report.size());
            out += (at == 0 ? "    " : "\n    ") + report.substr(at, end - at);
            at = end + 1;
        }
    }
    out += "\n  ],\n";
    out += "  \"exit_code\": " + std::to_string(exit_code) + "\n";
    return out + "}\n";
}
