// Tovinel check: the command-line tool. Reads a medium folder or an ISO image, tells what the launcher
// will do with it on a machine the options describe, or on this Windows machine, and lists what is
// likely wrong. Exit 0, 1 or 2.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "check/check.h"
#include "cli/console.h"
#include "cli/report_json.h"
#include "formats/encoding.h"
#include "insertion/autoplay.h"

namespace {

const char usage_text[] =
    "Usage: tovinel-check [OPTIONS] MEDIUM_DIR|IMAGE.iso\n"
    "\n"
    "Tells what tovinel.exe will do with the medium in MEDIUM_DIR (its autorun.inf, the launcher it\n"
    "starts, the Tovinel.ini beside it and the programs that names) on the machine the options\n"
    "describe, and what is likely wrong. Nothing on the medium is written.\n"
    "An image is checked as each Windows will see it once burnt: its UDF file system where that\n"
    "Windows reads its revision, else its Joliet names, or its ISO 9660 names when it has none\n"
    "(Windows ignores Rock Ridge names).\n"
    "\n"
    "The machine (by default: the product is not installed and no setup window is open):\n"
    "  --installed=VALUE          the product is installed: RegKey opens, its default value is VALUE\n"
    "  --installed-without-value  the product is installed: RegKey opens, it has no default value\n"
    "  --setup-window=CLASS[,TITLE]  a window of this class (and title) is open\n"
    "  --codepage=N[,N...]        the ANSI code page (default 1252; 874, 932, 936, 949, 950, 1250-1258);\n"
    "                             several: the medium is checked in each, one report after another\n"
    "  --this-machine             this Windows machine instead, read as the launcher reads it\n"
    "                             (tovinel-check.exe only; starts nothing, writes nothing)\n"
    "The launcher (by default: what autorun.inf starts, with the arguments it gives):\n"
    "  --folder=SUBDIR            the launcher's folder below the medium's root\n"
    "  --tail=TEXT                the launcher's own command-line arguments\n"
    "  --drive=D                  the drive letter the medium gets (default: D)\n"
    "The drive (by default: an image is a disc; a folder on a CD, DVD or USB drive is told by its\n"
    "drive, any other is taken for a disc):\n"
    "  --drive-type=optical|removable|fixed  a CD, DVD or Blu-ray; a USB stick; a USB hard disk\n"
    "The output:\n"
    "  --format=text|json         for people (default), or one JSON object for scripts\n"
    "                             (docs/tovinel-check.schema.json)\n"
    "  --ignore=ID[,ID...]        leave out the findings and notes of these ids\n"
    "                             (listed in docs/check-findings.md)\n"
    "  --quiet                    print nothing but usage errors; the exit code tells\n"
    "  --help, -h                 this text\n"
    "  --version                  the version\n"
    "Every option with a value takes it as --option=VALUE or --option VALUE; after -- every argument\n"
    "is the medium.\n"
    "\n"
    "Texts from the medium are shown between single quotes, blanks included, control bytes as \\xNN.\n"
    "Exit code: 0 when nothing is found, 1 when there are findings, 2 on a usage error or when this\n"
    "machine cannot read part of the medium; with several code pages, the highest of them.\n"
    "\n"
#ifdef _WIN32
    "Examples (cmd; in PowerShell the same, with .\\tovinel-check.exe):\n"
    "  tovinel-check.exe medium\n"
    "  tovinel-check.exe E:\\\n"
    "  tovinel-check.exe --installed=\"C:\\Program Files\\Maker\\App.exe\" --tail=/cd medium\n"
    "  tovinel-check.exe --setup-window=\"MakerSetupWindow,Maker Setup\" --drive=E medium\n"
    "  tovinel-check.exe --drive-type=removable --codepage=1252,932 medium\n"
    "  tovinel-check.exe --format=json --ignore=folder-blank medium > report.json\n"
    "  tovinel-check.exe --this-machine E:\\\n"
    "--installed takes the registry value as typed: quotes typed around the program's path are the\n"
    "value's own, as the product's setup writes them.\n";
#else
    "Examples:\n"
    "  tovinel-check examples/medium\n"
    "  tovinel-check build/disc.iso\n"
    "  tovinel-check --installed='\"C:\\Program Files\\Maker\\App.exe\"' --tail=/cd examples/medium\n"
    "  tovinel-check --setup-window=MakerSetupWindow,'Maker Setup' --drive=E examples/medium\n"
    "  tovinel-check --drive-type=removable --codepage=1252,932 examples/medium\n"
    "  tovinel-check --format=json --ignore=folder-blank examples/medium\n"
    "  tovinel-check.exe --this-machine E:\\   (on Windows)\n";
#endif

// Appends printf-style text to *out: everything is printed at once, through console_write.
void put(std::string* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void put(std::string* out, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    int length = vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    if (length > 0) {
        size_t at = out->size();
        out->resize(at + static_cast<size_t>(length) + 1);
        vsnprintf(&(*out)[at], static_cast<size_t>(length) + 1, format, again);
        out->resize(at + static_cast<size_t>(length));
    }
    va_end(again);
}

int usage_error(const std::string& message)
{
    std::string out;
    put(&out, "tovinel-check: %s\nRun tovinel-check --help for the options.\n", shown(message, 400).c_str());
    console_write(stderr, out);
    return 2;
}

// The options that take a value.
const char* const valued_options[] = {"--installed", "--setup-window", "--tail", "--drive-type", "--drive",
                                      "--folder", "--codepage", "--format", "--ignore"};

// How the report is printed.
struct output_options {
    bool json = false;
    bool quiet = false;
    bool machine_described = false;   // an option described the machine (refused with --this-machine)
    bool drive_given = false;
    std::vector<unsigned> codepages;   // --codepage, in the order given; none: the default
};

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

// The items of a comma-separated option value, empty ones included (each is judged by its option).
std::vector<std::string> comma_items(const std::string& value)
{
    std::vector<std::string> items;
    size_t at = 0;
    while (at <= value.size()) {
        size_t end = std::min(value.find(',', at), value.size());
        items.push_back(value.substr(at, end - at));
        at = end + 1;
    }
    return items;
}

// Applies one valued option; returns 0 or the exit code to stop with.
int apply(const std::string& name, std::string value, check_options* options, output_options* output)
{
    output->machine_described |= name == "--installed" || name == "--setup-window" || name == "--codepage";
    if (name == "--format") {
        if (value != "text" && value != "json")
            return usage_error("--format takes text or json, not '" + value + "'.");
        output->json = value == "json";
    } else if (name == "--ignore") {
        for (const std::string& id : comma_items(value)) {
            if (!check_finding_id_known(id)) {
                std::vector<std::string> near = check_finding_ids_near(id);
                std::string guess;
                for (size_t i = 0; i < near.size(); ++i)
                    guess += (i == 0 ? " Did you mean '" : i + 1 == near.size() ? " or '" : ", '") + near[i] + "'";
                return usage_error("--ignore: '" + id + "' is no finding id." + (guess.empty() ? "" : guess + "?") +
                                   " The ids are listed in docs/check-findings.md.");
            }
            options->ignored.insert(id);
        }
    } else if (name == "--installed") {
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
    } else if (name == "--drive-type") {
        const drive_type kinds[] = {drive_type::optical, drive_type::removable, drive_type::fixed};
        auto kind = std::find_if(std::begin(kinds), std::end(kinds),
                                 [&](drive_type type) { return value == drive_type_id(type); });
        if (kind == std::end(kinds))
            return usage_error("--drive-type takes optical, removable or fixed, not '" + value + "'.");
        options->drive_kind = *kind;
        options->drive_kind_given = true;
        options->drive_kind_how = "as --drive-type says";
    } else if (name == "--drive") {
        output->drive_given = true;
        char letter = value.empty() ? '\0' : value[0];
        if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) ||
            !(value.size() == 1 || value == std::string(1, letter) + ":"))
            return usage_error("--drive takes one drive letter, such as --drive=E.");
        options->drive = static_cast<char>(letter & ~0x20);
    } else if (name == "--codepage") {
        for (const std::string& item : comma_items(value)) {
            unsigned codepage = 0;
            for (char c : item)
                codepage = c >= '0' && c <= '9' && codepage < 100000 ? codepage * 10 + static_cast<unsigned>(c - '0')
                                                                      : 100000;
            if (!codepage_known(codepage))
                return usage_error("--codepage takes one of 874, 932, 936, 949, 950 and 1250 to 1258, not '" + item +
                                   "'.");
            if (std::find(output->codepages.begin(), output->codepages.end(), codepage) != output->codepages.end())
                return usage_error("--codepage names " + std::to_string(codepage) + " twice.");
            output->codepages.push_back(codepage);
        }
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
int parse(int argc, char** argv, check_options* options, output_options* output)
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
            console_write(stdout, usage_text);
            return -1;
        } else if (strcmp(argument, "--version") == 0) {
            console_write(stdout, std::string("tovinel-check ") + TOVINEL_VERSION + "\n");
            return -1;
        } else if (strcmp(argument, "--installed-without-value") == 0) {
            options->installed = true;
            options->has_default_value = false;
            output->machine_described = true;
        } else if (strcmp(argument, "--this-machine") == 0) {
            if (!console_reads_this_machine())
                return usage_error("--this-machine reads a Windows machine: run tovinel-check.exe --this-machine E:\\ "
                                   "on the machine itself. Here, describe a machine with --installed and "
                                   "--setup-window.");
            options->this_machine = true;
        } else if (strcmp(argument, "--quiet") == 0) {
            output->quiet = true;
        } else if (valued(argc, argv, &i, &name, &value, &missing)) {
            if (missing)
                return usage_error(name + " needs a value: " + name + "=VALUE.");
            int stop = apply(name, value, options, output);
            if (stop != 0)
                return stop;
        } else {
            return usage_error(std::string("unknown option ") + argument + ".");
        }
    }
    if (!have_medium)
        return usage_error("name the medium folder, for example: tovinel-check examples/medium");
    if (options->this_machine && output->machine_described)
        return usage_error("--this-machine reads this machine: --installed, --installed-without-value, "
                           "--setup-window and --codepage describe another one.");
    options->medium_dir = console_medium_path(options->medium_dir);
    if (options->this_machine)
        output->codepages = {console_this_machine_codepage()};
    else if (output->codepages.empty())
        output->codepages = {options->codepage};
    std::error_code error;
    std::filesystem::file_status status = std::filesystem::status(std::filesystem::u8path(options->medium_dir), error);
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

