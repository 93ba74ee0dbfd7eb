// Tovinel tests: the launch decision, played against the fake platform.
// One table of scenarios; each names the exact seam calls, with their arguments, that it expects.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "config.h"
#include "decision.h"
#include "fake_platform.h"

namespace {

const char config_path[] = "D:\\Tovinel.ini";

struct decision_case {
    const char* name;
    const char* folder;
    const char* tail;
    fake_ini_entry ini[6];
    fake_registry_key keys[2];
    fake_window windows[2];
    const char* expected_transcript;
    const char* expected_folder;  // null: the folder stays as it was
    start_result start_answer = start_started;
    const char* files[2] = {};    // the files that exist, for the split of a start handed to the shell
};

// A few values used by several cases.
#define REGKEY {"Application", "RegKey", "SOFTWARE\\Maker\\Product"}
#define START_1 {"Application", "Start", "1"}
#define RUN_SETUP {"Setup", "Run", "SETUP.EXE"}
#define PRODUCT_KEY(data) {"SOFTWARE\\Maker\\Product", true, data, 0}
#define READ_REGKEY "text Application/RegKey 260 = 22 'SOFTWARE\\Maker\\Product'\n"
#define NO_REGKEY "text Application/RegKey 260 = 0 ''\n"
#define OPENED "open 'SOFTWARE\\Maker\\Product' = ok\n"
#define NOT_OPENED "open 'SOFTWARE\\Maker\\Product' = fail\n"
#define CLOSED "close 'SOFTWARE\\Maker\\Product'\n"
#define START_READ(n) "int Application/Start 0 = " #n "\n"
#define NO_WINDOW_KEYS "text Setup/WindowClass 80 = 0 ''\ntext Setup/WindowTitle 80 = 0 ''\n"
#define RUN_READ(n, text) "text Setup/Run 260 = " #n " '" text "'\n"


// A default value one byte too large for the buffer: 260 bytes of text and its terminator.
const std::string too_long_value(260, 'L');
// Binary data that fills the buffer exactly, with a NUL after its text.
const std::string value_in_full_buffer = std::string("C:\\A.EXE", 8) + std::string(1, '\0') + std::string(251, 'J');

const decision_case cases[] = {
    {"no configuration file: nothing started, no window lookup", "D:\\", "", {}, {}, {},
     NO_REGKEY NO_WINDOW_KEYS RUN_READ(0, ""), nullptr},
    {"typical run, not installed: setup started with one blank", "D:\\", "",
     {REGKEY, {"Setup", "WindowClass", "SetupWnd"}, RUN_SETUP}, {}, {},
     READ_REGKEY NOT_OPENED "text Setup/WindowClass 80 = 8 'SetupWnd'\ntext Setup/WindowTitle 80 = 0 ''\n"
     "window 'SetupWnd' null = none\n" RUN_READ(9, "SETUP.EXE") "start 'D:\\SETUP.EXE ' = started\n", nullptr},
    {"installed, Start absent: nothing started, Run not read, key closed", "D:\\", "/cd",
     {REGKEY, RUN_SETUP}, {PRODUCT_KEY("C:\\APP\\APP.EXE")}, {},
     READ_REGKEY OPENED START_READ(0) CLOSED, nullptr},
    {"installed, Start=0: nothing started", "D:\\", "",
     {REGKEY, {"Application", "Start", "0"}, RUN_SETUP}, {PRODUCT_KEY("C:\\APP\\APP.EXE")}, {},
     READ_REGKEY OPENED START_READ(0) CLOSED, nullptr},
    {"installed, Start=1: application started with the tail", "D:\\", "/cd",
     {REGKEY, START_1}, {PRODUCT_KEY("C:\\APP\\APP.EXE")}, {},
     READ_REGKEY OPENED START_READ(1) "query 260 = 15\nstart 'C:\\APP\\APP.EXE /cd' = started\n" CLOSED, nullptr},
    {"installed, quoted command with arguments passed whole", "D:\\", "-x",
     {REGKEY, START_1}, {PRODUCT_KEY("\"C:\\My App\\APP.EXE\" /r")}, {},
     READ_REGKEY OPENED START_READ(1) "query 260 = 23\nstart '\"C:\\My App\\APP.EXE\" /r -x' = started\n" CLOSED,
     nullptr},
    {"installed, no default value: nothing started, key closed", "D:\\", "",
     {REGKEY, START_1, RUN_SETUP}, {{"SOFTWARE\\Maker\\Product", false, "", 0}}, {},
     READ_REGKEY OPENED START_READ(1) "query 260 = fail\n" CLOSED, nullptr},
    {"installed, default value too long for 260 bytes: nothing started", "D:\\", "",
     {REGKEY, START_1}, {{"SOFTWARE\\Maker\\Product", true, too_long_value.c_str(), 0}}, {},
     READ_REGKEY OPENED START_READ(1) "query 260 = fail\n" CLOSED, nullptr},
    {"installed, empty default value: one blank and the tail started all the same", "D:\\", "/cd",
     {REGKEY, START_1}, {PRODUCT_KEY("")}, {},
     READ_REGKEY OPENED START_READ(1) "query 260 = 1\nstart ' /cd' = started\n" CLOSED, nullptr},
    {"installed, data holds text then a NUL then more: text up to the NUL", "D:\\", "/cd",
     {REGKEY, START_1}, {{"SOFTWARE\\Maker\\Product", true, "C:\\A.EXE\0junk", 14}}, {},
     READ_REGKEY OPENED START_READ(1) "query 260 = 14\nstart 'C:\\A.EXE /cd' = started\n" CLOSED, nullptr},
    {"installed, 8 bytes of binary data without a NUL: taken as text", "D:\\", "",
     {REGKEY, START_1}, {{"SOFTWARE\\Maker\\Product", true, "C:\\A.EXE", 8}}, {},
     READ_REGKEY OPENED START_READ(1) "query 260 = 8\nstart 'C:\\A.EXE ' = started\n" CLOSED, nullptr},
    {"installed, 260 bytes of data holding a NUL: the text before it started", "D:\\", "/cd",
     {REGKEY, START_1}, {{"SOFTWARE\\Maker\\Product", true, value_in_full_buffer.c_str(), 260, 3}}, {},
     READ_REGKEY OPENED START_READ(1) "query 260 = 260\nstart 'C:\\A.EXE /cd' = started\n" CLOSED, nullptr},
    // Values of a single byte: present, not absent.
    {"installed, RegKey of one byte", "D:\\", "", {{"Application", "RegKey", "K"}, START_1},
     {{"K", true, "C:\\A.EXE", 0}}, {},
     "text Application/RegKey 260 = 1 'K'\nopen 'K' = ok\n" START_READ(1) "query 260 = 9\n"
     "start 'C:\\A.EXE ' = started\nclose 'K'\n", nullptr},
    {"Run of one byte", "D:\\", "", {{"Setup", "Run", "S"}}, {}, {},
     NO_REGKEY NO_WINDOW_KEYS RUN_READ(1, "S") "start 'D:\\S ' = started\n", nullptr},
    {"WindowTitle of one byte is a title, not any title", "D:\\", "",
     {{"Setup", "WindowClass", "SetupWnd"}, {"Setup", "WindowTitle", "T"}, RUN_SETUP}, {}, {{"SetupWnd", "Other"}},
     NO_REGKEY "text Setup/WindowClass 80 = 8 'SetupWnd'\ntext Setup/WindowTitle 80 = 1 'T'\n"
     "window 'SetupWnd' 'T' = none\n" RUN_READ(9, "SETUP.EXE") "start 'D:\\SETUP.EXE ' = started\n", nullptr},
    {"key named but absent: setup branch as if RegKey were empty", "D:\\", "-q",
     {REGKEY, START_1, RUN_SETUP}, {{"SOFTWARE\\Other", true, "C:\\O.EXE", 0}}, {},
     READ_REGKEY NOT_OPENED NO_WINDOW_KEYS RUN_READ(9, "SETUP.EXE") "start 'D:\\SETUP.EXE -q' = started\n", nullptr},
    {"setup window of the class open: nothing started, Run not read", "D:\\", "",
     {{"Setup", "WindowClass", "SetupWnd"}, RUN_SETUP}, {}, {{"setupwnd", "Anything"}},
     NO_REGKEY "text Setup/WindowClass 80 = 8 'SetupWnd'\ntext Setup/WindowTitle 80 = 0 ''\n"
     "window 'SetupWnd' null = found\n", nullptr},
    {"setup window of class and title open: nothing started", "D:\\", "",
     {{"Setup", "WindowClass", "SetupWnd"}, {"Setup", "WindowTitle", "Product Setup"}, RUN_SETUP}, {},
     {{"SetupWnd", "Product Setup"}},
     NO_REGKEY "text Setup/WindowClass 80 = 8 'SetupWnd'\ntext Setup/WindowTitle 80 = 13 'Product Setup'\n"
     "window 'SetupWnd' 'Product Setup' = found\n", nullptr},
    {"window of the class with another title: Run decides", "D:\\", "",
     {{"Setup", "WindowClass", "SetupWnd"}, {"Setup", "WindowTitle", "Product Setup"}, RUN_SETUP}, {},
     {{"SetupWnd", "Other"}},
     NO_REGKEY "text Setup/WindowClass 80 = 8 'SetupWnd'\ntext Setup/WindowTitle 80 = 13 'Product Setup'\n"
     "window 'SetupWnd' 'Product Setup' = none\n" RUN_READ(9, "SETUP.EXE") "start 'D:\\SETUP.EXE ' = started\n",
     nullptr},
    {"title only: the class is the empty text, never null", "D:\\", "",
     {{"Setup", "WindowTitle", "Product Setup"}, RUN_SETUP}, {}, {},
     NO_REGKEY "text Setup/WindowClass 80 = 0 ''\ntext Setup/WindowTitle 80 = 13 'Product Setup'\n"
     "window '' 'Product Setup' = none\n" RUN_READ(9, "SETUP.EXE") "start 'D:\\SETUP.EXE ' = started\n", nullptr},
    {"no Run: nothing started", "D:\\", "-q", {{"Setup", "WindowClass", "SetupWnd"}}, {}, {},
     NO_REGKEY "text Setup/WindowClass 80 = 8 'SetupWnd'\ntext Setup/WindowTitle 80 = 0 ''\n"
     "window 'SetupWnd' null = none\n" RUN_READ(0, ""), nullptr},
    {"Run relative to a subfolder, with its own arguments", "D:\\DISC1\\", "-q",
     {{"Setup", "Run", "SETUP\\SETUP.EXE /s"}}, {}, {},
     NO_REGKEY NO_WINDOW_KEYS RUN_READ(18, "SETUP\\SETUP.EXE /s") "start 'D:\\DISC1\\SETUP\\SETUP.EXE /s -q' = started\n",
     nullptr},
    {"Run from the drive's root", "D:\\DISC1\\", "-q", {{"Setup", "Run", "\\SETUP\\SETUP.EXE"}}, {}, {},
     NO_REGKEY NO_WINDOW_KEYS RUN_READ(16, "\\SETUP\\SETUP.EXE") "start 'D:\\SETUP\\SETUP.EXE -q' = started\n", "D:"},
    {"Run as a full path is appended all the same", "D:\\DISC1\\", "", {{"Setup", "Run", "C:\\X\\SETUP.EXE"}},
     {}, {}, NO_REGKEY NO_WINDOW_KEYS RUN_READ(14, "C:\\X\\SETUP.EXE") "start 'D:\\DISC1\\C:\\X\\SETUP.EXE ' = started\n",
     nullptr},
    {"folder with blanks reaches the start unquoted", "D:\\My Disc\\", "a b", {RUN_SETUP}, {}, {},
     NO_REGKEY NO_WINDOW_KEYS RUN_READ(9, "SETUP.EXE") "start 'D:\\My Disc\\SETUP.EXE a b' = started\n", nullptr},
    {"network folder, root-relative Run counts from the share", "\\\\server\\share\\dir\\", "",
     {{"Setup", "Run", "\\SETUP.EXE"}}, {}, {},
     NO_REGKEY NO_WINDOW_KEYS RUN_READ(10, "\\SETUP.EXE") "start '\\\\server\\share\\SETUP.EXE ' = started\n",
     "\\\\server\\share"},
    {"Run from the root, launcher in the root", "D:\\", "", {{"Setup", "Run", "\\SETUP.EXE"}}, {}, {},
     NO_REGKEY NO_WINDOW_KEYS RUN_READ(10, "\\SETUP.EXE") "start 'D:\\SETUP.EXE ' = started\n", "D:"},
    {"folder of two backslashes alone stays whole", "\\\\", "", {{"Setup", "Run", "\\SETUP.EXE"}}, {}, {},
     NO_REGKEY NO_WINDOW_KEYS RUN_READ(10, "\\SETUP.EXE") "start '\\\\\\SETUP.EXE ' = started\n", "\\\\"},
    {"network folder without a share: the server's name stays", "\\\\server\\", "",
     {{"Setup", "Run", "\\SETUP.EXE"}}, {}, {},
     NO_REGKEY NO_WINDOW_KEYS RUN_READ(10, "\\SETUP.EXE") "start '\\\\server\\SETUP.EXE ' = started\n", "\\\\server"},
    {"network share root, root-relative Run", "\\\\server\\share\\", "-q", {{"Setup", "Run", "\\SETUP.EXE"}},
     {}, {}, NO_REGKEY NO_WINDOW_KEYS RUN_READ(10, "\\SETUP.EXE") "start '\\\\server\\share\\SETUP.EXE -q' = started\n",
     "\\\\server\\share"},
    {"network folder, relative Run keeps the folder", "\\\\server\\share\\dir\\", "", {RUN_SETUP}, {}, {},
     NO_REGKEY NO_WINDOW_KEYS RUN_READ(9, "SETUP.EXE") "start '\\\\server\\share\\dir\\SETUP.EXE ' = started\n", nullptr},
    {"empty folder stays empty for a root-relative Run", "", "-q", {{"Setup", "Run", "\\SETUP.EXE"}}, {}, {},
     NO_REGKEY NO_WINDOW_KEYS RUN_READ(10, "\\SETUP.EXE") "start '\\SETUP.EXE -q' = started\n", ""},
    // Folders that only odd module paths give: one leading backslash is no network folder, and a
    // backslash as the second byte is no drive; both keep their first two bytes.
    {"folder with one leading backslash keeps two bytes", "\\DIR\\SUB\\", "", {{"Setup", "Run", "\\SETUP.EXE"}},
     {}, {}, NO_REGKEY NO_WINDOW_KEYS RUN_READ(10, "\\SETUP.EXE") "start '\\D\\SETUP.EXE ' = started\n", "\\D"},
    {"folder whose second byte is a backslash keeps two bytes", "A\\B\\C\\", "", {{"Setup", "Run", "\\SETUP.EXE"}},
     {}, {}, NO_REGKEY NO_WINDOW_KEYS RUN_READ(10, "\\SETUP.EXE") "start 'A\\\\SETUP.EXE ' = started\n", "A\\"},

    // Since Vista a setup asking for administrator rights cannot be started with WinExec: that one
    // failure, and no other, is handed to the shell, split where CreateProcess splits it.
    {"setup needs elevation: handed to the shell, the folder's blank found by the file", "D:\\My Disc\\", "/x",
     {RUN_SETUP}, {}, {},
     NO_REGKEY NO_WINDOW_KEYS RUN_READ(9, "SETUP.EXE") "start 'D:\\My Disc\\SETUP.EXE /x' = needs elevation\n"
     "exists 'D:\\My.exe' = no\nexists 'D:\\My Disc\\SETUP.EXE' = yes\n"
     "shell 'D:\\My Disc\\SETUP.EXE' '/x'\n", nullptr, start_needs_elevation, {"D:\\My Disc\\SETUP.EXE"}},
    {"setup needs elevation, empty tail: no parameters", "D:\\", "", {RUN_SETUP}, {}, {},
     NO_REGKEY NO_WINDOW_KEYS RUN_READ(9, "SETUP.EXE") "start 'D:\\SETUP.EXE ' = needs elevation\n"
     "exists 'D:\\SETUP.EXE' = yes\nshell 'D:\\SETUP.EXE' ''\n", nullptr, start_needs_elevation,
     {"D:\\SETUP.EXE"}},
    {"setup fails for another reason: no second try", "D:\\", "/x", {RUN_SETUP}, {}, {},
     NO_REGKEY NO_WINDOW_KEYS RUN_READ(9, "SETUP.EXE") "start 'D:\\SETUP.EXE /x' = failed\n", nullptr, start_failed,
     {"D:\\SETUP.EXE"}},
    {"installed application needs elevation: quoted data split at its quote, key closed after", "D:\\", "-x",
     {REGKEY, START_1}, {PRODUCT_KEY("\"C:\\My App\\APP.EXE\" /r")}, {},
     READ_REGKEY OPENED START_READ(1) "query 260 = 23\nstart '\"C:\\My App\\APP.EXE\" /r -x' = needs elevation\n"
     "shell 'C:\\My App\\APP.EXE' '/r -x'\n" CLOSED, nullptr, start_needs_elevation},
    {"installed application fails for another reason: no second try", "D:\\", "-x",
     {REGKEY, START_1}, {PRODUCT_KEY("C:\\APP\\APP.EXE")}, {},
     READ_REGKEY OPENED START_READ(1) "query 260 = 15\nstart 'C:\\APP\\APP.EXE -x' = failed\n" CLOSED, nullptr,
     start_failed},
};

// The text read at the platform's edges: whatever count the platform reports, and whether or not it
// left a terminator, the read gives a terminated text of at most capacity - 1 bytes with its exact
// length, and writes nothing past the buffer.
struct read_case {
    const char* name;
    unsigned value_length;  // the value in the file: this many 'v' bytes
    unsigned capacity;
    unsigned overcount;     // the platform reports this many bytes more than it stored
    bool fills_buffer;      // a value too long fills the whole buffer without a terminator
    unsigned expected_length;
};

const read_case read_cases[] = {
    {"short value, exact count", 5, 80, 0, false, 5},
    {"count one past the text", 5, 80, 1, false, 5},
    {"count of exactly the capacity", 5, 80, 75, false, 5},
    {"count far past the capacity", 5, 80, 300, false, 5},
    {"empty value, count of the capacity", 0, 80, 80, false, 0},
    {"value of capacity - 1 bytes", 79, 80, 0, false, 79},
    {"longer value cut and terminated by the platform", 100, 80, 0, false, 79},
    {"value of exactly the capacity fills the buffer unterminated", 80, 80, 0, true, 79},
    {"longer value fills the buffer unterminated", 100, 80, 0, true, 79},
    {"and the count runs past the capacity", 100, 80, 7, true, 79},
    {"a path buffer filled unterminated", 300, 260, 0, true, 259},
};

TEST(ConfigurationRead, LeavesATerminatedTextOfTheLengthItReportsAndNothingPastTheBuffer)
{
    for (const read_case& c : read_cases) {
        const std::string value(c.value_length, 'v');
        const fake_ini_entry ini[] = {{"Setup", "Run", value.c_str()}};
        fake_machine machine{};
        machine.config_path = config_path;
        machine.ini = ini;
        machine.ini_count = 1;
        machine.profile_text_overcount = c.overcount;
        machine.profile_text_fills_buffer = c.fills_buffer;
        fake_install(machine);
        // A guard byte right behind the buffer.
        std::string area(c.capacity + 1, '#');
        unsigned length = read_text_value(config_path, "Setup", "Run", &area[0], c.capacity);
        EXPECT_EQ(c.expected_length, length) << c.name;
        EXPECT_EQ(std::string(c.expected_length, 'v'), std::string(area.c_str())) << c.name;
        EXPECT_EQ('#', area[c.capacity]) << c.name << ": written past the buffer";
    }
}

// Command lines at the 259-byte limit and one byte past it, on both branches.
struct length_case {
    const char* name;
    unsigned tail_length;
    bool installed;
    bool started;
};

const length_case length_cases[] = {
    {"setup command of exactly 259 bytes is started", 259 - 3 - 9 - 1, false, true},
    {"setup command of 260 bytes starts nothing", 260 - 3 - 9 - 1, false, false},
    {"application command of exactly 259 bytes is started", 259 - 14 - 1, true, true},
    {"application command of 260 bytes starts nothing", 260 - 14 - 1, true, false},
    {"a tail of several kilobytes starts nothing", 8000, false, false},
};

unsigned count_ini(const decision_case& c)
{
    unsigned n = 0;
    while (n < 6 && c.ini[n].section != nullptr)
        ++n;
    return n;
}

fake_machine machine_for(const decision_case& c)
{
    fake_machine machine{};
    machine.config_path = c.ini[0].section != nullptr ? config_path : nullptr;
    machine.ini = c.ini;
    machine.ini_count = count_ini(c);
    machine.keys = c.keys;
    machine.key_count = c.keys[0].path != nullptr ? (c.keys[1].path != nullptr ? 2 : 1) : 0;
    machine.windows = c.windows;
    machine.window_count = c.windows[0].window_class != nullptr ? (c.windows[1].window_class != nullptr ? 2 : 1) : 0;
    machine.start_answer = c.start_answer;
    machine.existing_files = c.files;
    machine.existing_file_count = c.files[0] != nullptr ? (c.files[1] != nullptr ? 2 : 1) : 0;
    return machine;
}

// Installs `machine` and plays the decision of `c` on a fresh copy of its folder, left in `folder`.
void play(const fake_machine& machine, const decision_case& c, char (&folder)[260])
{
    fake_install(machine);
    // Backslashes behind the folder's terminator: a scan past it would find more folders there.
    memset(folder, '\\', sizeof folder);
    strcpy(folder, c.folder);
    launch_decision(config_path, folder, c.tail);
}

TEST(LaunchDecision, PlaysEveryScenarioWithTheExactPlatformCalls)
{
    for (const decision_case& c : cases) {
        char folder[260];
        play(machine_for(c), c, folder);
        EXPECT_STREQ(c.expected_transcript, fake_transcript()) << c.name;
        EXPECT_STREQ(c.expected_folder != nullptr ? c.expected_folder : c.folder, folder) << c.name;
        EXPECT_LE(fake_start_count(), 1u) << c.name;
        EXPECT_EQ(fake_open_key_count(), fake_closed_key_count()) << c.name;
    }
}

TEST(LaunchDecision, NeverStartsACutCommandLine)
{
    static const fake_ini_entry ini[] = {REGKEY, START_1, {"Setup", "Run", "SETUP.EXE"}};
    static const fake_registry_key key[] = {PRODUCT_KEY("C:\\APP\\APP.EXE")};
    for (const length_case& c : length_cases) {
        std::string tail(c.tail_length, 't');
        fake_machine machine{};
        machine.config_path = config_path;
        machine.ini = ini;
        machine.ini_count = 3;
        machine.keys = key;
        machine.key_count = c.installed ? 1 : 0;
        fake_install(machine);
        char folder[260] = "D:\\";
        launch_decision(config_path, folder, tail.c_str());
        std::string expected = (c.installed ? std::string("C:\\APP\\APP.EXE ") : std::string("D:\\SETUP.EXE ")) + tail;
        EXPECT_EQ(c.started ? 1u : 0u, fake_start_count()) << c.name;
        if (c.started && fake_started_command() != nullptr) {
            EXPECT_EQ(259u, strlen(fake_started_command())) << c.name;
            EXPECT_EQ(expected, fake_started_command()) << c.name;
        }
    }
}

// Code page 932: "\x83\x5C" (katakana so) ends in 0x5C, which must not end the server or share name.
TEST(LaunchDecision, ARootRelativeRunOnADoubleByteShareCountsFromTheWholeShare)
{
    static const fake_ini_entry ini[] = {{"Setup", "Run", "\\SETUP.EXE"}};
    struct {
        const char* folder;
        const char* expected_start;
    } const share_cases[] = {
        {"\\\\server\\\x83\x5C\\dir\\", "\\\\server\\\x83\x5C\\SETUP.EXE "},
        {"\\\\\x83\x5C\\share\\dir\\", "\\\\\x83\x5C\\share\\SETUP.EXE "},
    };
    for (const auto& c : share_cases) {
        fake_machine machine{};
        machine.config_path = config_path;
        machine.ini = ini;
        machine.ini_count = 1;
        machine.lead_bytes[0] = {0x81, 0x9F};
        machine.lead_bytes[1] = {0xE0, 0xFC};
        fake_install(machine);
        char folder[260];
        strcpy(folder, c.folder);
        launch_decision(config_path, folder, "");
        EXPECT_STREQ(c.expected_start, fake_started_command()) << c.folder;
    }
}

TEST(LaunchDecision, RegistryDataFillingTheBufferWithoutATerminatorStartsNothing)
{
    static const std::string full(260, 'B');
    static const std::string almost(258, 'B');  // and one blank: 259
    struct {
        const std::string* data;
        unsigned starts;
    } const data_cases[] = {{&full, 0}, {&almost, 1}};
    static const fake_ini_entry ini[] = {REGKEY, START_1};
    for (const auto& c : data_cases) {
        const fake_registry_key key[] = {{"SOFTWARE\\Maker\\Product", true, c.data->c_str(),
                                          static_cast<unsigned>(c.data->size())}};
        fake_machine machine{};
        machine.config_path = config_path;
        machine.ini = ini;
        machine.ini_count = 2;
        machine.keys = key;
        machine.key_count = 1;
        fake_install(machine);
        char folder[260] = "D:\\";
        launch_decision(config_path, folder, "");
        EXPECT_EQ(c.starts, fake_start_count()) << c.data->size() << " bytes without a NUL";
        EXPECT_EQ(1u, fake_closed_key_count()) << c.data->size() << " bytes without a NUL";
    }
}

// A profile read whose count runs past its text (a NUL in the value, a miscounting system) must act
// as the text itself: an empty RegKey opened as "" would open HKEY_LOCAL_MACHINE itself, and an empty
// Run would start the bare folder.
TEST(LaunchDecision, AProfileCountPastTheTextActsAsTheText)
{
    for (const decision_case& c : cases) {
        char folder[260];
        play(machine_for(c), c, folder);
        const char* started = fake_started_command();
        std::string expected_start = started != nullptr ? started : "(nothing)";
        unsigned expected_opens = fake_open_key_count();
        std::string expected_folder = folder;
        for (unsigned overcount : {1u, 5u, 300u}) {
            fake_machine machine = machine_for(c);
            machine.profile_text_overcount = overcount;
            play(machine, c, folder);
            started = fake_started_command();
            std::string where = std::string(c.name) + ", counts " + std::to_string(overcount) + " too high";
            EXPECT_EQ(expected_start, started != nullptr ? started : "(nothing)") << where;
            EXPECT_EQ(expected_opens, fake_open_key_count()) << where;
            EXPECT_EQ(expected_folder, folder) << where;
            EXPECT_EQ(std::string::npos, std::string(fake_transcript()).find("open ''")) << where;
        }
    }
}

// Whatever single seam call fails, the launcher starts at most one program, never one that is cut,
// and closes every key it opened.
TEST(LaunchDecision, SurvivesTheFailureOfAnySingleCall)
{
    for (const decision_case& c : cases) {
        char folder[260];
        play(machine_for(c), c, folder);
        unsigned calls = fake_call_count();
        for (unsigned failing = 1; failing <= calls; ++failing) {
            fake_machine machine = machine_for(c);
            machine.fail_call = failing;
            play(machine, c, folder);
            std::string where = std::string(c.name) + ", call " + std::to_string(failing) + " failing";
            EXPECT_LE(fake_start_count(), 1u) << where;
            EXPECT_EQ(fake_open_key_count(), fake_closed_key_count()) << where;
            if (fake_started_command() != nullptr) {
                EXPECT_LE(strlen(fake_started_command()), 259u) << where;
            }
        }
    }
}

}  // namespace
