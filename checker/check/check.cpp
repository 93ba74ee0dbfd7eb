// Tovinel check: one check of a medium, in the order Windows meets it: autorun.inf names the
// launcher, the launcher reads Tovinel.ini beside it, the decision starts a program.
#include "check/check.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "check/decide.h"
#include "config.h"
#include "findings/check_context.h"
#include "formats/autorun.h"
#include "formats/encoding.h"
#include "formats/signature.h"
#include "insertion/autoplay.h"
#include "insertion/insertion.h"

namespace {

const char autorun_file_name[] = "autorun.inf";
const char default_launcher_name[] = "tovinel.exe";

// UTF-16 big-endian code units as little-endian ones; an odd last byte is dropped.
std::string swapped_pairs(const std::string& bytes)
{
    std::string out = bytes.substr(0, bytes.size() & ~static_cast<size_t>(1));
    for (size_t i = 0; i + 1 < out.size(); i += 2)
        std::swap(out[i], out[i + 1]);
    return out;
}

// Decodes a text file's first bytes as the ANSI profile functions read it, and as it was meant.
void decode(unsigned codepage, text_file* file)
{
    const std::string& raw = file->raw;
    if (raw.compare(0, 2, "\xFF\xFE") == 0) {
        file->encoding = text_file::utf16le;
        file->meant = utf16le_to_codepage(codepage, raw.substr(2));
        return;
    }
    if (raw.compare(0, 2, "\xFE\xFF") == 0) {
        file->encoding = text_file::utf16be;
        file->meant = utf16le_to_codepage(codepage, swapped_pairs(raw.substr(2)));
        return;
    }
    if (raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        file->encoding = text_file::utf8_mark;
        file->meant = raw.substr(3);
        return;
    }
    // UTF-16 without a mark: most ASCII text then has a NUL in every other byte.
    size_t sample = std::min<size_t>(raw.size(), 4096);
    size_t low_first = 0;
    size_t high_first = 0;
    for (size_t i = 1; i < sample; i += 2) {
        low_first += raw[i] == '\0' && raw[i - 1] != '\0' ? 1 : 0;
        high_first += raw[i] != '\0' && raw[i - 1] == '\0' ? 1 : 0;
    }
    size_t pairs = sample / 2;
    if (sample >= 8 && (low_first * 10 >= pairs * 9 || high_first * 10 >= pairs * 9)) {
        file->encoding = text_file::utf16_unmarked;
        file->meant = utf16le_to_codepage(codepage, low_first >= high_first ? raw : swapped_pairs(raw));
    }
}

// Reads the text file that `windows_path` names into `file`; records what cannot be read.
void read_text_file(check_context& context, const std::string& windows_path, text_file* file, bool* is_folder,
                    bool* case_differs)
{
    std::string medium_path;
    *is_folder = false;
    if (!check_resolve(context, windows_path, &medium_path, case_differs))
        return;
    file->medium_path = medium_path;
    std::string why;
    medium_kind kind = context.medium.kind_of(medium_path, &why);
    if (kind == medium_kind::folder) {
        *is_folder = true;
        return;
    }
    if (kind != medium_kind::file || !context.medium.read_start(medium_path, check_text_limit, &file->raw,
                                                                 &file->size, &why)) {
        check_unreadable(context, medium_path, why);
        return;
    }
    file->present = true;
    decode(context.options.codepage, file);
}

// The most programs looked at in one folder for a launcher that autorun.inf does not start.
const size_t launcher_candidates_most = 64;

// Tells whether the medium file `medium_path` is a Tovinel launcher (by its version record).
bool is_launcher_file(const check_context& context, const std::string& medium_path)
{
    std::string bytes;
    unsigned long long size = 0;
    return context.medium.kind_of(medium_path, nullptr) == medium_kind::file &&
           context.medium.read_start(medium_path, check_program_limit, &bytes, &size, nullptr) &&
           program_is_launcher(program_facts_of(bytes));
}

// A launcher on the medium beside a Tovinel.ini, in the first of `folders` (ANSI, below the root,
// "" for the root) that holds one: tovinel.exe before a renamed copy. Its name (ANSI) and folder;
// false when there is none.
bool find_launcher(const check_context& context, const std::vector<std::string>& folders, std::string* folder,
                   std::string* name)
{
    std::string root = check_drive_root(context.options);
    for (const std::string& candidate_folder : folders) {
        std::string windows_folder = root + (candidate_folder.empty() ? "" : candidate_folder + "\\");
        std::string medium_folder;
        std::string config;
        if (!check_resolve(context, windows_folder, &medium_folder, nullptr) ||
            !check_resolve(context, windows_folder + config_file_name, &config, nullptr) ||
            context.medium.kind_of(config, nullptr) != medium_kind::file)
            continue;
        std::vector<std::string> programs;
        context.medium.each_entry(
            medium_folder,
            [&](const medium_entry& entry) {
                if (entry.kind == medium_kind::file && entry.name.size() > 4 &&
                    ascii_lower(entry.name.substr(entry.name.size() - 4)) == ".exe")
                    programs.push_back(entry.name);
                return programs.size() < launcher_candidates_most;
            },
            nullptr);
        std::stable_partition(programs.begin(), programs.end(),
                              [](const std::string& program) { return ascii_lower(program) == default_launcher_name; });
        for (const std::string& program : programs) {
            bool exact = false;
            std::string ansi = utf8_to_codepage(context.options.codepage, program, &exact);
            if (exact && is_launcher_file(context, medium_folder + (medium_folder.empty() ? "" : "/") + program)) {
                *folder = candidate_folder;
                *name = ansi;
                return true;
            }
        }
    }
    return false;
}

// Where the launcher is: the program autorun.inf starts, unless the options say otherwise. When
// autorun.inf starts another program that is on the medium, the launcher found beside Tovinel.ini
// is the one played, and autorun.inf is said to pass it by.
void locate_launcher(check_context& context)
{
    const check_options& options = context.options;
    std::string root = check_drive_root(options);
    bool folder = false;
    bool ignored = false;
    read_text_file(context, root + autorun_file_name, &context.autorun, &folder, &ignored);
    std::string program;
    std::string arguments;
    if (context.autorun.present) {
        // As meant: an encoding that hides autorun.inf from Windows is a finding of its own.
        autorun_facts facts = autorun_read(context.autorun.meant_text(), context.autorun_section);
        const autorun_value& command = !facts.open.text.empty() ? facts.open : facts.shell_execute;
        program = check_autorun_program(context, command.text, &arguments);
    }
    context.autorun_program = program;
    // The launcher finds its folder in its own path, a double-byte character at a time.
    size_t name_start = codepage_name_start(options.codepage, program);
    std::string program_folder = program.substr(0, name_start == 0 ? 0 : name_start - 1);
    context.launcher_name = program.empty() ? default_launcher_name : program.substr(name_start);
    context.launcher_from_autorun = !program.empty();
    std::string folder_below_root = options.folder_given ? utf8_to_codepage(options.codepage, options.folder, nullptr)
                                                         : program_folder;
    context.launcher_folder = root + (folder_below_root.empty() ? "" : folder_below_root + "\\");
    context.tail = options.tail_given ? options.tail : arguments;

    std::string medium_path;
    if (program.empty() || !check_resolve(context, root + program, &medium_path, nullptr) ||
        context.medium.kind_of(medium_path, nullptr) != medium_kind::file || is_launcher_file(context, medium_path))
        return;
    std::vector<std::string> folders = {folder_below_root};
    if (!options.folder_given && !folder_below_root.empty())
        folders.push_back("");
    std::string found_folder;
    std::string found_name;
    if (!find_launcher(context, folders, &found_folder, &found_name))
        return;
    context.bypassing_program = program;
    context.launcher_name = found_name;
    context.launcher_from_autorun = false;
    context.launcher_folder = root + (found_folder.empty() ? "" : found_folder + "\\");
    // autorun.inf's arguments go to the program it starts, not to the launcher.
    context.tail = options.tail_given ? options.tail : "";
}

// One reading of the medium: the files of one file system, the autorun.inf section `section`, as
// the Windows of `platforms` read them. Fills *insertion with what its insertion shows.
check_report check_reading(const medium_access& medium, const check_options& options, const std::string& section,
                           platform_set platforms, insertion_reading* insertion)
{
    check_report report;
    check_context context{medium, options, report, "", "", false, "", {}, {}, "", {}, false, section, platforms};
    locate_launcher(context);

    bool folder = false;
    bool case_differs = false;
    std::string config_path = context.launcher_folder + config_file_name;
    size_t unreadable_before = report.unreadable.size();
    report.decision.launcher_path = context.launcher_folder + context.launcher_name;
    report.decision.config_path = config_path;
    report.decision.tail = context.tail;
    read_text_file(context, config_path, &context.config, &folder, &case_differs);
    bool config_read = report.unreadable.size() == unreadable_before;
    // First: a name the image explains is reported once, as image-name, not again as missing.
    check_image_findings(context);
    check_launcher_findings(context);
    if (config_read) {
        report.decision = options.this_machine ? check_play_this_machine(context) : check_play(context);
        if (!context.bypassing_program.empty()) {
            report.decision.autorun_starts = check_drive_root(options) + context.bypassing_program;
            report.decision.reasons.insert(report.decision.reasons.begin(),
                                           "autorun.inf starts " + quoted(context, report.decision.autorun_starts) +
                                               " itself: on insertion that program starts every time and nothing"
                                               " decides. What follows is what the launcher would do if started.");
        }
        check_config_findings(context);
        if (context.config.present && case_differs) {
            std::string actual = context.config.medium_path.substr(context.config.medium_path.rfind('/') + 1);
            if (actual != config_file_name) {
                std::string why = medium.why_named(context.config.medium_path);
                check_add(context, rank_config, config_file_name, 0, "ini-name-case",
                          why.empty() ? "The file is named " + quoted_utf8(actual) +
                                            "; Windows finds it all the same (letter case is ignored), but"
                                            " Tovinel.ini is the usual name."
                                      : "Windows sees the file as " + quoted_utf8(actual) + " and finds it all the"
                                            " same (letter case is ignored): " + shown(why, 1000),
                          true);
            }
        }
        if (folder)
            check_add(context, rank_config, config_file_name, 0, "ini-folder",
                      "Tovinel.ini is a folder, not a file: the launcher reads nothing and starts nothing.");
    }
    check_autorun_findings(context);
    check_installed_findings(context);

    // What insertion shows: the program autorun.inf starts, and who signed it.
    insertion->platforms = platforms;
    insertion->section = section;
    insertion->autorun_present = context.autorun.present;
    insertion->autorun_text = context.autorun.meant_text();
    insertion->facts = autorun_read(insertion->autorun_text, section);
    std::string medium_path;
    if (!context.autorun_program.empty()) {
        insertion->program = check_drive_root(options) + context.autorun_program;
        if (check_resolve(context, insertion->program, &medium_path, nullptr)) {
            program_file file = check_program(context, medium_path);
            if (file.read && !file.facts.signature.empty())
                insertion->publisher = signature_signer_name(file.facts.signature);
        }
    }
    return report;
}

// autorun.inf in the root of `medium` as meant, whatever its encoding, for the sections it holds;
// "" when there is none.
std::string root_autorun_text(const medium_access& medium, const check_options& options)
{
    check_report scratch;
    check_context context{medium, options, scratch, "", "", false, "", {}, {}, "", {}, false};
    text_file autorun;
    bool folder = false;
    bool ignored = false;
    read_text_file(context, check_drive_root(options) + autorun_file_name, &autorun, &folder, &ignored);
    return autorun.meant_text();
}

bool same_finding(const check_finding& a, const check_finding& b)
{
    return a.id == b.id && a.file == b.file && a.line == b.line && a.text == b.text && a.note == b.note &&
           a.drive_specific == b.drive_specific;
}

}  // namespace

