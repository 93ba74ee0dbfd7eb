// Tovinel tests: tovinel-check run on the committed sample media in tests/checker/check_media, one table of
// cases: for each, the options, the exit code, phrases its output must hold, and the exact list of
// its findings (file, line and id, in output order).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "check/check.h"
#include "check_tool_run.h"

namespace {

const std::string media = CHECK_MEDIA;
const std::string long_tail(250, 't');
const std::string too_long_tail = "--tail=" + long_tail;

struct tool_case {
    const char* name;
    std::vector<std::string> arguments;   // a medium is named relative to tests/checker/check_media
    int exit_code;
    std::vector<std::string> phrases;
    std::vector<std::string> findings;    // "FILE[:LINE] ID", notes included
    std::vector<std::string> absent = {};  // phrases the output must not hold
};

const tool_case tool_cases[] = {
    // What the launcher does: the decision on the clean medium, on every kind of machine.
    {"clean medium, nothing installed", {"clean"}, 0,
     {"Launcher: 'D:\\tovinel.exe', tail ''\n",
      "Machine:  product not installed, no setup window open, code page 1252\n",
      "Decision: start the setup program\n", "Command:  'D:\\setup.exe /s '\n",
      "RegKey 'SOFTWARE\\Maker\\Product' does not open: the product counts as not installed.",
      "No window of class 'MakerSetupWindow' titled 'Maker Setup' is open.",
      "Run is 'setup.exe /s': the launcher starts it from its folder with its tail.",
      "needs administrator rights (Windows takes a 32-bit program without a manifest",
      "hands the same start to the shell", "No findings.\n"},
     {}},
    {"clean medium, installed, with a tail", {"--installed=C:\\APP\\APP.EXE", "--tail=/cd", "clean"}, 0,
     {"Launcher: 'D:\\tovinel.exe', tail '/cd'\n",
      "Machine:  product installed, default value 'C:\\APP\\APP.EXE', no setup window open, code page 1252\n",
      "Decision: start the installed application\n", "Command:  'C:\\APP\\APP.EXE /cd'\n",
      "RegKey 'SOFTWARE\\Maker\\Product' opens below HKEY_LOCAL_MACHINE: the product counts as installed.",
      "Start is nonzero: the launcher starts the key's default value with its tail.", "No findings."},
     {}},
    {"clean medium, installed without a default value", {"--installed-without-value", "clean"}, 0,
     {"Machine:  product installed, no default value, no setup window open", "Decision: start nothing\n",
      "The key has no default value: the launcher starts nothing."},
     {}},
    {"clean medium, default value too long", {"--installed", std::string(300, 'v'), "clean"}, 1,
     {"Decision: start nothing\n", "The key's default value is 300 bytes, more than the 259"},
     {"--installed installed-too-long"}},
    {"clean medium, setup window open (case ignored)", {"--setup-window=makersetupwindow,MAKER SETUP", "clean"}, 0,
     {"window of class 'makersetupwindow' titled 'MAKER SETUP' open, code page 1252", "Decision: start nothing",
      "A window of class 'MakerSetupWindow' titled 'Maker Setup' is open: setup is already running"},
     {}},
    {"clean medium, a setup window of the class with any title", {"--setup-window=MakerSetupWindow", "clean"}, 0,
     {"Machine:  product not installed, window of class 'MakerSetupWindow' open, code page 1252\n",
      "Decision: start the setup program", "No window of class 'MakerSetupWindow' titled 'Maker Setup' is open."},
     {}},
    {"clean medium, a window of the class with another title", {"--setup-window", "MakerSetupWindow,Other", "clean"},
     0, {"Decision: start the setup program"}, {}},
    {"clean medium on drive E, code page 1250", {"--drive=e:", "--codepage", "1250", "clean"}, 0,
     {"Launcher: 'E:\\tovinel.exe'", "Command:  'E:\\setup.exe /s '", "code page 1250"}, {}},
    {"options with their values apart, drive letter in capitals", {"clean", "--tail", "/x", "--drive", "E"}, 0,
     {"Launcher: 'E:\\tovinel.exe', tail '/x'", "Command:  'E:\\setup.exe /s /x'"}, {}},
    {"options typed in UTF-8 reach the machine in its code page", {"--tail=caf\xc3\xa9", "clean"}, 0,
     {"tail 'caf\xc3\xa9'", "Command:  'D:\\setup.exe /s caf\xc3\xa9'"}, {}},
    {"--folder with slashes around it", {"--folder=/DISC1/", "subfolder"}, 0, {"Launcher: 'D:\\DISC1\\tovinel.exe'"},
     {}},
    {"--folder stepping back inside the medium", {"--folder=DISC1\\x\\..\\.", "subfolder"}, 0,
     {"Launcher: 'D:\\DISC1\\tovinel.exe'"}, {}},
    {"launcher in a subfolder, found through autorun.inf with its arguments", {"subfolder"}, 0,
     {"Launcher: 'D:\\DISC1\\tovinel.exe', tail '/auto'", "Command:  'D:\\Setup\\SETUP.EXE /auto'",
      "the launcher starts it from the medium's root"},
     {}},
    {"the options override autorun.inf", {"--folder=DISC1", "--tail=", "subfolder"}, 0,
     {"Launcher: 'D:\\DISC1\\tovinel.exe', tail ''", "Command:  'D:\\Setup\\SETUP.EXE '"}, {}},
    {"a folder the launcher is not in", {"--folder", "setup", "subfolder"}, 1,
     {"Launcher: 'D:\\setup\\tovinel.exe'"},
     {"autorun.inf:2 launcher-missing", "autorun.inf:2 autorun-not-launcher", "Tovinel.ini ini-missing"}},
    {"TOVINEL.INI in capitals is read, with a note", {"upper_case_ini"}, 0,
     {"Command:  'D:\\SETUP.EXE '", "Tovinel.ini: note: The file is named 'TOVINEL.INI'", "No findings."},
     {"Tovinel.ini ini-name-case"}},
    {"launcher folder with a blank, named quoted in autorun.inf", {"folder_with_blank"}, 1,
     {"Launcher: 'D:\\Disc One\\tovinel.exe'", "Command:  'D:\\Disc One\\SETUP.EXE '",
      "Tovinel.ini:7: The launcher's folder 'D:\\Disc One\\' holds a blank", "Windows tries 'D:\\Disc.exe' first"},
     {"Tovinel.ini:7 folder-blank"}},

    // One finding or a few each.
    {"missing Tovinel.ini", {"missing_ini"}, 1,
     {"Decision: start nothing",
      "Tovinel.ini: There is no Tovinel.ini beside the launcher ('D:\\Tovinel.ini'): the launcher reads nothing"},
     {"Tovinel.ini ini-missing"}},
    {"Run names a missing file", {"run_missing"}, 1,
     {"Tovinel.ini:7: Run names 'INSTALL.EXE', which is not on the medium (looked for 'D:\\INSTALL.EXE'",
      "Findings: 1\n"},
     {"Tovinel.ini:7 run-missing"}},
    {"Run is a full path", {"run_full_path"}, 1,
     {"Command:  'D:\\C:\\Setup\\SETUP.EXE '", "Tovinel.ini:7: Run is a full path"},
     {"Tovinel.ini:7 run-full-path"}},
    {"RegKey with a root name never opens", {"--installed=C:\\APP.EXE", "reg_key_root"}, 1,
     {"Decision: start the setup program", "although the product is installed",
      "Tovinel.ini:2: RegKey begins with the root name 'HKEY_LOCAL_MACHINE'",
      "Write the path below the root: RegKey=SOFTWARE\\Maker\\Product. [regkey-root]"},
     {"Tovinel.ini:2 regkey-root"}},
    {"WindowClass cut at 79 bytes", {"value_cut"}, 1,
     {"Tovinel.ini:6: WindowClass is 85 bytes long; the launcher reads only the first 79"},
     {"Tovinel.ini:6 window-class-cut"}},
    {"Run cut at 259 bytes and too long a command", {"run_cut"}, 1,
     {"Decision: start nothing", "Tovinel.ini:7: Run is 274 bytes long; the launcher reads only the first 259",
      "Tovinel.ini:7: The command line would be 263 bytes"},
     {"Tovinel.ini:7 run-cut", "Tovinel.ini:7 command-too-long"}},
    {"setup command too long with the tail", {too_long_tail, "clean"}, 1,
     {"Decision: start nothing", "Tovinel.ini:9: The command line would be 266 bytes"},
     {"Tovinel.ini:9 command-too-long"}},
    {"application command too long with the tail", {"--installed=C:\\APP.EXE", too_long_tail, "clean"}, 1,
     {"Decision: start nothing", "Tovinel.ini:3: The command line would be 261 bytes"},
     {"Tovinel.ini:3 command-too-long"}, {"Start is nonzero"}},
    {"WindowTitle without WindowClass", {"title_without_class"}, 1, {"Tovinel.ini:6: WindowTitle without WindowClass"},
     {"Tovinel.ini:6 window-title-without-class"}},
    {"a title alone never finds the open window", {"--setup-window=AnyClass,Maker Setup", "title_without_class"}, 1,
     {"Decision: start the setup program"}, {"Tovinel.ini:6 window-title-without-class"}},
    {"Run through a folder with a blank", {"run_with_blank"}, 1,
     {"Tovinel.ini:7: Run names 'Maker Setup\\SETUP.EXE', a path with a blank", "Windows tries 'D:\\Maker.exe' first",
      // The shell is given the program the blanks were tried at: the one file there.
      "Shell:    'D:\\Maker Setup\\SETUP.EXE' with parameters '/s '"},
     {"Tovinel.ini:7 run-blank"}},
    {"Start that is not a number", {"--installed=C:\\APP.EXE", "start_not_number"}, 1,
     {"Decision: start nothing", "Tovinel.ini:3: Start='yes' is not a number: the launcher reads it as 0"},
     {"Tovinel.ini:3 start-not-number"}},
    {"misspelt and unknown sections and keys", {"unknown_names"}, 1,
     {"Tovinel.ini:1: Section '[Aplication]' is never read", "Did you mean [Application]?",
      "Tovinel.ini:7: Key 'Runn' is not one the launcher reads in [Setup]", "Did you mean Run?",
      "Tovinel.ini:9: Section '[Extras]' is never read"},
     {"Tovinel.ini ini-starts-nothing", "Tovinel.ini:1 section-unknown", "Tovinel.ini:7 key-unknown",
      "Tovinel.ini:9 section-unknown"}},
    {"keys outside sections, repeated keys and sections", {"repeated_names"}, 1,
     {"Tovinel.ini:1: Key 'Run' stands before any section", "It belongs in [Setup].",
      "Tovinel.ini:9: A second Run is ignored: the one on line 8", "Tovinel.ini:11: A second '[setup]' section"},
     {"Tovinel.ini:1 key-outside-section", "Tovinel.ini:9 key-repeated", "Tovinel.ini:11 section-repeated"}},
    {"';' after a value is no comment", {"inline_comment"}, 1,
     {"RegKey 'SOFTWARE\\Maker\\Product   ; where setup writes' does not open",
      "Tovinel.ini:2: RegKey holds ';' after a blank"},
     {"Tovinel.ini:2 regkey-comment"}},
    {"unquoted installed command with a blank", {"--installed=C:\\Program Files\\Maker\\App.exe", "clean"}, 1,
     {"--installed: The default value holds a blank and is not quoted"}, {"--installed installed-unquoted-blank"}},
    {"no autorun.inf", {"autorun_missing"}, 1, {"autorun.inf: There is no autorun.inf in the medium's root"},
     {"autorun.inf autorun-missing"}},
    // The setup started directly: the launcher beside Tovinel.ini is played, and autorun.inf is said
    // to pass it by; shellexecute= names that launcher, so it is no finding.
    {"autorun.inf starts the setup itself, the launcher on the medium", {"autorun_other_program"}, 1,
     {"Launcher: 'D:\\TOVINEL.EXE', tail '' (on the medium, but autorun.inf does not start it)",
      "  - autorun.inf starts 'D:\\SETUP.EXE' itself: on insertion that program starts every time and nothing decides.",
      "autorun.inf:3: open='SETUP.EXE' starts that program itself, not the launcher 'TOVINEL.EXE' that is on the medium"
      " beside Tovinel.ini", "Start the launcher: open=TOVINEL.EXE. [autorun-bypasses-launcher]"},
     {"autorun.inf:3 autorun-bypasses-launcher"}},
    {"autorun.inf names no program", {"autorun_without_entry"}, 1, {"autorun.inf: autorun.inf names no program"},
     {"autorun.inf autorun-no-program"}},

    // Usage.
    {"help", {"--help"}, 0, {"Usage: tovinel-check", "--installed=VALUE", "--codepage=N", "Examples:"}, {}},
    {"help, short", {"-h"}, 0, {"Usage: tovinel-check"}, {}},
    {"version", {"--version"}, 0, {"tovinel-check " TOVINEL_VERSION "\n"}, {}},
    {"no medium", {}, 2, {"name the medium folder"}, {}},
    {"two media", {"clean", "run_missing"}, 2, {"name one medium folder only"}, {}},
    {"unknown option", {"--instaled=X", "clean"}, 2, {"unknown option --instaled=X"}, {}},
    {"a value missing at the end", {"clean", "--tail"}, 2, {"--tail needs a value"}, {}},
    {"-- ends the options", {"--", "-clean"}, 2, {"-clean does not exist"}, {}},
    {"a launcher path that leaves no room for Tovinel.ini", {"--folder=" + std::string(250, 'f'), "clean"}, 1,
     {"Decision: start nothing", "leaves no room for its configuration's name: it reads and starts nothing."},
     {"autorun.inf:2 launcher-missing", "autorun.inf:2 autorun-not-launcher", "Tovinel.ini ini-missing"}},
    {"a lone - is a medium's name", {"-"}, 2, {"tovinel-check: - does not exist."}, {}},
    {"medium that does not exist", {"no_such_medium"}, 2, {"no_such_medium does not exist"}, {}},
    {"medium that is no folder", {"clean/Tovinel.ini"}, 2, {"clean/Tovinel.ini is not a folder"}, {}},
    {"bad drive", {"--drive=12", "clean"}, 2, {"--drive takes one drive letter"}, {}},
    {"a digit for a drive", {"--drive=1", "clean"}, 2, {"--drive takes one drive letter"}, {}},
    {"a sign for a drive", {"--drive=[", "clean"}, 2, {"--drive takes one drive letter"}, {}},
    {"folder that is a drive", {"--folder=C:", "subfolder"}, 2, {"--folder names a folder below the medium's root, not a drive"}, {}},
    {"unknown format", {"--format=xml", "clean"}, 2, {"--format takes text or json, not 'xml'."}, {}},
    {"drive letter in small letters, at both ends of the alphabet", {"--drive=a", "clean"}, 0, {"Launcher: 'A:\\tovinel.exe'"}, {}},
    {"drive z", {"--drive=z", "clean"}, 0, {"Launcher: 'Z:\\tovinel.exe'"}, {}},
    {"drive A", {"--drive=A", "clean"}, 0, {"Launcher: 'A:\\tovinel.exe'"}, {}},
    {"drive Z:", {"--drive=Z:", "clean"}, 0, {"Launcher: 'Z:\\tovinel.exe'"}, {}},
    {"bad code page", {"--codepage=65001", "clean"}, 2, {"--codepage takes one of"}, {}},
    {"folder leaving the medium", {"--folder=DISC1\\..\\..", "subfolder"}, 2, {"--folder leaves the medium"}, {}},
    {"folder on another drive", {"--folder=C:\\X", "subfolder"}, 2, {"--folder names a folder below"}, {}},
    {"setup window without a class", {"--setup-window=,Title", "clean"}, 2, {"--setup-window needs a window class"},
     {}},
    {"--ignore leaves findings out and counts them", {"--ignore=run-cut", "run_cut"}, 1,
     {"Findings: 1\n", "Ignored: 1 (--ignore).\n"}, {"Tovinel.ini:7 command-too-long"}},
    {"--ignore of every finding", {"--ignore=command-too-long,run-cut", "run_cut"}, 0,
     {"No findings.\nIgnored: 2 (--ignore).\n"}, {}},
    {"--ignore of an unknown id", {"--ignore=run-cut,,command-too-long", "run_cut"}, 2,
     {"tovinel-check: --ignore: '' is no finding id"}, {}},
    {"--quiet says nothing, not even of a file that is no image", {"--quiet", "clean/Tovinel.ini"}, 2, {}, {},
     {"tovinel-check"}},
    {"--quiet says nothing of the findings either", {"--quiet", "run_cut"}, 1, {}, {}, {"Findings", "Decision"}},
    {"a code page that wraps around 32 bits", {"--codepage=4294968548", "clean"}, 2,
     {"--codepage takes one of 874, 932, 936, 949, 950 and 1250 to 1258, not '4294968548'."}, {}},
    {"a code page with a leading zero", {"--codepage=01250", "clean"}, 0, {"code page 1250\n"}, {}},
    // Several code pages: a report each, in the order given, and the worst exit code.
    {"two code pages, each report under its heading", {"--codepage=1252,932", "japanese_folder"}, 1,
     {"== Code page 1252 ==\nMedium:", "[run-missing]\n== Code page 932 ==\nMedium:",
      "Command:  'D:\\\xe3\x82\xbd\xe3\x83\x95\xe3\x83\x88\\SETUP.EXE '\n",
      "\nCode pages: 1252 (1 finding), 932 (no findings).\n"},
     {"Tovinel.ini:8 run-missing"}},
    {"a code page named twice, across options", {"--codepage=932,1252", "--codepage", "932", "clean"}, 2,
     {"--codepage names 932 twice."}, {}},
    {"an unknown code page in a list", {"--codepage=1252,437", "clean"}, 2, {"not '437'."}, {}},
    // A mistyped --ignore id: the nearest ids, when near.
    {"--ignore with a letter missing", {"--ignore=run-mising", "clean"}, 2,
     {"tovinel-check: --ignore: 'run-mising' is no finding id. Did you mean 'run-missing'? The ids are listed in "
      "docs/check-findings.md.\n"},
     {}},
    {"--ignore between two ids", {"--ignore=run-program-32-bit", "clean"}, 2,
     {"Did you mean 'run-program-16-bit' or 'run-program-64-bit'?"}, {}},
    {"--ignore of a word near no id", {"--ignore=folder", "clean"}, 2, {"'folder' is no finding id. The ids"}, {},
     {"Did you mean"}},
    // Only the Windows build reads the machine it runs on.
    {"--this-machine here", {"--this-machine", "clean"}, 2,
     {"--this-machine reads a Windows machine: run tovinel-check.exe --this-machine E:\\ on the machine itself."},
     {}},
};

// The arguments with the medium (the one not starting with '-', or the one after "--") made a path.
std::vector<std::string> with_media_paths(const std::vector<std::string>& arguments)
{
    std::vector<std::string> full;
    bool operands = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        bool valued_before = i > 0 && (arguments[i - 1] == "--installed" || arguments[i - 1] == "--setup-window" ||
                                       arguments[i - 1] == "--codepage" || arguments[i - 1] == "--folder" ||
                                       arguments[i - 1] == "--drive" || arguments[i - 1] == "--tail");
        bool medium = operands || (argument[0] != '-' && !valued_before);
        full.push_back(medium ? media + "/" + argument : argument);
        operands = operands || argument == "--";
    }
    return full;
}

