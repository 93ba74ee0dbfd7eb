// Tovinel check: the outcome of insertion on every Windows, grouped where it is the same, and the
// findings it gives: what Windows does before the launcher can decide anything.
#include "insertion/insertion.h"

#include <algorithm>

#include "formats/encoding.h"
#include "formats/ini_scan.h"
#include "insertion/autoplay.h"

namespace {

bool same_outcome(const insertion_group& a, const insertion_group& b)
{
    return a.reads_files == b.reads_files && a.reads == b.reads && a.section == b.section &&
           a.outcome == b.outcome && a.program == b.program && a.option == b.option &&
           a.publisher == b.publisher && a.icon == b.icon && a.label == b.label && a.why == b.why;
}

const insertion_reading* reading_of(const std::vector<insertion_reading>& readings, unsigned platform)
{
    for (const insertion_reading& reading : readings)
        if ((reading.platforms >> platform & 1) != 0)
            return &reading;
    return nullptr;
}

insertion_group group_of(const insertion_reading& reading, const windows_platform& platform, drive_type drive,
                         unsigned codepage)
{
    insertion_group group;
    group.reads_files = reading.reads_files;
    group.reads = reading.reads;
    if (!reading.reads_files) {
        group.why = "they read no file system of this image";
        return group;
    }
    if (!reading.autorun_present) {
        group.why = "there is no autorun.inf in the root";
        return group;
    }
    group.section = reading.section;
    group.icon = reading.facts.icon.text;
    group.label = reading.facts.label.text;
    if (reading.program.empty()) {
        group.why = "[" + reading.section + "] names no program";
        return group;
    }
    autorun_behaviour behaviour = autorun_behaviour_of(platform.version, drive, !reading.facts.action.text.empty());
    group.outcome = behaviour.outcome;
    group.why = behaviour.why;
    group.program = reading.program;
    if (group.outcome == autorun_outcome::asks) {
        std::string name = reading.program.substr(codepage_name_start(codepage, reading.program));
        group.option = "Run " + codepage_to_utf8(codepage, name, nullptr);
        group.publisher = reading.publisher;
    }
    return group;
}

}  // namespace

std::vector<insertion_group> insertion_groups(const std::vector<insertion_reading>& readings, drive_type drive,
                                              unsigned codepage)
{
    std::vector<insertion_group> groups;
    for (unsigned i = 0; i < platform_count(); ++i) {
        const insertion_reading* reading = reading_of(readings, i);
        if (reading == nullptr)
            continue;
        insertion_group group = group_of(*reading, platforms_all()[i], drive, codepage);
        auto same = std::find_if(groups.begin(), groups.end(),
                                 [&](const insertion_group& other) { return same_outcome(other, group); });
        if (same != groups.end()) {
            same->platforms |= platform_set{1} << i;
            continue;
        }
        group.platforms = platform_set{1} << i;
        groups.push_back(group);
    }
    return groups;
}

void insertion_findings(check_context& context, const std::vector<insertion_group>& groups,
                        const std::vector<insertion_reading>& readings)
{
    platform_set reading_nothing = 0;
    platform_set starting_nothing = 0;
    std::string why;
    std::string program;
    for (const insertion_group& group : groups) {
        if (!group.reads_files)
            reading_nothing |= group.platforms;
        else if (!group.program.empty() && group.outcome == autorun_outcome::nothing) {
            starting_nothing |= group.platforms;
            // The newest Windows' reason: the one most customers meet.
            why = group.why;
            program = group.program;
        }
    }
    platform_set all = context.platforms;
    if (reading_nothing != 0) {
        context.platforms = reading_nothing;
        check_add(context, rank_option, "image", 0, "image-not-read",
                  "These Windows read no file system of this image: it has no ISO 9660 file system, and they read"
                  " no UDF of its revision. The disc looks empty there, and nothing starts. Make it a UDF bridge,"
                  " with ISO 9660 and Joliet names beside UDF (genisoimage -J -udf, oscdimg -u1 -j1).");
    }
    if (starting_nothing != 0) {
        context.platforms = starting_nothing;
        std::string name = program.substr(codepage_name_start(context.options.codepage, program));
        check_add(context, rank_autorun, "autorun.inf", 0, "insertion-starts-nothing",
                  "On " + std::string(drive_type_words(context.options.drive_kind)) + " (a " +
                      drive_type_id(context.options.drive_kind) + " drive) nothing starts by itself when it is"
                      " plugged in: " + why + ". Tell the customer to open the"
                      " drive and start " + quoted(context, name) + ", put a short README beside it that says so,"
                      " or ship the product on a CD, DVD or Blu-ray, where Windows offers the launcher itself.",
                  false, true);
    }
    // Sections named for a processor: each one no Windows reads, once.
    context.platforms = all;
    std::vector<std::string> told;
    for (const insertion_reading& reading : readings) {
        ini_scan(reading.autorun_text, [&](const ini_line& line) {
            if (line.kind != ini_line_kind::section || ascii_lower(line.name).compare(0, 8, "autorun.") != 0 ||
                section_known(line.name) ||
                std::find(told.begin(), told.end(), ascii_lower(line.name)) != told.end())
                return;
            told.push_back(ascii_lower(line.name));
            check_add(context, rank_autorun, "autorun.inf", line.number, "autorun-section-unknown",
                      quoted(context, "[" + line.name + "]") + " is a section no Windows is known to read: Windows"
                      " reads [autorun] unless autorun.inf has a section for its processor ([autorun.amd64] on x64,"
                      " [autorun.alpha], [autorun.mips] or [autorun.ppc] on NT 4), and none is documented for ARM."
                      " Put what it says in [autorun].",
                      true);
        });
    }
}
