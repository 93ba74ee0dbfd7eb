// Tovinel check: the command-line tool. Reads a medium folder or an ISO image, tells what the launcher
// will do with it on a machine the options describe, and lists what is likely wrong. Exit 0, 1 or 2.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "check.h"
#include "iso_medium.h"

namespace {

const char usage_text[] =
    "Usage: tovinel-check [OPTIONS] MEDIUM_DIR|IMAGE.iso\n"
    "\n"
    "Tells what tovinel.exe will do with the medium in MEDIUM_DIR (its Tovinel.ini, the files it\n"
    "names, its autorun.inf) on the machine the options describe, and what is likely wrong.\n"
    "An ISO image is checked as Windows will see it once burnt: with its Joliet names, or its\n"
    "ISO 9660 names when it has none (Windows ignores Rock Ridge names).\n"
    "Nothing on the medium is written.\n"
    "\n"
    "The machine (by default: the product is not installed and no setup window is open):\n"
    "  --installed=VALUE          the product is installed: RegKey opens, its default value is VALUE\n"
    "  --installed-without-value  the product is installed: RegKey opens, it has no default value\n"
    "  --setup-window=CLASS[,TITLE]  a window of this class (and title) is open\n"
    "The launcher:\n"
    "  --tail=TEXT                the launcher's own command-line arguments (default: none)\n"
    "  --drive=D                  the drive letter the medium gets (default: D)\n"
    "  --folder=SUBDIR            the launcher's folder below the medium's root (default: the root)\n"
    "  --help                     this text\n"
    "\n"
    "The command line that would start is shown between [ and ], blanks and quotes included.\n"
    "Exit code: 0 when nothing is found, 1 when there are findings, 2 on a usage error.\n"
    "\n"
    "Examples:\n"
    "  tovinel-check examples/medium\n"
    "  tovinel-check build/disc.iso\n"
    "  tovinel-check --installed='\"C:\\Program Files\\Maker\\App.exe\"' --tail=/cd examples/medium\n"
    "  tovinel-check --setup-window=MakerSetupWindow,'Maker Setup' --drive=E examples/medium\n";

bool option_value(const char* argument, const char* name, std::string* value)
{
    size_t length = strlen(name);
    if (strncmp(argument, name, length) != 0 || argument[length] != '=')
        return false;
    *value = argument + length + 1;
    return true;
}

int usage_error(const std::string& message)
{
    fprintf(stderr, "tovinel-check: %s\nRun tovinel-check --help for the options.\n", message.c_str());
    return 2;
}

// 0 when --folder names a folder of the medium (or is not given), else the exit code of the error.
int check_folder(const check_options& options, const iso_medium* image = nullptr)
{
    std::string ignored;
    if (options.folder.empty() || check_host_path(options, check_launcher_folder(options), &ignored, nullptr))
        return 0;
    std::string why = image != nullptr ? iso_image_explain_missing(image->image, options.folder) : "";
    return usage_error("the folder " + options.folder + " is not on the medium" + (why.empty() ? "." : ": " + why));
}

// Reads the options into `options`; returns 0 to go on, or the exit code to stop with. A medium
// that is a regular file is an ISO image: *image_path names it, and the caller lays it out.
int parse(int argc, char** argv, check_options* options, std::string* image_path)
{
    bool have_medium = false;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        std::string value;
        if (strcmp(argument, "--help") == 0 || strcmp(argument, "-h") == 0) {
            fputs(usage_text, stdout);
            return -1;
        } else if (option_value(argument, "--installed", &value)) {
            options->installed = options->has_default_value = true;
            options->default_value = value;
        } else if (strcmp(argument, "--installed-without-value") == 0) {
            options->installed = true;
            options->has_default_value = false;
        } else if (option_value(argument, "--setup-window", &value)) {
            size_t comma = value.find(',');
            options->window_open = true;
            options->window_class = value.substr(0, comma);
            options->window_title = comma == std::string::npos ? "" : value.substr(comma + 1);
            if (options->window_class.empty())
                return usage_error("--setup-window needs a window class: --setup-window=CLASS[,TITLE].");
        } else if (option_value(argument, "--tail", &value)) {
            options->tail = value;
        } else if (option_value(argument, "--drive", &value)) {
            char letter = value.empty() ? '\0' : value[0];
            if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) ||
                !(value.size() == 1 || value == std::string(1, letter) + ":"))
                return usage_error("--drive takes one drive letter, such as --drive=E.");
            options->drive = static_cast<char>(letter & ~0x20);
        } else if (option_value(argument, "--folder", &value)) {
            for (char& c : value)
                if (c == '/')
                    c = '\\';
            while (!value.empty() && value.front() == '\\')
                value.erase(0, 1);
            while (!value.empty() && value.back() == '\\')
                value.pop_back();
            options->folder = value;
        } else if (argument[0] == '-' && argument[1] != '\0') {
            return usage_error(std::string("unknown option ") + argument + ".");
        } else if (have_medium) {
            return usage_error("name one medium folder only.");
        } else {
            options->medium_dir = argument;
            have_medium = true;
        }
    }
    if (!have_medium)
        return usage_error("name the medium folder, for example: tovinel-check examples/medium");
    struct stat facts;
    if (stat(options->medium_dir.c_str(), &facts) == 0 && S_ISREG(facts.st_mode)) {
        *image_path = options->medium_dir;
        return 0;
    }
    if (stat(options->medium_dir.c_str(), &facts) != 0 || !S_ISDIR(facts.st_mode))
        return usage_error(options->medium_dir + " is not a folder.");
    return check_folder(*options);
}