std::string machine_words(const check_options& options, const check_decision& decision)
{
    if (options.this_machine)
        return decision.machine;
    std::string machine = !options.installed ? "product not installed"
                          : options.has_default_value
                              ? "product installed, default value " + quoted(options, options.default_value)
                              : "product installed, no default value";
    if (options.window_open)
        machine += ", window of class " + quoted(options, options.window_class) +
                   (options.window_title.empty() ? "" : " titled " + quoted(options, options.window_title)) + " open";
    else
        machine += ", no setup window open";
    return machine + ", code page " + std::to_string(options.codepage);
}

const char* outcome_words(const check_decision& decision)
{
    if (!decision.known)
        return "unknown: this machine cannot read the configuration";
    if (!decision.started)
        return "start nothing";
    return decision.branch == branch_application ? "start the installed application" : "start the setup program";
}

void print_decision(std::string* out, const check_options& options, const check_decision& decision)
{
    put(out, "Launcher: %s, tail %s%s\n", quoted(options, decision.launcher_path).c_str(),
        quoted(options, decision.tail).c_str(),
        decision.autorun_starts.empty() ? "" : " (on the medium, but autorun.inf does not start it)");
    put(out, "Machine:  %s\n", machine_words(options, decision).c_str());
    if (!decision.insertion_here.empty())
        put(out, "Here:     %s\n", decision.insertion_here.c_str());
    put(out, "Decision: %s\n", outcome_words(decision));
    if (decision.started)
        put(out, "Command:  %s\n", quoted(options, decision.command).c_str());
    if (decision.elevated)
        put(out, "Shell:    %s with parameters %s (Windows Vista and later)\n",
            quoted(options, decision.shell_program).c_str(), quoted(options, decision.shell_parameters).c_str());
    for (const std::string& reason : decision.reasons)
        put(out, "  - %s\n", reason.c_str());
    if (!decision.facts.empty())
        put(out, "Seen on this machine:\n");
    for (const std::string& fact : decision.facts)
        put(out, "  - %s\n", fact.c_str());
}

