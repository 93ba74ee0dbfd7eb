// Tovinel: start-up pieces of the launcher: the command-line tail, the launcher folder and the entry.
// Nothing here reports a failure: every path ends in the launch decision or in doing nothing.
#include "startup.h"

#include "decision.h"
#include "text.h"

platform_handle launcher_instance;
char launcher_folder[path_capacity];

const char* command_line_tail(const char* command_line)
{
    const unsigned char* scan = reinterpret_cast<const unsigned char*>(command_line);
    if (*scan == '"') {
        ++scan;
        // A lead byte takes its trail byte along, so a trail byte of 0x22 does not close the name.
        while (*scan != '\0' && *scan != '"')
            scan += character_size(reinterpret_cast<const char*>(scan));
        if (*scan == '"')
            ++scan;
    } else {
        while (*scan > ' ')
            ++scan;
    }
    while (*scan != '\0' && *scan <= ' ')
        ++scan;
    return reinterpret_cast<const char*>(scan);
}

bool fill_launcher_folder()
{
    unsigned written = platform_module_file_name(launcher_instance, launcher_folder, path_capacity);
    // A cut path, which some systems leave without a terminator, is dropped whole; any other is
    // terminated where the count says, so nothing after it is ever read.
    if (written >= path_capacity) {
        launcher_folder[0] = '\0';
        return false;
    }
    launcher_folder[written] = '\0';

    // Character by character: under code page 932 a launcher named "\x83\x5C.exe" lies in D:\.
    unsigned end = folder_part_length(launcher_folder);
    if (end != 0)
        launcher_folder[end] = '\0';
    return text_length(launcher_folder) + sizeof config_file_name <= path_capacity;
}

unsigned launcher_entry(platform_handle instance, platform_handle previous_instance, const char* tail,
                        int show_state)
{
    (void)previous_instance;
    (void)show_state;
    launcher_instance = instance;
    if (!fill_launcher_folder())
        return 0;

    char config_path[path_capacity];
    config_path[0] = '\0';
    // Cannot fail: fill_launcher_folder has left room for the file name.
    text_append(config_path, path_capacity, launcher_folder);
    text_append(config_path, path_capacity, config_file_name);
    launch_decision(config_path, launcher_folder, tail);
    return 0;
}
