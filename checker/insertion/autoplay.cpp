// Tovinel check: the facts of insertion per Windows version, drive type and processor, each as
// docs/insertion.md sources it; where Microsoft is silent the words say "as documented" or "by default".
#include "insertion/autoplay.h"

#include "formats/autorun.h"
#include "formats/ini_scan.h"

namespace {

using v = windows_version;

bool at_least(windows_version version, windows_version first)
{
    return static_cast<unsigned>(version) >= static_cast<unsigned>(first);
}

// The processors with a section of their own, as NT 4's processor names and x64 Windows spell them.
struct processor_section {
    architecture arch;
    const char* section;
};
const processor_section processor_sections[] = {
    {architecture::amd64, "autorun.amd64"},
    {architecture::alpha, "autorun.alpha"},
    {architecture::mips, "autorun.mips"},
    {architecture::ppc, "autorun.ppc"},
};

const char* const seven_and_later =
    "Windows 7 and later neither run nor offer a program from autorun.inf on a drive that is not a CD, DVD or"
    " Blu-ray";
const char* const autorun_update = "the AutoRun update of 2011 (KB971029)";

}  // namespace

unsigned udf_revision_read(windows_version version)
{
    switch (version) {
    case v::win95:
    case v::nt4:
        return 0;
    case v::win98:
    case v::me:
        return 0x0102;
    case v::win2000:
        return 0x0150;
    case v::xp:
        return 0x0201;
    default:
        return 0x0260;
    }
}

int tree_read_by(windows_version version, const medium_source& source)
{
    int udf = -1;
    int iso = -1;
    for (size_t i = 0; i < source.trees.size(); ++i) {
        const medium_tree& tree = source.trees[i];
        if (tree.kind == file_system::folder)
            return static_cast<int>(i);
        if (tree.kind == file_system::udf)
            udf = static_cast<int>(i);
        else
            iso = static_cast<int>(i);
    }
    // A bridge disc whose UDF revision is newer than this Windows reads is mounted by its ISO 9660 side.
    if (udf >= 0 && source.trees[static_cast<size_t>(udf)].udf_revision <= udf_revision_read(version))
        return udf;
    return iso;
}

std::string section_read_on(const windows_platform& platform, const std::string& autorun_text)
{
    for (const processor_section& own : processor_sections)
        if (own.arch == platform.arch && autorun_has_section(autorun_text, own.section))
            return own.section;
    return "autorun";
}

bool section_known(const std::string& section)
{
    if (ini_same_name(section, "autorun"))
        return true;
    for (const processor_section& own : processor_sections)
        if (ini_same_name(section, own.section))
            return true;
    return false;
}

autorun_behaviour autorun_behaviour_of(windows_version version, drive_type drive, bool has_action)
{
    if (drive == drive_type::optical) {
        if (!at_least(version, v::vista))
            return {autorun_outcome::starts, ""};
        if (!at_least(version, v::win8))
            return {autorun_outcome::asks, "AutoPlay asks first"};
        return {autorun_outcome::asks, "a notification, then AutoPlay asks"};
    }
    if (at_least(version, v::win7))
        return {autorun_outcome::nothing, std::string(seven_and_later)};
    if (version == v::xp || version == v::vista) {
        if (drive == drive_type::fixed || has_action)
            return {autorun_outcome::nothing,
                    "AutoPlay offered the program on XP SP2 to Vista until " + std::string(autorun_update)};
        return {autorun_outcome::nothing, "AutoPlay offered autorun.inf's program on a USB stick only with action=, and"
                                          " only until " + std::string(autorun_update)};
    }
    if (drive == drive_type::removable)
        return {autorun_outcome::nothing,
                "AutoRun is off for removable drives by default (NoDriveTypeAutoRun 0x95)"};
    return {autorun_outcome::nothing, "AutoRun is on for fixed drives, but as documented nothing starts when one"
                                      " is plugged in; double-clicking the drive in Explorer starts the program"};
}

namespace {

// Names indexed by each enumeration's value: one for scripts, one for people.
struct names {
    const char* id;
    const char* words;
};
const names drive_type_names[] = {
    {"optical", "a CD, DVD or Blu-ray disc"}, {"removable", "a USB stick"}, {"fixed", "a USB hard disk"}};
const names file_system_names[] = {
    {"folder", "its files"}, {"udf", "UDF"}, {"joliet", "Joliet names"}, {"iso9660", "ISO 9660 names"}};
const char* const outcome_ids[] = {"starts", "asks", "nothing"};

}  // namespace

const char* drive_type_id(drive_type drive)
{
    return drive_type_names[static_cast<unsigned>(drive)].id;
}

const char* drive_type_words(drive_type drive)
{
    return drive_type_names[static_cast<unsigned>(drive)].words;
}

const char* file_system_id(file_system system)
{
    return file_system_names[static_cast<unsigned>(system)].id;
}

const char* file_system_words(file_system system)
{
    return file_system_names[static_cast<unsigned>(system)].words;
}

const char* autorun_outcome_id(autorun_outcome outcome)
{
    return outcome_ids[static_cast<unsigned>(outcome)];
}
