// Tovinel tests: the checker's small parts, each with its table: the autorun.inf command split,
// the icon file, the installed key, text shown on a terminal, code-page conversions, the line
// scanner, the findings' order and cap, and Windows paths resolved on a medium.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "formats/autorun.h"
#include "check/check.h"
#include "findings/check_context.h"
#include "formats/encoding.h"
#include "formats/ini_scan.h"
#include "media/medium.h"
#include "cli/report_json.h"
#include "cli/typed_arguments.h"

namespace {

// tovinel-check.exe's arguments from its command line as cmd, Windows PowerShell 5.1, PowerShell 7
// and a script pass them on: the runtime's split, but --installed's value as typed.
TEST(CheckParts, CommandLinesSplitAsTheRuntimeKeepingTheInstalledValueAsTyped)
{
    struct {
        const wchar_t* line;
        std::vector<std::wstring> arguments;   // after the program's name
    } const cases[] = {
        // cmd, and PowerShell 5.1 for '"C:\Program Files\..."': the quotes around the path are the value's.
        {LR"(check.exe --installed="C:\Program Files\Maker\App.exe" E:\)",
         {LR"(--installed="C:\Program Files\Maker\App.exe")", LR"(E:\)"}},
        {LR"(check.exe --installed "C:\Program Files\Maker\App.exe" E:\)",
         {L"--installed", LR"("C:\Program Files\Maker\App.exe")", LR"(E:\)"}},
        {LR"(check.exe --installed="C:\A B\App.exe /x" m)", {LR"(--installed="C:\A B\App.exe /x")", L"m"}},
        // Quotes around the whole argument are the shell's: an unquoted value with a blank.
        {LR"("C:\Tools\check.exe" "--installed=C:\A B\App.exe" m)", {LR"(--installed=C:\A B\App.exe)", L"m"}},
        // Escaped quotes (bash, PowerShell 7, the quoting trick in cmd): as the runtime gives them.
        {LR"(check.exe "--installed=\"C:\A B\App.exe\" /x" m)", {LR"(--installed="C:\A B\App.exe" /x)", L"m"}},
        {LR"(check.exe --installed="\"C:\A B\App.exe\"" m)", {LR"(--installed="C:\A B\App.exe")", L"m"}},
        {LR"(check.exe --installed=C:\APP\APP.EXE m)", {LR"(--installed=C:\APP\APP.EXE)", L"m"}},
        // Every other argument is the runtime's: quotes dropped, backslashes before quotes halved.
        {LR"x(check.exe --setup-window="Maker Setup,Maker" "E:\\" a\\b "x""y" "p""q")x",
         {L"--setup-window=Maker Setup,Maker", LR"(E:\)", LR"(a\\b)", L"x\"y", L"p\"q"}},
        {LR"(check.exe --tail="a \"b\"" c\\\"d)", {L"--tail=a \"b\"", L"c\\\"d"}},
        {L"check.exe\t  --quiet  ", {L"--quiet"}},
    };
    for (const auto& c : cases) {
        std::vector<std::wstring> arguments = typed_arguments(c.line);
        ASSERT_FALSE(arguments.empty()) << c.line;
        EXPECT_EQ(c.arguments, std::vector<std::wstring>(arguments.begin() + 1, arguments.end())) << c.line;
    }
    EXPECT_EQ(L"C:\\Tools\\check.exe", typed_arguments(LR"("C:\Tools\check.exe" m)")[0]);
}

TEST(CheckParts, AutorunCommandsSplitAsWindowsSplitsThem)
{
    struct {
        const char* command;
        const char* program;
        const char* arguments;
    } const cases[] = {
        {"tovinel.exe", "tovinel.exe", ""},
        {"tovinel.exe /auto  x", "tovinel.exe", "/auto  x"},
        {"tovinel.exe\t/auto", "tovinel.exe", "/auto"},
        {"\\DISC1\\tovinel.exe", "DISC1\\tovinel.exe", ""},
        {".\\tovinel.exe -q", "tovinel.exe", "-q"},
        {".\\\\.\\tovinel.exe", "tovinel.exe", ""},
        {"\\.hidden.exe", ".hidden.exe", ""},
        {"\"Disc One\\tovinel.exe\" /a", "Disc One\\tovinel.exe", "/a"},
        {"\"Disc One\\tovinel.exe", "Disc One\\tovinel.exe", ""},
        {"\"\"", "", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        autorun_command split = autorun_split(c.command);
        EXPECT_EQ(c.program, split.program) << c.command;
        EXPECT_EQ(c.arguments, split.arguments) << c.command;
    }
}

TEST(CheckParts, CommandsAreTriedAtEachBlankWithExeWhereANameHasNoExtension)
{
    using paths = std::vector<std::string>;
    struct {
        const char* base;
        const char* command;
        paths tried;
    } const cases[] = {
        {"D:\\", "SETUP.EXE", {"D:\\SETUP.EXE"}},
        {"D:\\", "setup", {"D:\\setup", "D:\\setup.exe"}},
        {"D:\\DISC1\\", "\\SETUP.EXE", {"D:\\SETUP.EXE"}},
        {"D:\\DISC1\\", "SETUP.EXE", {"D:\\DISC1\\SETUP.EXE"}},
        {"D:\\", "Maker Setup\\setup /s",
         {"D:\\Maker", "D:\\Maker.exe", "D:\\Maker Setup\\setup", "D:\\Maker Setup\\setup.exe",
          "D:\\Maker Setup\\setup /s", "D:\\Maker Setup\\setup /s.exe"}},
        {"D:\\", "Disc.1\\setup", {"D:\\Disc.1\\setup", "D:\\Disc.1\\setup.exe"}},
        {"D:\\", "a.b c", {"D:\\a.b", "D:\\a.b c"}},
        {"D:\\", "x\\.y", {"D:\\x\\.y"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.tried, check_tried_paths(c.base, c.command)) << c.command;
}

TEST(CheckParts, IconValuesLoseTheirResourceIndex)
{
    struct {
        const char* icon;
        const char* file;
    } const cases[] = {
        {"tovinel.exe", "tovinel.exe"},     {"tovinel.exe,0", "tovinel.exe"}, {"tovinel.exe , 12", "tovinel.exe , 12"},
        {"tovinel.exe ,12", "tovinel.exe"}, {"a.dll,-101", "a.dll"},          {"odd,name.ico", "odd,name.ico"},
        {"trailing,", "trailing,"},         {"minus,-", "minus,-"},          {"tovinel.exe,1a", "tovinel.exe,1a"},
        {"tovinel.exe,0/", "tovinel.exe,0/"}, {"tovinel.exe,:", "tovinel.exe,:"}, {"tovinel.exe,90", "tovinel.exe"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.file, autorun_icon_file(c.icon)) << c.icon;
}

TEST(CheckParts, TheInstalledKeyIsWhatSetupWrites)
{
    struct {
        const char* reg_key;
        const char* installed;
    } const cases[] = {
        {"SOFTWARE\\Maker\\Product", "SOFTWARE\\Maker\\Product"},
        {"SOFTWARE\\Maker ; where setup writes", "SOFTWARE\\Maker"},
        {"SOFTWARE\\Maker;no blank", "SOFTWARE\\Maker;no blank"},
        {"SOFTWARE/Maker/Product", "SOFTWARE\\Maker\\Product"},
        {"\\\\SOFTWARE\\\\Maker", "SOFTWARE\\Maker"},
        {"HKLM\\SOFTWARE\\Maker", "SOFTWARE\\Maker"},
        {"hkey_local_machine/SOFTWARE", "SOFTWARE"},
        {"SOFTWARE\\Maker\\", "SOFTWARE\\Maker\\"},
        {"HKLMX\\SOFTWARE", "HKLMX\\SOFTWARE"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.installed, check_installed_key(c.reg_key)) << c.reg_key;
    EXPECT_EQ(4u, check_registry_root_length("HKCU\\X"));
    EXPECT_EQ(3u, check_registry_root_length("hku"));
    EXPECT_EQ(0u, check_registry_root_length("SOFTWARE\\HKLM"));
}

TEST(CheckParts, ShownTextIsSafeForATerminal)
{
    struct {
        std::string text;
        size_t most;
        const char* shown;
    } const cases[] = {
        {"plain D:\\SETUP.EXE", 100, "plain D:\\SETUP.EXE"},
        {"tab\there", 100, "tab\\x09here"},
        {"\x1b[2J\x7f", 100, "\\x1B[2J\\x7F"},
        {"caf\xc3\xa9", 100, "caf\xc3\xa9"},
        {"csi \xc2\x9b and nbsp \xc2\xa0", 100, "csi \\u009B and nbsp \xc2\xa0"},
        {"broken \xff\xc3", 100, "broken \\xFF\\xC3"},
        {"overlong \xc0\xaf surrogate \xed\xa0\x80", 100, "overlong \\xC0\\xAF surrogate \\xED\\xA0\\x80"},
        {"four \xf0\x9f\x98\x80 past \xf4\x90\x80\x80", 100, "four \xf0\x9f\x98\x80 past \\xF4\\x90\\x80\\x80"},
        {"abcdef", 3, "abc... (6 bytes)"},
        {"abc", 3, "abc"},
        {std::string("nul\0x", 5), 100, "nul\\x00x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.shown, shown(c.text, c.most)) << c.shown;
    EXPECT_TRUE(is_utf8("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"));
    EXPECT_FALSE(is_utf8("\xe0\x80\xaf"));
    EXPECT_FALSE(is_utf8("\xf0\x80\x80\x80"));
    EXPECT_FALSE(is_utf8("\xc3"));
    EXPECT_TRUE(is_utf8("\xe0\xa0\x80 \xef\xbf\xbf \xf4\x8f\xbf\xbf \xf1\x80\x80\x80")) << "edges of the ranges";
    EXPECT_FALSE(is_utf8("\xf0\x9f\x28\x80")) << "a third byte that does not follow";
    EXPECT_FALSE(is_utf8("\xe2\x82")) << "cut short";
    EXPECT_TRUE(is_utf8("\xf0\x90\x80\x80")) << "U+10000";
    EXPECT_FALSE(is_utf8("\xf5\x80\x80\x80")) << "past U+10FFFF";
    EXPECT_FALSE(is_utf8("\xf0\x9f\x98\x80\xff")) << "a stray byte after a four-byte character";
    EXPECT_EQ("azaz@[`{", ascii_lower("AZaz@[`{"));
}

TEST(CheckParts, JsonStringsAreWellFormedWhateverTheText)
{
    struct {
        std::string text;
        const char* json;
    } const cases[] = {
        {"D:\\SETUP.EXE /s", "\"D:\\\\SETUP.EXE /s\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"a\nb", "\"a\\nb\""},
        {std::string("\0\t\x1f \x7f~", 6), "\"\\u0000\\u0009\\u001f \\u007f~\""},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\""},
        {"\xff\xc3", "\"\xef\xbf\xbd\xef\xbf\xbd\""},
        {"\xe2\x82x", "\"\xef\xbf\xbd\xef\xbf\xbdx\""},
        {"\xc3\xa9\xc3", "\"\xc3\xa9\xef\xbf\xbd\""},
        // A backslash or a quote soon after a character beyond ASCII (two, three and four bytes long)
        // or after a byte that begins no character.
        {"Zubeh\xc3\xb6r\\SETUP.EXE", "\"Zubeh\xc3\xb6r\\\\SETUP.EXE\""},
        {"\xe3\x82\xbd\\\xe8\xa1\xa8\"", "\"\xe3\x82\xbd\\\\\xe8\xa1\xa8\\\"\""},
        {"\xf0\x9f\x98\x80\\\n", "\"\xf0\x9f\x98\x80\\\\\\n\""},
        {"\x83\\\xe9\"", "\"\xef\xbf\xbd\\\\\xef\xbf\xbd\\\"\""},
        {"", "\"\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.json, json_string(c.text)) << c.json;
}

TEST(CheckParts, Utf8IsWellFormedOnlyAtTheEdgesOfEachRange)
{
    struct {
        const char* text;
        bool utf8;
    } const cases[] = {
        {"\xc2\x80", true},          {"\xdf\xbf", true},          {"\xc1\xbf", false},
        {"\xc2\x41", false},         {"\xe0\xa0\x80", true},      {"\xe0\x9f\x80", false},
        {"\xed\x9f\xbf", true},      {"\xed\xa0\x80", false},      {"\xee\x80\x80", true},
        {"\xef\xbf\xbf", true},      {"\xe1\x41\x80", false},      {"\xe1\x80\x41", false},
        {"\xf0\x90\x80\x80", true},  {"\xf0\x8f\xbf\xbf", false},  {"\xf4\x8f\xbf\xbf", true},
        {"\xf4\x90\x80\x80", false}, {"\xf5\x80\x80\x80", false},  {"\xf1\x41\x80\x80", false},
        {"\xf1\x80\x41\x80", false}, {"\xf1\x80\x80\x41", false},  {"\xf1\x80\x80\x80", true},
        {"\x80", false},             {"\xff", false},             {"\x7f", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.utf8, is_utf8(c.text)) << shown(c.text);
}

TEST(CheckParts, CodePagesConvertAsWindowsDoes)
{
    bool exact = false;
    EXPECT_EQ("Set\xc3\xbcp", codepage_to_utf8(1252, "Set\xfcp", &exact));
    EXPECT_TRUE(exact);
    EXPECT_EQ("\xe2\x82\xac", codepage_to_utf8(1252, "\x80", nullptr));
    EXPECT_EQ("\xef\xbf\xbd", codepage_to_utf8(1252, "\x81", &exact)) << "a byte 1252 does not map";
    EXPECT_EQ("\xef\xbf\xbdx\xef\xbf\xbd", codepage_to_utf8(1252, "\x81x\x8d", nullptr)) << "each byte alone";
    EXPECT_FALSE(exact);
    EXPECT_EQ("\xe3\x82\xbd\\", codepage_to_utf8(932, "\x83\x5c\\", nullptr)) << "a trail byte 0x5C is no backslash";
    EXPECT_EQ("\xd0\x96", codepage_to_utf8(1251, "\xc6", nullptr));
    EXPECT_EQ("\x83\x5c", utf8_to_codepage(932, "\xe3\x82\xbd", &exact));
    EXPECT_TRUE(exact);
    EXPECT_EQ("a?b", utf8_to_codepage(1252, "a\xe3\x82\xbd" "b", &exact));
    EXPECT_FALSE(exact);
    EXPECT_EQ("A?\xfc", utf16le_to_codepage(1252, std::string("A\0\xbd\x30\xfc\0\x01", 7)))
        << "one '?' per unit the code page lacks, an odd byte dropped";
    // A code page iconv lacks is read as 1252.
    EXPECT_EQ("Set\xc3\xbc\xef\xbf\xbd", codepage_to_utf8(1, "Set\xfc\x81", &exact));
    EXPECT_FALSE(exact);
    EXPECT_EQ("\xfc?", utf8_to_codepage(1, "\xc3\xbc\xe3\x82\xbd", &exact));
    EXPECT_FALSE(exact);
    EXPECT_EQ("\xfc?", utf16le_to_codepage(1, std::string("\xfc\0\xbd\x30", 4)));
    // The edges of each double-byte code page's lead-byte ranges.
    struct {
        unsigned codepage;
        unsigned char byte;
        bool lead;
    } const lead_bytes[] = {
        {932, 0x80, false}, {932, 0x81, true}, {932, 0x9F, true}, {932, 0xA0, false}, {932, 0xDF, false},
        {932, 0xE0, true},  {932, 0xFC, true}, {932, 0xFD, false}, {936, 0x80, false}, {936, 0x81, true},
        {936, 0xFE, true},  {936, 0xFF, false}, {949, 0x80, false}, {949, 0x81, true}, {949, 0xFE, true},
        {950, 0x81, true},  {950, 0xFE, true}, {950, 0xFF, false}, {1252, 0x81, false}, {874, 0xA1, false},
    };
    for (const auto& c : lead_bytes)
        EXPECT_EQ(c.lead, codepage_is_lead_byte(c.codepage, c.byte)) << c.codepage << " " << unsigned(c.byte);
    struct {
        unsigned codepage;
        const char* path;
        size_t name_start;
    } const name_starts[] = {
        {1252, "D:\\a\\b.exe", 5}, {932, "D:\\\x83\x5C.exe", 3}, {1252, "D:\\\x83\x5C.exe", 5},
        {936, "D:\\\x83\x5C\\x", 6}, {932, "x\\\x83", 2}, {932, "D:\\\x83\x5C", 3}, {932, "abc", 0}, {932, "", 0},
    };
    for (const auto& c : name_starts)
        EXPECT_EQ(c.name_start, codepage_name_start(c.codepage, c.path)) << c.codepage << " " << shown(c.path);
    for (unsigned codepage : {874u, 932u, 936u, 949u, 950u, 1250u, 1258u})
        EXPECT_TRUE(codepage_known(codepage)) << codepage;
    for (unsigned codepage : {0u, 437u, 1249u, 1259u, 65001u})
        EXPECT_FALSE(codepage_known(codepage)) << codepage;
}

TEST(CheckParts, TheLineScannerFindsWhatTheReaderReads)
{
    const char bytes[] = "; c\r\n[ Setup ]x\r\n\r\n \tRun\v= a b \f\n\r[Two\nk\x00z=v\n#h=1\nw= \"q\" \x1a\n"
                         " \t; c2\n  [Three]";
    const std::string text(bytes, sizeof bytes - 1);
    std::vector<std::string> seen;
    ini_scan(text, [&](const ini_line& line) {
        seen.push_back(std::to_string(line.number) + ":" + std::to_string(static_cast<int>(line.kind)) + ":" +
                       line.name + "=" + line.value + (line.has_equals ? "!" : "") + (line.has_close ? "]" : ""));
    });
    const std::vector<std::string> expected = {"1:0:=",       "2:1:Setup=]",       "4:2:Run=a b!", "6:1:Two=",
                                               "7:2:k=v!",    "8:2:#h=1!",         "9:2:w=\"q\"!", "10:0:=",
                                               "11:1:Three=]"};
    EXPECT_EQ(expected, seen);
    // A name of blanks only is empty, however the blanks stand before the '='.
    seen.clear();
    ini_scan("[S]\n \t= v\n =\n", [&](const ini_line& line) {
        seen.push_back(std::to_string(line.number) + ":" + line.name + "=" + line.value);
    });
    EXPECT_EQ((std::vector<std::string>{"1:S=", "2:=v", "3:="}), seen);
    EXPECT_EQ(4u, ini_line_of(text, "setup", "RUN"));
    EXPECT_EQ(0u, ini_line_of(text, "Setup", "w")) << "w stands in [Two], not in [Setup]";
    EXPECT_EQ(9u, ini_line_of(text, "two", "W"));
    EXPECT_EQ(0u, ini_line_of("[S]\nk=1\n[T]\n[S]\nr=2\n", "S", "r")) << "only the first section of a name";
    for (const auto& trim : std::vector<std::pair<std::string, std::string>>{
             {" \tx y\v\f ", "x y"}, {"\x1a" "a", "a"}, {"   ", ""}, {"", ""}, {"a", "a"}})
        EXPECT_EQ(trim.second, ini_trimmed(trim.first)) << "'" << trim.first << "'";
    EXPECT_TRUE(ini_same_name("RegKey", "regkey"));
    EXPECT_FALSE(ini_same_name("RegKey", "RegKeys"));
    EXPECT_FALSE(ini_same_name("[", "{"));
}

TEST(CheckParts, FindingsKeepFileAndLineOrderUpToTheirCap)
{
    struct added {
        unsigned rank;
        const char* file;
        unsigned line;
        bool note;
    };
    struct {
        const char* name;
        std::vector<added> findings;   // in the order they are added, to a list that keeps 3
        const char* kept;              // "file:line" of those kept, in order
        unsigned long long counted;    // findings, notes not counted
        unsigned long long left_out;
    } const cases[] = {
        {"ranks before files before lines",
         {{2, "Tovinel.ini", 9, false}, {0, "zz", 5, false}, {2, "Tovinel.ini", 3, false}},
         "zz:5 Tovinel.ini:3 Tovinel.ini:9", 3, 0},
        {"files of one rank by name", {{4, "--installed", 0, false}, {4, "--folder", 0, false}},
         "--folder:0 --installed:0", 2, 0},
        {"equal places keep their order", {{2, "b", 1, false}, {2, "b", 1, true}, {2, "a", 7, false}},
         "a:7 b:1 b:1", 2, 0},
        {"the last beyond the cap is only counted",
         {{2, "a", 1, false}, {2, "a", 2, false}, {2, "a", 3, false}, {2, "a", 4, false}}, "a:1 a:2 a:3", 4, 1},
        {"an earlier one beyond the cap pushes out the last",
         {{2, "a", 5, false}, {2, "a", 6, false}, {2, "a", 7, false}, {2, "a", 1, true}, {0, "z", 2, false}},
         "z:2 a:1 a:5", 4, 2},
        {"notes are kept but not counted", {{2, "a", 1, true}, {2, "a", 2, true}}, "a:1 a:2", 0, 0},
    };
    for (const auto& c : cases) {
        check_findings found(3);
        for (const added& a : c.findings)
            found.add({a.rank, a.file, a.line, "run-missing", "text", a.note});
        std::string kept;
        for (const check_finding& finding : found.kept())
            kept += (kept.empty() ? "" : " ") + finding.file + ":" + std::to_string(finding.line);
        EXPECT_EQ(c.kept, kept) << c.name;
        EXPECT_EQ(c.counted, found.findings()) << c.name;
        EXPECT_EQ(c.left_out, found.left_out()) << c.name;
    }
}

TEST(CheckParts, WindowsPathsResolveOnTheMediumAsWindowsFindsThem)
{
    // DISC1\Tovinel.ini, DISC1\tovinel.exe, setup\setup.exe, Tovinel.ini, autorun.inf
    std::unique_ptr<medium_access> medium = medium_in_folder(std::string(CHECK_MEDIA) + "/subfolder");
    check_options options;
    check_report report;
    check_context context{*medium, options, report};
    std::string deep = "D:";
    for (int i = 0; i < 129; ++i)
        deep += "\\a";
    struct {
        std::string windows_path;
        const char* medium_path;   // null: not on the medium
        bool case_differs;
    } const cases[] = {
        {"D:\\", "", false},
        {"D:", "", false},
        {"d:\\DISC1\\tovinel.exe", "DISC1/tovinel.exe", false},
        {"D:\\disc1\\TOVINEL.EXE", "DISC1/tovinel.exe", true},
        {"D:\\setup\\..\\DISC1\\.\\tovinel.exe", "DISC1/tovinel.exe", false},
        {"D:\\gone\\..\\..\\Tovinel.ini", "Tovinel.ini", false},
        {"D:\\\\setup\\\\setup.exe\\", "setup/setup.exe", false},
        {"D:\\Setup\\setup.exe", "setup/setup.exe", true},
        {"D:\\Tovinel.ini\\x", nullptr, false},
        {"D:\\setup.exe", nullptr, false},
        {"E:\\Tovinel.ini", nullptr, false},
        {"DX\\Tovinel.ini", nullptr, false},
        {"D:Tovinel.ini", nullptr, false},
        {"D", nullptr, false},
        {"", nullptr, false},
        // More names than a path of 259 bytes can hold: never looked for.
        {deep, nullptr, false},
    };
    for (const auto& c : cases) {
        std::string medium_path = "stale";
        bool case_differs = !c.case_differs;
        bool found = check_resolve(context, c.windows_path, &medium_path, &case_differs);
        EXPECT_EQ(c.medium_path != nullptr, found) << c.windows_path;
        if (c.medium_path != nullptr) {
            EXPECT_EQ(c.medium_path, medium_path) << c.windows_path;
            EXPECT_EQ(c.case_differs, case_differs) << c.windows_path;
            EXPECT_TRUE(check_resolve(context, c.windows_path, &medium_path, nullptr)) << c.windows_path;
        }
    }
    // As many names as a path of 259 bytes can hold, 128, on a medium that has them all.
    char pattern[] = "/tmp/tovinel-deep-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    std::string host = pattern;
    std::string deepest = "D:";
    for (int i = 0; i < 127; ++i) {
        host += "/a";
        deepest += "\\a";
        ASSERT_EQ(0, mkdir(host.c_str(), 0755));
    }
    std::ofstream(host + "/a") << "x";
    deepest += "\\a";
    std::unique_ptr<medium_access> deep_medium = medium_in_folder(pattern);
    check_context deep_context{*deep_medium, options, report};
    std::string medium_path;
    EXPECT_TRUE(check_resolve(deep_context, deepest, &medium_path, nullptr));
    EXPECT_EQ(255u, medium_path.size());
    std::filesystem::remove_all(pattern);
}

}  // namespace
