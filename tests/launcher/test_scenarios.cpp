// Tovinel tests: the native runner of the scenario table (tests/scenarios/launcher.txt).
// Plays every scenario through launcher_entry against the fake platform and the INI stand-in.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "startup.h"

// The format is described at the top of the table; the Wine runner reads it with
// tests/wine/scenario_table.py, and both must agree on every field.
namespace {

struct scenario {
    std::string name;
    unsigned line = 0;
    std::string folder = "D:\\", exe = "tovinel.exe", command, ini_name = "Tovinel.ini";
    bool has_command = false, has_ini = false, utf16 = false;
    std::string ini;
    std::string registry_kind = "none", registry_data;
    std::string registry_view = "32";      // the view the 32-bit launcher sees, or only the 64-bit one
    std::string codepage = "1252";
    std::vector<std::pair<std::string, std::string>> windows;
    std::string expect;                    // "nothing" or "start ..."
    std::vector<std::string> programs;     // files that exist, for the split of a refused start
    std::string start_answer;              // "" (started) or "needs-elevation"
    std::string expect_shell;              // "PROGRAM|PARAMETERS" handed to the shell, or ""
    std::string native;                    // "", "skip ...", "expect ..."
    std::string native_why;
};

std::string decode(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size();) {
        if (text[i] != '%') {
            out += text[i++];
        } else if (text.compare(i, 2, "%{") == 0) {
            size_t end = text.find('}', i);
            size_t comma = text.find(',', i);
            unsigned long count = strtoul(text.substr(i + 2, comma - i - 2).c_str(), nullptr, 10);
            std::string repeated = text.substr(comma + 1, end - comma - 1);
            for (unsigned long n = 0; n < count; ++n) out += repeated;
            i = end + 1;
        } else {
            out += static_cast<char>(strtoul(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 3;
        }
    }
    return out;
}

std::string xorshift_bytes(unsigned long seed, unsigned long count)
{
    unsigned x = static_cast<unsigned>(seed);
    std::string out;
    for (unsigned long n = 0; n < count; ++n) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out += static_cast<char>(x & 0xFF);
    }
    return out;
}

// Reads the table; a malformed line fails the test with its line number.
std::vector<scenario> read_table(const char* path)
{
    std::vector<scenario> table;
    FILE* file = fopen(path, "rb");
    if (file == nullptr) {
        ADD_FAILURE() << "cannot open " << path;
        return table;
    }
    char raw[65536];
    for (unsigned number = 1; fgets(raw, sizeof raw, file) != nullptr; ++number) {
        std::string line(raw);
        if (!line.empty() && line.back() == '\n') line.pop_back();
        if (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) {
            ADD_FAILURE() << path << ":" << number << ": the line ends in a blank; write %20 or %09";
            continue;
        }
        if (line.empty() || line[0] == '#') continue;
        size_t colon = line.find(':');
        if (colon == std::string::npos) {
            ADD_FAILURE() << path << ":" << number << ": no field: " << line;
            continue;
        }
        std::string field = line.substr(0, colon);
        std::string value = line.size() > colon + 1 ? line.substr(colon + 2) : "";
        if (field == "scenario") {
            table.push_back(scenario{});
            table.back().name = value;
            table.back().line = number;
            continue;
        }
        if (table.empty()) {
            ADD_FAILURE() << path << ":" << number << ": field before the first scenario";
            continue;
        }
        scenario& s = table.back();
        if (field == "codepage") s.codepage = value;
        else if (field == "registry-view") s.registry_view = value;
        else if (field == "folder") s.folder = decode(value);
        else if (field == "exe") s.exe = decode(value);
        else if (field == "command") { s.command = decode(value); s.has_command = true; }
        else if (field == "ini-name") s.ini_name = decode(value);
        else if (field == "ini") { s.ini += decode(value) + "\r\n"; s.has_ini = true; }
        else if (field == "ini-lf") { s.ini += decode(value) + "\n"; s.has_ini = true; }
        else if (field == "ini-bytes") { s.ini += decode(value); s.has_ini = true; }
        else if (field == "ini-repeat") {
            size_t blank = value.find(' ');
            std::string piece = decode(value.substr(blank + 1));
            for (unsigned long n = strtoul(value.c_str(), nullptr, 10); n > 0; --n) s.ini += piece;
            s.has_ini = true;
        } else if (field == "ini-random") {
            char* rest;
            unsigned long seed = strtoul(value.c_str(), &rest, 10);
            s.ini += xorshift_bytes(seed, strtoul(rest, nullptr, 10));
            s.has_ini = true;
        } else if (field == "ini-utf16") { s.utf16 = value == "yes"; s.has_ini = true; }
        else if (field == "registry") {
            size_t blank = value.find(' ');
            s.registry_kind = value.substr(0, blank);
            s.registry_data = blank == std::string::npos ? "" : decode(value.substr(blank + 1));
        } else if (field == "window") {
            size_t bar = value.find('|');
            s.windows.emplace_back(decode(value.substr(0, bar)),
                                   bar == std::string::npos ? "" : decode(value.substr(bar + 1)));
        } else if (field == "expect") s.expect = value;
        else if (field == "program") s.programs.push_back(decode(value));
        else if (field == "start-answer") s.start_answer = value;
        else if (field == "expect-shell") s.expect_shell = decode(value);
        else if (field == "native") s.native = value;
        else if (field == "native-why") s.native_why = value;
        else if (field != "wine" && field != "wine-why")
            ADD_FAILURE() << path << ":" << number << ": unknown field " << field;
    }
    fclose(file);
    for (scenario& s : table) {
        if (!s.has_command) s.command = s.folder + s.exe;
        if (s.utf16) {
            std::string wide = "\xff\xfe";
            for (char c : s.ini) { wide += c; wide += '\0'; }
            s.ini = wide;
        }
    }
    return table;
}

// "%XX" for bytes a message could not show.
std::string shown(const char* command)
{
    if (command == nullptr) return "nothing";
    std::string out = "start '";
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(command); *c != 0; ++c) {
        char hex[4];
        snprintf(hex, sizeof hex, "%%%02X", *c);
        out += (*c >= 0x20 && *c < 0x7F && *c != '%') ? std::string(1, static_cast<char>(*c)) : hex;
    }
    return out + "'";
}

