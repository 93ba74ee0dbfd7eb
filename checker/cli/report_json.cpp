// Tovinel check: the report as one JSON object. Texts of the medium (ANSI) are converted through the
// machine's code page; everything written is well-formed UTF-8 with JSON's own escapes.
#include "cli/report_json.h"

#include <algorithm>

#include "formats/encoding.h"

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
    return out + ", \"facts\": " + json_list(decision.facts) + "}";
}

std::string finding_object(const check_finding& finding)
{
    return "{\"id\": " + json_string(finding.id) + ", \"file\": " + json_string(finding.file) +
           ", \"line\": " + (finding.line != 0 ? std::to_string(finding.line) : std::string("null")) +
           ", \"severity\": " + (finding.note ? "\"note\"" : "\"error\"") +
           ", \"message\": " + json_string(finding.text) + "}";
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
           ", \"description\": " + json_string(description) + "},\n";
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
    out += "  \"findings\": [";
    for (size_t i = 0; i < found.kept().size(); ++i)
        out += std::string(i == 0 ? "\n    " : ",\n    ") + finding_object(found.kept()[i]);
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
