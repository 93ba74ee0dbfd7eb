// Tovinel tests: check_decide agrees with the launcher on its decision scenarios.
// Each scenario writes a medium's Tovinel.ini into a scratch folder, describes the machine, and
// names the command the launcher starts there (the same expectations as test_decision.cpp's table).
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "check/check.h"

namespace {

struct scenario {
    const char* name;
    const char* ini;              // Tovinel.ini's text
    const char* folder;           // the launcher's folder below the root, "" for the root
    const char* tail;
    const char* installed_value;  // null: not installed; "-": installed without a default value
    const char* window_class;     // null: no window open
    const char* window_title;
    const char* expected;         // the command started; null: nothing
};

// "D:\SETUP.EXE ", 13 bytes, and a tail: 259 bytes in all, the most that starts, or one more.
const std::string tail_fitting(259 - 13, 't');
const std::string tail_one_too_long(260 - 13, 't');
const std::string command_of_259 = "D:\\SETUP.EXE " + tail_fitting;

#define APP "[Application]\nRegKey=SOFTWARE\\Maker\\Product\n"
#define APP_START APP "Start=1\n"

const scenario scenarios[] = {
    {"no configuration: nothing", nullptr, "", "", nullptr, nullptr, nullptr, nullptr},
    {"not installed: setup with one blank", APP_START "[Setup]\nWindowClass=SetupWnd\nRun=SETUP.EXE\n", "", "",
     nullptr, nullptr, nullptr, "D:\\SETUP.EXE "},
    {"installed, Start absent: nothing", APP "[Setup]\nRun=SETUP.EXE\n", "", "/cd", "C:\\APP\\APP.EXE", nullptr,
     nullptr, nullptr},
    {"installed, Start=0: nothing", APP "Start=0\n[Setup]\nRun=SETUP.EXE\n", "", "", "C:\\APP\\APP.EXE", nullptr,
     nullptr, nullptr},
    {"installed, Start=1: application with the tail", APP_START, "", "/cd", "C:\\APP\\APP.EXE", nullptr, nullptr,
     "C:\\APP\\APP.EXE /cd"},
    {"installed, quoted command passed whole", APP_START, "", "-x", "\"C:\\My App\\APP.EXE\" /r", nullptr, nullptr,
     "\"C:\\My App\\APP.EXE\" /r -x"},
    {"RegKey written with its root never opens: setup",
     "[Application]\nRegKey=hklm\\SOFTWARE\\Maker\\Product\nStart=1\n[Setup]\nRun=SETUP.EXE\n", "", "",
     "C:\\APP\\APP.EXE", nullptr, nullptr, "D:\\SETUP.EXE "},
    {"installed, no default value: nothing", APP_START "[Setup]\nRun=SETUP.EXE\n", "", "", "-", nullptr, nullptr,
     nullptr},
    {"installed, empty default value: a blank and the tail", APP_START, "", "/cd", "", nullptr, nullptr, " /cd"},
    {"setup window of the class open: nothing", "[Setup]\nWindowClass=SetupWnd\nRun=SETUP.EXE\n", "", "", nullptr,
     "setupwnd", "Anything", nullptr},
    {"setup window of class and title open: nothing",
     "[Setup]\nWindowClass=SetupWnd\nWindowTitle=Product Setup\nRun=SETUP.EXE\n", "", "", nullptr, "SetupWnd",
     "Product Setup", nullptr},
    {"window of the class with another title: Run decides",
     "[Setup]\nWindowClass=SetupWnd\nWindowTitle=Product Setup\nRun=SETUP.EXE\n", "", "", nullptr, "SetupWnd",
     "Other", "D:\\SETUP.EXE "},
    {"no Run: nothing", "[Setup]\nWindowClass=SetupWnd\n", "", "-q", nullptr, nullptr, nullptr, nullptr},
    {"Run relative to a subfolder, with its own arguments", "[Setup]\nRun=SETUP\\SETUP.EXE /s\n", "DISC1", "-q",
     nullptr, nullptr, nullptr, "D:\\DISC1\\SETUP\\SETUP.EXE /s -q"},
    {"Run from the drive's root", "[Setup]\nRun=\\SETUP\\SETUP.EXE\n", "DISC1", "-q", nullptr, nullptr, nullptr,
     "D:\\SETUP\\SETUP.EXE -q"},
    {"Run as a full path is appended all the same", "[Setup]\nRun=C:\\X\\SETUP.EXE\n", "DISC1", "", nullptr, nullptr,
     nullptr, "D:\\DISC1\\C:\\X\\SETUP.EXE "},
    {"folder with blanks reaches the start unquoted", "[Setup]\nRun=SETUP.EXE\n", "My Disc", "a b", nullptr, nullptr,
     nullptr, "D:\\My Disc\\SETUP.EXE a b"},
    {"setup command of exactly 259 bytes is started", "[Setup]\nRun=SETUP.EXE\n", "", tail_fitting.c_str(), nullptr,
     nullptr, nullptr, command_of_259.c_str()},
    {"setup command of 260 bytes starts nothing", "[Setup]\nRun=SETUP.EXE\n", "", tail_one_too_long.c_str(), nullptr,
     nullptr, nullptr, nullptr},
};

// A scratch medium folder, removed again when the scenario is done.
struct scratch_medium {
    std::filesystem::path root;
};

scratch_medium make_medium(const scenario& s)
{
    char pattern[] = "/tmp/tovinel-check-XXXXXX";
    scratch_medium medium{mkdtemp(pattern)};
    std::filesystem::path folder = medium.root / s.folder;
    std::filesystem::create_directories(folder);
    if (s.ini != nullptr)
        std::ofstream(folder / "Tovinel.ini") << s.ini;
    return medium;
}

TEST(CheckDecide, AgreesWithTheLauncherScenarios)
{
    for (const scenario& s : scenarios) {
        scratch_medium medium = make_medium(s);
        check_options options;
        options.medium_dir = medium.root.string();
        options.folder = s.folder;
        options.folder_given = true;
        options.tail_given = true;
        options.tail = s.tail;
        if (s.installed_value != nullptr) {
            options.installed = true;
            options.has_default_value = std::string(s.installed_value) != "-";
            options.default_value = options.has_default_value ? s.installed_value : "";
        }
        if (s.window_class != nullptr) {
            options.window_open = true;
            options.window_class = s.window_class;
            options.window_title = s.window_title;
        }
        check_decision decision = check_decide(options);
        EXPECT_EQ(s.expected != nullptr, decision.started) << s.name << ": started [" << decision.command << "]";
        EXPECT_EQ(s.expected != nullptr ? s.expected : "", decision.command) << s.name;
        std::filesystem::remove_all(medium.root);
    }
}

}  // namespace