unsigned registry_type(const std::string& kind)
{
    if (kind == "none" || kind == "key") return 0;
    if (kind == "sz") return 1;
    if (kind == "expand") return 2;
    if (kind == "binary") return 3;
    if (kind == "dword") return 4;
    return ~0u;
}

// The lead-byte ranges that GetCPInfo gives for the table's code pages.
bool set_code_page(fake_machine& machine, const std::string& codepage)
{
    if (codepage == "1252") return true;
    if (codepage != "932") return false;
    machine.lead_bytes[0] = {0x81, 0x9F};
    machine.lead_bytes[1] = {0xE0, 0xFC};
    return true;
}

TEST(Scenarios, TheLauncherDoesWhatEachScenarioExpects)
{
    std::vector<scenario> table = read_table(TOVINEL_SCENARIO_TABLE);
    ASSERT_GT(table.size(), 40u) << "the table lost its scenarios";
    unsigned played = 0;
    unsigned double_byte_questions = 0;
    for (const scenario& s : table) {
        SCOPED_TRACE("scenario at line " + std::to_string(s.line) + ": " + s.name);
        if (s.native.rfind("skip ", 0) == 0) continue;
        std::string expect = s.expect;
        if (!s.native.empty()) {
            ASSERT_EQ(0u, s.native.rfind("expect ", 0)) << "native: needs skip or expect";
            ASSERT_FALSE(s.native_why.empty()) << "native: needs native-why";
            expect = s.native.substr(7);
        }
        ASSERT_TRUE(expect == "nothing" || expect.rfind("start ", 0) == 0) << "bad expect: " << expect;

        std::string module_path = s.folder + s.exe;
        std::string config_path = s.folder + s.ini_name;
        fake_registry_key key{"SOFTWARE\\Tovinel Test\\Product", s.registry_kind != "key",
                              s.registry_data.data(), static_cast<unsigned>(s.registry_data.size()),
                              registry_type(s.registry_kind)};
        std::vector<fake_window> windows;
        for (const auto& w : s.windows) windows.push_back({w.first.c_str(), w.second.c_str()});

        fake_machine machine{};
        ASSERT_TRUE(set_code_page(machine, s.codepage)) << "unknown codepage " << s.codepage;
        ASSERT_TRUE(s.registry_view == "32" || s.registry_view == "64") << "bad registry-view";
        ASSERT_NE(~0u, registry_type(s.registry_kind)) << "bad registry " << s.registry_kind;
        machine.module_path = module_path.c_str();
        // With no file, the stand-in reads nothing: point it at an empty text of another name.
        machine.config_path = s.has_ini ? config_path.c_str() : "";
        machine.ini_text = s.ini.data();
        machine.ini_length = s.ini.size();
        machine.keys = &key;
        // A 64-bit-only key lies in a view the 32-bit launcher never sees: for it, there is none.
        machine.key_count = s.registry_kind == "none" || s.registry_view == "64" ? 0 : 1;
        machine.windows = windows.data();
        machine.window_count = static_cast<unsigned>(windows.size());
        std::vector<const char*> files;
        for (const std::string& program : s.programs) files.push_back(program.c_str());
        machine.existing_files = files.data();
        machine.existing_file_count = static_cast<unsigned>(files.size());
        ASSERT_TRUE(s.start_answer.empty() || s.start_answer == "needs-elevation")
            << "bad start-answer " << s.start_answer;
        machine.start_answer = s.start_answer.empty() ? start_started : start_needs_elevation;
        fake_install(machine);

        const char* tail = command_line_tail(s.command.c_str());
        unsigned exit_code = launcher_entry(nullptr, nullptr, tail, 0);
        ++played;

        EXPECT_EQ(0u, exit_code);
        EXPECT_LE(fake_start_count(), 1u) << fake_transcript();
        std::string wanted = expect == "nothing" ? "nothing" : shown(decode(expect.substr(6)).c_str());
        EXPECT_EQ(wanted, shown(fake_started_command())) << fake_transcript();
        EXPECT_EQ(fake_open_key_count(), fake_closed_key_count()) << "every opened key is closed";
        std::string handed = fake_shell_program() == nullptr
                                 ? ""
                                 : std::string(fake_shell_program()) + "|" + fake_shell_parameters();
        EXPECT_EQ(s.expect_shell, handed) << fake_transcript();
        // No code page has a lead byte below 0x81, so a run never asks about one: a run whose
        // names are ASCII asks nothing, and Windows reads no code page information for it.
        EXPECT_GE(fake_lowest_lead_byte_query(), 0x81u) << fake_lead_byte_query_count() << " questions";
        if (s.codepage == "932")
            double_byte_questions += fake_lead_byte_query_count();
    }
    // The table's double-byte names are scanned character by character, so the check above met
    // questions to answer.
    EXPECT_GT(double_byte_questions, 0u);
    printf("native scenarios: %u played of %zu in the table\n", played, table.size());
}

}  // namespace
