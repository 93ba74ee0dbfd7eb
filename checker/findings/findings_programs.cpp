// Tovinel check: the programs a medium starts and the files that say so: the launcher that
// autorun.inf starts, the program Run names, the installed command, autorun.inf itself, and the
// encodings of both text files. Programs are judged by their headers, never by their names alone.
#include <algorithm>
#include <iterator>
#include <set>
#include <vector>

#include "config.h"
#include "findings/check_context.h"
#include "formats/autorun.h"
#include "formats/encoding.h"
#include "formats/ini_scan.h"

namespace {

const char autorun_file_name[] = "autorun.inf";
const size_t label_shown = 32;   // characters of a drive label that Explorer shows

// The extension of the last name of `path`, lower case, without its dot; "" when it has none.
std::string extension_of(const std::string& path)
{
    size_t name = path.find_last_of("\\/");
    name = name == std::string::npos ? 0 : name + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < name)
        return "";
    return ascii_lower(path.substr(dot + 1));
}

bool is_document(const std::string& extension)
{
    static const char* const documents[] = {"txt", "htm", "html", "pdf", "doc",  "docx", "rtf", "chm", "hlp",
                                            "ini", "inf", "reg", "url", "lnk", "xml",  "wri",  "mht", "vbs",
                                            "js",  "ps1", "wsf", "jpg", "png", "bmp", "ico"};
    for (const char* document : documents)
        if (extension == document)
            return true;
    return false;
}

// What a program's facts mean for a start with WinExec, as "" when it can start everywhere, or the
// finding's id and its reason.
struct start_verdict {
    const char* id = "";
    std::string reason;
};

start_verdict judge_program(const program_file& program, const std::string& extension)
{
    start_verdict verdict;
    switch (program.facts.kind) {
    case program_kind::not_program:
        if (extension == "bat" || extension == "cmd")
            return verdict;   // Windows starts batch files through the command interpreter
        if (extension == "msi") {
            verdict.id = "not-program-msi";
            verdict.reason = "is an installer package, not a program: WinExec cannot start it, only msiexec can."
                             " Run a setup program that starts it instead";
        } else if (is_document(extension)) {
            verdict.id = "not-program-document";
            verdict.reason = "is a document, not a program: WinExec does not open documents as Explorer does";
        } else {
            verdict.id = "not-program";
            verdict.reason = "has no MZ header: it is no Windows program, and WinExec cannot start it";
        }
        return verdict;
    case program_kind::dos:
        verdict.id = "program-dos";
        verdict.reason = "is a DOS program: 64-bit Windows cannot run it";
        return verdict;
    case program_kind::windows16:
        verdict.id = "program-16-bit";
        verdict.reason = "is a 16-bit Windows program: 64-bit Windows cannot run it";
        return verdict;
    case program_kind::windows64:
        verdict.id = "program-64-bit";
        verdict.reason = "is a 64-bit program: it will not run on 32-bit Windows";
        break;
    case program_kind::other_pe:
        verdict.id = "program-other-machine";
        verdict.reason = "is a Windows file for another processor, or its headers do not hold together";
        return verdict;
    case program_kind::windows32:
        break;
    }
    if (program.facts.dll) {
        verdict.id = "program-dll";
        verdict.reason = "is a library (DLL), not a program: it cannot be started";
    }
    return verdict;
}

// The part of a Windows path below the medium's root, for naming a file in the output.
std::string below_root(const check_context& context, const std::string& windows_path)
{
    return codepage_to_utf8(context.options.codepage, windows_path.size() > 3 ? windows_path.substr(3) : "",
                            nullptr);
}

}  // namespace

std::string check_autorun_program(const check_context& context, const std::string& command, std::string* arguments)
{
    std::string root = check_drive_root(context.options);
    autorun_command split = autorun_split(command);
    *arguments = split.arguments;
    if (command.empty() || command[0] == '"')
        return split.program;
    // Unquoted, the name may hold blanks: Windows tries each blank in turn, as for Run.
    std::string unquoted = split.program + (split.arguments.empty() ? "" : " " + split.arguments);
    program_search search = check_find_program(context, root + unquoted);
    if (!search.found)
        return split.program;
    *arguments = unquoted.substr(std::min(unquoted.size(), search.end - root.size()));
    while (!arguments->empty() && ((*arguments)[0] == ' ' || (*arguments)[0] == '\t'))
        arguments->erase(0, 1);
    return search.windows_path.substr(root.size());
}

