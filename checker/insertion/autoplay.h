// Tovinel check, insertion: what each Windows does when a medium goes in, as Microsoft documents it
// (docs/insertion.md gives each fact its source): the file system it reads, the autorun.inf section,
// and whether AutoRun starts the program, AutoPlay asks first, or nothing starts.
#pragma once

#include <string>

#include "findings/platforms.h"
#include "findings/report.h"
#include "media/medium.h"

// The highest UDF revision `version` reads (BCD as UDF writes it, 0x0260), 0 when it reads none.
unsigned udf_revision_read(windows_version version);

// The tree of `source` that `version` reads: its UDF tree when it reads that revision, else its
// ISO 9660 side (Joliet names where there are any); -1 when it reads neither.
int tree_read_by(windows_version version, const medium_source& source);

// The autorun.inf section read on `platform`: a processor's own section where autorun.inf has one
// for it (it replaces [autorun] whole), else "autorun".
std::string section_read_on(const windows_platform& platform, const std::string& autorun_text);

// Tells whether some Windows reads the autorun.inf section `section` ("autorun.amd64"): false for
// one named for a processor that no Windows is known to read, such as [autorun.arm64].
bool section_known(const std::string& section);

// What `version` does by default when a medium whose autorun.inf names a program goes into a drive
// of `drive` kind, `has_action` telling whether the section holds action= (which Windows XP SP2 and
// Vista want for a USB stick): the outcome, and how AutoPlay asks or why nothing starts, as a clause
// (UTF-8); "" for an AutoRun that starts the program at once.
struct autorun_behaviour {
    autorun_outcome outcome;
    std::string why;
};
autorun_behaviour autorun_behaviour_of(windows_version version, drive_type drive, bool has_action);

// Names for people and for the JSON report.
const char* drive_type_id(drive_type drive);
const char* drive_type_words(drive_type drive);      // "a CD, DVD or Blu-ray disc", "a USB stick", "a USB hard disk"
const char* file_system_id(file_system system);
const char* file_system_words(file_system system);   // "UDF", "Joliet names", ...
const char* autorun_outcome_id(autorun_outcome outcome);
