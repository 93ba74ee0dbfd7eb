// Tovinel: the platform seam.
// Every operation the portable launcher code needs from the system, in the launcher's own terms.
#pragma once

// Opaque handle of the platform: a module instance or an open registry key.
typedef void* platform_handle;

// Reads the text value `key` of `section` from the initialization file `config_path` into `buffer`
// (`capacity` bytes, capacity >= 1), with the empty text as default. The text is cut to capacity - 1
// bytes and always terminated. Returns the number of bytes of text, without the terminator: an absent
// key, an empty value and a missing or unreadable file all give 0. Section and key match without
// regard to letter case. Windows: GetPrivateProfileStringA(section, key, "", buffer, capacity, path).
unsigned platform_read_profile_text(const char* config_path, const char* section, const char* key,
                                    char* buffer, unsigned capacity);

// Reads the integer value `key` of `section` from `config_path`; gives `default_value` when the key
// is absent, empty or the file is missing. Windows: GetPrivateProfileIntA(section, key, default, path).
unsigned platform_read_profile_int(const char* config_path, const char* section, const char* key,
                                   int default_value);

// Opens the registry key `key_path` below HKEY_LOCAL_MACHINE for reading. Returns true and sets *key
// when it opens; false (and *key untouched) otherwise. Windows: RegOpenKeyExA(HKEY_LOCAL_MACHINE,
// key_path, 0, KEY_READ, key) == 0.
bool platform_open_machine_key(const char* key_path, platform_handle* key);

// Queries the default (unnamed) value of an open key into `data`. *size holds the capacity of `data`
// on entry and the number of bytes stored on success. The bytes are returned as the registry holds
// them, whatever the value's type: they need not hold a terminator. Returns false when the value is
// absent or larger than the capacity. Windows: RegQueryValueExA(key, "", 0, &type, data, size) == 0.
bool platform_query_default_value(platform_handle key, char* data, unsigned* size);

// Closes a key opened by platform_open_machine_key. Windows: RegCloseKey.
void platform_close_key(platform_handle key);

// Tells whether a top-level window of class `window_class` (never null, possibly empty) exists whose
// whole title equals `window_title`, or of any title when `window_title` is null. Both compare
// without regard to letter case. Windows: FindWindowA(window_class, window_title) != 0.
bool platform_window_exists(const char* window_class, const char* window_title);

// What became of a start, in the launcher's terms. Started is zero, so that a fake platform left
// at its defaults starts what it is asked to.
enum start_result {
    start_started,
    start_failed,
    // Refused because the program asks for administrator rights, which only the shell can ask the
    // user for (Windows since Vista; never on earlier systems).
    start_needs_elevation,
};

// Starts the program that `command_line` names, with its arguments, shown normally, and does not
// wait for it. Windows: WinExec(command_line, SW_SHOW); above 31 is started, otherwise
// GetLastError() 740 (ERROR_ELEVATION_REQUIRED) needs elevation and anything else failed.
start_result platform_start_program(const char* command_line);

// Tells whether `path` names an existing file; false for a folder and for anything that cannot be
// examined. Windows: GetFileAttributesA(path) is neither INVALID_FILE_ATTRIBUTES nor a directory.
bool platform_file_exists(const char* path);

// Hands the start of `program` with `parameters` (possibly empty) to the shell, shown normally, as
// Explorer starts a program: it asks the user's consent when the program needs administrator
// rights. Does not wait for the program, and reports nothing. Windows: ShellExecuteExA with a
// zeroed SHELLEXECUTEINFOA but for SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI (the caller exits next and
// has no message loop; nothing is shown on failure), no verb, program, parameters and SW_SHOW; from
// SHELL32.DLL loaded at this call by its full path in the system folder, so that a run that never
// gets here loads no more than before.
void platform_shell_start(const char* program, const char* parameters);

// Tells whether `value` is a lead byte of a double-byte character in the system's ANSI code page.
// False for every byte on a single-byte code page, or where the code page cannot be had. The
// launcher asks only about bytes from 0x81 up (lowest_lead_byte in text.h: no code page has a lead
// byte below), so a run with ASCII names never asks. Windows: the lead-byte ranges of
// GetCPInfo(GetACP()), read at the first question and kept for the rest of the run.
bool platform_is_lead_byte(unsigned char value);

// Writes the full path of the module `instance` into `buffer` (`capacity` bytes). Returns the number
// of bytes written without a terminator, 0 when no name can be had. A path that does not fit is cut;
// the platform then returns `capacity` and may or may not have terminated the buffer, so a caller
// treats a result >= capacity as cut and terminates the buffer itself.
// Windows: GetModuleFileNameA(instance, buffer, capacity).
unsigned platform_module_file_name(platform_handle instance, char* buffer, unsigned capacity);