program_search check_find_program(const check_context& context, const std::string& command)
{
    program_search search;
    for (size_t end = command.find(' '); ; end = command.find(' ', end + 1)) {
        size_t stop = end == std::string::npos ? command.size() : end;
        std::string prefix = command.substr(0, stop);
        std::string tried = extension_of(prefix).empty() ? prefix + ".exe" : prefix;
        if (search.first_try.empty())
            search.first_try = tried;
        std::string medium_path;
        if (check_resolve(context, tried, &medium_path, nullptr) &&
            context.medium.kind_of(medium_path, nullptr) != medium_kind::folder &&
            context.medium.kind_of(medium_path, nullptr) != medium_kind::missing) {
            search.found = true;
            search.windows_path = tried;
            search.medium_path = medium_path;
            search.end = stop;
            return search;
        }
        if (end == std::string::npos)
            return search;
    }
}

namespace {

void add_config(check_context& context, unsigned line, const char* id, const std::string& text)
{
    check_add(context, rank_config, config_file_name, line, id, text);
}

// `command` (ANSI bytes) found as a program in code page `codepage` instead of the check's own.
program_search find_in_codepage(const check_context& context, unsigned codepage, const std::string& command)
{
    check_options options = context.options;
    options.codepage = codepage;
    check_context other{context.medium, options, context.report, context.launcher_folder, context.launcher_name,
                        context.launcher_from_autorun, context.tail, {}, {}, "", {}, false};
    return check_find_program(other, command);
}

// Tells whether `run`, UTF-8 text of a file saved as UTF-8, names a program on the medium once
// saved in an ANSI code page that can write it, the check's own first.
bool utf8_names_program(const check_context& context, const std::string& base, const std::string& run)
{
    std::vector<unsigned> codepages = {context.options.codepage};
    codepages.insert(codepages.end(), std::begin(codepages_known), std::end(codepages_known));
    for (unsigned codepage : codepages) {
        bool exact = false;
        std::string ansi = utf8_to_codepage(codepage, run, &exact);
        if (exact && find_in_codepage(context, codepage, base + ansi).found)
            return true;
    }
    return false;
}

// For a command that holds bytes beyond ASCII and names no program in the check's code page: which
// other code pages read it as a program on the medium, and what to do about it; "" when none does.
std::string other_codepages_hint(const check_context& context, const std::string& command)
{
    bool ascii = std::all_of(command.begin(), command.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii)
        return "";
    std::vector<unsigned> readers;
    std::string first_found;
    for (unsigned codepage : codepages_known) {
        if (codepage == context.options.codepage)
            continue;
        program_search search = find_in_codepage(context, codepage, command);
        if (!search.found)
            continue;
        if (readers.empty())
            first_found = codepage_to_utf8(codepage, search.windows_path, nullptr);
        readers.push_back(codepage);
    }
    if (readers.empty())
        return "";
    std::string list;
    for (size_t i = 0; i < readers.size(); ++i)
        list += (i == 0 ? "" : i + 1 == readers.size() ? " and " : ", ") + std::to_string(readers[i]) + " (" +
                codepage_language(readers[i]) + ")";
    std::string own = std::to_string(context.options.codepage);
    std::string first = std::to_string(readers[0]);
    return " Its name is not ASCII, and the launcher reads Tovinel.ini in the ANSI code page of the user's"
           " Windows, here " + own + ": in code page" + (readers.size() > 1 ? "s " : " ") + list + " it names " +
           quoted_utf8(first_found) + ", which is on the medium. Check the medium for Windows set to that code"
           " page with --codepage=" + first + " (--codepage=" + own + "," + first +
           " checks both); only ASCII names work on every Windows.";
}

}  // namespace

bool check_saved_as_utf8(const text_file& file)
{
    if (file.encoding != text_file::bytes && file.encoding != text_file::utf8_mark)
        return false;
    const std::string& text = file.meant_text();
    bool beyond_ascii = std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    return beyond_ascii && is_utf8(text);
}

