// Tovinel: the platform seam on a POSIX host: real profile reads and files from a medium folder, and
// a simulated machine (simulated_machine.h) for the registry, the windows and the program start.
#include "platform.h"

#include <dirent.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

#include "ini_reader.h"
#include "simulated_machine.h"

namespace {

simulated_machine* machine;

// Copies `text` into `buffer` (`capacity` >= 1 bytes), cut to fit and terminated.
void copy_cut(char* buffer, unsigned capacity, const char* text)
{
    size_t length = strlen(text);
    if (length > capacity - 1)
        length = capacity - 1;
    memcpy(buffer, text, length);
    buffer[length] = '\0';
}

// Appends `name` to the host folder `path` (holding `length` bytes of `capacity`) after a slash.
bool append_name(char* path, size_t* length, size_t capacity, const char* name, size_t name_length)
{
    if (*length + 1 + name_length + 1 > capacity)
        return false;
    path[(*length)++] = '/';
    memcpy(path + *length, name, name_length);
    *length += name_length;
    path[*length] = '\0';
    return true;
}

// Finds the entry of host folder `folder` named `name` (`name_length` bytes) without regard to ASCII
// case and appends its real name to the path. An exact match wins; among several that differ only
// in case (which a Windows medium cannot hold) the smallest name wins, so the answer is stable.
bool append_matching_entry(char* path, size_t* length, size_t capacity, const char* name,
                           size_t name_length, bool* case_differs)
{
    DIR* folder = opendir(path[0] != '\0' ? path : "/");
    if (folder == nullptr)
        return false;
    char best[256];
    best[0] = '\0';
    bool found = false;
    bool exact = false;
    while (struct dirent* entry = readdir(folder)) {
        if (strlen(entry->d_name) != name_length || strncasecmp(entry->d_name, name, name_length) != 0)
            continue;
        if (strncmp(entry->d_name, name, name_length) == 0) {
            copy_cut(best, sizeof best, entry->d_name);
            found = exact = true;
            break;
        }
        if (!found || strcmp(entry->d_name, best) < 0)
            copy_cut(best, sizeof best, entry->d_name);
        found = true;
    }
    closedir(folder);
    if (!found)
        return false;
    if (!exact)
        *case_differs = true;
    return append_name(path, length, capacity, best, name_length);
}

// Answers a profile read from the configuration text the host handed over; false when the machine
// has none, so the medium folder is read instead.
bool read_handed_config(const char* config_path, const char* section, const char* key, char* buffer,
                        unsigned capacity, unsigned* count)
{
    if (machine == nullptr || machine->config_text == nullptr)
        return false;
    if (machine->config_path == nullptr || strcasecmp(config_path, machine->config_path) != 0) {
        if (capacity != 0)
            buffer[0] = '\0';
        *count = 0;
        return true;
    }
    *count = ini_read_text(machine->config_text, machine->config_length, section, key, buffer, capacity);
    return true;
}

// The host path of the configuration file that the launcher names, or false when it is not there.
bool config_host_path(const char* config_path, char* host_path, unsigned capacity)
{
    return machine != nullptr && simulated_host_path(machine, config_path, host_path, capacity, nullptr);
}

// The part of `windows_path` below the medium root of `described`, possibly empty; null when the
// path is not on the medium. The root counts without its trailing backslash ("D:"), so that
// "D:" + "\SETUP.EXE" matches too.
const char* below_medium_root(const simulated_machine* described, const char* windows_path)
{
    size_t root_length = strlen(described->medium_root);
    while (root_length > 0 && described->medium_root[root_length - 1] == '\\')
        --root_length;
    if (strncasecmp(windows_path, described->medium_root, root_length) != 0 ||
        (windows_path[root_length] != '\\' && windows_path[root_length] != '\0'))
        return nullptr;
    return windows_path + root_length;
}

// The next name of a Windows path at *scan, past any repeated backslashes; *scan moves past the name.
// The name is empty at the end of the path.
const char* next_path_name(const char** scan, size_t* name_length)
{
    while (**scan == '\\')
        ++*scan;
    const char* name = *scan;
    while (**scan != '\0' && **scan != '\\')
        ++*scan;
    *name_length = static_cast<size_t>(*scan - name);
    return name;
}

}  // namespace

