// Tovinel check, findings: what one check is asked (the medium and machine described) and what it
// reports (the decision played, the findings); the layer every other part of the checker builds on.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "findings/platforms.h"
#include "media/medium.h"

// The medium and the machine that the publisher describes.
struct check_options {
    std::string medium_dir;        // host folder holding the medium's root
    char drive = 'D';              // the letter the medium gets on Windows
    bool folder_given = false;     // the launcher's folder below the root, with backslashes, "" = root;
    std::string folder;            //   when not given, the folder of the program autorun.inf starts
    bool tail_given = false;       // the launcher's own command-line arguments; when not given,
    std::string tail;              //   the arguments autorun.inf gives it
    unsigned codepage = 1252;      // the machine's ANSI code page
    bool installed = false;        // the product's key exists below HKEY_LOCAL_MACHINE ...
    bool has_default_value = false;  // ... with a default value ...
    std::string default_value;       // ... of this text (ANSI)
    bool window_open = false;      // a setup window of this class (and title) is open
    std::string window_class;
    std::string window_title;
    // This machine instead (the Windows build's --this-machine): the launcher's own reads of
    // Tovinel.ini, the registry and the window list; the options above that describe a machine
    // are then unused. medium_dir is a Windows path there.
    bool this_machine = false;
    std::set<std::string> ignored;   // finding ids not to report (--ignore); notes too
    // The kind of drive the medium is inserted in (--drive-type), or as told from the folder's
    // drive; an image is burnt to a disc. `drive_type_how` says what it was told by, or that it
    // was assumed.
    drive_type drive_kind = drive_type::optical;
    bool drive_kind_given = false;
    std::string drive_kind_how;
};

enum check_branch {
    branch_none,          // the launcher stopped before reading its configuration
    branch_application,   // RegKey opened: the installed application, or nothing
    branch_setup          // the setup program, or nothing
};

// What the launcher would do, and why, in plain sentences (UTF-8, safe for a terminal).
struct check_decision {
    bool known = false;            // false when this machine could not read the configuration
    std::string launcher_path;     // D:\tovinel.exe, as the launcher's module path (ANSI)
    std::string config_path;       // D:\Tovinel.ini, as the launcher names it (ANSI)
    std::string tail;              // the tail it was given (ANSI)
    std::string autorun_starts;    // the program autorun.inf starts instead of the launcher (ANSI), or ""
    check_branch branch = branch_none;
    bool started = false;
    std::string command;           // the exact command line started, when started (ANSI)
    std::vector<std::string> reasons;
    bool elevated = false;         // the started setup needs administrator rights (Vista and later):
    std::string shell_program;     //   the launcher hands it to the shell as this program ...
    std::string shell_parameters;  //   ... with these parameters (ANSI)
    bool command_too_long = false; // a command was composed but did not fit in 259 bytes
    unsigned command_length = 0;   // its length then
    // --this-machine: the machine as it describes itself, and what the reads saw, one sentence each.
    std::string machine;
    std::vector<std::string> facts;
    std::string insertion_here;    // what happens on this PC when the medium goes in, one sentence
};

// A likely mistake on the medium. `line` is 0 when it concerns no particular line. A note is worth
// knowing but does not count as a finding (it changes no exit code). `id` names the kind of finding
// and never changes, so that scripts may rely on it.
struct check_finding {
    unsigned file_rank = 0;        // the order of files: autorun.inf, the launcher, Tovinel.ini, programs, options
    std::string file;              // "Tovinel.ini", "autorun.inf", a program's name or the option it comes from
    unsigned line = 0;
    std::string id;
    std::string text;              // UTF-8, safe for a terminal
    bool note = false;
    // The Windows it concerns: the platforms of the readings of the medium that found it, or of the
    // insertion outcome it is about. Every platform the check plays when it concerns them all.
    platform_set platforms = 0;
    bool drive_specific = false;   // it concerns the kind of drive the check plays, not every kind
};

// The findings of a check in file and line order, at most `most` of them kept: a hostile file can
// hold millions; the rest are only counted.
class check_findings {
public:
    explicit check_findings(size_t most = 100) : most_(most) {}
    void add(const check_finding& finding);
    const std::vector<check_finding>& kept() const { return kept_; }
    unsigned long long findings() const { return findings_; }   // all findings, notes not counted
    unsigned long long left_out() const { return left_out_; }   // findings and notes not kept
    // Counts `findings` more, and `left_out` more not kept: those another report did not keep.
    void count_unkept(unsigned long long findings, unsigned long long left_out)
    {
        findings_ += findings;
        left_out_ += left_out;
    }

private:
    size_t most_;
    std::vector<check_finding> kept_;
    unsigned long long findings_ = 0;
    unsigned long long left_out_ = 0;
};

// What Windows does when the medium is inserted, the same on each platform of the group.
enum class autorun_outcome {
    starts,    // AutoRun starts the program at once
    asks,      // AutoPlay asks first and offers the program
    nothing    // nothing starts by itself: the user must open the drive and start the launcher
};

struct insertion_group {
    platform_set platforms = 0;
    bool reads_files = true;       // false: this Windows reads no file system of the medium
    file_system reads = file_system::folder;
    std::string section;           // the autorun.inf section read ("autorun", "autorun.amd64"), "" when none
    autorun_outcome outcome = autorun_outcome::nothing;
    std::string program;           // the Windows path started or offered (ANSI), "" when none
    std::string option;            // AutoPlay's option for it, as the user reads it (UTF-8), "" when none
    std::string publisher;         // the signer AutoPlay names (UTF-8), "" when the program is unsigned
    std::string icon;              // icon= as written (ANSI), "" when none
    std::string label;             // label= as written (ANSI), "" when none
    std::string why;               // why nothing starts, or why AutoPlay asks first: one sentence (UTF-8)
};

// The decision as played on one reading of the medium: a file system and an autorun.inf section,
// read by the Windows of `platforms`.
struct reading_decision {
    platform_set platforms = 0;
    file_system reads = file_system::folder;
    std::string section;
    check_decision decision;
};

struct check_report {
    check_decision decision;               // as the newest Windows reads the medium
    check_findings found;
    std::vector<std::string> unreadable;   // what this machine cannot read, each with its reason
    unsigned long long ignored = 0;        // findings and notes left out by check_options::ignored
    platform_set universe = 0;             // every platform the check plays
    std::vector<reading_decision> readings;   // each reading, the newest Windows' first
    std::vector<insertion_group> insertion;   // in report order of their first platform
};

// Tells whether `id` is a finding id the checker reports.
bool check_finding_id_known(const std::string& id);

// The known finding ids nearest to `id` (a mistyped one), when they are at most two edits away
// (letter case ignored); none otherwise.
std::vector<std::string> check_finding_ids_near(const std::string& id);

// The most bytes read from the start of a text file (Tovinel.ini, autorun.inf) and of a program.
const size_t check_text_limit = 4u << 20;
// The most bytes of one value read whole, to tell how far past its buffer it runs.
const size_t check_value_limit = 1u << 20;
const size_t check_program_limit = 1u << 20;