void check_run_findings(check_context& context, unsigned line, const std::string& run, const std::string& raw_run)
{
    if (run.empty())
        return;
    if (run.size() > path_capacity - 1) {
        add_config(context, line, "run-cut",
                   "Run is " + std::string(run.size() >= check_value_limit ? "at least " : "") +
                       std::to_string(run.size()) +
                       " bytes long; the launcher reads only the first 259, so the command names a cut path.");
        return;
    }
    std::string first_part = run.substr(0, run.find(' '));
    if (!raw_run.empty() && (raw_run[0] == '"' || raw_run[0] == '\''))
        add_config(context, line, "run-quoted",
                   "Run is written in quotes: the reader drops a pair of outer quotes, and any quote that stays"
                   " lands after the launcher's folder (" +
                       quoted(context, context.launcher_folder + "\"...") +
                       "), so quotes cannot keep a blank out of the program's name. Only a folder and file name"
                       " without blanks avoids it.");
    if (first_part.find('/') != std::string::npos)
        add_config(context, line, "run-forward-slash",
                   "Run's program " + quoted(context, first_part) +
                       " holds '/': write its path with backslashes, as the command line of Windows expects.");
    bool drive = run.size() >= 2 && run[1] == ':';
    if (drive || run.compare(0, 2, "\\\\") == 0) {
        add_config(context, line, "run-full-path",
                   "Run is a full path, but the launcher appends it to its own folder, giving " +
                       quoted(context, context.launcher_folder + run) + ": write it relative to the medium.");
        return;
    }
    std::string base = run[0] == '\\' ? context.launcher_folder.substr(0, 2) : context.launcher_folder;
    std::string command = base + run;
    program_search search = check_find_program(context, command);
    if (!search.found) {
        std::string bare = base + first_part;
        std::string medium_path;
        bool bare_there = check_resolve(context, bare, &medium_path, nullptr);
        medium_kind kind = bare_there ? context.medium.kind_of(medium_path, nullptr) : medium_kind::missing;
        if (kind == medium_kind::folder)
            add_config(context, line, "run-folder",
                       "Run names " + quoted(context, first_part) + ", a folder: a folder cannot be started.");
        else if (bare_there && extension_of(first_part).empty())
            add_config(context, line, "run-no-extension",
                       "Run names " + quoted(context, first_part) +
                           " without an extension: Windows then starts only " +
                           quoted(context, first_part + ".exe") + ", which is not on the medium, never the file " +
                           quoted(context, first_part) + ".");
        else if (!check_name_explained(context, config_file_name, line) &&
                 !(check_saved_as_utf8(context.config) && utf8_names_program(context, base, run)))
            add_config(context, line, "run-missing",
                       "Run names " + quoted(context, first_part) + ", which is not on the medium (looked for " +
                           quoted(context, search.first_try) + ", letter case ignored): the setup program will not"
                           " start." + other_codepages_hint(context, base + run));
        return;
    }
    size_t run_starts = base.size();
    size_t first_blank = command.find(' ');
    if (search.end != (first_blank == std::string::npos ? command.size() : first_blank)) {
        if (first_blank < run_starts)
            add_config(context, line, "folder-blank",
                       "The launcher's folder " + quoted(context, context.launcher_folder) +
                           " holds a blank and the command line is not quoted: Windows tries " +
                           quoted(context, search.first_try) + " first and may start another program.");
        else
            add_config(context, line, "run-blank",
                       "Run names " + quoted(context, command.substr(run_starts, search.end - run_starts)) +
                           ", a path with a blank, and the command line is not quoted: Windows tries " +
                           quoted(context, search.first_try) +
                           " first and may start another program, or pass the rest as arguments.");
    }
    program_file program = check_program(context, search.medium_path);
    if (!program.read)
        return;
    start_verdict verdict = judge_program(program, extension_of(search.windows_path));
    if (verdict.id[0] != '\0')
        add_config(context, line, (std::string("run-") + verdict.id).c_str(),
                   "Run starts " + quoted(context, below_root(context, search.windows_path)) + ", which " +
                       verdict.reason + ".");
}

