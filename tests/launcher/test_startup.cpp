// Tovinel tests: the start-up pieces: the command-line tail, the launcher folder and the entry.
// Tables of cases played against the fake platform.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fake_platform.h"
#include "startup.h"

namespace {

// The lead bytes of code page 932 (Japanese); a single-byte code page has none.
const fake_lead_range code_page_932[2] = {{0x81, 0x9F}, {0xE0, 0xFC}};
const bool double_byte = true;
const bool single_byte = false;

fake_machine machine_with_code_page(bool is_double_byte)
{
    fake_machine machine{};
    if (is_double_byte) {
        machine.lead_bytes[0] = code_page_932[0];
        machine.lead_bytes[1] = code_page_932[1];
    }
    return machine;
}

struct tail_case {
    const char* name;
    const char* command_line;
    bool double_byte;
    const char* expected_tail;
};

const tail_case tail_cases[] = {
    {"plain name and one argument", "D:\\LAUNCH.EXE /x", single_byte, "/x"},
    {"quoted name with a blank, three blanks, then a b", "\"D:\\My Disc\\LAUNCH.EXE\"   a b", single_byte,
     "a b"},
    {"no blank after the closing quote", "\"D:\\LAUNCH.EXE\"abc", single_byte, "abc"},
    {"lead byte takes a following 0x22 inside a quoted name", "\"D:\\\x81\"X.EXE\" tail", double_byte, "tail"},
    {"a lead byte of the second range takes it too", "\"D:\\\xE0\"X.EXE\" tail", double_byte, "tail"},
    {"the same bytes on a single-byte code page close the name", "\"D:\\\x81\"X.EXE\" tail", single_byte,
     "X.EXE\" tail"},
    {"leading blank: nothing is the program name", " D:\\LAUNCH.EXE /x", single_byte, "D:\\LAUNCH.EXE /x"},
    {"name alone", "D:\\LAUNCH.EXE", single_byte, ""},
    {"name and blanks only", "D:\\LAUNCH.EXE    ", single_byte, ""},
    {"quoted name and blanks only", "\"D:\\LAUNCH.EXE\"  \t ", single_byte, ""},
    {"quoted name ending in a lead byte without a closing quote", "\"D:\\X\x81", double_byte, ""},
    {"quoted name without a closing quote", "\"D:\\A B.EXE x", single_byte, ""},
    // The bytes behind the terminator would close the name and give a tail, were they ever read.
    {"lead byte just before the terminator, a quote behind it", "\"D:\\X\x81\0\"behind", double_byte, ""},
    {"an unquoted name may hold ! and a quote", "D:\\GO!\"X.EXE /x", single_byte, "/x"},
    {"tabs and control bytes after the name are dropped", "LAUNCH.EXE\t\x01\x1f a\tb", single_byte, "a\tb"},
    {"bytes above 0x7F belong to an unquoted name", "D:\\\xe9T\xc9.EXE x", single_byte, "x"},
    {"quotes and spacing inside the tail are kept", "L.EXE \"a  b\"  c ", single_byte, "\"a  b\"  c "},
    {"empty command line", "", single_byte, ""},
};

TEST(CommandLineTail, FollowsTheProgramNameRules)
{
    for (const tail_case& c : tail_cases) {
        fake_install(machine_with_code_page(c.double_byte));
        const char* tail = command_line_tail(c.command_line);
        EXPECT_STREQ(c.expected_tail, tail) << c.name;
        // The tail is a part of the command line itself, never a copy.
        EXPECT_TRUE(tail >= c.command_line && tail <= c.command_line + strlen(c.command_line)) << c.name;
    }
}

struct folder_case {
    const char* name;
    std::string module_path;   // "-" for no name at all
    bool unterminated;
    bool double_byte;
    std::string expected_folder;
    bool usable;
};

const std::string long_folder_248 = "D:\\" + std::string(244, 'd') + "\\";
const std::string long_folder_249 = "D:\\" + std::string(245, 'd') + "\\";

const folder_case folder_cases[] = {
    {"drive root", "D:\\LAUNCH.EXE", false, single_byte, "D:\\", true},
    {"subfolder keeps its trailing backslash", "D:\\SUB\\DIR\\LAUNCH.EXE", false, single_byte, "D:\\SUB\\DIR\\",
     true},
    {"no name at all: empty folder", "-", false, single_byte, "", true},
    {"name without a backslash is kept whole", "LAUNCH.EXE", false, single_byte, "LAUNCH.EXE", true},
    {"single-byte code page: 0x5C after 0x81 is a backslash", "D:\\\x81\\X.EXE", false, single_byte, "D:\\\x81\\",
     true},
    // Code page 932: "\x83\x5C" is the katakana so, "\x95\x5C\x8E\xA6" the word for "display".
    {"double-byte launcher name ending in a 0x5C trail byte", "D:\\DISC\\\x83\x5C.exe", false, double_byte,
     "D:\\DISC\\", true},
    {"double-byte folder name holding a 0x5C trail byte", "D:\\\x95\x5C\x8E\xA6\\tovinel.exe", false,
     double_byte, "D:\\\x95\x5C\x8E\xA6\\", true},
    {"lead byte of the second range", "D:\\A\\\xFC\x5C.exe", false, double_byte, "D:\\A\\", true},
    {"trail byte of a lead-byte value", "D:\\\x81\x81\\X.EXE", false, double_byte, "D:\\\x81\x81\\", true},
    {"lead byte before the terminator stands alone", "D:\\X\x81", false, double_byte, "D:\\", true},
    {"and at the end of the longest path", "D:\\" + std::string(255, 'n') + "\x81", false, double_byte, "D:\\",
     true},
    {"the same path on a single-byte code page", "D:\\DISC\\\x83\x5C.exe", false, single_byte,
     "D:\\DISC\\\x83\\", true},
    {"folder of 248 bytes leaves room for Tovinel.ini", long_folder_248 + "L.EXE", false, single_byte,
     long_folder_248, true},
    {"folder of 249 bytes does not", long_folder_249 + "L.EXE", false, single_byte, long_folder_249, false},
    {"one backslash, the first byte: the folder is that backslash", "\\L.EXE", false, single_byte, "\\", true},
    {"module path of 259 bytes is whole", "D:\\" + std::string(256, 'n'), false, single_byte, "D:\\", true},
    {"module path of 259 bytes ending in a backslash: no room left", "D:\\" + std::string(255, 'd') + "\\", false,
     single_byte, "D:\\" + std::string(255, 'd') + "\\", false},
    {"module path of exactly the buffer size is cut", "D:\\" + std::string(257, 'n'), false, single_byte, "", false},
    {"and left without a terminator", "D:\\" + std::string(257, 'n'), true, single_byte, "", false},
    {"cut module path", "D:\\" + std::string(300, 'n'), false, single_byte, "", false},
    {"cut module path left without a terminator", "D:\\" + std::string(300, 'n'), true, double_byte, "", false},
};

TEST(LauncherFolder, FollowsTheModulePathRules)
{
    for (const folder_case& c : folder_cases) {
        fake_machine machine = machine_with_code_page(c.double_byte);
        machine.module_path = c.module_path == "-" ? nullptr : c.module_path.c_str();
        machine.module_path_unterminated = c.unterminated;
        fake_install(machine);
        // Backslashes behind the answer: a scan past the terminator would end the folder elsewhere.
        memset(launcher_folder, '\\', sizeof launcher_folder);
        bool usable = fill_launcher_folder();
        EXPECT_EQ(c.usable, usable) << c.name;
        EXPECT_EQ(c.expected_folder, std::string(launcher_folder, strnlen(launcher_folder, 260))) << c.name;
        EXPECT_STREQ("module 260 = ", std::string(fake_transcript()).substr(0, 13).c_str()) << c.name;
    }
}

struct entry_case {
    const char* name;
    const char* command_line;
    const char* module_path;
    const char* config_path;     // where the fake keeps Tovinel.ini
    const char* expected_start;  // null: nothing started
    bool double_byte = single_byte;
};

const entry_case entry_cases[] = {
    {"typical run from D:\\", "D:\\LAUNCH.EXE", "D:\\LAUNCH.EXE", "D:\\Tovinel.ini", "D:\\SETUP.EXE "},
    {"tail handed on", "D:\\LAUNCH.EXE /x", "D:\\LAUNCH.EXE", "D:\\Tovinel.ini", "D:\\SETUP.EXE /x"},
    {"launcher in a subfolder with blanks", "\"D:\\My Disc\\L.EXE\" -q", "D:\\My Disc\\L.EXE",
     "D:\\My Disc\\Tovinel.ini", "D:\\My Disc\\SETUP.EXE -q"},
    {"no file name: bare configuration name", "L.EXE", nullptr, "Tovinel.ini", "SETUP.EXE "},
    {"name without a backslash: the name is the folder", "L.EXE", "L.EXE", "L.EXETovinel.ini",
     "L.EXESETUP.EXE "},
    {"configuration elsewhere: nothing started", "D:\\L.EXE", "D:\\L.EXE", "E:\\Tovinel.ini", nullptr},
    {"code page 932, launcher named with a 0x5C trail byte", "D:\\DISC\\\x83\x5C.exe /x",
     "D:\\DISC\\\x83\x5C.exe", "D:\\DISC\\Tovinel.ini", "D:\\DISC\\SETUP.EXE /x", double_byte},
    {"code page 932, quoted launcher in a folder holding a 0x5C trail byte",
     "\"D:\\\x95\x5C\x8E\xA6\\tovinel.exe\" -q", "D:\\\x95\x5C\x8E\xA6\\tovinel.exe",
     "D:\\\x95\x5C\x8E\xA6\\Tovinel.ini", "D:\\\x95\x5C\x8E\xA6\\SETUP.EXE -q", double_byte},
};

TEST(LauncherEntry, FormsTheConfigurationPathAndAlwaysReturnsZero)
{
    static const fake_ini_entry ini[] = {{"Setup", "Run", "SETUP.EXE"}};
    for (const entry_case& c : entry_cases) {
        // The show state the process was given changes nothing.
        for (int show_state = 0; show_state <= 11; ++show_state) {
            fake_machine machine = machine_with_code_page(c.double_byte);
            machine.config_path = c.config_path;
            machine.ini = ini;
            machine.ini_count = 1;
            machine.module_path = c.module_path;
            fake_install(machine);
            std::string where = std::string(c.name) + ", show state " + std::to_string(show_state);
            EXPECT_EQ(0u, launcher_entry(reinterpret_cast<platform_handle>(0x400000), nullptr,
                                         command_line_tail(c.command_line), show_state)) << where;
            EXPECT_EQ(reinterpret_cast<platform_handle>(0x400000), launcher_instance) << where;
            if (c.expected_start == nullptr) {
                EXPECT_EQ(nullptr, fake_started_command()) << where;
            } else {
                EXPECT_STREQ(c.expected_start, fake_started_command()) << where;
            }
        }
    }
}

TEST(LauncherEntry, ReadsAndStartsNothingWhenTheFolderCannotBeTrusted)
{
    const std::string cut = "D:\\" + std::string(300, 'n');
    const std::string deep = "D:\\" + std::string(250, 'd') + "\\L.EXE";
    const char* const module_paths[] = {cut.c_str(), deep.c_str()};
    static const fake_ini_entry ini[] = {{"Setup", "Run", "SETUP.EXE"}};
    for (const char* module_path : module_paths) {
        fake_machine machine{};
        machine.config_path = "Tovinel.ini";
        machine.ini = ini;
        machine.ini_count = 1;
        machine.module_path = module_path;
        machine.module_path_unterminated = true;
        fake_install(machine);
        EXPECT_EQ(0u, launcher_entry(nullptr, nullptr, "", 1)) << strlen(module_path);
        EXPECT_EQ(1u, fake_call_count()) << "only the module name is asked, path of " << strlen(module_path);
        EXPECT_EQ(nullptr, fake_last_config_path()) << strlen(module_path);
    }
}

}  // namespace