void simulated_machine_use(simulated_machine* used)
{
    machine = used;
    if (machine == nullptr)
        return;
    machine->profile_reads = 0;
    machine->key_open_tried = false;
    machine->key_tried[0] = '\0';
    machine->key_opened = false;
    machine->keys_closed = 0;
    machine->value_queried = false;
    machine->value_found = false;
    machine->window_looked_up = false;
    machine->looked_up_class[0] = '\0';
    machine->looked_up_any_title = false;
    machine->looked_up_title[0] = '\0';
    machine->window_found = false;
    machine->start_count = 0;
    machine->started_command[0] = '\0';
    machine->shell_start_count = 0;
    machine->shell_program[0] = '\0';
    machine->shell_parameters[0] = '\0';
}

bool simulated_host_path(const simulated_machine* described, const char* windows_path, char* host_path,
                         unsigned capacity, bool* case_differs)
{
    if (capacity == 0)
        return false;
    host_path[0] = '\0';
    bool differs = false;
    if (case_differs != nullptr)
        *case_differs = false;
    if (described == nullptr || described->medium_root == nullptr || described->medium_dir == nullptr)
        return false;
    const char* scan = below_medium_root(described, windows_path);
    if (scan == nullptr)
        return false;

    size_t length = strlen(described->medium_dir);
    if (length + 1 > capacity)
        return false;
    memcpy(host_path, described->medium_dir, length + 1);
    while (length > 1 && host_path[length - 1] == '/')
        host_path[--length] = '\0';
    // Where each name began in host_path, so that ".." can step back; never above the medium root.
    size_t starts[128];
    unsigned depth = 0;
    while (*scan != '\0') {
        size_t name_length = 0;
        const char* name = next_path_name(&scan, &name_length);
        if (name_length == 0 || (name_length == 1 && name[0] == '.'))
            continue;
        if (name_length == 2 && name[0] == '.' && name[1] == '.') {
            if (depth > 0)
                host_path[length = starts[--depth]] = '\0';
            continue;
        }
        if (depth == sizeof starts / sizeof starts[0])
            return false;
        starts[depth++] = length;
        if (!append_matching_entry(host_path, &length, capacity, name, name_length, &differs)) {
            host_path[0] = '\0';
            return false;
        }
    }
    if (case_differs != nullptr)
        *case_differs = differs;
    return true;
}

unsigned platform_read_profile_text(const char* config_path, const char* section, const char* key,
                                    char* buffer, unsigned capacity)
{
    if (machine != nullptr)
        ++machine->profile_reads;
    unsigned handed = 0;
    if (read_handed_config(config_path, section, key, buffer, capacity, &handed))
        return handed;
    char host_path[4096];
    if (!config_host_path(config_path, host_path, sizeof host_path)) {
        if (capacity != 0)
            buffer[0] = '\0';
        return 0;
    }
    return ini_file_read_text(host_path, section, key, buffer, capacity);
}

unsigned platform_read_profile_int(const char* config_path, const char* section, const char* key,
                                   int default_value)
{
    if (machine != nullptr)
        ++machine->profile_reads;
    if (machine != nullptr && machine->config_text != nullptr) {
        if (machine->config_path == nullptr || strcasecmp(config_path, machine->config_path) != 0)
            return static_cast<unsigned>(default_value);
        return ini_read_int(machine->config_text, machine->config_length, section, key, default_value);
    }
    char host_path[4096];
    if (!config_host_path(config_path, host_path, sizeof host_path))
        return static_cast<unsigned>(default_value);
    return ini_file_read_int(host_path, section, key, default_value);
}

