// Tovinel check, insertion: what Windows does before the launcher runs, per group of Windows with
// one outcome: the file system and autorun.inf section read, and what starts or is offered.
#pragma once

#include <string>
#include <vector>

#include "findings/check_context.h"
#include "formats/autorun.h"

// One reading of the medium, as the check played it: what the insertion of the medium shows on the
// Windows of `platforms`.
struct insertion_reading {
    platform_set platforms = 0;
    bool reads_files = true;       // false: these Windows read no file system of the medium
    file_system reads = file_system::folder;
    std::string section;           // the autorun.inf section read
    bool autorun_present = false;
    autorun_facts facts;           // of that section
    std::string program;           // the Windows path that open= or shellexecute= starts (ANSI), "" when none
    std::string publisher;         // the signer of that program (UTF-8), "" when unsigned
    std::string autorun_text;      // autorun.inf as meant (ANSI), every section of it
};

// The groups of Windows with one outcome of insertion in `drive` kind of drive, in report order.
std::vector<insertion_group> insertion_groups(const std::vector<insertion_reading>& readings, drive_type drive,
                                              unsigned codepage);

// The findings of insertion: Windows that read nothing of an image, Windows on which nothing starts
// by itself from this kind of drive, and sections for a processor no Windows reads. Added to
// `context`'s report.
void insertion_findings(check_context& context, const std::vector<insertion_group>& groups,
                        const std::vector<insertion_reading>& readings);