void check_launcher_findings(check_context& context)
{
    std::string launcher_path = context.launcher_folder + context.launcher_name;
    std::string file = below_root(context, launcher_path);
    // A launcher that autorun.inf names is reported where autorun.inf names it.
    unsigned line = 0;
    unsigned rank = rank_launcher;
    std::string from = "The launcher " + quoted(context, launcher_path);
    if (context.launcher_from_autorun) {
        autorun_facts facts = autorun_read(context.autorun.meant_text(), context.autorun_section);
        line = !facts.open.text.empty() ? facts.open.line : facts.shell_execute.line;
        rank = rank_autorun;
        file = autorun_file_name;
        from = "autorun.inf starts " + quoted(context, launcher_path) + " as the launcher; it";
    }
    bool exact = true;
    if (context.options.folder_given)
        utf8_to_codepage(context.options.codepage, context.options.folder, &exact);
    if (!exact)
        check_add(context, rank, file, line, "launcher-folder-codepage",
                  "The launcher's folder " + quoted_utf8(context.options.folder) + " holds characters that code page " +
                      std::to_string(context.options.codepage) +
                      " cannot write: Windows gives the launcher a path with '?' in their place, and it finds no"
                      " Tovinel.ini.");
    std::string medium_path;
    if (!check_resolve(context, launcher_path, &medium_path, nullptr)) {
        if (check_name_explained(context, file, line) || check_name_explained(context, "--folder", 0)) {
            context.launcher_explained = true;
            return;
        }
        check_add(context, rank, file, line, "launcher-missing",
                  (context.launcher_from_autorun ? from + " is not on the medium"
                                                 : "There is no launcher " + quoted(context, launcher_path) +
                                                       " on the medium") +
                      ": nothing decides what to start when the medium is inserted.");
        return;
    }
    program_file program = check_program(context, medium_path);
    if (program.kind == medium_kind::folder) {
        check_add(context, rank, file, line, "launcher-not-program", from + " is a folder, not a program.");
        return;
    }
    if (!program.read)
        return;
    start_verdict verdict = judge_program(program, extension_of(launcher_path));
    if (program.facts.kind == program_kind::not_program || verdict.id == std::string("program-dll"))
        check_add(context, rank, file, line, "launcher-not-program",
                  from + " " + (verdict.reason.empty() ? "is no Windows program" : verdict.reason) + ".");
    else if (!program_is_launcher(program.facts))
        check_add(context, rank, file, line, "launcher-not-tovinel",
                  from + " is a program, but not the launcher: its version record names no Tovinel. Start"
                         " tovinel.exe, or a renamed copy of it.");
    if (!program_is_launcher(program.facts))
        return;
    // Installer detection: User Account Control (Windows Vista and later) takes a 32-bit program
    // without an execution level in a manifest for an installer by the words in its name or version
    // record, and asks for administrator rights before it runs.
    std::string word;
    std::string field = installer_word_field(
        program.facts, codepage_to_utf8(context.options.codepage, context.launcher_name, nullptr), &word);
    if (field.empty() || !program.facts.execution_level.empty())
        return;
    platform_set reading = context.platforms;
    context.platforms &= platforms_from(windows_version::vista, windows_version::win11);
    const std::string consequence =
        ": Windows Vista and later take it for an installer and ask for administrator rights on every insertion,"
        " before it runs, even to start the installed application.";
    if (field == "file name")
        check_add(context, rank, file, line, "launcher-installer-name",
                  "The launcher's name " + quoted(context, context.launcher_name) + " holds the installer word " +
                      quoted_utf8(word) + consequence + " Name it without setup, install, update, patch or upgrade.");
    else
        check_add(context, rank, file, line, "launcher-installer-record",
                  "The launcher's version record holds the installer word " + quoted_utf8(word) + " in " + field +
                      consequence + " Brand it with texts without setup, install, update, patch or upgrade"
                      " (tovinel-brand refuses them).");
    context.platforms = reading;
}

