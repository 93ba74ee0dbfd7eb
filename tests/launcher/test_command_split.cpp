// Tovinel tests: the split of a composed command line into program and parameters, as CreateProcess
// splits it, for the start handed to the shell. One table, played against the fake platform's files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "command_split.h"
#include "fake_platform.h"

namespace {

struct split_case {
    const char* name;
    const char* command_line;
    const char* files[2];          // the files that exist
    const char* expected_program;  // null: the split fails (the name does not fit)
    const char* expected_parameters;
    const char* expected_lookups;  // the files asked for, in order; null: not compared
    bool double_byte = false;      // code page 932's lead bytes
    unsigned capacity = 260;
};

const split_case split_cases[] = {
    {"blank in the folder: the first part naming a file is the program", "D:\\My Disc\\SETUP.EXE /x",
     {"D:\\My Disc\\SETUP.EXE"}, "D:\\My Disc\\SETUP.EXE", "/x",
     "exists 'D:\\My.exe' = no\nexists 'D:\\My Disc\\SETUP.EXE' = yes\n"},
    {"an earlier part naming a file wins, as in CreateProcess", "D:\\My Disc\\SETUP.EXE /x",
     {"D:\\My.exe", "D:\\My Disc\\SETUP.EXE"}, "D:\\My.exe", "Disc\\SETUP.EXE /x", "exists 'D:\\My.exe' = yes\n"},
    {"no part names a file: up to the first blank", "D:\\My Disc\\SETUP.EXE /s -q", {}, "D:\\My",
     "Disc\\SETUP.EXE /s -q", nullptr},
    {"Run with its own arguments and the tail", "D:\\DISC1\\SETUP\\SETUP.EXE /s -q",
     {"D:\\DISC1\\SETUP\\SETUP.EXE"}, "D:\\DISC1\\SETUP\\SETUP.EXE", "/s -q",
     "exists 'D:\\DISC1\\SETUP\\SETUP.EXE' = yes\n"},
    {"empty tail: the composed line ends in its blank", "D:\\SETUP.EXE ", {"D:\\SETUP.EXE"}, "D:\\SETUP.EXE",
     "", nullptr},
    {"empty tail, no file", "D:\\SETUP.EXE ", {}, "D:\\SETUP.EXE", "", nullptr},
    {"a name without an extension is looked for with .exe added", "D:\\Disc 1\\SETUP /s",
     {"D:\\Disc 1\\SETUP.exe"}, "D:\\Disc 1\\SETUP.exe", "/s",
     "exists 'D:\\Disc.exe' = no\nexists 'D:\\Disc 1\\SETUP.exe' = yes\n"},
    {"a blank inside the last name: its extension lies after the blank", "D:\\Disc\\my setup.exe /x",
     {"D:\\Disc\\my setup.exe"}, "D:\\Disc\\my setup.exe", "/x",
     "exists 'D:\\Disc\\my.exe' = no\nexists 'D:\\Disc\\my setup.exe' = yes\n"},
    {"a dot in a folder is no extension of the name", "D:\\v1.0 x\\SETUP /s", {"D:\\v1.0 x\\SETUP.exe"},
     "D:\\v1.0 x\\SETUP.exe", "/s", "exists 'D:\\v1.0' = no\nexists 'D:\\v1.0 x\\SETUP.exe' = yes\n"},
    {"a tab separates as a blank does", "C:\\APP.EXE\t/x", {"C:\\APP.EXE"}, "C:\\APP.EXE", "/x", nullptr},
    {"quoted registry data with arguments: no file asked", "\"C:\\My App\\APP.EXE\" /r -x", {},
     "C:\\My App\\APP.EXE", "/r -x", ""},
    {"quoted name and empty tail", "\"C:\\My App\\APP.EXE\" ", {}, "C:\\My App\\APP.EXE", "", ""},
    {"quote followed directly by text", "\"C:\\A.EXE\"abc", {}, "C:\\A.EXE", "abc", ""},
    {"only the separating blank is dropped", "\"C:\\A.EXE\"  /x  ", {}, "C:\\A.EXE", " /x  ", ""},
    {"unbalanced quote: the rest of the line is the name", "\"C:\\A B\\X.EXE /x", {}, "C:\\A B\\X.EXE /x", "",
     ""},
    {"quoted name without extension: .exe added, no file asked", "\"C:\\Program Files\\Maker\\App\" /x", {},
     "C:\\Program Files\\Maker\\App.exe", "/x", ""},
    {"quoted name: a dot in a folder is no extension", "\"C:\\v1.0\\App\"", {}, "C:\\v1.0\\App.exe", "", ""},
    {"empty command line", "", {}, "", "", ""},
    // Code page 932: "\x83\x5C" is the katakana so, whose second byte is 0x5C.
    {"a 0x5C trail byte after a dot is no backslash: the name keeps its extension", "D:\\v.1\x83\x5C /x",
     {"D:\\v.1\x83\x5C"}, "D:\\v.1\x83\x5C", "/x", "exists 'D:\\v.1\x83\x5C' = yes\n", true},
    {"the same bytes on a single-byte code page: a name without extension", "D:\\v.1\x83\x5C /x",
     {"D:\\v.1\x83\x5C.exe"}, "D:\\v.1\x83\x5C.exe", "/x", "exists 'D:\\v.1\x83\x5C.exe' = yes\n"},
    {"a double-byte folder with a blank", "D:\\\x95\x5C\x8E\xA6 1\\SETUP.EXE -q", {"D:\\\x95\x5C\x8E\xA6 1\\SETUP.EXE"},
     "D:\\\x95\x5C\x8E\xA6 1\\SETUP.EXE", "-q", nullptr, true},
    {"a lead byte takes a 0x22 inside a quoted name", "\"D:\\\x81\"X.EXE\" tail", {}, "D:\\\x81\"X.EXE", "tail",
     "", true},
    {"a part too long with .exe is skipped, not cut", "D:\\LONGNAME /x", {"D:\\LONGNAME.ex"}, "D:\\LONGNAME", "/x",
     "", false, 12},
    {"the first part fits exactly", "D:\\LONGNAME /x", {}, "D:\\LONGNAME", "/x", nullptr, false, 12},
    {"a first part one byte too long: no split", "D:\\LONGNAME /x", {}, nullptr, nullptr, nullptr, false, 11},
    {"a quoted name one byte too long: no split", "\"D:\\LONGNAME.X\" /x", {}, nullptr, nullptr, "", false, 13},
    {"a quoted name that fits only without its .exe: no split", "\"D:\\LONGNAME\" /x", {}, nullptr, nullptr, "",
     false, 15},
    {"a quoted name that fits with its .exe", "\"D:\\LONGNAME\" /x", {}, "D:\\LONGNAME.exe", "/x", "", false, 16},
};

TEST(CommandSplit, FindsTheProgramWhereCreateProcessDoes)
{
    for (const split_case& c : split_cases) {
        fake_machine machine{};
        if (c.double_byte) {
            machine.lead_bytes[0] = {0x81, 0x9F};
            machine.lead_bytes[1] = {0xE0, 0xFC};
        }
        machine.existing_files = c.files;
        machine.existing_file_count = c.files[0] != nullptr ? (c.files[1] != nullptr ? 2 : 1) : 0;
        fake_install(machine);
        // Filled with dots, so that text left unterminated or cut shows, and a look for the
        // name's extension that runs past the terminator finds one.
        char program[300];
        memset(program, '.', sizeof program);
        const char* parameters = split_command_line(c.command_line, program, c.capacity);
        if (c.expected_program == nullptr) {
            EXPECT_EQ(nullptr, parameters) << c.name;
            EXPECT_STREQ("", program) << c.name;
        } else {
            EXPECT_STREQ(c.expected_program, program) << c.name;
            ASSERT_NE(nullptr, parameters) << c.name;
            EXPECT_STREQ(c.expected_parameters, parameters) << c.name;
            // The parameters are the command line's own bytes, never a copy.
            EXPECT_TRUE(parameters >= c.command_line && parameters <= c.command_line + strlen(c.command_line))
                << c.name;
        }
        EXPECT_EQ('.', program[c.capacity]) << c.name << ": written past the capacity";
        if (c.expected_lookups != nullptr) {
            EXPECT_STREQ(c.expected_lookups, fake_transcript()) << c.name;
        }
    }
}

}  // namespace