// The Windows a finding or an outcome concerns, for people: "Windows 95, NT 4", or `all` when it is
// every one the check plays.
std::string scope_words(platform_set platforms, platform_set universe, const char* all)
{
    std::string words = platforms_words(platforms, universe);
    return words.empty() ? all : words;
}

// Where a reading of another file system or section decides otherwise than the newest Windows.
void print_other_decisions(std::string* out, const check_options& options, const check_report& report)
{
    for (size_t i = 1; i < report.readings.size(); ++i) {
        const reading_decision& reading = report.readings[i];
        const check_decision& decision = reading.decision;
        const check_decision& first = report.decision;
        if (decision.known == first.known && decision.started == first.started && decision.branch == first.branch &&
            decision.command == first.command && decision.launcher_path == first.launcher_path)
            continue;
        put(out, "On %s (%s, [%s]): %s%s\n", scope_words(reading.platforms, report.universe, "every Windows").c_str(),
            file_system_words(reading.reads), reading.section.c_str(), outcome_words(decision),
            decision.started ? (", " + quoted(options, decision.command)).c_str() : "");
    }
}

std::string insertion_line(const check_options& options, platform_set universe, const insertion_group& group)
{
    std::string line = scope_words(group.platforms, universe, "Every Windows") + ": ";
    if (!group.reads_files)
        return line + "nothing starts: " + group.why;
    if (group.reads != file_system::folder)
        line += std::string(file_system_words(group.reads)) + ", ";
    if (!group.section.empty())
        line += "[" + group.section + "]: ";
    switch (group.outcome) {
    case autorun_outcome::starts:
        line += "starts " + quoted(options, group.program) + " at once";
        break;
    case autorun_outcome::asks:
        line += group.why + ", offering \"" + shown(group.option) + "\" " +
                (group.publisher.empty() ? "(Publisher not specified: unsigned; sign it: signtool, osslsigncode or"
                                           " tools/sign.sh)"
                                         : "(Published by '" + shown(group.publisher) + "')");
        break;
    case autorun_outcome::nothing:
        line += "nothing starts: " + group.why;
        break;
    }
    return line;
}