void check_autorun_findings(check_context& context)
{
    const text_file& autorun = context.autorun;
    if (!autorun.present) {
        if (autorun.medium_path.empty() || context.medium.kind_of(autorun.medium_path, nullptr) == medium_kind::folder)
            check_add(context, rank_autorun, autorun_file_name, 0, "autorun-missing",
                      "There is no autorun.inf in the medium's root: Windows will not start the launcher when the"
                      " medium is inserted.");
        return;
    }
    check_encoding_findings(context, autorun, rank_autorun, autorun_file_name);
    // As meant: what an encoding hides from Windows is its own finding.
    autorun_facts facts = autorun_read(autorun.meant_text(), context.autorun_section);
    if (facts.open.text.empty() && facts.shell_execute.text.empty()) {
        check_add(context, rank_autorun, autorun_file_name, 0, "autorun-no-program",
                  "autorun.inf names no program ([" + context.autorun_section +
                      "] has no open= or shellexecute=): Windows will not start the launcher when the medium is"
                      " inserted.");
    }
    std::string expected = context.launcher_folder.substr(3) + context.launcher_name;
    const struct {
        const char* key;
        const autorun_value& value;
    } commands[] = {{"open", facts.open}, {"shellexecute", facts.shell_execute}};
    for (const auto& command : commands) {
        if (command.value.text.empty())
            continue;
        std::string arguments;
        std::string program = check_autorun_program(context, command.value.text, &arguments);
        if (ini_same_name(program, expected))
            continue;
        if (!context.bypassing_program.empty() && program == context.bypassing_program)
            check_add(context, rank_autorun, autorun_file_name, command.value.line, "autorun-bypasses-launcher",
                      std::string(command.key) + "=" + quoted(context, command.value.text) +
                          " starts that program itself, not the launcher " + quoted(context, expected) +
                          " that is on the medium beside Tovinel.ini: on insertion that program starts every time,"
                          " even where the product is installed, and nothing decides. Start the launcher: " +
                          command.key + "=" + shown(codepage_to_utf8(context.options.codepage, expected, nullptr)) +
                          ".");
        else
            check_add(context, rank_autorun, autorun_file_name, command.value.line, "autorun-not-launcher",
                      std::string(command.key) + "=" + quoted(context, command.value.text) +
                          " does not start the launcher, " + quoted(context, expected) +
                          ": Tovinel will not run when the medium is inserted.");
    }
    if (!facts.icon.text.empty()) {
        // A leading backslash names the root all the same: empty names are passed over.
        std::string icon = autorun_icon_file(facts.icon.text);
        std::string medium_path;
        if ((!check_resolve(context, context.launcher_folder.substr(0, 3) + icon, &medium_path, nullptr) ||
             context.medium.kind_of(medium_path, nullptr) != medium_kind::file) &&
            !check_name_explained(context, autorun_file_name, facts.icon.line))
            check_add(context, rank_autorun, autorun_file_name, facts.icon.line, "autorun-icon-missing",
                      "icon=" + quoted(context, facts.icon.text) + " names " + quoted(context, icon) +
                          ", which is not on the medium: Windows shows the drive's own icon.");
    }
    std::string label = codepage_to_utf8(context.options.codepage, facts.label.text, nullptr);
    size_t characters = 0;
    for (char c : label)
        characters += (static_cast<unsigned char>(c) & 0xC0u) != 0x80u ? 1 : 0;
    if (characters > label_shown)
        check_add(context, rank_autorun, autorun_file_name, facts.label.line, "autorun-label-long",
                  "label=" + quoted(context, facts.label.text) + " is " + std::to_string(characters) +
                      " characters long; Explorer shows a drive label of at most " + std::to_string(label_shown) +
                      ".");
}