TEST(CheckTool, TellsTheDecisionAndTheFindingsOfEverySampleMedium)
{
    for (const tool_case& c : tool_cases) {
        tool_run run = run_check_tool(with_media_paths(c.arguments));
        EXPECT_EQ(c.exit_code, run.exit_code) << c.name << "\n" << run.output;
        for (const std::string& phrase : c.phrases)
            EXPECT_NE(std::string::npos, run.output.find(phrase))
                << c.name << ": missing '" << phrase << "' in:\n" << run.output;
        EXPECT_EQ(c.findings, finding_lines(run.output)) << c.name << ":\n" << run.output;
        for (const std::string& phrase : c.absent)
            EXPECT_EQ(std::string::npos, run.output.find(phrase)) << c.name << ": '" << phrase << "' in:\n" << run.output;
    }
}

// The README's examples are the tool's real output, run from the repository's root.
TEST(CheckTool, PrintsTheReadmeExamplesWordForWord)
{
    std::ifstream readme(std::string(PROJECT_ROOT) + "/README.md");
    std::string line;
    std::vector<std::pair<std::string, std::string>> examples;   // command, output
    while (std::getline(readme, line)) {
        if (line.compare(0, 20, "    $ tovinel-check ") == 0)
            examples.push_back({line.substr(20), ""});
        else if (!examples.empty() && examples.back().second.find("\n\n") == std::string::npos &&
                 line.compare(0, 4, "    ") == 0 && line.compare(0, 6, "    $ ") != 0)
            examples.back().second += line.substr(4) + "\n";
        else if (!examples.empty())
            examples.back().second += "\n";
    }
    ASSERT_GE(examples.size(), 2u);
    char previous[4096];
    ASSERT_NE(nullptr, getcwd(previous, sizeof previous));
    ASSERT_EQ(0, chdir(PROJECT_ROOT));
    for (auto& example : examples) {
        // The arguments as a shell splits them: blanks, and text in single quotes kept whole.
        std::vector<std::string> arguments(1);
        bool quoted = false;
        for (char c : example.first) {
            if (c == '\'')
                quoted = !quoted;
            else if (c == ' ' && !quoted)
                arguments.push_back("");
            else
                arguments.back() += c;
        }
        std::string expected = example.second.substr(0, example.second.find("\n\n") + 1);
        tool_run run = run_check_tool(arguments);
        EXPECT_EQ(expected, run.output) << "tovinel-check " << example.first;
    }
    ASSERT_EQ(0, chdir(previous));
}

