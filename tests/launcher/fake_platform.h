// Tovinel tests: a fake platform made of fixed arrays, which records every call made through the seam.
// A test fills a fake_machine, plays the launcher code against it and compares the call transcript.
#pragma once

#include "platform.h"

struct fake_ini_entry {
    const char* section;
    const char* key;
    const char* value;
};

struct fake_registry_key {
    const char* path;          // below HKEY_LOCAL_MACHINE, matched without regard to case
    bool has_default_value;
    const char* data;          // the default value's bytes
    unsigned size;             // how many bytes of `data`; 0 means its text and terminator
    unsigned type;             // the value's type as Windows numbers it (1 REG_SZ, 3 REG_BINARY, ...)
};

struct fake_window {
    const char* window_class;
    const char* title;
};

// Inclusive, as the ANSI code page's information gives them: 932 has 0x81-0x9F and 0xE0-0xFC.
struct fake_lead_range {
    unsigned char first, last;
};

struct fake_machine {
    const char* config_path;               // where Tovinel.ini is; null: the file is missing
    const fake_ini_entry* ini;
    unsigned ini_count;
    const char* ini_text;                  // when set: the file's bytes, read by the INI stand-in
    unsigned long ini_length;              // (simulated_windows/ini_reader.h) instead of the `ini` entries
    const fake_registry_key* keys;
    unsigned key_count;
    const fake_window* windows;
    unsigned window_count;
    fake_lead_range lead_bytes[2];         // up to two ranges of lead bytes; {0, 0}: an unused one
    const char* module_path;               // what the module-name query writes; null: no name
    bool module_path_unterminated;         // a cut path is left without a terminator
    unsigned fail_call;                    // the Nth seam call (1-based) fails; 0: none fails
    unsigned profile_text_overcount;       // text reads report this many bytes more than they stored
    bool profile_text_fills_buffer;        // a value too long for the buffer fills all of it, with no
                                           // terminator, and the read reports the buffer's size
    const char* const* existing_files;     // the files that exist (matched without regard to case)
    unsigned existing_file_count;
    start_result start_answer;             // what every start answers; started by default
};

// Installs `machine` as the platform for the next calls and clears the transcript and counters.
void fake_install(const fake_machine& machine);

// The transcript of seam calls since fake_install, one line per call, e.g.
// "text Application/RegKey 260 = 3 'Abc'", "open 'SOFTWARE\X' = ok",
// "start 'D:\SETUP.EXE ' = needs elevation", "exists 'D:\SETUP.EXE' = yes", "shell 'D:\SETUP.EXE' ''".
const char* fake_transcript();

// How many seam calls were made, how many starts were tried (whatever they answered), keys opened
// and keys closed.
unsigned fake_call_count();
unsigned fake_start_count();
unsigned fake_open_key_count();
unsigned fake_closed_key_count();

// The command line of the last start, or null when nothing was started.
const char* fake_started_command();

// How many starts were handed to the shell, and the program and parameters of the last one (null
// when none was).
unsigned fake_shell_start_count();
const char* fake_shell_program();
const char* fake_shell_parameters();

// How many lead-byte questions were asked, and the smallest byte asked about (256 when none was).
unsigned fake_lead_byte_query_count();
unsigned fake_lowest_lead_byte_query();

// The configuration path of the last profile read, or null when none was made.
const char* fake_last_config_path();
