// Tovinel tests: tovinel-check run on the sample media in tests/check_media, one table of cases:
// for each, the options, the exit code and the phrases (with line numbers) its output must hold.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "check.h"

namespace {

const std::string media = CHECK_MEDIA;
const std::string long_tail(250, 't');
const std::string too_long_tail = "--tail=" + long_tail;

struct tool_case {
    const char* name;
    std::vector<std::string> arguments;   // a medium is named relative to tests/check_media
    int exit_code;
    std::vector<std::string> phrases;
};

const tool_case tool_cases[] = {
    // What the launcher does: the decision on the clean medium, on every kind of machine.
    {"clean medium, nothing installed", {"clean"}, 0,
     {"Decision: start the setup program", "Command:  [D:\\setup.exe /s ]", "does not open", "No findings."}},
    {"clean medium, installed, with a tail", {"--installed=C:\\APP\\APP.EXE", "--tail=/cd", "clean"}, 0,
     {"Decision: start the installed application", "Command:  [C:\\APP\\APP.EXE /cd]", "No findings."}},
    {"clean medium, installed without a default value", {"--installed-without-value", "clean"}, 0,
     {"Decision: start nothing", "The key has no default value"}},
    {"clean medium, setup window open (case ignored)", {"--setup-window=makersetupwindow,MAKER SETUP", "clean"}, 0,
     {"Decision: start nothing", "A window of class 'MakerSetupWindow' titled 'Maker Setup' is open"}},
    {"clean medium, a window of the class with another title", {"--setup-window=MakerSetupWindow,Other", "clean"}, 0,
     {"Decision: start the setup program"}},
    {"clean medium on drive E", {"--drive=e:", "clean"}, 0,
     {"launcher at E:\\tovinel.exe", "Command:  [E:\\setup.exe /s ]"}},
    {"launcher in a subfolder, Run from the root", {"--folder=DISC1", "subfolder"}, 0,
     {"launcher at D:\\DISC1\\tovinel.exe", "Command:  [D:\\Setup\\SETUP.EXE ]", "No findings."}},
    {"TOVINEL.INI in capitals is read, with a note", {"upper_case_ini"}, 0,
     {"Command:  [D:\\SETUP.EXE ]", "Tovinel.ini: note: The file is named TOVINEL.INI", "No findings."}},

    // One finding each.
    {"missing Tovinel.ini", {"missing_ini"}, 1,
     {"Decision: start nothing", "Tovinel.ini: There is no Tovinel.ini beside the launcher (D:\\Tovinel.ini)"}},
    {"Run names a missing file", {"run_missing"}, 1,
     {"Tovinel.ini:7: Run names INSTALL.EXE, which is not on the medium", "Findings: 1"}},
    {"Run is a full path", {"run_full_path"}, 1,
     {"Command:  [D:\\C:\\Setup\\SETUP.EXE ]", "Tovinel.ini:7: Run is a full path", "Findings: 1"}},
    {"RegKey with a root name never opens", {"--installed=C:\\APP.EXE", "reg_key_root"}, 1,
     {"Decision: start the setup program", "although the product is installed",
      "Tovinel.ini:2: RegKey begins with the root name HKEY_LOCAL_MACHINE", "Findings: 1"}},
    {"WindowClass cut at 79 bytes", {"value_cut"}, 1,
     {"Tovinel.ini:6: WindowClass is 85 bytes long; the launcher reads only the first 79", "Findings: 1"}},
    {"Run cut at 259 bytes and too long a command", {"run_cut"}, 1,
     {"Decision: start nothing", "Tovinel.ini:7: Run is 274 bytes long; the launcher reads only the first 259",
      "Tovinel.ini:7: The command line would be 263 bytes", "Findings: 2"}},
    {"setup command too long with the tail", {too_long_tail, "clean"}, 1,
     {"Decision: start nothing", "Tovinel.ini:9: The command line would be 266 bytes", "Findings: 1"}},
    {"application command too long with the tail", {"--installed=C:\\APP.EXE", too_long_tail, "clean"}, 1,
     {"Decision: start nothing", "Tovinel.ini:3: The command line would be 261 bytes", "Findings: 1"}},
    {"WindowTitle without WindowClass", {"title_without_class"}, 1,
     {"Tovinel.ini:6: WindowTitle without WindowClass", "Findings: 1"}},
    {"a title alone never finds the open window", {"--setup-window=AnyClass,Maker Setup", "title_without_class"}, 1,
     {"Decision: start the setup program"}},
    {"Run through a folder with a blank", {"run_with_blank"}, 1,
     {"Tovinel.ini:7: Run names Maker Setup\\SETUP.EXE, a path with a blank", "Windows tries D:\\Maker first",
      "Findings: 1"}},
    {"launcher folder with a blank", {"--folder=Disc One", "folder_with_blank"}, 1,
     {"Command:  [D:\\Disc One\\SETUP.EXE ]", "Tovinel.ini:7: The launcher's folder D:\\Disc One\\ holds a blank",
      "Findings: 1"}},
    {"Start that is not a number", {"--installed=C:\\APP.EXE", "start_not_number"}, 1,
     {"Decision: start nothing", "Tovinel.ini:3: Start=yes is not a number: the launcher reads it as 0",
      "Findings: 1"}},
    {"misspelt and unknown sections and keys", {"unknown_names"}, 1,
     {"Tovinel.ini:1: Section [Aplication] is never read", "Did you mean [Application]?",
      "Tovinel.ini:7: Key Runn is not one the launcher reads in [Setup]", "Did you mean Run?",
      "Tovinel.ini:9: Section [Extras] is never read", "Findings: 3"}},
    {"keys outside sections, repeated keys and sections", {"repeated_names"}, 1,
     {"Tovinel.ini:1: Key Run stands before any section", "Tovinel.ini:9: A second Run is ignored: the one on line 8",
      "Tovinel.ini:11: A second [setup] section is ignored", "Findings: 3"}},
    {"';' after a value is no comment", {"inline_comment"}, 1,
     {"RegKey 'SOFTWARE\\Maker\\Product   ; where setup writes' does not open",
      "Tovinel.ini:2: RegKey holds ';' after a blank", "Findings: 1"}},
    {"unquoted installed command with a blank", {"--installed=C:\\Program Files\\Maker\\App.exe", "clean"}, 1,
     {"--installed: The default value holds a blank and is not quoted", "Findings: 1"}},
    {"no autorun.inf", {"autorun_missing"}, 1,
     {"autorun.inf: There is no autorun.inf in the medium's root", "Findings: 1"}},
    {"autorun.inf starts another program", {"autorun_other_program"}, 1,
     {"autorun.inf:3: open=SETUP.EXE does not start the launcher, tovinel.exe", "Findings: 1"}},
    {"autorun.inf names no program", {"autorun_without_entry"}, 1, {"autorun.inf: autorun.inf names no program"}},
    {"autorun.inf names the launcher, but not in its subfolder", {"subfolder"}, 1,
     {"autorun.inf:2: open=DISC1\\tovinel.exe /auto does not start the launcher, tovinel.exe"}},

    // Usage.
    {"help", {"--help"}, 0, {"Usage: tovinel-check", "--installed=VALUE", "Examples:"}},
    {"no medium", {}, 2, {"name the medium folder"}},
    {"two media", {"clean", "run_missing"}, 2, {"name one medium folder only"}},
    {"unknown option", {"--instaled=X", "clean"}, 2, {"unknown option --instaled=X"}},
    {"medium that is no folder", {"no_such_medium"}, 2, {"no_such_medium is not a folder"}},
    {"bad drive", {"--drive=12", "clean"}, 2, {"--drive takes one drive letter"}},
    {"folder not on the medium", {"--folder=NOPE", "clean"}, 2, {"the folder NOPE is not on the medium"}},
    {"setup window without a class", {"--setup-window=,Title", "clean"}, 2, {"--setup-window needs a window class"}},
};

// Runs the tool with `arguments`, the medium's name made a path below tests/check_media; returns its
// exit code and its standard output and error together.
int run_tool(const std::vector<std::string>& arguments, std::string* output)
{
    std::vector<std::string> full = {TOVINEL_CHECK};
    for (const std::string& argument : arguments)
        full.push_back(argument[0] == '-' ? argument : media + "/" + argument);
    std::vector<char*> argv;
    for (std::string& argument : full)
        argv.push_back(&argument[0]);
    argv.push_back(nullptr);

    int pipe_ends[2];
    if (pipe(pipe_ends) != 0)
        return -1;
    pid_t child = fork();
    if (child == 0) {
        dup2(pipe_ends[1], 1);
        dup2(pipe_ends[1], 2);
        close(pipe_ends[0]);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipe_ends[1]);
    char buffer[4096];
    ssize_t got;
    while ((got = read(pipe_ends[0], buffer, sizeof buffer)) > 0)
        output->append(buffer, static_cast<size_t>(got));
    close(pipe_ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CheckTool, TellsTheDecisionAndTheFindingsOfEverySampleMedium)
{
    for (const tool_case& c : tool_cases) {
        std::string output;
        int exit_code = run_tool(c.arguments, &output);
        EXPECT_EQ(c.exit_code, exit_code) << c.name << "\n" << output;
        for (const std::string& phrase : c.phrases)
            EXPECT_NE(std::string::npos, output.find(phrase))
                << c.name << ": missing '" << phrase << "' in:\n" << output;
    }
}

// The decision is callable without the command line, for tests that compare it with the launcher.
TEST(CheckDecide, ReportsTheStartedCommandAndTheBranch)
{
    check_options options;
    options.medium_dir = media + "/clean";
    options.tail = "-x";
    check_decision decision = check_decide(options);
    EXPECT_EQ(branch_setup, decision.branch);
    EXPECT_TRUE(decision.started);
    EXPECT_EQ("D:\\setup.exe /s -x", decision.command);

    options.installed = options.has_default_value = true;
    options.default_value = "\"C:\\My App\\APP.EXE\" /r";
    decision = check_decide(options);
    EXPECT_EQ(branch_application, decision.branch);
    EXPECT_EQ("\"C:\\My App\\APP.EXE\" /r -x", decision.command);
}

}  // namespace