// A medium named as a Windows drive root ("E:\\", as a Windows user types it) is that drive; on Linux
// such a name is a folder of its own, made here for each case. After "--" any name is the medium.
TEST(CheckTool, ADriveRootNamesTheDrive)
{
    struct {
        const char* medium;
        const char* option;
        const char* launcher;
    } const cases[] = {
        {"E:\\", "", "'E:\\tovinel.exe'"},     {"e:\\", "", "'E:\\tovinel.exe'"},
        {"A:\\", "", "'A:\\tovinel.exe'"},     {"Z:\\", "", "'Z:\\tovinel.exe'"},
        {"a:\\", "", "'A:\\tovinel.exe'"},     {"z:\\", "", "'Z:\\tovinel.exe'"},
        {"E:\\", "--drive=F", "'F:\\tovinel.exe'"},
        {"5:\\", "", "'D:\\tovinel.exe'"},     {"[:\\", "", "'D:\\tovinel.exe'"},
        {"{:\\", "", "'D:\\tovinel.exe'"},     {"@:\\", "", "'D:\\tovinel.exe'"},
        {"E:/", "", "'D:\\tovinel.exe'"},      {"Ex\\", "", "'D:\\tovinel.exe'"},
        {"E:", "", "'D:\\tovinel.exe'"},       {"E:\\x", "", "'D:\\tovinel.exe'"},
        {"-medium", "--", "'D:\\tovinel.exe'"},  // after "--", even a name like an option is the medium
    };
    namespace fs = std::filesystem;
    char pattern[] = "/tmp/tovinel-drives-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    fs::path root = pattern;
    char previous[4096];
    ASSERT_NE(nullptr, getcwd(previous, sizeof previous));
    ASSERT_EQ(0, chdir(pattern));
    for (const auto& c : cases) {
        fs::remove_all(root / c.medium);
        fs::create_directories(root / c.medium);
        fs::copy(media + "/clean", root / c.medium, fs::copy_options::recursive);
        std::vector<std::string> arguments = {c.medium};
        if (*c.option != '\0')
            arguments.insert(arguments.begin(), c.option);
        tool_run run = run_check_tool(arguments);
        EXPECT_NE(std::string::npos, run.output.find(std::string("Launcher: ") + c.launcher))
            << c.medium << " " << c.option << ":\n" << run.output;
    }
    ASSERT_EQ(0, chdir(previous));
    fs::remove_all(root);
}

