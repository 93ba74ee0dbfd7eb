// Tovinel check: what the launcher will do with a medium, and what on the medium is likely wrong.
// The decision is the launcher's own, played through the native seam against a simulated machine.
#pragma once

#include <string>
#include <vector>

// The medium and the machine that the publisher describes.
struct check_options {
    std::string medium_dir;        // host folder holding the medium's root
    char drive = 'D';              // the letter the medium gets on Windows
    std::string folder;            // the launcher's folder below the root, with backslashes; "" = root
    std::string tail;              // the launcher's own command-line arguments
    bool installed = false;        // the product's key exists below HKEY_LOCAL_MACHINE ...
    bool has_default_value = false;  // ... with a default value ...
    std::string default_value;       // ... of this text
    bool window_open = false;      // a setup window of this class (and title) is open
    std::string window_class;
    std::string window_title;
};

enum check_branch {
    branch_none,          // the launcher stopped before reading its configuration
    branch_application,   // RegKey opened: the installed application, or nothing
    branch_setup          // the setup program, or nothing
};

// What the launcher would do, and why, in plain sentences.
struct check_decision {
    std::string launcher_path;     // D:\tovinel.exe
    std::string config_path;       // D:\Tovinel.ini, as the launcher names it
    check_branch branch = branch_none;
    bool started = false;
    std::string command;           // the exact command line started, when started
    std::vector<std::string> reasons;
    bool command_too_long = false; // a command was composed but did not fit in 259 bytes
    unsigned command_length = 0;   // its length then
};

// Plays the launcher's entry once against the machine described by `options`, reading the medium's
// Tovinel.ini through the same reads as the launcher, and reports what it started and why.
// Writes nothing anywhere.
check_decision check_decide(const check_options& options);

// A likely mistake on the medium. `line` is 0 when it concerns no particular line. A note is
// worth knowing but does not count as a finding (it changes no exit code).
struct check_finding {
    std::string file;              // "Tovinel.ini", "autorun.inf" or the option it comes from
    unsigned line = 0;
    std::string text;
    bool note = false;
};

// Looks over the medium described by `options` for likely mistakes, given the decision played.
// Files are opened for reading only.
std::vector<check_finding> check_findings(const check_options& options, const check_decision& decision);

// The launcher's Windows folder for `options`, trailing backslash included: "D:\" or "D:\DISC1\".
std::string check_launcher_folder(const check_options& options);

// The length of the registry root name that `key` begins with ("HKLM" in "HKLM\SOFTWARE\X"), or 0
// when its first name is no root name. The launcher already looks below HKEY_LOCAL_MACHINE, so a
// key written with its root never opens.
size_t check_registry_root_length(const std::string& key);

// The host path of the file or folder that `windows_path` names on the medium of `options`, names
// matched without regard to letter case as Windows does; false when it is not there.
// *case_differs (may be null) tells whether some name matched only ignoring case.
bool check_host_path(const check_options& options, const std::string& windows_path, std::string* host_path,
                     bool* case_differs);

// The line of `text` (an .ini file's bytes) holding the key `key` of `section` that Windows reads
// (the first such key of the first section of that name), 0 when there is none.
unsigned check_key_line(const std::string& text, const char* section, const char* key);
