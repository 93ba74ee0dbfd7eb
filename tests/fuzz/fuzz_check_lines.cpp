// Tovinel fuzzing: tovinel-check's line scanner on any bytes, against the launcher's own .ini reader:
// the first line of a key in the first section of a name must hold the value the reader reads.
// Also: what the checker shows of any name is safe for a terminal.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "formats/encoding.h"
#include "ini_reader.h"
#include "formats/ini_scan.h"

namespace {

void fail(const char* what, const std::string& detail)
{
    fprintf(stderr, "%s: '%s'\n", what, detail.c_str());
    abort();
}

// The terminal-safety promise of shown(): no control byte, no C1 control, well-formed UTF-8.
void check_shown(const std::string& text)
{
    std::string out = shown(text, 40);
    if (!is_utf8(out))
        fail("shown() gave bytes that are not UTF-8", out);
    for (size_t i = 0; i < out.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(out[i]);
        if (c < 0x20 || c == 0x7F || (c == 0xC2 && i + 1 < out.size() && static_cast<unsigned char>(out[i + 1]) < 0xA0))
            fail("shown() let a control through", out);
    }
}

std::string outer_quotes_dropped(const std::string& value)
{
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        return value.substr(1, value.size() - 2);
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    check_shown(text);
    // The differential needs names the reader can be asked for: no NUL, no leading ';'.
    bool comparable = text.find('\0') == std::string::npos && !(size >= 2 && data[0] == 0xFF && data[1] == 0xFE);
    unsigned last = 0;
    std::string section;
    bool in_first = false;
    bool any_section = false;
    std::string sections_seen = "\n";
    std::string keys_seen = "\n";
    ini_scan(text, [&](const ini_line& line) {
        if (line.number <= last)
            fail("line numbers do not grow", std::to_string(line.number));
        last = line.number;
        if (line.name.find_first_of("\r\n") != std::string::npos || line.value.find_first_of("\r\n") != std::string::npos)
            fail("a name or value holds a line break", line.name);
        check_shown(line.name);
        if (line.kind == ini_line_kind::section) {
            std::string folded = ascii_lower(line.name);
            in_first = sections_seen.find("\n" + folded + "\n") == std::string::npos;
            sections_seen += folded + "\n";
            section = line.name;
            any_section = true;
            keys_seen = "\n";
            return;
        }
        if (line.kind != ini_line_kind::key || !comparable || !any_section || !in_first || line.name.empty() ||
            section.empty() || line.name.size() > 200 || section.size() > 200)
            return;
        std::string folded = ascii_lower(line.name);
        bool first_of_key = keys_seen.find("\n" + folded + "\n") == std::string::npos;
        keys_seen += folded + "\n";
        // Names the reader trims otherwise (a requested name loses spaces only) are not compared.
        if (!first_of_key || line.name.find('\n') != std::string::npos || line.name[0] == ';' ||
            line.name.find_first_of("\t\v\f\x1a") != std::string::npos ||
            section.find_first_of("\t\v\f\x1a") != std::string::npos)
            return;
        char value[512];
        unsigned length = ini_read_text(text.data(), text.size(), section.c_str(), line.name.c_str(), value, sizeof value);
        std::string expected = line.has_equals ? outer_quotes_dropped(line.value) : "";
        if (expected.size() < sizeof value - 1 && std::string(value, length) != expected)
            fail("the scanner's value differs from the reader's", "[" + section + "] " + line.name + ": '" + expected +
                                                                      "' against '" + std::string(value, length) + "'");
    });
    unsigned line = ini_line_of(text, "Setup", "Run");
    if (line > last)
        fail("ini_line_of names a line past the last", std::to_string(line));
    return 0;
}