// What Explorer shows for the drive: said once when every group shows the same.
std::string drive_look(const check_options& options, const std::string& icon, const std::string& label)
{
    std::string look;
    if (!icon.empty())
        look += "icon " + quoted(options, icon);
    if (!label.empty())
        look += (look.empty() ? "label " : ", label ") + quoted(options, label);
    return look;
}

void print_insertion(std::string* out, const check_options& options, const check_report& report)
{
    if (report.insertion.empty())
        return;
    const insertion_group& first = report.insertion.front();
    bool one_look = std::all_of(report.insertion.begin(), report.insertion.end(), [&](const insertion_group& group) {
        return group.icon == first.icon && group.label == first.label;
    });
    std::string look = drive_look(options, first.icon, first.label);
    put(out, "Insertion (as each Windows is set up by default%s):\n",
        one_look && !look.empty() ? ("; " + look).c_str() : "");
    for (const insertion_group& group : report.insertion) {
        std::string own = one_look ? "" : drive_look(options, group.icon, group.label);
        put(out, "  %s%s\n", insertion_line(options, report.universe, group).c_str(),
            own.empty() ? "" : ("; " + own).c_str());
    }
}

std::string text_report(const check_options& options, const std::string& description, const check_report& report)
{
    std::string out;
    put(&out, "Medium:   %s\n", shown(description, 400).c_str());
    put(&out, "Drive:    %s, %s (%s)\n", drive_type_id(options.drive_kind), drive_type_words(options.drive_kind),
        shown(options.drive_kind_how).c_str());
    // In the order of events: what Windows does when the medium goes in, then what the launcher does.
    print_insertion(&out, options, report);
    print_decision(&out, options, report.decision);
    print_other_decisions(&out, options, report);

    const check_findings& found = report.found;
    if (found.findings() == 0)
        put(&out, "No findings.\n");
    else
        put(&out, "Findings: %llu\n", found.findings());
    for (const check_finding& finding : found.kept()) {
        std::string where = shown(finding.file);
        if (finding.line != 0)
            where += ":" + std::to_string(finding.line);
        put(&out, "%s: %s%s [%s]\n", where.c_str(), finding.note ? "note: " : "",
            finding_message(finding, report.universe).c_str(), finding.id.c_str());
    }
    if (found.left_out() != 0)
        put(&out, "... and %llu more, not shown.\n", found.left_out());
    if (report.ignored != 0)
        put(&out, "Ignored: %llu (--ignore).\n", report.ignored);
    return out;
}

int exit_code(const check_report& report)
{
    if (!report.unreadable.empty())
        return 2;
    return report.found.findings() == 0 ? 0 : 1;
}

// The check in one code page: the options typed on this machine (UTF-8) as the launcher's machine
// holds them, in its ANSI code page.
struct codepage_check {
    check_options options;
    check_report report;
    int exit_code;
};