check_report check_medium(const medium_source& source, const check_options& options)
{
    std::vector<std::string> autorun_texts;
    for (const medium_tree& tree : source.trees)
        autorun_texts.push_back(root_autorun_text(*tree.access, options));

    // Each platform reads one file system and one section; the platforms that read the same make one
    // reading. Windows on a RISC processor counts where autorun.inf has a section for it.
    struct plan {
        int tree;
        std::string section;
        platform_set platforms;
    };
    std::vector<plan> plans;
    platform_set universe = 0;
    for (unsigned i = 0; i < platform_count(); ++i) {
        const windows_platform& platform = platforms_all()[i];
        int tree = tree_read_by(platform.version, source);
        std::string section = tree < 0 ? "" : section_read_on(platform, autorun_texts[static_cast<size_t>(tree)]);
        platform_set bit = platform_set{1} << i;
        if ((platforms_usual() & bit) == 0 && section == "autorun")
            continue;
        universe |= bit;
        auto same = std::find_if(plans.begin(), plans.end(),
                                 [&](const plan& other) { return other.tree == tree && other.section == section; });
        if (same != plans.end())
            same->platforms |= bit;
        else
            plans.push_back({tree, section, bit});
    }
    // The newest Windows' reading first: its decision is the report's.
    std::stable_sort(plans.begin(), plans.end(),
                     [](const plan& a, const plan& b) { return a.platforms > b.platforms; });

    check_report merged;
    merged.universe = universe;
    merged.unreadable = source.unreadable;
    std::vector<insertion_reading> insertion;
    std::vector<check_finding> findings;
    unsigned long long uncounted = 0;
    unsigned long long left_out = 0;
    for (const plan& reading : plans) {
        insertion_reading shown_on_insertion;
        shown_on_insertion.platforms = reading.platforms;
        if (reading.tree < 0) {
            shown_on_insertion.reads_files = false;
            insertion.push_back(shown_on_insertion);
            continue;
        }
        const medium_tree& tree = source.trees[static_cast<size_t>(reading.tree)];
        shown_on_insertion.reads = tree.kind;
        check_report one = check_reading(*tree.access, options, reading.section, reading.platforms,
                                         &shown_on_insertion);
        insertion.push_back(shown_on_insertion);
        if (merged.readings.empty())
            merged.decision = one.decision;
        merged.readings.push_back({reading.platforms, tree.kind, reading.section, one.decision});
        for (const std::string& problem : one.unreadable)
            if (std::find(merged.unreadable.begin(), merged.unreadable.end(), problem) == merged.unreadable.end())
                merged.unreadable.push_back(problem);
        merged.ignored = std::max(merged.ignored, one.ignored);
        // The same finding on several readings is one finding, for all their Windows.
        unsigned long long kept = 0;
        for (const check_finding& finding : one.found.kept()) {
            kept += finding.note ? 0 : 1;
            auto same = std::find_if(findings.begin(), findings.end(),
                                     [&](const check_finding& other) { return same_finding(other, finding); });
            if (same != findings.end())
                same->platforms |= finding.platforms;
            else
                findings.push_back(finding);
        }
        uncounted = std::max(uncounted, one.found.findings() - kept);
        left_out = std::max(left_out, one.found.left_out());
    }
    for (const check_finding& finding : findings)
        merged.found.add(finding);
    merged.found.count_unkept(uncounted, left_out);

    check_context context{*source.trees.front().access, options, merged, "", "", false, "", {}, {}, "", {}, false,
                          "autorun", universe};
    merged.insertion = insertion_groups(insertion, options.drive_kind, options.codepage);
    insertion_findings(context, merged.insertion, insertion);
    return merged;
}

check_decision check_decide(const check_options& options)
{
    medium_source source;
    std::string error;
    medium_open(options.medium_dir, &source, &error);
    return source.trees.empty() ? check_decision{} : check_medium(source, options).decision;
}