void check_installed_findings(check_context& context)
{
    const check_options& options = context.options;
    if (!options.installed || !options.has_default_value)
        return;
    const std::string& value = options.default_value;
    const char* option = "--installed";
    auto add = [&](const char* id, const std::string& text) { check_add(context, rank_option, option, 0, id, text); };
    if (value.empty())
        add("installed-empty", "The default value is empty: the launcher starts a command line of a blank and the"
                               " tail, which names no program.");
    if (value.size() > path_capacity - 1)
        add("installed-too-long", "The default value is " + std::to_string(value.size()) +
                                      " bytes, more than the 259 the launcher reads: it starts nothing.");
    size_t quotes = 0;
    for (char c : value)
        quotes += c == '"' ? 1 : 0;
    if (quotes % 2 != 0)
        add("installed-unbalanced-quote",
            "The default value holds an unbalanced quote: Windows then takes the rest of the command line, tail"
            " included, as the program's name.");
    // A variable is a name between two percent signs; "%%" names none, and stays as it is even
    // where variables are expanded.
    size_t percent = value.find('%');
    size_t close = percent == std::string::npos ? percent : value.find('%', percent + 1);
    while (close != std::string::npos && close == percent + 1) {
        percent = value.find('%', close + 1);
        close = percent == std::string::npos ? percent : value.find('%', percent + 1);
    }
    if (close != std::string::npos)
        add("installed-variables", "The default value holds " +
                                       quoted(context, value.substr(percent, close - percent + 1)) +
                                       ": the launcher never expands environment variables, whatever the value's type."
                                       " The product's setup should write the expanded path.");
    std::string program = value[0] == '"' ? value.substr(1, value.find('"', 1) - 1) : value.substr(0, value.find(' '));
    std::string extension = extension_of(program);
    if (extension == "msi" || is_document(extension))
        add("installed-not-program",
            "The default value starts " + quoted(context, program) +
                (extension == "msi" ? ", an installer package" : ", a document") +
                ": WinExec starts only programs. The product's setup should write its program's path.");
    if (value[0] != '"' && value.find(' ') != std::string::npos && extension != "exe" && extension != "com" &&
        extension != "bat" && extension != "cmd")
        add("installed-unquoted-blank",
            "The default value holds a blank and is not quoted: Windows tries " + quoted(context, program) +
                " first and may start another program. The product's setup should write the program's path in"
                " quotes.");
}

namespace {

// What a reader that finds nothing in `rank`'s file costs: ", so the launcher starts nothing", or ""
// when something starts all the same.
std::string nothing_read_consequence(const check_context& context, unsigned rank)
{
    if (rank == rank_autorun) {
        autorun_facts facts = autorun_read(context.autorun.text(), context.autorun_section);
        return facts.open.text.empty() && facts.shell_execute.text.empty()
                   ? ", so nothing starts when the medium is inserted"
                   : "";
    }
    const check_decision& decision = context.report.decision;
    return decision.known && !decision.started ? ", so the launcher starts nothing" : "";
}

// What a UTF-8 mark costs: the header it turns into text, and the keys under that header.
std::string mark_consequence(const check_context& context, const text_file& file, unsigned rank)
{
    std::string header;
    std::vector<std::string> keys;
    bool done = false;
    ini_scan(file.meant_text(), [&](const ini_line& line) {
        if (done || line.kind == ini_line_kind::comment)
            return;
        if (line.kind == ini_line_kind::section) {
            if (line.number == 1 && header.empty())
                header = "[" + line.name + "]";
            else
                done = true;
            return;
        }
        if (header.empty())
            done = true;
        else if (!line.name.empty())
            keys.push_back(line.name);
    });
    if (header.empty())
        return "; that line holds no section header, so nothing is lost yet";
    std::string out = ", so " + quoted(context, header) + " is no section header";
    if (keys.empty())
        return out;
    const size_t named_most = 4;
    std::string names;
    for (size_t i = 0; i < keys.size() && i < named_most; ++i)
        names += (i == 0 ? "" : i + 1 == keys.size() ? " and " : ", ") + quoted(context, keys[i]);
    if (keys.size() > named_most)
        names += " and " + std::to_string(keys.size() - named_most) + " more keys";
    return out + " and " + (rank == rank_autorun ? "Windows" : "the launcher") + " never reads " + names +
           " under it" + nothing_read_consequence(context, rank);
}

std::string codepage_words(unsigned codepage)
{
    return std::to_string(codepage) + " (" + codepage_language(codepage) + ")";
}

// What to do about UTF-8 text beyond ASCII (`text`) that Windows reads in the check's code page.
std::string utf8_advice(const check_context& context, const std::string& text)
{
    // Each character beyond ASCII once, in order: enough to tell which code pages can write it all.
    const size_t characters_most = 4096;
    std::vector<std::string> characters;
    std::set<std::string> seen;
    std::string all;
    for (size_t at = 0; at < text.size() && characters.size() < characters_most;) {
        size_t length = 1;
        while (at + length < text.size() && (static_cast<unsigned char>(text[at + length]) & 0xC0u) == 0x80u)
            ++length;
        std::string character = text.substr(at, length);
        at += length;
        if (static_cast<unsigned char>(character[0]) >= 0x80 && seen.insert(character).second) {
            characters.push_back(character);
            all += character;
        }
    }
    unsigned own = context.options.codepage;
    bool exact = false;
    utf8_to_codepage(own, all, &exact);
    if (exact)
        return " Save it as ANSI text in code page " + codepage_words(own) + ".";
    std::string lacking;
    for (const std::string& character : characters) {
        utf8_to_codepage(own, character, &exact);
        if (!exact) {
            lacking = character;
            break;
        }
    }
    std::vector<unsigned> writers;
    for (unsigned codepage : codepages_known) {
        utf8_to_codepage(codepage, all, &exact);
        if (exact)
            writers.push_back(codepage);
    }
    std::string out = " Code page " + std::to_string(own) + " cannot write " + quoted_utf8(lacking) +
                      ": Windows set to it never reads this text as written. Name the files and folders in ASCII,"
                      " which every code page reads alike";
    if (writers.empty())
        return out + " (no ANSI code page can write all of this text), and save it as ANSI text.";
    std::string list;
    for (size_t i = 0; i < writers.size(); ++i)
        list += (i == 0 ? "" : i + 1 == writers.size() ? " or " : ", ") + codepage_words(writers[i]);
    if (writers.size() == 1)
        return out + "; or, for Windows set to code page " + list + ", save it as ANSI text in code page " +
               std::to_string(writers[0]) + " and check the medium with --codepage=" + std::to_string(writers[0]) +
               ".";
    return out + "; or, for Windows set to code page " + list +
           ", save it as ANSI text in that code page and check the medium with --codepage set to it.";
}

}  // namespace

