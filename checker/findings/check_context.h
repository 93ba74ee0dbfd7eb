// Tovinel check, findings: what the parts of one check share: the medium, the options, the files as
// Windows reads them, and the report being filled. Internal to checker/.
#pragma once

#include <set>
#include <string>

#include "findings/report.h"
#include "formats/program.h"
#include "media/medium.h"

// A text file of the medium (Tovinel.ini, autorun.inf) as the ANSI profile functions read it.
struct text_file {
    enum encoding_kind { bytes, utf16le, utf16be, utf8_mark, utf16_unmarked };
    bool present = false;          // a regular file is there and was read
    std::string medium_path;       // its path on the medium, UTF-8
    std::string raw;               // its first bytes as they are (at most check_text_limit)
    // The text as its author meant it, in the ANSI code page: a UTF-16 file converted (either byte
    // order, marked or not), a UTF-8 mark dropped. Empty for plain bytes, whose text is `raw`.
    std::string meant;

    // The text as Windows NT's ANSI profile functions see it.
    const std::string& text() const { return encoding == utf16le ? meant : raw; }
    // The text as meant: what the findings judge, so that an encoding that hides the file's content
    // is reported once, by its own finding, and the content still gets the findings of its own.
    const std::string& meant_text() const { return encoding == bytes ? raw : meant; }
    unsigned long long size = 0;   // its whole size
    encoding_kind encoding = bytes;
};

// A program the check looked at on the medium.
struct program_file {
    medium_kind kind = medium_kind::missing;
    std::string medium_path;
    program_facts facts;
    bool read = false;
};

struct check_context {
    const medium_access& medium;
    const check_options& options;
    check_report& report;
    std::string launcher_folder;   // ANSI, with its trailing backslash: "D:\" or "D:\DISC1\"
    std::string launcher_name;     // ANSI file name
    bool launcher_from_autorun = false;
    std::string tail;              // ANSI: the launcher's command-line tail
    text_file config;
    text_file autorun;
    // autorun.inf starts another program directly (its path below the root, ANSI), while the
    // launcher found on the medium is the one played: nothing decides on insertion.
    std::string bypassing_program;
    // Where an image's names explain why Windows will not find a name ("FILE\nLINE", as reported by
    // image-name): the finding that the name is missing would only say it again.
    std::set<std::string> names_explained;
    bool launcher_explained = false;   // the launcher's own name is one of them
    // The autorun.inf section this reading plays: [autorun], or a processor's own that replaces it.
    std::string autorun_section = "autorun";
    // The Windows that read the medium so: every finding added is theirs.
    platform_set platforms = platforms_usual();
    // The program the section's open= or shellexecute= starts (its path below the root, ANSI), "" when
    // it names none: the launcher, or what autorun.inf starts instead.
    std::string autorun_program = "";
};

// The medium path of the file or folder that the Windows path `windows_path` (ANSI) names, names
// matched as Windows does: after conversion through the code page, letter case ignored (an exact
// match wins). False when it is not on the medium. *case_differs (may be null) tells whether a
// name matched only ignoring case.
bool check_resolve(const check_context& context, const std::string& windows_path, std::string* medium_path,
                   bool* case_differs);

// The value of `key` in `section` of `text`, read by the launcher's reader but never cut below
// check_value_limit bytes.
std::string check_whole_value(const std::string& text, const char* section, const char* key);

// ANSI text of the medium, quoted and shown as the code page gives it: 'SETUP.EXE'.
std::string quoted(const check_context& context, const std::string& ansi);
// UTF-8 text (a name on the medium, a host path), quoted and made safe: 'Disc One'.
std::string quoted_utf8(const std::string& text);

// Reads a program's facts; what this machine cannot read is recorded in the report.
program_file check_program(check_context& context, const std::string& medium_path);

// CreateProcess's reading of an unquoted command line (ANSI, a full Windows path first): the program
// is the first prefix ending at a blank (or at the end) that names a file on the medium, with ".exe"
// added when the prefix has no extension.
struct program_search {
    bool found = false;
    std::string windows_path;      // the file that starts (ANSI), with ".exe" when it was added
    std::string medium_path;
    size_t end = 0;                // where its name ends in the command
    std::string first_try;         // the prefix up to the first blank, as tried
};
program_search check_find_program(const check_context& context, const std::string& command);

// The program an autorun.inf command (open= or shellexecute=) starts, as a path below the medium's
// root (ANSI), and in *arguments what it is given.
std::string check_autorun_program(const check_context& context, const std::string& command, std::string* arguments);

// The root of the drive the medium gets: "D:\\".
std::string check_drive_root(const check_options& options);

// The length of the registry root name that `key` begins with ("HKLM" in "HKLM\SOFTWARE\X"), or 0
// when its first name is no root name. The launcher already looks below HKEY_LOCAL_MACHINE, so a
// key written with its root never opens.
size_t check_registry_root_length(const std::string& key);

// The key that the product's setup really creates for a RegKey value (`reg_key`, whole): written
// below HKEY_LOCAL_MACHINE with backslashes, without a root name, a comment or empty names.
std::string check_installed_key(const std::string& reg_key);

// Records that this machine cannot read `medium_path`, once.
void check_unreadable(check_context& context, const std::string& medium_path, const std::string& why);

// Adds a finding for the Windows of context.platforms; `drive_specific` when it holds only for the
// kind of drive the check plays.
void check_add(check_context& context, unsigned file_rank, const std::string& file, unsigned line, const char* id,
               const std::string& text, bool note = false, bool drive_specific = false);

// The order of files in the output.
const unsigned rank_autorun = 0;
const unsigned rank_launcher = 1;
const unsigned rank_config = 2;
const unsigned rank_program = 3;
const unsigned rank_option = 4;

// The findings of each part; check_medium calls them in turn.
void check_launcher_findings(check_context& context);
void check_config_findings(check_context& context);
void check_autorun_findings(check_context& context);
void check_installed_findings(check_context& context);
// The findings of Run (`run` as the launcher reads it, `raw_run` as the line holds it) on `line` of
// Tovinel.ini: check_config_findings calls them; findings_programs.cpp judges the program.
void check_run_findings(check_context& context, unsigned line, const std::string& run, const std::string& raw_run);
// Names that Windows will not find on a medium whose names differ by system (an ISO image).
// The Windows paths (ANSI) that a command names, in the order Windows tries them: the text up to
// the first blank, then up to each further blank, each also with ".exe" when its last name has no
// extension. `base` is what a relative path follows ("D:\\" or "D:\\DISC1\\"); a command that
// begins with a backslash counts from the drive.
std::vector<std::string> check_tried_paths(const std::string& base, const std::string& command);

void check_image_findings(check_context& context);
// Tells whether an image-name finding already says why Windows will not find the name on `line` of
// `file` (or, for "--folder", the launcher's folder): a finding that it is missing would repeat it.
bool check_name_explained(const check_context& context, const std::string& file, unsigned line);
void check_encoding_findings(check_context& context, const text_file& file, unsigned rank, const char* name);
// Tells whether `file` is UTF-8 text beyond ASCII, which Windows reads in the ANSI code page: the
// encoding-utf8 finding's cause.
bool check_saved_as_utf8(const text_file& file);