codepage_check check_in_codepage(const medium_source& medium, const check_options& typed, unsigned codepage)
{
    check_options options = typed;
    options.codepage = codepage;
    for (std::string* text : {&options.default_value, &options.tail, &options.window_class, &options.window_title})
        *text = utf8_to_codepage(codepage, *text, nullptr);
    check_report report = check_medium(medium, options);
    int code = exit_code(report);
    return {options, report, code};
}

// Several code pages: each report under its heading, then a line that sums them up.
std::string text_reports(const std::string& description, const std::vector<codepage_check>& checks)
{
    std::string out;
    std::string summary;
    for (const codepage_check& check : checks) {
        put(&out, "== Code page %u ==\n", check.options.codepage);
        out += text_report(check.options, description, check.report);
        unsigned long long findings = check.report.found.findings();
        put(&summary, "%s%u (%s)", summary.empty() ? "" : ", ", check.options.codepage,
            !check.report.unreadable.empty() ? "not read whole"
            : findings == 0                  ? "no findings"
            : findings == 1                  ? "1 finding"
                                             : (std::to_string(findings) + " findings").c_str());
    }
    return out + "Code pages: " + summary + ".\n";
}

int check_main(int argc, char** argv)
{
    check_options options;
    output_options output;
    int stop = parse(argc, argv, &options, &output);
    if (stop != 0)
        return stop < 0 ? 0 : stop;
    // tovinel-check.exe E:\ checks the medium in drive E as E:.
    const std::string& medium_dir = options.medium_dir;
    if (!output.drive_given && medium_dir.size() == 3 && medium_dir[1] == ':' && medium_dir[2] == '\\' &&
        ((medium_dir[0] >= 'A' && medium_dir[0] <= 'Z') || (medium_dir[0] >= 'a' && medium_dir[0] <= 'z')))
        options.drive = static_cast<char>(medium_dir[0] & ~0x20);

    medium_source medium;
    std::string error;
    if (!medium_open(options.medium_dir, &medium, &error)) {
        // A file that is no image may well be a slip for its folder.
        if (!output.quiet)
            console_write(stderr, "tovinel-check: " + shown(options.medium_dir, 400) +
                                      " is not a folder, nor an ISO image this machine can read: " +
                                      shown(error, 400) + ".\n");
        return 2;
    }
    const std::string& description = medium.description;
    if (!options.drive_kind_given) {
        if (medium.image)
            options.drive_kind_how = "an image is burnt to a disc";
        else if (!medium_drive_type(options.medium_dir, &options.drive_kind, &options.drive_kind_how))
            options.drive_kind_how = "assumed for a folder on a fixed disk; --drive-type=removable or fixed plays a"
                                     " USB drive";
    }
    std::vector<codepage_check> checks;
    int code = 0;
    for (unsigned codepage : output.codepages) {
        checks.push_back(check_in_codepage(medium, options, codepage));
        code = std::max(code, checks.back().exit_code);
    }
    if (output.quiet)
        return code;
    if (output.json) {
        std::vector<std::string> reports;
        for (const codepage_check& check : checks)
            reports.push_back(json_report(check.options, description, check.report,
                                          machine_words(check.options, check.report.decision), check.exit_code));
        console_write(stdout, reports.size() == 1 ? reports[0] : json_reports(output.codepages, reports, code));
        return code;
    }
    console_write(stdout, checks.size() == 1 ? text_report(checks[0].options, description, checks[0].report)
                                             : text_reports(description, checks));
    // What cannot be read is the same file in every code page: said once.
    std::vector<std::string> unreadable;
    for (const codepage_check& check : checks)
        for (const std::string& problem : check.report.unreadable)
            if (std::find(unreadable.begin(), unreadable.end(), problem) == unreadable.end())
                unreadable.push_back(problem);
    std::string problems;
    for (const std::string& problem : unreadable)
        put(&problems, "tovinel-check: cannot read %s\n", problem.c_str());
    console_write(stderr, problems);
    return code;
}

}  // namespace

#ifdef _WIN32
// Windows hands the arguments over as UTF-16; the checker takes them as UTF-8.
int wmain(int argc, wchar_t** wide_argv)
{
    std::vector<std::string> arguments = console_arguments(argc, wide_argv);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    return check_main(argc, argv.data());
}
#else
int main(int argc, char** argv)
{
    return check_main(argc, argv);
}
#endif
