// Tovinel tests: the native seam (platform_posix.cpp) and the simulated machine it answers from.
// Profile reads go to the sample media in tests/checker/check_media; the rest to machines set up here.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform.h"
#include "simulated_machine.h"

namespace {

const std::string media = CHECK_MEDIA;

simulated_machine machine_on(const std::string& medium)
{
    simulated_machine machine{};
    static std::string dir;
    dir = media + "/" + medium;
    machine.medium_root = "D:\\";
    machine.medium_dir = dir.c_str();
    return machine;
}

struct path_case {
    const char* name;
    const char* windows_path;
    bool found;
    const char* host_tail;   // what the host path ends with
    bool case_differs;
};

const path_case path_cases[] = {
    {"exact name", "D:\\SETUP.EXE", true, "/upper_case_ini/SETUP.EXE", false},
    {"name in other letter case", "d:\\Tovinel.ini", true, "/upper_case_ini/TOVINEL.INI", true},
    {"root without backslash, then the name", "D:" "\\setup.exe", true, "/upper_case_ini/SETUP.EXE", true},
    {"dot, dot-dot above the root and doubled backslashes", "D:\\.\\..\\\\SETUP.EXE", true,
     "/upper_case_ini/SETUP.EXE", false},
    {"the root itself", "D:\\", true, "/upper_case_ini", false},
    {"missing name", "D:\\INSTALL.EXE", false, "", false},
    {"file used as a folder", "D:\\SETUP.EXE\\X", false, "", false},
    {"another drive", "E:\\SETUP.EXE", false, "", false},
    {"drive letter followed by more letters", "D:X\\SETUP.EXE", false, "", false},
};

TEST(SimulatedHostPath, MapsMediumPathsIgnoringLetterCase)
{
    simulated_machine machine = machine_on("upper_case_ini");
    for (const path_case& c : path_cases) {
        char host[4096];
        bool differs = !c.case_differs;
        bool found = simulated_host_path(&machine, c.windows_path, host, sizeof host, &differs);
        EXPECT_EQ(c.found, found) << c.name << ": " << host;
        std::string got = host;
        std::string tail = c.host_tail;
        EXPECT_TRUE(got.size() >= tail.size() && got.compare(got.size() - tail.size(), tail.size(), tail) == 0)
            << c.name << ": expected a path ending in '" << tail << "', got '" << got << "'";
        if (c.found) {
            EXPECT_EQ(c.case_differs, differs) << c.name;
        }
    }
    char small[8];
    EXPECT_FALSE(simulated_host_path(&machine, "D:\\SETUP.EXE", small, sizeof small, nullptr))
        << "a host path that does not fit";
}

TEST(PlatformPosix, ProfileReadsComeFromTheMediumIgnoringLetterCase)
{
    simulated_machine machine = machine_on("upper_case_ini");
    simulated_machine_use(&machine);
    char buffer[260];
    EXPECT_EQ(22u, platform_read_profile_text("D:\\Tovinel.ini", "application", "regkey", buffer, sizeof buffer));
    EXPECT_STREQ("SOFTWARE\\Maker\\Product", buffer);
    EXPECT_EQ(4u, platform_read_profile_text("D:\\Tovinel.ini", "Application", "RegKey", buffer, 5))
        << "cut to capacity - 1";
    EXPECT_STREQ("SOFT", buffer);
    EXPECT_EQ(1u, platform_read_profile_int("D:\\TOVINEL.INI", "Application", "Start", 7));
    EXPECT_EQ(0u, platform_read_profile_text("D:\\Missing.ini", "Application", "RegKey", buffer, sizeof buffer));
    EXPECT_STREQ("", buffer);
    EXPECT_EQ(7u, platform_read_profile_int("E:\\Tovinel.ini", "Application", "Start", 7));
    EXPECT_EQ(5u, machine.profile_reads);
    simulated_machine_use(nullptr);
    strcpy(buffer, "x");
    EXPECT_EQ(0u, platform_read_profile_text("D:\\Tovinel.ini", "Application", "RegKey", buffer, sizeof buffer))
        << "no machine: no medium";
    EXPECT_STREQ("", buffer);
}

TEST(PlatformPosix, RegistryAnswersFromTheInstalledKey)
{
    const std::string long_value(300, 'L');
    struct {
        const char* name;
        const char* installed_key;
        bool has_value;
        const char* value;
        const char* asked_key;
        bool opens;
        bool value_found;
        unsigned size_after;
    } const cases[] = {
        {"same key, other letter case", "SOFTWARE\\Maker\\Product", true, "C:\\APP.EXE", "software\\MAKER\\product",
         true, true, 11},
        {"key without a default value", "SOFTWARE\\Maker\\Product", false, nullptr, "SOFTWARE\\Maker\\Product", true,
         false, 260},
        {"value too large reports its size", "SOFTWARE\\Maker\\Product", true, long_value.c_str(),
         "SOFTWARE\\Maker\\Product", true, false, 301},
        {"another key", "SOFTWARE\\Maker\\Product", true, "C:\\APP.EXE", "SOFTWARE\\Maker", false, false, 260},
        {"nothing installed", nullptr, false, nullptr, "SOFTWARE\\Maker\\Product", false, false, 260},
    };
    for (const auto& c : cases) {
        simulated_machine machine{};
        machine.installed_key = c.installed_key;
        machine.has_default_value = c.has_value;
        machine.default_value = c.value;
        simulated_machine_use(&machine);
        platform_handle key = nullptr;
        EXPECT_EQ(c.opens, platform_open_machine_key(c.asked_key, &key)) << c.name;
        EXPECT_STREQ(c.asked_key, machine.key_tried) << c.name;
        EXPECT_TRUE(machine.key_open_tried) << c.name;
        if (!c.opens) {
            EXPECT_EQ(nullptr, key) << c.name << ": the handle is left untouched";
            continue;
        }
        char data[260];
        unsigned size = sizeof data;
        EXPECT_EQ(c.value_found, platform_query_default_value(key, data, &size)) << c.name;
        EXPECT_EQ(c.size_after, size) << c.name;
        if (c.value_found) {
            EXPECT_STREQ(c.value, data) << c.name;
        }
        platform_close_key(key);
        EXPECT_EQ(1u, machine.keys_closed) << c.name;
    }
}

TEST(PlatformPosix, WindowLookupMatchesClassAndTitleIgnoringCase)
{
    struct {
        const char* name;
        const char* open_class;
        const char* open_title;
        const char* asked_class;
        const char* asked_title;
        bool found;
    } const cases[] = {
        {"class, any title", "MakerSetup", "Maker Setup", "makersetup", nullptr, true},
        {"class and title", "MakerSetup", "Maker Setup", "MAKERSETUP", "maker setup", true},
        {"class, other title", "MakerSetup", "Maker Setup", "MakerSetup", "Other", false},
        {"other class", "MakerSetup", "Maker Setup", "Other", nullptr, false},
        {"empty class names no window", "MakerSetup", "Maker Setup", "", "Maker Setup", false},
        {"no window open", nullptr, nullptr, "MakerSetup", nullptr, false},
        {"window without title, asked the empty title", "MakerSetup", nullptr, "MakerSetup", "", true},
    };
    for (const auto& c : cases) {
        simulated_machine machine{};
        machine.window_class = c.open_class;
        machine.window_title = c.open_title;
        simulated_machine_use(&machine);
        EXPECT_EQ(c.found, platform_window_exists(c.asked_class, c.asked_title)) << c.name;
        EXPECT_EQ(c.found, machine.window_found) << c.name;
        EXPECT_STREQ(c.asked_class, machine.looked_up_class) << c.name;
        EXPECT_EQ(c.asked_title == nullptr, machine.looked_up_any_title) << c.name;
    }
}

TEST(PlatformPosix, StartIsRecordedAndModuleNameFollowsWindows)
{
    const std::string long_path = "D:\\" + std::string(300, 'p') + "\\tovinel.exe";
    simulated_machine machine{};
    machine.module_path = "D:\\DISC1\\tovinel.exe";
    simulated_machine_use(&machine);
    EXPECT_EQ(start_started, platform_start_program("D:\\SETUP.EXE /s"));
    EXPECT_EQ(1u, machine.start_count);
    EXPECT_STREQ("D:\\SETUP.EXE /s", machine.started_command);
    EXPECT_FALSE(platform_is_lead_byte(0x81));

    char name[260];
    EXPECT_EQ(20u, platform_module_file_name(nullptr, name, sizeof name));
    EXPECT_STREQ("D:\\DISC1\\tovinel.exe", name);
    machine.module_path = long_path.c_str();
    EXPECT_EQ(260u, platform_module_file_name(nullptr, name, sizeof name)) << "a cut name fills the buffer";
    EXPECT_EQ(259u, strlen(name));
    machine.module_path = nullptr;
    EXPECT_EQ(0u, platform_module_file_name(nullptr, name, sizeof name));

    platform_shell_start("D:\\SETUP.EXE", "/s");
    EXPECT_EQ(1u, machine.shell_start_count);
    EXPECT_STREQ("D:\\SETUP.EXE", machine.shell_program);
    EXPECT_STREQ("/s", machine.shell_parameters);

    simulated_machine_use(&machine);
    EXPECT_EQ(0u, machine.start_count) << "a new run clears what the last one recorded";
    EXPECT_STREQ("", machine.started_command);
    EXPECT_EQ(0u, machine.shell_start_count);
    EXPECT_STREQ("", machine.shell_program);
    simulated_machine_use(nullptr);
}

TEST(PlatformPosix, FilesExistOnTheMediumOnly)
{
    simulated_machine machine = machine_on("subfolder");
    simulated_machine_use(&machine);
    EXPECT_TRUE(platform_file_exists("D:\\SETUP\\SETUP.EXE")) << "a file, its name in other letter case";
    EXPECT_FALSE(platform_file_exists("D:\\SETUP")) << "a folder is no file";
    EXPECT_FALSE(platform_file_exists("D:\\SETUP\\INSTALL.EXE")) << "no such file";
    EXPECT_FALSE(platform_file_exists("C:\\SETUP\\SETUP.EXE")) << "not on the medium";
    simulated_machine_use(nullptr);
    EXPECT_FALSE(platform_file_exists("D:\\SETUP\\SETUP.EXE")) << "no machine, no files";
}

}  // namespace
