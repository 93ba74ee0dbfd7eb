// Tovinel tests: one table of media written by the test, one case per finding (or per decision the
// checker must predict): each names the files that differ from a clean medium, the options, and the
// exact findings expected, so that a false finding fails as surely as a missing one.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "check_tool_run.h"

namespace {

namespace fs = std::filesystem;

// File contents: text, or one of these markers.
const std::string none = "@none";          // the file is not there
const std::string folder = "@folder";      // a folder of that name
std::string program(const char* name)       // a stand-in program of tests/checker/check_programs
{
    return std::string("@program:") + name;
}
const std::string signed_launcher = "@signed";   // the stand-in launcher, signed by "Maker Ltd (test)"

const std::string clean_ini =
    "[Application]\r\nRegKey=SOFTWARE\\Maker\\Product\r\nStart=1\r\n[Setup]\r\nWindowClass=MakerSetup\r\n"
    "Run=SETUP.EXE\r\n";

// The clean medium every case starts from.
const std::vector<std::pair<std::string, std::string>> clean_medium = {
    {"autorun.inf", "[autorun]\nopen=tovinel.exe\nicon=tovinel.exe,0\nlabel=Maker\n"},
    {"tovinel.exe", program("launcher.exe")},
    {"SETUP.EXE", program("setup.exe")},
    {"Tovinel.ini", clean_ini},
};

// A stand-in program of tests/checker/check_programs marked a library (IMAGE_FILE_DLL in its COFF header).
std::string as_library(const char* name)
{
    std::ifstream file(fs::path(CHECK_PROGRAMS) / name, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    size_t pe = static_cast<unsigned char>(bytes.at(0x3C)) | static_cast<unsigned char>(bytes.at(0x3D)) << 8;
    bytes.at(pe + 4 + 19) = static_cast<char>(bytes.at(pe + 4 + 19) | 0x20);
    return bytes;
}

std::string utf16le(const std::string& ascii)
{
    std::string out;
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

std::string utf16be(const std::string& ascii)
{
    std::string out;
    for (char c : ascii) {
        out += '\0';
        out += c;
    }
    return out;
}

std::string ini_with_run(const std::string& run)
{
    return "[Application]\nRegKey=SOFTWARE\\Maker\\Product\nStart=1\n[Setup]\nRun=" + run + "\n";
}

std::string ini_with_key(const std::string& reg_key)
{
    return "[Application]\nRegKey=" + reg_key + "\nStart=1\n[Setup]\nRun=SETUP.EXE\n";
}

std::string ini_with_start(const std::string& start)
{
    return "[Application]\nRegKey=SOFTWARE\\Maker\\Product\nStart=" + start + "\n[Setup]\nRun=SETUP.EXE\n";
}

const std::string run_of_300 = std::string(300, 'r');
const std::string key_of_300 = "SOFTWARE\\" + std::string(291, 'k');

struct finding_case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;   // changes to the clean medium
    std::vector<std::string> arguments;
    int exit_code;
    std::vector<std::string> findings;    // "FILE[:LINE] ID", in output order, notes included
    std::vector<std::string> phrases;
    std::vector<std::string> absent = {};  // phrases the output must not hold
};

const finding_case finding_cases[] = {
    {"the clean medium", {}, {}, 0, {},
     {"Decision: start the setup program", "Command:  'D:\\SETUP.EXE '",
      "Shell:    'D:\\SETUP.EXE' with parameters '' (Windows Vista and later)"},
     {"not shown", "note:"}},

    // The launcher.
    {"launcher missing", {{"tovinel.exe", none}}, {}, 1,
     {"autorun.inf:2 launcher-missing", "autorun.inf:3 autorun-icon-missing"}, {}},
    {"launcher that is a text file", {{"tovinel.exe", "MZ? no"}}, {}, 1, {"autorun.inf:2 launcher-not-program"}, {}},
    {"launcher that is a folder", {{"tovinel.exe", folder}}, {}, 1,
     {"autorun.inf:2 launcher-not-program", "autorun.inf:3 autorun-icon-missing"}, {}},
    {"launcher that is another program", {{"tovinel.exe", program("app.exe")}}, {}, 1,
     {"autorun.inf:2 launcher-not-tovinel"}, {}},
    // autorun.inf starts a program itself while the launcher is on the medium: that launcher is
    // played, without the arguments meant for the program.
    {"autorun.inf starts the setup, the launcher beside Tovinel.ini", {{"autorun.inf", "[autorun]\nopen=SETUP.EXE /a\n"}},
     {}, 1, {"autorun.inf:2 autorun-bypasses-launcher"},
     {"Launcher: 'D:\\tovinel.exe', tail '' (on the medium, but autorun.inf does not start it)",
      "Start the launcher: open=tovinel.exe."},
     {"launcher-not-tovinel"}},
    {"autorun.inf starts a program in a folder, a renamed launcher beside it",
     {{"autorun.inf", "[autorun]\nopen=DISC1\\other.exe\n"}, {"tovinel.exe", none}, {"Tovinel.ini", none},
      {"DISC1/other.exe", program("app.exe")}, {"DISC1/go.exe", program("launcher.exe")},
      {"DISC1/Tovinel.ini", ini_with_run("\\SETUP.EXE")}},
     {}, 1, {"autorun.inf:2 autorun-bypasses-launcher"},
     {"Launcher: 'D:\\DISC1\\go.exe'", "Command:  'D:\\SETUP.EXE '", "Start the launcher: open=DISC1\\go.exe."}},
    {"autorun.inf starts a program, a launcher without Tovinel.ini beside it",
     {{"autorun.inf", "[autorun]\nopen=DISC1\\other.exe\n"}, {"Tovinel.ini", none},
      {"DISC1/other.exe", program("app.exe")}, {"DISC1/Tovinel.ini", folder}},
     {}, 1, {"autorun.inf:2 launcher-not-tovinel", "Tovinel.ini ini-folder"}, {"Launcher: 'D:\\DISC1\\other.exe'"}},
    {"launcher that is a library", {{"tovinel.exe", program("library.dll")}}, {}, 1,
     {"autorun.inf:2 launcher-not-program"}, {}},
    {"launcher renamed: fine", {{"autorun.inf", "[autorun]\nopen=start.exe /x\n"}, {"start.exe", program("launcher.exe")}},
     {}, 0, {}, {"Launcher: 'D:\\start.exe', tail '/x'", "Command:  'D:\\SETUP.EXE /x'"}},
    {"launcher named without .exe", {{"autorun.inf", "[autorun]\nopen=tovinel\n"}}, {}, 0, {},
     {"Launcher: 'D:\\tovinel.exe'"}},
    {"launcher renamed with an installer word",
     {{"autorun.inf", "[autorun]\nopen=MakerSetup.exe\n"}, {"MakerSetup.exe", program("launcher.exe")}}, {}, 1,
     {"autorun.inf:2 launcher-installer-name"}, {"holds the installer word 'setup'"}},
    // Quoted, the program is the quoted name, though a shorter name before its blank is a program too.
    {"autorun.inf's program quoted through a folder with a blank",
     {{"autorun.inf", "[autorun]\nopen=\"Disc One\\tovinel.exe\" /auto\n"}, {"tovinel.exe", none},
      {"Tovinel.ini", none}, {"Disc.exe", program("tool.exe")}, {"Disc One/tovinel.exe", program("launcher.exe")},
      {"Disc One/Tovinel.ini", ini_with_run("\\SETUP.EXE")}},
     {}, 0, {}, {"Launcher: 'D:\\Disc One\\tovinel.exe', tail '/auto'", "Command:  'D:\\SETUP.EXE /auto'"}},
    {"a missing Run from the root, for a launcher in a subfolder",
     {{"autorun.inf", "[autorun]\nopen=DISC1\\tovinel.exe\n"}, {"tovinel.exe", none}, {"Tovinel.ini", none},
      {"DISC1/tovinel.exe", program("launcher.exe")}, {"DISC1/Tovinel.ini", ini_with_run("\\INSTALL.EXE")}},
     {}, 1, {"Tovinel.ini:5 run-missing"}, {"(looked for 'D:\\INSTALL.EXE', letter case ignored)"}},
    {"launcher and its configuration in a subfolder, Run from the root",
     {{"autorun.inf", "[autorun]\nopen=DISC1\\tovinel.exe\n"}, {"tovinel.exe", none}, {"Tovinel.ini", none},
      {"DISC1/tovinel.exe", program("launcher.exe")}, {"DISC1/Tovinel.ini", ini_with_run("\\SETUP.EXE")}},
     {}, 0, {}, {"Command:  'D:\\SETUP.EXE '"}},
    {"launcher folder in double-byte characters (code page 932, a trail byte 0x5C)",
     {{"autorun.inf", "[autorun]\nopen=\x83\x5C\x83t\x83g\\tovinel.exe\n"}, {"tovinel.exe", none},
      {"Tovinel.ini", none}, {"\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88/tovinel.exe", program("launcher.exe")},
      {"\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88/Tovinel.ini", ini_with_run("setup.exe")},
      {"\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88/setup.exe", program("setup.exe")}},
     {"--codepage=932"}, 0, {},
     {"Launcher: 'D:\\\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88\\tovinel.exe'",
      "Command:  'D:\\\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88\\setup.exe '"}},
    {"launcher folder that the code page cannot write",
     {{"\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88/tovinel.exe", program("launcher.exe")},
      {"\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88/Tovinel.ini", clean_ini}},
     {"--folder=\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88"}, 1,
     {"autorun.inf:2 launcher-folder-codepage", "autorun.inf:2 launcher-missing", "autorun.inf:2 autorun-not-launcher",
      "Tovinel.ini ini-missing"},
     {"code page 1252 cannot write"}},

    // Tovinel.ini as a whole.
    {"Tovinel.ini a folder", {{"Tovinel.ini", folder}}, {}, 1, {"Tovinel.ini ini-folder"}, {"Decision: start nothing"}},
    {"Tovinel.ini empty", {{"Tovinel.ini", ""}}, {}, 1, {"Tovinel.ini ini-starts-nothing"},
     {"holds no section and no key", "Run is empty or absent: the launcher starts nothing.",
      "RegKey is empty or absent: the product never counts as installed."},
     {"more than 259"}},
    {"Tovinel.ini of comments only", {{"Tovinel.ini", "; nothing\n;[Setup]\n"}}, {}, 1, {"Tovinel.ini ini-starts-nothing"},
     {"holds no section and no key"}},
    {"Start without RegKey and no Run", {{"Tovinel.ini", "[Application]\nStart=1\n"}}, {}, 1,
     {"Tovinel.ini ini-starts-nothing"}, {}},
    {"RegKey and Start without Run: starts the installed application", {{"Tovinel.ini", "[Application]\nRegKey=SOFTWARE\\M\nStart=1\n"}},
     {"--installed=C:\\APP.EXE"}, 0, {}, {"Decision: start the installed application"}},
    {"RegKey without Start and no Run", {{"Tovinel.ini", "[Application]\nRegKey=SOFTWARE\\M\n"}}, {}, 1,
     {"Tovinel.ini ini-starts-nothing"}, {"has no Run and no RegKey with a nonzero Start"}},
    {"UTF-16 with a mark: read as Windows NT reads it, lines counted right",
     {{"Tovinel.ini", "\xFF\xFE" + utf16le("[Application]\r\nRegKey=SOFTWARE\\M\r\nStrat=1\r\n[Setup]\r\nRun=SETUP.EXE\r\n")}},
     {}, 1, {"Tovinel.ini encoding-utf16", "Tovinel.ini:3 key-unknown"},
     {"Command:  'D:\\SETUP.EXE '", "Windows 95, 98 and Me cannot"}},
    // One cause, one finding: what the reader misses for the encoding is said by the encoding's
    // finding; the text as meant still gets the findings of its own.
    {"UTF-16 big-endian", {{"Tovinel.ini", "\xFE\xFF" + utf16be("[Setup]\nRun=SETUP.EXE\n")}}, {}, 1,
     {"Tovinel.ini encoding-utf16-big-endian"},
     {"Decision: start nothing", "finds nothing in it, so the launcher starts nothing. Save it as ANSI text."}},
    {"UTF-16 big-endian with a mistake of its own",
     {{"Tovinel.ini", "\xFE\xFF" + utf16be("[Application]\r\nRegKey=HKLM\\SOFTWARE\\M\r\nStart=1\r\n[Setup]\r\nRun=NONE.EXE\r\n")}},
     {}, 1, {"Tovinel.ini encoding-utf16-big-endian", "Tovinel.ini:2 regkey-root", "Tovinel.ini:5 run-missing"},
     {"RegKey=SOFTWARE\\M."}},
    {"UTF-16 without a mark", {{"Tovinel.ini", utf16le(clean_ini)}}, {}, 1,
     {"Tovinel.ini encoding-utf16-unmarked"}, {"Decision: start nothing", "so the launcher starts nothing"}},
    // Without a mark, UTF-16 is told by NULs in nine of ten byte pairs at least, on the side ASCII puts them.
    // The two characters beyond ASCII, meant as a line of their own, read as '??' in code page 1252.
    {"UTF-16 without a mark, nine in ten units ASCII",
     {{"Tovinel.ini", utf16le("[Setup]\nRun=SETUP.EXE\n") + "\xBD\x30\xBD\x30"}}, {}, 1,
     {"Tovinel.ini encoding-utf16-unmarked", "Tovinel.ini:3 key-unknown"}, {"Key '?" "?' is not one"}},
    {"UTF-16 without a mark, exactly nine in ten units ASCII",
     {{"Tovinel.ini", utf16le("[Setup]\nRun=SETUP\n") + "\xBD\x30\xBD\x30"}}, {}, 1,
     {"Tovinel.ini encoding-utf16-unmarked", "Tovinel.ini:3 key-unknown"}, {}},
    {"big-endian UTF-16 without a mark, exactly nine in ten units ASCII",
     {{"Tovinel.ini", utf16be("[Setup]\nRun=SETUP\n") + "\xBD\x30\xBD\x30"}}, {}, 1,
     {"Tovinel.ini encoding-utf16-unmarked", "Tovinel.ini:3 key-unknown"}, {}},
    {"pairs just under nine in ten ASCII: no UTF-16", {{"Tovinel.ini", utf16le("[Setup]\nRun=SETU\n") + "\xBD\x30\xBD\x30"}},
     {}, 1, {"Tovinel.ini ini-starts-nothing", "Tovinel.ini:1 section-unknown"}, {}},
    {"big-endian pairs just under nine in ten ASCII: no UTF-16",
     {{"Tovinel.ini", utf16be("[Setup]\nRun=SETU\n") + "\xBD\x30\xBD\x30"}}, {}, 1,
     {"Tovinel.ini ini-starts-nothing", "Tovinel.ini:1 key-outside-section", "Tovinel.ini:2 key-outside-section",
      "Tovinel.ini:3 key-outside-section"},
     {}},
    {"big-endian pairs, fewer than nine in ten ASCII: no UTF-16",
     {{"Tovinel.ini", utf16be("[Setup]\nRun=SETUP.EXE\n") + "\xBD\x30\xBD\x30\xBD\x30\xBD\x30"}}, {}, 1,
     {"Tovinel.ini ini-starts-nothing", "Tovinel.ini:1 key-outside-section", "Tovinel.ini:2 key-outside-section",
      "Tovinel.ini:3 key-outside-section"},
     {}},
    // Only the first 4096 bytes are looked at: here nine in ten of their pairs are ASCII only up to
    // the last byte.
    {"UTF-16 told from the first 4096 bytes only",
     {{"Tovinel.ini", utf16le(std::string(1843, 'a')) + std::string(205 * 2, '\xBD') + utf16le("aaaa")}}, {}, 1,
     {"Tovinel.ini ini-starts-nothing", "Tovinel.ini:1 key-outside-section"}, {}},
    {"NUL bytes only: no UTF-16", {{"Tovinel.ini", std::string(16, '\0')}}, {}, 1,
     {"Tovinel.ini ini-starts-nothing", "Tovinel.ini:1 key-outside-section"}, {}},
    {"UTF-8 with a mark loses the first section header", {{"Tovinel.ini", "\xEF\xBB\xBF" + clean_ini}}, {}, 1,
     {"Tovinel.ini:1 encoding-utf8-mark"},
     {"so '[Application]' is no section header and the launcher never reads 'RegKey' and 'Start' under it. Save"}},
    {"UTF-8 with a mark that costs the Run",
     {{"Tovinel.ini", "\xEF\xBB\xBF[Setup]\nWindowClass=C\nWindowTitle=T\nRun=SETUP.EXE\nX=1\nY=2\n"}}, {}, 1,
     {"Tovinel.ini:1 encoding-utf8-mark", "Tovinel.ini:5 key-unknown", "Tovinel.ini:6 key-unknown"},
     {"never reads 'WindowClass', 'WindowTitle', 'Run', 'X' and 1 more keys under it, so the launcher starts nothing.",
      "Decision: start nothing"}},
    {"UTF-8 with a mark and text beyond ASCII on its first line",
     {{"Tovinel.ini", "\xEF\xBB\xBF; Caf\xC3\xA9\r\n[Setup]\r\nRun=SETUP.EXE\r\n"}}, {}, 1,
     {"Tovinel.ini:1 encoding-utf8-mark", "Tovinel.ini:1 encoding-utf8"},
     {"holds UTF-8 text ('; Caf\xC3\xA9')", "Command:  'D:\\SETUP.EXE '",
      "that line holds no section header, so nothing is lost yet."},
     {"is no section header"}},
    // Saved in code page 1252, the name would be found: the encoding is the one cause.
    {"UTF-8 text on lines that end in CR alone",
     {{"Tovinel.ini", "[Setup]\rRun=Caf\xC3\xA9.exe\r"}, {"Caf\xC3\xA9.exe", program("setup.exe")}}, {}, 1,
     {"Tovinel.ini:2 encoding-utf8"}, {"Save it as ANSI text in code page 1252 (Western European)."}},
    {"UTF-8 text after an empty first line",
     {{"Tovinel.ini", "\n[Setup]\nRun=Caf\xC3\xA9.exe\n"}, {"Caf\xC3\xA9.exe", program("setup.exe")}}, {}, 1,
     {"Tovinel.ini:3 encoding-utf8"}, {}},
    {"UTF-8 text naming a file that is not there either", {{"Tovinel.ini", "[Setup]\nRun=Caf\xC3\xA9.exe\n"}}, {}, 1,
     {"Tovinel.ini:2 encoding-utf8", "Tovinel.ini:2 run-missing"}, {}, {"Its name is not ASCII"}},
    {"UTF-8 text that code page 1252 cannot write",
     {{"Tovinel.ini", "[Setup]\nRun=\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88\\setup.exe\n"},
      {"\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88/setup.exe", program("setup.exe")}},
     {}, 1, {"Tovinel.ini:2 encoding-utf8"},
     {"Code page 1252 cannot write '\xE3\x82\xBD': Windows set to it never reads this text as written. Name the files"
      " and folders in ASCII, which every code page reads alike; or, for Windows set to code page 932 (Japanese),"
      " 936 (Chinese, simplified) or 949 (Korean), save it as ANSI text in that code page and check the medium with"
      " --codepage set to it."}},
    {"UTF-8 text that one other code page can write", {{"Tovinel.ini", "; \xE0\xB8\x81\n" + clean_ini}}, {}, 1,
     {"Tovinel.ini:1 encoding-utf8"},
     {"or, for Windows set to code page 874 (Thai), save it as ANSI text in code page 874 and check the medium with"
      " --codepage=874."}},
    {"UTF-8 text that no code page can write", {{"Tovinel.ini", "; \xD7\xA9\xD0\x96\n" + clean_ini}}, {}, 1,
     {"Tovinel.ini:1 encoding-utf8"}, {"(no ANSI code page can write all of this text), and save it as ANSI text."}},
    {"UTF-8 text in code page 932, which can write it",
     {{"Tovinel.ini", "[Setup]\nRun=\xE3\x82\xBD.exe\n"}, {"\xE3\x82\xBD.exe", program("setup.exe")}}, {"--codepage=932"},
     1, {"Tovinel.ini:2 encoding-utf8"}, {"Save it as ANSI text in code page 932 (Japanese)."}},
    {"Run named with a leading dot: that is its extension", {{"Tovinel.ini", ini_with_run(".setup")}, {".setup", program("setup.exe")}},
     {}, 0, {}, {"Command:  'D:\\.setup '"}},
    {"UTF-8 text read in code page 1252",
     {{"Tovinel.ini", "[Setup]\nRun=Set\xC3\xBCp.exe\n"}, {"Set\xC3\xBCp.exe", program("setup.exe")}}, {}, 1,
     {"Tovinel.ini:2 encoding-utf8"}, {"as 'Run=Set\xC3\x83\xC2\xBCp.exe'"}},
    {"ANSI text matched through code page 1252",
     {{"Tovinel.ini", "[Setup]\nRun=Set\xFCp.exe\n"}, {"Set\xC3\xBCp.exe", program("setup.exe")}}, {}, 0, {},
     {"Command:  'D:\\Set\xC3\xBCp.exe '"}},
    {"Shift-JIS Run matched through code page 932",
     {{"Tovinel.ini", "[Setup]\nRun=\x83\x5C\x83t\x83g\\setup.exe\n"},
      {"\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88/setup.exe", program("setup.exe")}},
     {"--codepage=932"}, 0, {},
     {"No WindowClass or WindowTitle: the launcher looks for no setup window.",
      "Command:  'D:\\\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88\\setup.exe '"}},
    // Without the code page's lead bytes the launcher would take the folder to be 'D:\x83\'.
    {"a launcher named in double-byte characters ending in a trail byte 0x5C",
     {{"autorun.inf", "[autorun]\nopen=\x83\x5C.exe\n"}, {"tovinel.exe", none},
      {"\xE3\x82\xBD.exe", program("launcher.exe")}},
     {"--codepage=932"}, 0, {},
     {"Launcher: 'D:\\\xE3\x82\xBD.exe'", "Command:  'D:\\SETUP.EXE '"}},
    {"an exact name wins over one that differs only in case (a Linux folder can hold both)",
     {{"setup.exe", program("dos.exe")}, {"SETUP.EXE", program("setup.exe")}, {"SETUp.EXE", program("app64.exe")}},
     {}, 0, {}, {"Command:  'D:\\SETUP.EXE '"}},
    {"an exact name wins over smaller ones that differ only in case",
     {{"Tovinel.ini", ini_with_run("setup.exe")}, {"setup.exe", program("setup.exe")}, {"SETUP.EXE", program("dos.exe")},
      {"Setup.exe", program("app64.exe")}},
     {}, 0, {}, {"Command:  'D:\\setup.exe '"}},
    {"UTF-16 big-endian without a mark", {{"Tovinel.ini", utf16be("[Setup]\nRun=SETUP.EXE\n")}}, {}, 1,
     {"Tovinel.ini encoding-utf16-unmarked"},
     {}},
    {"the same bytes in code page 1252 name nothing, in 932 the file",
     {{"Tovinel.ini", "[Setup]\nRun=\x83\x5C\x83t\x83g\\setup.exe\n"},
      {"\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88/setup.exe", program("setup.exe")}},
     {}, 1, {"Tovinel.ini:2 run-missing"},
     {"Its name is not ASCII, and the launcher reads Tovinel.ini in the ANSI code page of the user's Windows, here"
      " 1252: in code page 932 (Japanese) it names 'D:\\\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88\\setup.exe', which is on"
      " the medium. Check the medium for Windows set to that code page with --codepage=932 (--codepage=1252,932"
      " checks both); only ASCII names work on every Windows."}},
    {"bytes beyond ASCII that no code page reads as a file", {{"Tovinel.ini", "[Setup]\nRun=\x83\x5C.exe\n"}}, {}, 1,
     {"Tovinel.ini:2 run-missing"}, {}, {"Its name is not ASCII"}},

    {"a Tovinel.ini larger than is read", {{"Tovinel.ini", clean_ini + std::string(5 << 20, ';')}}, {}, 1,
     {"Tovinel.ini ini-too-large"},
     {"Tovinel.ini is 5242983 bytes, far more than any configuration needs; only its first 4 MiB were checked"}},

    // Names and hints.
    {"hash line is no comment", {{"Tovinel.ini", "# setup\n" + clean_ini}}, {}, 0, {"Tovinel.ini:1 hash-comment"},
     {"only ';' starts one"}},
    {"hash line inside a section", {{"Tovinel.ini", clean_ini + "# Run=OLD.EXE\n"}}, {}, 0,
     {"Tovinel.ini:7 hash-comment"}, {}},
    {"suggestions for names within two edits",
     {{"Tovinel.ini", "[Application]\nStartxx=1\n[Setup]\nWindowClas=C\nRxxx=1\nrUNN=1\nRun=SETUP.EXE\n"}}, {}, 1,
     {"Tovinel.ini:2 key-unknown", "Tovinel.ini:4 key-unknown", "Tovinel.ini:5 key-unknown", "Tovinel.ini:6 key-unknown"},
     {"'Startxx' is not one the launcher reads in [Application] (it reads RegKey and Start). Did you mean Start?",
      "'WindowClas' is not one the launcher reads in [Setup] (it reads WindowClass, WindowTitle and Run). Did you"
      " mean WindowClass?",
      "'Rxxx' is not one the launcher reads in [Setup] (it reads WindowClass, WindowTitle and Run). [key-unknown]",
      "'rUNN' is not one the launcher reads in [Setup] (it reads WindowClass, WindowTitle and Run). Did you mean Run?"}},
    // Two edits apart, letter case aside, and three: a missing prefix or missing letters each cost
    // one edit.
    {"suggestions stop at three edits",
     {{"Tovinel.ini", "[APLICATON]\n[Setup]\nndowTitlexx=T\nWndwTitlx=T\nRun=SETUP.EXE\n"}}, {}, 1,
     {"Tovinel.ini:1 section-unknown", "Tovinel.ini:3 key-unknown", "Tovinel.ini:4 key-unknown"},
     {"Section '[APLICATON]' is never read", "Did you mean [Application]?",
      "'ndowTitlexx' is not one the launcher reads in [Setup] (it reads WindowClass, WindowTitle and Run). [key-unknown]",
      "'WndwTitlx' is not one the launcher reads in [Setup] (it reads WindowClass, WindowTitle and Run). [key-unknown]"}},
    {"an icon named from the root", {{"autorun.inf", "[autorun]\nopen=tovinel.exe\nicon=\\tovinel.exe\n"}}, {}, 0,
     {}, {}},
    {"a repeated [Setup] before any [Application]",
     {{"Tovinel.ini", "[Setup]\nRun=SETUP.EXE\n[setup]\nRun=OTHER.EXE\n[Application]\nRegKey=S\\M\n"}}, {}, 1,
     {"Tovinel.ini:3 section-repeated"}, {"Command:  'D:\\SETUP.EXE '"}},
    {"a known key in the wrong section", {{"Tovinel.ini", "[Setup]\nRegKey=SOFTWARE\\M\nRun=SETUP.EXE\n"}}, {}, 1,
     {"Tovinel.ini:2 key-wrong-section"}, {"it belongs in [Application]"}},
    {"value with a comment after it", {{"Tovinel.ini", ini_with_start("1 ; yes")}}, {}, 1,
     {"Tovinel.ini:3 value-comment", "Tovinel.ini:3 start-not-number"}, {"reads it as 1."}},

    // RegKey values that never open, each against a machine where the product is installed.
    {"RegKey cut at 259 bytes", {{"Tovinel.ini", ini_with_key(key_of_300)}}, {"--installed=C:\\APP.EXE"}, 1,
     {"Tovinel.ini:2 regkey-cut"}, {"Decision: start the setup program", "although the product is installed"}},
    {"RegKey with forward slashes", {{"Tovinel.ini", ini_with_key("SOFTWARE/Maker/Product")}}, {"--installed=C:\\A.EXE"},
     1, {"Tovinel.ini:2 regkey-forward-slash"}, {"although the product is installed"}},
    {"RegKey with a leading backslash", {{"Tovinel.ini", ini_with_key("\\SOFTWARE\\Maker")}}, {"--installed=C:\\A.EXE"},
     1, {"Tovinel.ini:2 regkey-leading-backslash"}, {"although the product is installed"}},
    {"RegKey with two leading backslashes and no empty name after them",
     {{"Tovinel.ini", ini_with_key("\\\\SOFTWARE\\Maker")}}, {"--installed=C:\\A.EXE"}, 1,
     {"Tovinel.ini:2 regkey-leading-backslash"}, {}},
    {"RegKey with an empty name", {{"Tovinel.ini", ini_with_key("SOFTWARE\\\\Maker")}}, {"--installed=C:\\A.EXE"}, 1,
     {"Tovinel.ini:2 regkey-empty-name"}, {"although the product is installed"}},
    {"RegKey ending in an empty name", {{"Tovinel.ini", ini_with_key("SOFTWARE\\Maker\\\\")}},
     {"--installed=C:\\A.EXE"}, 1, {"Tovinel.ini:2 regkey-empty-name"}, {"although the product is installed"}},
    {"RegKey ending in one backslash", {{"Tovinel.ini", ini_with_key("SOFTWARE\\Maker\\")}}, {"--installed=C:\\A.EXE"},
     0, {}, {"Decision: start the installed application"}},
    {"RegKey with ';' but no blank before it", {{"Tovinel.ini", ini_with_key("SOFTWARE\\Maker;Product")}},
     {"--installed=C:\\A.EXE"}, 0, {}, {"Decision: start the installed application"}},
    {"RegKey with its root", {{"Tovinel.ini", ini_with_key("HKLM\\SOFTWARE\\Maker")}}, {"--installed=C:\\A.EXE"}, 1,
     {"Tovinel.ini:2 regkey-root"},
     {"although the product is installed", "looks below HKEY_LOCAL_MACHINE, so the key never opens and the product"
      " never counts as installed. Write the path below the root: RegKey=SOFTWARE\\Maker. [regkey-root]"}},
    {"RegKey below another root", {{"Tovinel.ini", ini_with_key("HKEY_CURRENT_USER/Software/Maker")}}, {}, 1,
     {"Tovinel.ini:2 regkey-root", "Tovinel.ini:2 regkey-forward-slash"},
     {"the launcher looks only below HKEY_LOCAL_MACHINE, never below 'HKEY_CURRENT_USER', so the key never opens",
      "Have the product's setup write its key below HKEY_LOCAL_MACHINE, then write the path below the root:"
      " RegKey=Software\\Maker."}},
    {"RegKey that is a root alone", {{"Tovinel.ini", ini_with_key("HKCU")}}, {}, 1, {"Tovinel.ini:2 regkey-root"},
     {"Write the path of the product's key below the root, such as SOFTWARE\\Maker\\Product."}},
    {"RegKey with a comment", {{"Tovinel.ini", ini_with_key("SOFTWARE\\Maker ; ours")}}, {"--installed=C:\\A.EXE"}, 1,
     {"Tovinel.ini:2 regkey-comment"}, {"although the product is installed"}},
    {"RegKey beginning with ';' holds no comment", {{"Tovinel.ini", ini_with_key(";SOFTWARE\\Maker")}},
     {"--installed=C:\\A.EXE"}, 0, {}, {"Decision: start the installed application"}},
    {"RegKey with a trailing backslash still opens", {{"Tovinel.ini", ini_with_key("SOFTWARE\\Maker\\")}},
     {"--installed=C:\\A.EXE"}, 0, {}, {"Decision: start the installed application"}},

    // Start, read as the profile functions read it.
    {"Start=0 starts nothing, whatever the key holds", {{"Tovinel.ini", ini_with_start("0")}},
     {"--installed-without-value"}, 0, {},
     {"Decision: start nothing\n", "Start is 0, absent or not a number: the launcher starts nothing.\nNo findings."}},
    {"Start=0xFf is a number", {{"Tovinel.ini", ini_with_start("0xFf")}}, {"--installed=C:\\A.EXE"}, 0, {},
     {"Decision: start the installed application"}},
    {"Start=0xG is no number", {{"Tovinel.ini", ini_with_start("0xG")}}, {"--installed=C:\\A.EXE"}, 1,
     {"Tovinel.ini:3 start-not-number"}, {}},
    {"Start=0x1 is a number", {{"Tovinel.ini", ini_with_start("0x1")}}, {"--installed=C:\\A.EXE"}, 0, {},
     {"Command:  'C:\\A.EXE '"}},
    {"Start=0o7 is a number", {{"Tovinel.ini", ini_with_start("0o7")}}, {"--installed=C:\\A.EXE"}, 0, {},
     {"Command:  'C:\\A.EXE '"}},
    {"Start=0b1 is a number", {{"Tovinel.ini", ini_with_start("0b1")}}, {"--installed=C:\\A.EXE"}, 0, {},
     {"Command:  'C:\\A.EXE '"}},
    {"Start=01 is a number", {{"Tovinel.ini", ini_with_start("01")}}, {"--installed=C:\\A.EXE"}, 0, {},
     {"Command:  'C:\\A.EXE '"}},
    {"Start=9 is a number", {{"Tovinel.ini", ini_with_start("9")}}, {"--installed=C:\\A.EXE"}, 0, {},
     {"Command:  'C:\\A.EXE '"}},
    {"Start=-1 is nonzero", {{"Tovinel.ini", ini_with_start("-1")}}, {"--installed=C:\\A.EXE"}, 0, {},
     {"Command:  'C:\\A.EXE '"}},
    {"Start of blanks only reads as 0, and nothing else is said", {{"Tovinel.ini", ini_with_start(" \t ")}},
     {"--installed=C:\\A.EXE"}, 0, {}, {"Start is 0, absent or not a number: the launcher starts nothing."},
     {"default value is"}},
    {"Start=+1 is a number", {{"Tovinel.ini", ini_with_start("+1")}}, {"--installed=C:\\A.EXE"}, 0, {},
     {"Command:  'C:\\A.EXE '"}},
    {"Start=0x is no number", {{"Tovinel.ini", ini_with_start("0x")}}, {"--installed=C:\\A.EXE"}, 1,
     {"Tovinel.ini:3 start-not-number"}, {"reads it as 0, so an installed product starts nothing"}},
    {"Start=0X1 reads as 0", {{"Tovinel.ini", ini_with_start("0X1")}}, {"--installed=C:\\A.EXE"}, 1,
     {"Tovinel.ini:3 start-not-number"}, {"Decision: start nothing"}},
    {"Start=0b2 reads as 0", {{"Tovinel.ini", ini_with_start("0b2")}}, {"--installed=C:\\A.EXE"}, 1,
     {"Tovinel.ini:3 start-not-number"}, {"reads it as 0"}},
    {"Start=0o8 reads as 0", {{"Tovinel.ini", ini_with_start("0o8")}}, {"--installed=C:\\A.EXE"}, 1,
     {"Tovinel.ini:3 start-not-number"}, {"reads it as 0"}},
    {"Start=+z reads as 0", {{"Tovinel.ini", ini_with_start("+z")}}, {"--installed=C:\\A.EXE"}, 1,
     {"Tovinel.ini:3 start-not-number"}, {"reads it as 0"}},

    // The window.
    {"WindowTitle of 79 bytes, whole",
     {{"Tovinel.ini", "[Setup]\nWindowClass=C\nWindowTitle=" + std::string(79, 't') + "\nRun=SETUP.EXE\n"}}, {}, 0, {}, {}},
    {"WindowTitle cut at 79 bytes",
     {{"Tovinel.ini", "[Setup]\nWindowClass=C\nWindowTitle=" + std::string(90, 't') + "\nRun=SETUP.EXE\n"}}, {}, 1,
     {"Tovinel.ini:3 window-title-cut"}, {}},

    // Run.
    {"Run cut", {{"Tovinel.ini", ini_with_run(run_of_300)}}, {}, 1,
     {"Tovinel.ini:5 run-cut", "Tovinel.ini:5 command-too-long"}, {}},
    {"Run from the root too long for the command line, from a subfolder",
     {{"autorun.inf", "[autorun]\nopen=DISC1\\tovinel.exe\n"}, {"tovinel.exe", none}, {"Tovinel.ini", none},
      {"DISC1/tovinel.exe", program("launcher.exe")}, {"DISC1/Tovinel.ini", ini_with_run("\\" + std::string(253, 'r') + ".exe")}},
     {}, 1, {"Tovinel.ini:5 run-missing", "Tovinel.ini:5 command-too-long"},
     {"(the launcher's folder, Run, a blank and the tail) would be 261 bytes"}},
    // Windows drops "." and ".." by the text alone: the folders they pass need not be there.
    {"Run through a folder that is not there, and back", {{"Tovinel.ini", ini_with_run("gone\\..\\.\\SETUP.EXE")}},
     {}, 0, {}, {"Command:  'D:\\gone\\..\\.\\SETUP.EXE '"}},
    {"Run above the root stays at the root", {{"Tovinel.ini", ini_with_run("..\\..\\SETUP.EXE")}}, {}, 0, {}, {}},
    {"Run into a folder and back, then a missing file",
     {{"Tovinel.ini", ini_with_run("sub\\..\\NOSETUP.EXE")}, {"sub/NOSETUP.EXE", program("setup.exe")}}, {}, 1,
     {"Tovinel.ini:5 run-missing"}, {}},
    {"Run a bare drive", {{"Tovinel.ini", ini_with_run("C:")}}, {}, 1, {"Tovinel.ini:5 run-full-path"}, {"giving 'D:\\C:'"}},
    {"Run a network path", {{"Tovinel.ini", ini_with_run("\\\\server\\share\\setup.exe")}}, {}, 1,
     {"Tovinel.ini:5 run-full-path"}, {}},
    {"Run quoted, quotes dropped", {{"Tovinel.ini", ini_with_run("\"SETUP.EXE\"")}}, {}, 1, {"Tovinel.ini:5 run-quoted"},
     {"Only a folder and file name without blanks avoids it"}},
    {"Run quoted with arguments, quotes kept",
     {{"Tovinel.ini", ini_with_run("\"Maker Setup\\setup.exe\" /s")}, {"Maker Setup/setup.exe", program("setup.exe")}},
     {}, 1, {"Tovinel.ini:5 run-quoted", "Tovinel.ini:5 run-missing"}, {"Command:  'D:\\\"Maker Setup\\setup.exe\" /s '"}},
    {"Run with forward slashes",
     {{"Tovinel.ini", ini_with_run("disk1/setup.exe")}, {"disk1/setup.exe", program("setup.exe")}}, {}, 1,
     {"Tovinel.ini:5 run-forward-slash", "Tovinel.ini:5 run-missing"}, {}},
    {"Run without extension, the .exe there", {{"Tovinel.ini", ini_with_run("setup /s")}}, {}, 0, {},
     {"Command:  'D:\\setup /s '"}},
    {"Run without extension, only the bare name there",
     {{"Tovinel.ini", ini_with_run("install")}, {"install", program("setup.exe")}}, {}, 1,
     {"Tovinel.ini:5 run-no-extension"}, {"starts only 'install.exe'"}},
    {"Run names a folder, not found as a program", {{"Tovinel.ini", ini_with_run("Setup")}, {"Setup", folder}}, {}, 0, {},
     {"Command:  'D:\\Setup '"}},
    {"Run names a folder", {{"Tovinel.ini", ini_with_run("Tools")}, {"Tools", folder}}, {}, 1,
     {"Tovinel.ini:5 run-folder"}, {}},
    {"Run names a text file", {{"Tovinel.ini", ini_with_run("readme.exe")}, {"readme.exe", "hello"}}, {}, 1,
     {"Tovinel.ini:5 run-not-program"}, {}},
    {"Run names an installer package", {{"Tovinel.ini", ini_with_run("maker.msi")}, {"maker.msi", "\xD0\xCF\x11\xE0"}},
     {}, 1, {"Tovinel.ini:5 run-not-program-msi"}, {"only msiexec can"}},
    {"Run names a document", {{"Tovinel.ini", ini_with_run("readme.txt")}, {"readme.txt", "read me"}}, {}, 1,
     {"Tovinel.ini:5 run-not-program-document"}, {}},
    {"Run names a batch file: fine", {{"Tovinel.ini", ini_with_run("go.bat")}, {"go.bat", "@echo off\r\n"}}, {}, 0, {},
     {}},
    {"Run names a DOS program", {{"SETUP.EXE", program("dos.exe")}}, {}, 1, {"Tovinel.ini:6 run-program-dos"},
     {"Run starts 'SETUP.EXE', which is a DOS program: 64-bit Windows cannot run it."}},
    {"an installer word in a folder's name asks for nothing",
     {{"Tovinel.ini", ini_with_run("Setup\\maker.exe")}, {"Setup/maker.exe", program("app.exe")}}, {}, 0, {}, {},
     {"Shell:"}},
    {"a value beginning with ';'", {{"Tovinel.ini", "[Setup]\nWindowClass=C\nWindowTitle=;T\nRun=SETUP.EXE\n"}}, {}, 0,
     {}, {}},
    {"Run names a 16-bit program", {{"SETUP.EXE", program("win16.exe")}}, {}, 1, {"Tovinel.ini:6 run-program-16-bit"},
     {}},
    {"Run names a 64-bit program", {{"SETUP.EXE", program("app64.exe")}}, {}, 1, {"Tovinel.ini:6 run-program-64-bit"},
     {"will not run on 32-bit Windows"}},
    // A folder is no file: the shell is handed the program past the folder "Maker.exe".
    {"a folder named like the program before a blank",
     {{"Tovinel.ini", ini_with_run("Maker Setup\\SETUP.EXE")}, {"Maker.exe", folder},
      {"Maker Setup/SETUP.EXE", program("setup.exe")}},
     {}, 1, {"Tovinel.ini:5 run-blank"}, {"Shell:    'D:\\Maker Setup\\SETUP.EXE' with parameters ''"}},
    {"Run names a program for another processor", {{"SETUP.EXE", program("ia64.exe")}}, {}, 1,
     {"Tovinel.ini:6 run-program-other-machine"},
     {"Run starts 'SETUP.EXE', which is a Windows file for another processor, or its headers do not hold together."}},
    {"Run names a library for another processor", {{"SETUP.EXE", as_library("ia64.exe")}}, {}, 1,
     {"Tovinel.ini:6 run-program-other-machine"}, {}},
    {"Run names a 64-bit library", {{"SETUP.EXE", as_library("app64.exe")}}, {}, 1,
     {"Tovinel.ini:6 run-program-dll"}, {}},
    {"setup named by its product name only", {{"Tovinel.ini", ini_with_run("tool.exe")}, {"tool.exe", program("tool.exe")}},
     {}, 0, {}, {"Shell:    'D:\\tool.exe' with parameters ''"}},
    {"Run names a 16-bit program", {{"SETUP.EXE", program("win16.exe")}}, {}, 1, {"Tovinel.ini:6 run-program-16-bit"}, {}},
    {"Run names a library", {{"SETUP.EXE", program("library.dll")}}, {}, 1, {"Tovinel.ini:6 run-program-dll"}, {}},
    {"setup whose manifest asks for administrator rights",
     {{"Tovinel.ini", ini_with_run("go.exe /q")}, {"go.exe", program("admin.exe")}}, {"--tail=-x"}, 0, {},
     {"its manifest asks for 'requireAdministrator'", "hands the same start to the shell",
      "Shell:    'D:\\go.exe' with parameters '/q -x' (Windows Vista and later)"}},
    {"setup named so whose manifest runs it as the invoker", {{"SETUP.EXE", program("setup_as_invoker.exe")}}, {}, 0,
     {}, {"Command:  'D:\\SETUP.EXE '"}, {"Shell:", "administrator rights"}},
    {"a program without an installer word needs no elevation",
     {{"Tovinel.ini", ini_with_run("maker.exe")}, {"maker.exe", program("app.exe")}}, {}, 0, {},
     {"Command:  'D:\\maker.exe '"}, {"Shell:", "administrator rights"}},
    {"a Run that is a FIFO is not read", {{"SETUP.EXE", "@fifo"}}, {}, 2, {}, {"SETUP.EXE': a FIFO, not a regular file"}},
    {"an unreadable Tovinel.ini in JSON", {{"Tovinel.ini", "@fifo"}}, {"--format=json"}, 2, {},
     {"\"decision\": {\"outcome\": \"unknown\"", "\"command_line\": null", "\"findings\": [],",
      "Tovinel.ini': a FIFO, not a regular file\"]", "\"exit_code\": 2\n}"}},

    // The installed command.
    {"installed command empty", {}, {"--installed="}, 1, {"--installed installed-empty"},
     {"Command:  ' '"}},
    {"installed command of 259 bytes is read whole, but a blank more is too long",
     {}, {"--installed=C:\\" + std::string(256, 'v')}, 1, {"Tovinel.ini:2 command-too-long"},
     {"Decision: start nothing", "would be 260 bytes"}},
    {"installed command with an unbalanced quote", {}, {"--installed=\"C:\\A\\A.EXE"}, 1,
     {"--installed installed-unbalanced-quote"}, {}},
    {"installed command with a variable", {}, {"--installed=%ProgramFiles%\\A\\A.EXE"}, 1,
     {"--installed installed-variables"}, {"'%ProgramFiles%'"}},
    {"installed command with one percent sign", {}, {"--installed=C:\\100%\\APP.EXE"}, 0, {}, {}},
    {"installed command with a doubled percent sign", {}, {"--installed=C:\\100%%\\APP.EXE"}, 0, {}, {}},
    {"installed command of an empty quoted name, then a package", {}, {"--installed=\"\"C:\\setup.msi\"\""}, 0, {}, {}},
    {"installed command with a doubled percent sign, then a lone one", {}, {"--installed=C:\\A%%B%.EXE"}, 0, {}, {}},
    {"installed command with a doubled percent sign, then a variable", {}, {"--installed=C:\\100%%\\%APPS%\\A.EXE"},
     1, {"--installed installed-variables"}, {"holds '%APPS%'"}},
    {"installed command of 260 bytes", {}, {"--installed=C:\\" + std::string(253, 'v') + ".EXE"}, 1,
     {"--installed installed-too-long"}, {"is 260 bytes"}},
    {"installed command a document", {}, {"--installed=\"C:\\A\\read me.txt\""}, 1,
     {"--installed installed-not-program"}, {}},
    {"installed command a document, unquoted", {}, {"--installed=C:\\A\\readme.txt /x"}, 1,
     {"--installed installed-not-program", "--installed installed-unquoted-blank"},
     {"The default value starts 'C:\\A\\readme.txt', a document"}},
    {"installed package named without a folder", {}, {"--installed=product.msi"}, 1,
     {"--installed installed-not-program"}, {"starts 'product.msi', an installer package"}},
    {"installed command quoted with arguments: fine", {}, {"--installed=\"C:\\My App\\A.EXE\" /r"}, 0, {}, {}},

    // autorun.inf.
    {"autorun.inf a folder", {{"autorun.inf", folder}}, {}, 1, {"autorun.inf autorun-missing"}, {}},
    {"autorun.inf icon missing", {{"autorun.inf", "[autorun]\nopen=tovinel.exe\nicon=maker.ico\n"}}, {}, 1,
     {"autorun.inf:3 autorun-icon-missing"}, {}},
    {"autorun.inf label too long",
     {{"autorun.inf", "[autorun]\nopen=tovinel.exe\nlabel=" + std::string(33, 'L') + "\n"}}, {}, 1,
     {"autorun.inf:3 autorun-label-long"}, {}},
    {"autorun.inf label of 32 characters", {{"autorun.inf", "[autorun]\nopen=tovinel.exe\nlabel=" + std::string(32, 'L') + "\n"}},
     {}, 0, {}, {}},
    // Characters, not bytes: each of these is two bytes in UTF-8.
    {"autorun.inf label of 32 characters beyond ASCII",
     {{"autorun.inf", "[autorun]\nopen=tovinel.exe\nlabel=" + std::string(32, '\xE9') + "\n"}}, {}, 0, {}, {}},
    {"no autorun.inf and no launcher", {{"autorun.inf", none}, {"tovinel.exe", none}}, {}, 1,
     {"autorun.inf autorun-missing", "tovinel.exe launcher-missing"}, {}},
    // The line shown is the one the first UTF-8 byte stands on, also when it begins the line.
    {"UTF-8 text at the start of a line", {{"Tovinel.ini", "[Setup]\n\xC3\xA9t\xC3\xA9=1\nRun=SETUP.EXE\n"}}, {}, 1,
     {"Tovinel.ini:2 encoding-utf8", "Tovinel.ini:2 key-unknown"},
     {"holds UTF-8 text ('\xC3\xA9t\xC3\xA9=1'), but Windows reads it in code page 1252 as "
      "'\xC3\x83\xC2\xA9t\xC3\x83\xC2\xA9=1'."}},
    {"UTF-8 text after lines ending in CR LF",
     {{"Tovinel.ini", "[Setup]\r\nWindowClass=C\r\nRun=Set\xC3\xBCp.exe\r\n"},
      {"Set\xC3\xBCp.exe", program("setup.exe")}},
     {}, 1, {"Tovinel.ini:3 encoding-utf8"}, {}},
    {"autorun.inf shellexecute names another program",
     {{"autorun.inf", "[autorun]\nopen=tovinel.exe\nshellexecute=SETUP.EXE\n"}}, {}, 1,
     {"autorun.inf:3 autorun-not-launcher"}, {}},
    {"autorun.inf in UTF-16 with a mark", {{"autorun.inf", "\xFF\xFE" + utf16le("[autorun]\r\nopen=tovinel.exe\r\n")}},
     {}, 0, {"autorun.inf encoding-utf16"}, {"Launcher: 'D:\\tovinel.exe'"}},
    {"autorun.inf without [autorun]", {{"autorun.inf", "[AutoPlay]\nopen=tovinel.exe\n"}}, {}, 1,
     {"autorun.inf autorun-no-program"}, {}},
    // The launcher autorun.inf was meant to start is still found and checked.
    {"autorun.inf with a UTF-8 mark", {{"autorun.inf", "\xEF\xBB\xBF[autorun]\nopen=go.exe\nicon=go.ico\n"},
      {"tovinel.exe", none}, {"go.exe", program("launcher.exe")}},
     {}, 1, {"autorun.inf:1 encoding-utf8-mark", "autorun.inf:3 autorun-icon-missing"},
     {"so '[autorun]' is no section header and Windows never reads 'open' and 'icon' under it, so nothing starts when"
      " the medium is inserted.", "Launcher: 'D:\\go.exe'"}},
    {"autorun.inf in UTF-16 big-endian", {{"autorun.inf", "\xFE\xFF" + utf16be("[autorun]\r\nopen=tovinel.exe\r\n")}},
     {}, 1, {"autorun.inf encoding-utf16-big-endian"}, {"finds nothing in it, so nothing starts when the medium"}},

    // Insertion: each kind of drive, each processor's section, signed and unsigned launchers.
    {"a disc: AutoRun, then AutoPlay", {}, {"--drive-type=optical"}, 0, {},
     {"Drive:    optical, a CD, DVD or Blu-ray disc (as --drive-type says)",
      "Insertion (as each Windows is set up by default; icon 'tovinel.exe,0', label 'Maker'):\n"
      "  Windows 95 to XP: [autorun]: starts 'D:\\tovinel.exe' at once\n"
      "  Windows Vista, 7: [autorun]: AutoPlay asks first, offering \"Run tovinel.exe\" (Publisher not specified:"
      " unsigned; sign it: signtool, osslsigncode or tools/sign.sh)\n"
      "  Windows 8 to 11: [autorun]: a notification, then AutoPlay asks, offering \"Run tovinel.exe\""}},
    {"a signed launcher names its publisher", {{"tovinel.exe", signed_launcher}}, {}, 0, {},
     {"AutoPlay asks first, offering \"Run tovinel.exe\" (Published by 'Maker Ltd (test)')"}, {"unsigned"}},
    {"a USB stick starts nothing", {}, {"--drive-type=removable"}, 1, {"autorun.inf insertion-starts-nothing"},
     {"  Windows 95 to 2000: [autorun]: nothing starts: AutoRun is off for removable drives by default"
      " (NoDriveTypeAutoRun 0x95)\n  Windows XP, Vista: [autorun]: nothing starts: AutoPlay offered autorun.inf's"
      " program on a USB stick only with action=",
      "autorun.inf: On a USB stick (a removable drive) nothing starts by itself when it is plugged in: Windows 7 and"
      " later neither run nor offer"}},
    {"a USB stick with action=", {{"autorun.inf", "[autorun]\nopen=tovinel.exe\naction=Start Maker\n"}},
     {"--drive-type=removable"}, 1, {"autorun.inf insertion-starts-nothing"},
     {"Windows XP, Vista: [autorun]: nothing starts: AutoPlay offered the program on XP SP2 to Vista until"}},
    {"a USB hard disk, signed", {{"tovinel.exe", signed_launcher}}, {"--drive-type=fixed"}, 1,
     {"autorun.inf insertion-starts-nothing"},
     {"Windows 95 to 2000: [autorun]: nothing starts: AutoRun is on for fixed drives, but as documented nothing",
      "On a USB hard disk (a fixed drive) nothing starts"}, {"Published by"}},
    {"x64 Windows reads its own section", {{"autorun.inf", "[autorun]\nopen=tovinel.exe\n[autorun.amd64]\nopen=tovinel.exe\n"}},
     {}, 0, {},
     {"  Windows 95 to XP, x86: [autorun]: starts 'D:\\tovinel.exe' at once\n"
      "  Windows XP, x64: [autorun.amd64]: starts 'D:\\tovinel.exe' at once\n",
      "  Windows 8 to 11, x64: [autorun.amd64]: a notification, then AutoPlay asks"}},
    {"an x64 section without a program", {{"autorun.inf", "[autorun]\nopen=tovinel.exe\n[autorun.amd64]\nicon=a.ico\n"}},
     {}, 1, {"autorun.inf autorun-no-program", "autorun.inf:4 autorun-icon-missing"},
     {"autorun.inf: Windows XP to 11, x64: autorun.inf names no program ([autorun.amd64] has no",
      "  Windows XP to 11, x64: [autorun.amd64]: nothing starts: [autorun.amd64] names no program"}},
    {"an x64 section that starts the setup", {{"autorun.inf", "[autorun]\nopen=tovinel.exe\n[autorun.amd64]\nopen=SETUP.EXE\n"}},
     {}, 1, {"autorun.inf:4 autorun-bypasses-launcher"},
     {"autorun.inf:4: Windows XP to 11, x64: open='SETUP.EXE' starts that program itself",
      "  Windows 95 to XP, x86: [autorun]: starts 'D:\\tovinel.exe' at once\n"
      "  Windows XP, x64: [autorun.amd64]: starts 'D:\\SETUP.EXE' at once\n"}},
    {"a section for NT 4 on Alpha", {{"autorun.inf", "[autorun]\nopen=tovinel.exe\n[autorun.alpha]\nopen=alpha.exe\n"}},
     {}, 1, {"autorun.inf:4 launcher-missing"}, {"autorun.inf:4: Windows NT 4, Alpha: autorun.inf starts"}},
    {"a section for ARM, which no Windows reads",
     {{"autorun.inf", "[autorun]\nopen=tovinel.exe\n[autorun.arm64]\nopen=tovinel.exe\n"}}, {}, 0,
     {"autorun.inf:3 autorun-section-unknown"}, {"note: '[autorun.arm64]' is a section no Windows is known to read"}},
    {"a launcher whose version record says Setup", {{"tovinel.exe", program("launcher_setup_record.exe")}}, {}, 1,
     {"autorun.inf:2 launcher-installer-record"},
     {"autorun.inf:2: Windows Vista to 11: The launcher's version record holds the installer word 'setup' in"
      " FileDescription"}},
    {"a launcher named with an installer word", {{"autorun.inf", "[autorun]\nopen=install.exe\n"},
      {"tovinel.exe", none}, {"install.exe", program("launcher.exe")}}, {}, 1,
     {"autorun.inf:2 launcher-installer-name"}, {"autorun.inf:2: Windows Vista to 11: The launcher's name"}},
};

// The stand-in launcher signed with a test certificate made once per run (openssl, osslsigncode).
std::string signed_launcher_path()
{
    static std::string path;
    if (!path.empty())
        return path;
    char pattern[] = "/tmp/tovinel-signed-XXXXXX";
    std::string work = mkdtemp(pattern);
    std::string command =
        "cd '" + work + "' && openssl req -x509 -newkey rsa:2048 -noenc -days 2 -subj '/CN=Maker Ltd (test)'"
        " -addext extendedKeyUsage=codeSigning -keyout test.key -out test.pem >/dev/null 2>&1 && osslsigncode sign"
        " -certs test.pem -key test.key -in '" + std::string(CHECK_PROGRAMS) + "/launcher.exe' -out signed.exe"
        " >/dev/null";
    if (system(command.c_str()) == 0)
        path = work + "/signed.exe";
    return path;
}

// Writes the clean medium with the case's changes into a fresh folder.
std::string write_medium(const finding_case& c)
{
    char pattern[] = "/tmp/tovinel-findings-XXXXXX";
    std::string root = mkdtemp(pattern);
    std::vector<std::pair<std::string, std::string>> files = clean_medium;
    for (const auto& change : c.files) {
        bool replaced = false;
        for (auto& file : files)
            if (file.first == change.first) {
                file.second = change.second;
                replaced = true;
            }
        if (!replaced)
            files.push_back(change);
    }
    for (const auto& file : files) {
        fs::path path = fs::u8path(root + "/" + file.first);
        fs::create_directories(path.parent_path());
        if (file.second == none)
            continue;
        if (file.second == folder)
            fs::create_directories(path);
        else if (file.second == "@fifo")
            mkfifo(path.c_str(), 0600);
        else if (file.second.compare(0, 9, "@program:") == 0)
            fs::copy_file(fs::path(CHECK_PROGRAMS) / file.second.substr(9), path);
        else if (file.second == signed_launcher)
            fs::copy_file(signed_launcher_path(), path);
        else
            std::ofstream(path, std::ios::binary) << file.second;
    }
    return root;
}

TEST(CheckFindings, EveryFindingOnAMediumOfItsOwn)
{
    for (const finding_case& c : finding_cases) {
        std::string root = write_medium(c);
        std::vector<std::string> arguments = c.arguments;
        arguments.push_back(root);
        tool_run run = run_check_tool(arguments);
        EXPECT_EQ(c.exit_code, run.exit_code) << c.name << "\n" << run.output;
        EXPECT_EQ(c.findings, finding_lines(run.output)) << c.name << ":\n" << run.output;
        for (const std::string& phrase : c.phrases)
            EXPECT_NE(std::string::npos, run.output.find(phrase))
                << c.name << ": missing '" << phrase << "' in:\n" << run.output;
        for (const std::string& phrase : c.absent)
            EXPECT_EQ(std::string::npos, run.output.find(phrase))
                << c.name << ": unexpected '" << phrase << "' in:\n" << run.output;
        fs::remove_all(root);
    }
}

}  // namespace
