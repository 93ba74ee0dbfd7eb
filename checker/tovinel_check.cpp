// Tovinel check: the command-line tool. Reads a medium folder or an ISO image, tells what the launcher
// will do with it on a machine the options describe, and lists what is likely wrong. Exit 0, 1 or 2.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "check.h"
#include "encoding.h"

namespace {

const char usage_text[] =
    "Usage: tovinel-check [OPTIONS] MEDIUM_DIR|IMAGE.iso\n"
    "\n"
    "Tells what tovinel.exe will do with the medium in MEDIUM_DIR (its autorun.inf, the launcher it\n"
    "starts, the Tovinel.ini beside it and the programs that names) on the machine the options\n"
    "describe, and what is likely wrong. Nothing on the medium is written.\n"
    "An ISO image is checked as Windows will see it once burnt: with its Joliet names, or its\n"
    "ISO 9660 names when it has none (Windows ignores Rock Ridge names).\n"
    "\n"
    "The machine (by default: the product is not installed and no setup window is open):\n"
    "  --installed=VALUE          the product is installed: RegKey opens, its default value is VALUE\n"
    "  --installed-without-value  the product is installed: RegKey opens, it has no default value\n"
    "  --setup-window=CLASS[,TITLE]  a window of this class (and title) is open\n"
    "  --codepage=N               the ANSI code page (default 1252; 874, 932, 936, 949, 950, 1250-1258)\n"
    "The launcher (by default: what autorun.inf starts, with the arguments it gives):\n"
    "  --folder=SUBDIR            the launcher's folder below the medium's root\n"
    "  --tail=TEXT                the launcher's own command-line arguments\n"
    "  --drive=D                  the drive letter the medium gets (default: D)\n"
    "  --help, -h                 this text\n"
    "  --version                  the version\n"
    "Every option with a value takes it as --option=VALUE or --option VALUE; after -- every argument\n"
    "is the medium.\n"
    "\n"
    "Texts from the medium are shown between single quotes, blanks included, control bytes as \\xNN.\n"
    "Exit code: 0 when nothing is found, 1 when there are findings, 2 on a usage error or when this\n"
    "machine cannot read part of the medium.\n"
    "\n"
    "Examples:\n"
    "  tovinel-check examples/medium\n"
    "  tovinel-check build/disc.iso\n"
    "  tovinel-check --installed='\"C:\\Program Files\\Maker\\App.exe\"' --tail=/cd examples/medium\n"
    "  tovinel-check --setup-window=MakerSetupWindow,'Maker Setup' --drive=E examples/medium\n";

int usage_error(const std::string& message)
{
    fprintf(stderr, "tovinel-check: %s\nRun tovinel-check --help for the options.\n", shown(message, 400).c_str());
    return 2;
}

// The options that take a value.
const char* const valued_options[] = {"--installed", "--setup-window", "--tail", "--drive", "--folder",
                                      "--codepage"};

// Splits "--name=value" or "--name value" (taking the next argument); false when `argument` is no
// valued option. *missing tells that the value is missing.
bool valued(int argc, char** argv, int* i, std::string* name, std::string* value, bool* missing)
{
    const char* argument = argv[*i];
    for (const char* option : valued_options) {
        size_t length = strlen(option);
        if (strncmp(argument, option, length) != 0)
            continue;
        if (argument[length] == '=') {
            *name = option;
            *value = argument + length + 1;
            return true;
        }
        if (argument[length] == '\0') {
            *name = option;
            *missing = *i + 1 >= argc;
            if (!*missing)
                *value = argv[++*i];
            return true;
        }
    }
    return false;
}

// Applies one valued option; returns 0 or the exit code to stop with.
int apply(const std::string& name, std::string value, check_options* options)
{
    if (name == "--installed") {
        options->installed = options->has_default_value = true;
        options->default_value = value;
    } else if (name == "--setup-window") {
        size_t comma = value.find(',');
        options->window_open = true;
        options->window_class = value.substr(0, comma);
        options->window_title = comma == std::string::npos ? "" : value.substr(comma + 1);
        if (options->window_class.empty())
            return usage_error("--setup-window needs a window class: --setup-window=CLASS[,TITLE].");
    } else if (name == "--tail") {
        options->tail_given = true;
        options->tail = value;
    } else if (name == "--drive") {
        char letter = value.empty() ? '\0' : value[0];
        if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) ||
            !(value.size() == 1 || value == std::string(1, letter) + ":"))
            return usage_error("--drive takes one drive letter, such as --drive=E.");
        options->drive = static_cast<char>(letter & ~0x20);
    } else if (name == "--codepage") {
        unsigned codepage = 0;
        for (char c : value)
            codepage = c >= '0' && c <= '9' && codepage < 100000 ? codepage * 10 + static_cast<unsigned>(c - '0')
                                                                  : 100000;
        if (!codepage_known(codepage))
            return usage_error("--codepage takes one of 874, 932, 936, 949, 950 and 1250 to 1258, not '" + value +
                               "'.");
        options->codepage = codepage;
    } else {  // --folder
        for (char& c : value)
            if (c == '/')
                c = '\\';
        if (value.size() >= 2 && value[1] == ':')
            return usage_error("--folder names a folder below the medium's root, not a drive: '" + value + "'.");
        std::string kept;
        int depth = 0;
        size_t at = 0;
        while (at <= value.size()) {
            size_t end = std::min(value.find('\\', at), value.size());
            std::string part = value.substr(at, end - at);
            if (part == "..") {
                if (--depth < 0)
                    return usage_error("--folder leaves the medium: '" + value + "'.");
                kept.erase(std::min(kept.size(), kept.rfind('\\') == std::string::npos ? 0 : kept.rfind('\\')));
            } else if (!part.empty() && part != ".") {
                ++depth;
                kept += (kept.empty() ? "" : "\\") + part;
            }
            at = end + 1;
        }
        options->folder_given = true;
        options->folder = kept;
    }
    return 0;
}