bool platform_open_machine_key(const char* key_path, platform_handle* key)
{
    if (machine == nullptr)
        return false;
    machine->key_open_tried = true;
    copy_cut(machine->key_tried, sizeof machine->key_tried, key_path);
    if (machine->installed_key == nullptr || strcasecmp(machine->installed_key, key_path) != 0)
        return false;
    machine->key_opened = true;
    *key = machine;
    return true;
}

bool platform_query_default_value(platform_handle key, char* data, unsigned* size)
{
    simulated_machine* owner = static_cast<simulated_machine*>(key);
    owner->value_queried = true;
    if (!owner->has_default_value || owner->default_value == nullptr)
        return false;
    // Stored as a string value with its terminator; too large a value reports its size, as
    // RegQueryValueExA does, and stores nothing.
    size_t value_size = strlen(owner->default_value) + 1;
    if (value_size > *size) {
        *size = static_cast<unsigned>(value_size);
        return false;
    }
    memcpy(data, owner->default_value, value_size);
    *size = static_cast<unsigned>(value_size);
    owner->value_found = true;
    return true;
}

void platform_close_key(platform_handle key)
{
    ++static_cast<simulated_machine*>(key)->keys_closed;
}

bool platform_window_exists(const char* window_class, const char* window_title)
{
    if (machine == nullptr)
        return false;
    machine->window_looked_up = true;
    copy_cut(machine->looked_up_class, sizeof machine->looked_up_class, window_class);
    machine->looked_up_any_title = window_title == nullptr;
    copy_cut(machine->looked_up_title, sizeof machine->looked_up_title, window_title != nullptr ? window_title : "");
    // An empty class names no registered class, so it finds no window, whatever the title.
    const char* open_title = machine->window_title != nullptr ? machine->window_title : "";
    machine->window_found = machine->window_class != nullptr && window_class[0] != '\0' &&
                            strcasecmp(machine->window_class, window_class) == 0 &&
                            (window_title == nullptr || strcasecmp(open_title, window_title) == 0);
    return machine->window_found;
}

start_result platform_start_program(const char* command_line)
{
    // What the machine is asked for is recorded, never run; it succeeds unless the machine says that
    // starts need administrator rights.
    if (machine == nullptr)
        return start_started;
    ++machine->start_count;
    copy_cut(machine->started_command, sizeof machine->started_command, command_line);
    return machine->starts_need_elevation ? start_needs_elevation : start_started;
}

bool platform_file_exists(const char* path)
{
    if (machine != nullptr && machine->file_exists != nullptr)
        return machine->file_exists(machine->file_exists_context, path);
    char host_path[4096];
    struct stat facts;
    return machine != nullptr && simulated_host_path(machine, path, host_path, sizeof host_path, nullptr) &&
           stat(host_path, &facts) == 0 && S_ISREG(facts.st_mode);
}

void platform_shell_start(const char* program, const char* parameters)
{
    if (machine == nullptr)
        return;
    ++machine->shell_start_count;
    copy_cut(machine->shell_program, sizeof machine->shell_program, program);
    copy_cut(machine->shell_parameters, sizeof machine->shell_parameters, parameters);
}

bool platform_is_lead_byte(unsigned char value)
{
    return machine != nullptr && machine->lead_bytes != nullptr && machine->lead_bytes[value];
}

unsigned platform_module_file_name(platform_handle /*instance*/, char* buffer, unsigned capacity)
{
    if (machine == nullptr || machine->module_path == nullptr || capacity == 0)
        return 0;
    size_t length = strlen(machine->module_path);
    if (length >= capacity) {
        // Cut, terminated, and reported as filling the buffer, as newer Windows does.
        copy_cut(buffer, capacity, machine->module_path);
        return capacity;
    }
    memcpy(buffer, machine->module_path, length + 1);
    return static_cast<unsigned>(length);
}
