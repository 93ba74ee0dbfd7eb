// Tovinel: the simulated Windows machine behind the native (POSIX) side of the platform seam.
// A host program describes the machine in this plain struct; platform_posix.cpp answers from it.
#pragma once

// One Windows machine as far as the launcher can see it. The host fills the first part before the
// launcher code runs; the seam fills the second part as the launcher code runs, so that the host
// can tell afterwards what the launcher saw and did. Plain data: no constructors, no ownership; the
// texts of the first part must outlive the run.
struct simulated_machine {
    // The medium: Windows paths that begin with `medium_root` ("D:\") name files below the host
    // folder `medium_dir`, each name matched without regard to ASCII letter case, as Windows does.
    const char* medium_root;
    const char* medium_dir;
    // What the module-name query answers: the launcher's own Windows path. Null: no name at all.
    const char* module_path;
    // The one registry key below HKEY_LOCAL_MACHINE that opens (matched without regard to case).
    // Null: the product is not installed and no key opens.
    const char* installed_key;
    bool has_default_value;         // the key has a default value ...
    const char* default_value;      // ... of this text, stored with its terminator
    // The one top-level window open on the machine. Null class: no window is open.
    const char* window_class;
    const char* window_title;       // null: the empty title
    // The configuration as the host has already read it. When `config_text` is not null, profile
    // reads of the path `config_path` (matched without regard to ASCII case) answer from its
    // `config_length` bytes, any other path reads as a missing file, and the medium folder is not
    // opened for them: a host that must bound what it reads (a FIFO, a device, a huge file where
    // the file should be) reads the file itself.
    const char* config_path;
    const char* config_text;
    unsigned long config_length;
    // The lead bytes of the machine's ANSI code page, 256 flags; null: a single-byte code page.
    const bool* lead_bytes;
    // Every start asks for administrator rights (Windows Vista and later, for a setup program).
    bool starts_need_elevation;
    // Tells whether a Windows path names an existing file; null: look in the medium folder. A host
    // that reaches the medium otherwise (an image, bounded reads) answers here.
    bool (*file_exists)(const void* context, const char* windows_path);
    const void* file_exists_context;

    // Filled by the seam; cleared by simulated_machine_use.
    unsigned profile_reads;         // text and integer reads of the configuration, together
    bool key_open_tried;
    char key_tried[260];            // the key path asked for, cut to fit
    bool key_opened;
    unsigned keys_closed;
    bool value_queried;
    bool value_found;
    bool window_looked_up;
    char looked_up_class[260];      // cut to fit
    bool looked_up_any_title;       // the lookup passed no title
    char looked_up_title[260];
    bool window_found;
    unsigned start_count;
    char started_command[1024];     // the last command line started (recorded, never run)
    unsigned shell_start_count;     // starts handed to the shell (when starts need elevation)
    char shell_program[1024];       // the last one's program and parameters, recorded, never run
    char shell_parameters[1024];
};

// Makes `used` the machine that every following seam call answers from, and clears what its
// second part recorded. A null `used` leaves the seam with no machine: then every file, key and
// window is absent and nothing is recorded. Not thread-safe: one machine at a time per process.
void simulated_machine_use(simulated_machine* used);

// Maps the Windows path `windows_path` on the medium of `described` to the host path of the file or
// folder it names, written into `host_path` (`capacity` bytes, always terminated when capacity >= 1).
// Each name below the medium root is looked up in its host folder without regard to ASCII letter
// case (an exact match wins); "." and ".." and repeated backslashes are resolved as Windows does.
// Returns false when the path is not below the medium root, a name is not found, or the host path
// does not fit. *case_differs (may be null) tells whether some name matched only ignoring case.
bool simulated_host_path(const simulated_machine* described, const char* windows_path, char* host_path,
                         unsigned capacity, bool* case_differs);