// Reads the options into `options`; returns 0 to go on, or the exit code to stop with (-1: done).
int parse(int argc, char** argv, check_options* options)
{
    bool have_medium = false;
    bool operands_only = false;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        std::string name;
        std::string value;
        bool missing = false;
        if (operands_only || argument[0] != '-' || argument[1] == '\0') {
            if (have_medium)
                return usage_error("name one medium folder only.");
            options->medium_dir = argument;
            have_medium = true;
        } else if (strcmp(argument, "--") == 0) {
            operands_only = true;
        } else if (strcmp(argument, "--help") == 0 || strcmp(argument, "-h") == 0) {
            fputs(usage_text, stdout);
            return -1;
        } else if (strcmp(argument, "--version") == 0) {
            printf("tovinel-check %s\n", TOVINEL_VERSION);
            return -1;
        } else if (strcmp(argument, "--installed-without-value") == 0) {
            options->installed = true;
            options->has_default_value = false;
        } else if (valued(argc, argv, &i, &name, &value, &missing)) {
            if (missing)
                return usage_error(name + " needs a value: " + name + "=VALUE.");
            int stop = apply(name, value, options);
            if (stop != 0)
                return stop;
        } else {
            return usage_error(std::string("unknown option ") + argument + ".");
        }
    }
    if (!have_medium)
        return usage_error("name the medium folder, for example: tovinel-check examples/medium");
    // Typed on this machine in UTF-8; the launcher's machine holds them in its ANSI code page.
    for (std::string* text : {&options->default_value, &options->tail, &options->window_class, &options->window_title})
        *text = utf8_to_codepage(options->codepage, *text, nullptr);
    std::error_code error;
    std::filesystem::file_status status = std::filesystem::status(options->medium_dir, error);
    if (!std::filesystem::exists(status))
        return usage_error(options->medium_dir + " does not exist.");
    if (!std::filesystem::is_directory(status) && !std::filesystem::is_regular_file(status))
        return usage_error(options->medium_dir + " is neither a folder nor an ISO image.");
    return 0;
}

// ANSI text of the medium or the options, shown as the machine's code page gives it.
std::string quoted(const check_options& options, const std::string& ansi)
{
    return "'" + shown(codepage_to_utf8(options.codepage, ansi, nullptr)) + "'";
}

void print_machine(const check_options& options)
{
    std::string machine = !options.installed ? "product not installed"
                          : options.has_default_value
                              ? "product installed, default value " + quoted(options, options.default_value)
                              : "product installed, no default value";
    if (options.window_open)
        machine += ", window of class " + quoted(options, options.window_class) +
                   (options.window_title.empty() ? "" : " titled " + quoted(options, options.window_title)) + " open";
    else
        machine += ", no setup window open";
    printf("Machine:  %s, code page %u\n", machine.c_str(), options.codepage);
}

void print_decision(const check_options& options, const check_decision& decision)
{
    printf("Launcher: %s, tail %s\n", quoted(options, decision.launcher_path).c_str(),
           quoted(options, decision.tail).c_str());
    print_machine(options);
    if (!decision.known)
        printf("Decision: unknown: this machine cannot read the configuration\n");
    else if (!decision.started)
        printf("Decision: start nothing\n");
    else if (decision.branch == branch_application)
        printf("Decision: start the installed application\n");
    else
        printf("Decision: start the setup program\n");
    if (decision.started)
        printf("Command:  %s\n", quoted(options, decision.command).c_str());
    if (decision.elevated)
        printf("Shell:    %s with parameters %s (Windows Vista and later)\n",
               quoted(options, decision.shell_program).c_str(), quoted(options, decision.shell_parameters).c_str());
    for (const std::string& reason : decision.reasons)
        printf("  - %s\n", reason.c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    check_options options;
    int stop = parse(argc, argv, &options);
    if (stop != 0)
        return stop < 0 ? 0 : stop;

    // A regular file is an image: the checks then see what Windows will see once it is burnt.
    std::string description = options.medium_dir;
    std::unique_ptr<medium_access> medium;
    std::error_code ignored;
    if (std::filesystem::is_regular_file(options.medium_dir, ignored)) {
        std::string error;
        medium = medium_in_image(options.medium_dir, &description, &error);
        if (medium == nullptr) {
            // A file that is no image may well be a slip for its folder.
            fprintf(stderr, "tovinel-check: %s is not a folder, nor an ISO image this machine can read: %s.\n",
                    shown(options.medium_dir, 400).c_str(), shown(error, 400).c_str());
            return 2;
        }
    } else {
        medium = medium_in_folder(options.medium_dir);
    }
    check_report report = check_medium(*medium, options);
    printf("Medium:   %s\n", shown(description, 400).c_str());
    print_decision(options, report.decision);

    const check_findings& found = report.found;
    if (found.findings() == 0)
        printf("No findings.\n");
    else
        printf("Findings: %llu\n", found.findings());
    for (const check_finding& finding : found.kept()) {
        std::string where = shown(finding.file);
        if (finding.line != 0)
            where += ":" + std::to_string(finding.line);
        printf("%s: %s%s [%s]\n", where.c_str(), finding.note ? "note: " : "", finding.text.c_str(),
               finding.id.c_str());
    }
    if (found.left_out() != 0)
        printf("... and %llu more, not shown.\n", found.left_out());
    for (const std::string& problem : report.unreadable)
        fprintf(stderr, "tovinel-check: cannot read %s\n", problem.c_str());
    if (!report.unreadable.empty())
        return 2;
    return found.findings() == 0 ? 0 : 1;
}