void check_encoding_findings(check_context& context, const text_file& file, unsigned rank, const char* name)
{
    std::string what = name;
    switch (file.encoding) {
    case text_file::utf16le:
        check_add(context, rank, name, 0, "encoding-utf16",
                  what + " is saved as UTF-16 with a byte-order mark: Windows NT reads it (as checked here), but"
                         " Windows 95, 98 and Me cannot, and there it counts as empty.",
                  true);
        return;
    case text_file::utf16be:
        check_add(context, rank, name, 0, "encoding-utf16-big-endian",
                  what + " is saved as UTF-16 big-endian (byte-order mark FE FF): the profile reader takes it byte"
                         " by byte and finds nothing in it" + nothing_read_consequence(context, rank) +
                      ". Save it as ANSI text.");
        return;
    case text_file::utf16_unmarked:
        check_add(context, rank, name, 0, "encoding-utf16-unmarked",
                  what + " looks like UTF-16 without a byte-order mark: Windows reads it byte by byte and finds"
                         " nothing in it" + nothing_read_consequence(context, rank) +
                      ". Save it as ANSI text, or as UTF-16 with its mark.");
        return;
    case text_file::utf8_mark:
        check_add(context, rank, name, 1, "encoding-utf8-mark",
                  what + " begins with a UTF-8 byte-order mark, which Windows reads as the text " +
                      quoted(context, "\xEF\xBB\xBF") + " in front of the first line" +
                      mark_consequence(context, file, rank) + ". Save it as ANSI text.");
        break;
    case text_file::bytes:
        break;
    }
    // UTF-8 text beyond ASCII: Windows reads its bytes in the ANSI code page.
    if (!check_saved_as_utf8(file))
        return;
    const std::string& text = file.meant_text();
    size_t high = 0;
    while (static_cast<unsigned char>(text[high]) < 0x80)
        ++high;
    size_t line_start = text.find_last_of("\r\n", high);
    line_start = line_start == std::string::npos ? 0 : line_start + 1;
    size_t line_end = std::min(text.find_first_of("\r\n", high), text.size());
    unsigned line = 1;
    // Every byte before line_start has one after it, at high at the latest.
    for (size_t i = 0; i < line_start; ++i)
        line += text[i] == '\n' || (text[i] == '\r' && text[i + 1] != '\n') ? 1 : 0;
    std::string shown_line = text.substr(line_start, line_end - line_start);
    check_add(context, rank, name, line, "encoding-utf8",
              what + " holds UTF-8 text (" + quoted_utf8(ini_trimmed(shown_line)) +
                  "), but Windows reads it in code page " + std::to_string(context.options.codepage) + " as " +
                  quoted(context, ini_trimmed(shown_line)) + "." + utf8_advice(context, text));
}