void print_machine(const check_options& options)
{
    if (!options.installed)
        printf("Machine:  product not installed");
    else if (options.has_default_value)
        printf("Machine:  product installed, default value [%s]", options.default_value.c_str());
    else
        printf("Machine:  product installed, no default value");
    if (options.window_open)
        printf("; window of class \"%s\"%s%s%s open", options.window_class.c_str(),
               options.window_title.empty() ? "" : " titled \"", options.window_title.c_str(),
               options.window_title.empty() ? "" : "\"");
    printf("; tail [%s]\n", options.tail.c_str());
}

}  // namespace

// Checks the medium that `options` describe; `image`, when not null, is the ISO image laid out there.
int check(const check_options& options, const iso_medium* image)
{
    check_decision decision = check_decide(options);
    printf("Medium:   %s, launcher at %s\n",
           image != nullptr ? iso_medium_description(*image).c_str() : options.medium_dir.c_str(),
           decision.launcher_path.c_str());
    print_machine(options);
    if (!decision.started)
        printf("Decision: start nothing\n");
    else if (decision.branch == branch_application)
        printf("Decision: start the installed application\n");
    else
        printf("Decision: start the setup program\n");
    if (decision.started)
        // Between brackets: the blank before an empty tail is part of it, and quotes may be too.
        printf("Command:  [%s]\n", decision.command.c_str());
    for (const std::string& reason : decision.reasons)
        printf("  - %s\n", reason.c_str());

    std::vector<check_finding> found = check_findings(options, decision);
    if (image != nullptr) {
        std::vector<check_finding> names = iso_medium_findings(*image, options);
        found.insert(found.end(), names.begin(), names.end());
    }
    unsigned findings = 0;
    for (const check_finding& finding : found)
        findings += finding.note ? 0 : 1;
    printf(findings == 0 ? "No findings.\n" : "Findings: %u\n", findings);
    for (const check_finding& finding : found) {
        std::string where = finding.file;
        if (finding.line != 0)
            where += ":" + std::to_string(finding.line);
        printf("%s: %s%s\n", where.c_str(), finding.note ? "note: " : "", finding.text.c_str());
    }
    return findings == 0 ? 0 : 1;
}

int main(int argc, char** argv)
{
    check_options options;
    std::string image_path;
    int stop = parse(argc, argv, &options, &image_path);
    if (stop != 0)
        return stop < 0 ? 0 : stop;
    if (image_path.empty())
        return check(options, nullptr);

    iso_medium image;
    std::string error;
    if (!iso_medium_open(image_path, &image, &error)) {
        fprintf(stderr, "tovinel-check: %s.\n", error.c_str());
        return 2;
    }
    options.medium_dir = image.folder;
    int result = check_folder(options, &image);
    if (result == 0)
        result = check(options, &image);
    iso_medium_remove(&image);
    return result;
}