// A medium path is named whole up to 400 bytes, and cut with its length past that: in the reason a
// file is no image, and on the "Medium:" line of a folder.
TEST(CheckTool, NamesAMediumPathWholeUpTo400Bytes)
{
    namespace fs = std::filesystem;
    char pattern[] = "/tmp/tovinel-long-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    for (size_t length : {400u, 401u}) {
        // Folders of 100 bytes, then a file that is no image, to make a path of `length` bytes.
        fs::path path = pattern;
        while (path.string().size() + 101 < length - 10)
            path /= std::string(100, 'f');
        fs::create_directories(path);
        path /= std::string(length - path.string().size() - 1, 'n');
        std::ofstream(path) << "no image";
        ASSERT_EQ(length, path.string().size());
        tool_run run = run_check_tool({path.string()});
        EXPECT_EQ(2, run.exit_code) << run.output;
        std::string shown = length <= 400 ? path.string() + " is not a folder"
                                          : path.string().substr(0, 400) + "... (" + std::to_string(length) + " bytes)";
        EXPECT_NE(std::string::npos, run.output.find("tovinel-check: " + shown)) << length << ":\n" << run.output;
        // The same path as a medium folder, on the "Medium:" line.
        fs::remove(path);
        fs::copy(media + "/clean", path, fs::copy_options::recursive);
        run = run_check_tool({path.string()});
        shown = length <= 400 ? path.string() + "\n" : path.string().substr(0, 400) + "... (" + std::to_string(length) + " bytes)\n";
        EXPECT_EQ(0, run.output.find("Medium:   " + shown)) << length << ":\n" << run.output;
    }
    fs::remove_all(pattern);
}

// Only a folder or a regular file (an image) can be a medium: a device or a FIFO is refused before
// anything is read from it.
TEST(CheckTool, RefusesAMediumThatIsNeitherFolderNorFile)
{
    char pattern[] = "/tmp/tovinel-odd-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    const std::string fifo = std::string(pattern) + "/pipe";
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    for (const std::string& medium : {std::string("/dev/null"), fifo}) {
        tool_run run = run_check_tool({medium}, 0, 10);
        EXPECT_FALSE(run.timed_out) << medium;
        EXPECT_EQ(2, run.exit_code) << medium;
        EXPECT_NE(std::string::npos, run.output.find("tovinel-check: " + medium + " is neither a folder nor an ISO image."))
            << run.output;
    }
    std::filesystem::remove_all(pattern);
}

// The decision is callable without the command line, for tests that compare it with the launcher.
TEST(CheckDecide, ReportsTheStartedCommandAndTheBranch)
{
    check_options options;
    options.medium_dir = media + "/clean";
    options.tail_given = true;
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
