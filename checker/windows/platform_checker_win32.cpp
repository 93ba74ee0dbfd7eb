// Tovinel check: the platform seam of tovinel-check.exe, which needs both seams in one program: the
// simulated machine for a check, and this machine's own reads for --this-machine.
//
// The launcher's Windows seam (platform_win32.cpp) and the simulated one (platform_posix.cpp) are
// compiled here once more, each inside its own namespace, so that not one line of either is copied:
// --this-machine reads Tovinel.ini, the registry and the window list with exactly the calls
// tovinel.exe makes. Each seam function below goes to the one in use. While this machine is read,
// every call is also recorded in a simulated_machine's record, which the checker's explanation reads
// as it reads a simulated run; the start is only recorded, never made, and the module name is the
// launcher's path on the medium, not this checker's own.
#include <windows.h>

// Every header the two seams include comes first, outside the namespaces, so that their own
// includes add nothing inside them.
#include <dirent.h>
#include <shellapi.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

#include "ini_reader.h"
#include "platform.h"
#include "simulated_machine.h"
#include "text.h"
#include "windows/this_machine.h"

namespace real_seam {
#include "platform_win32.cpp"
}  // namespace real_seam

// Inside the namespace its two functions of simulated_machine.h take other names: with the global
// declarations in sight, argument-dependent lookup would find both for each call.
#define simulated_machine_use simulated_seam_use
#define simulated_host_path simulated_seam_host_path
namespace simulated_seam {
// Declared ahead, as simulated_machine.h declares it for the file's earlier callers.
bool simulated_host_path(const simulated_machine* described, const char* windows_path, char* host_path,
                         unsigned capacity, bool* case_differs);
#include "platform_posix.cpp"
}  // namespace simulated_seam
#undef simulated_machine_use
#undef simulated_host_path

namespace {

// Not null while this machine is read: the record that every seam call fills.
simulated_machine* recording;
this_machine_profile_read* profile_log;
unsigned profile_log_capacity;
unsigned profile_log_count;

void log_profile_read(const char* section, const char* key, bool is_int, const char* text, unsigned value)
{
    ++recording->profile_reads;
    if (profile_log_count == profile_log_capacity)
        return;
    this_machine_profile_read& entry = profile_log[profile_log_count++];
    simulated_seam::copy_cut(entry.section, sizeof entry.section, section);
    simulated_seam::copy_cut(entry.key, sizeof entry.key, key);
    entry.is_int = is_int;
    simulated_seam::copy_cut(entry.text, sizeof entry.text, text);
    entry.value = value;
}

}  // namespace

void this_machine_use(simulated_machine* record, this_machine_profile_read* reads, unsigned capacity)
{
    // The simulated seam answers the module name from record->module_path; nothing else of it runs.
    simulated_seam::simulated_seam_use(record);
    recording = record;
    profile_log = reads;
    profile_log_capacity = reads != nullptr ? capacity : 0;
    profile_log_count = 0;
}

unsigned this_machine_profile_reads()
{
    return profile_log_count;
}

void simulated_machine_use(simulated_machine* used)
{
    recording = nullptr;
    simulated_seam::simulated_seam_use(used);
}

bool simulated_host_path(const simulated_machine* described, const char* windows_path, char* host_path,
                         unsigned capacity, bool* case_differs)
{
    return simulated_seam::simulated_seam_host_path(described, windows_path, host_path, capacity, case_differs);
}

unsigned platform_read_profile_text(const char* config_path, const char* section, const char* key, char* buffer,
                                    unsigned capacity)
{
    if (recording == nullptr)
        return simulated_seam::platform_read_profile_text(config_path, section, key, buffer, capacity);
    unsigned count = real_seam::platform_read_profile_text(config_path, section, key, buffer, capacity);
    log_profile_read(section, key, false, count < capacity ? buffer : "", count);
    return count;
}

unsigned platform_read_profile_int(const char* config_path, const char* section, const char* key,
                                   int default_value)
{
    if (recording == nullptr)
        return simulated_seam::platform_read_profile_int(config_path, section, key, default_value);
    unsigned value = real_seam::platform_read_profile_int(config_path, section, key, default_value);
    log_profile_read(section, key, true, "", value);
    return value;
}

bool platform_open_machine_key(const char* key_path, platform_handle* key)
{
    if (recording == nullptr)
        return simulated_seam::platform_open_machine_key(key_path, key);
    recording->key_open_tried = true;
    simulated_seam::copy_cut(recording->key_tried, sizeof recording->key_tried, key_path);
    recording->key_opened = real_seam::platform_open_machine_key(key_path, key);
    return recording->key_opened;
}

bool platform_query_default_value(platform_handle key, char* data, unsigned* size)
{
    if (recording == nullptr)
        return simulated_seam::platform_query_default_value(key, data, size);
    recording->value_queried = true;
    recording->value_found = real_seam::platform_query_default_value(key, data, size);
    return recording->value_found;
}

void platform_close_key(platform_handle key)
{
    if (recording == nullptr) {
        simulated_seam::platform_close_key(key);
        return;
    }
    ++recording->keys_closed;
    real_seam::platform_close_key(key);
}

bool platform_window_exists(const char* window_class, const char* window_title)
{
    if (recording == nullptr)
        return simulated_seam::platform_window_exists(window_class, window_title);
    recording->window_looked_up = true;
    simulated_seam::copy_cut(recording->looked_up_class, sizeof recording->looked_up_class, window_class);
    recording->looked_up_any_title = window_title == nullptr;
    simulated_seam::copy_cut(recording->looked_up_title, sizeof recording->looked_up_title,
                             window_title != nullptr ? window_title : "");
    recording->window_found = real_seam::platform_window_exists(window_class, window_title);
    return recording->window_found;
}

start_result platform_start_program(const char* command_line)
{
    // Never started on this machine: the simulated seam only records it.
    return simulated_seam::platform_start_program(command_line);
}

bool platform_file_exists(const char* path)
{
    if (recording == nullptr)
        return simulated_seam::platform_file_exists(path);
    return real_seam::platform_file_exists(path);
}

void platform_shell_start(const char* program, const char* parameters)
{
    // Never started on this machine either.
    simulated_seam::platform_shell_start(program, parameters);
}

bool platform_is_lead_byte(unsigned char value)
{
    if (recording == nullptr)
        return simulated_seam::platform_is_lead_byte(value);
    return real_seam::platform_is_lead_byte(value);
}

unsigned platform_module_file_name(platform_handle instance, char* buffer, unsigned capacity)
{
    // The launcher's path on the medium, in both modes: GetModuleFileNameA would name this checker.
    return simulated_seam::platform_module_file_name(instance, buffer, capacity);
}
