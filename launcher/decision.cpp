// Tovinel: the launch decision.
// Portable: it sees the system only through platform.h, so the native tests can play it whole.
#include "decision.h"

#include "command_split.h"
#include "config.h"
#include "platform.h"
#include "text.h"

// Composes `first`, `second`, one blank and `tail` into `command_line` and starts it. The blank is
// there even when the tail is empty, so that the tail, when there is one, never merges with the
// program part. When the whole would not fit, nothing is started: a cut command could name another
// program or hand it wrong arguments.
// Since Vista a program that asks for administrator rights (nearly every setup) cannot be started
// this way; only then is the same start handed to the shell, which asks the user's consent as
// Explorer does. Any other failure gets no second try.
static void start_composed(const char* first, const char* second, const char* tail)
{
    char command_line[path_capacity];
    command_line[0] = '\0';
    if (!text_append(command_line, path_capacity, first) ||
        !text_append(command_line, path_capacity, second) ||
        !text_append(command_line, path_capacity, " ") ||
        !text_append(command_line, path_capacity, tail))
        return;
    if (platform_start_program(command_line) != start_needs_elevation)
        return;
    char program[path_capacity];
    const char* parameters = split_command_line(command_line, program, path_capacity);
    if (parameters != nullptr)
        platform_shell_start(program, parameters);
}

// The root from which a Run value beginning with a backslash counts: "D:" for a folder on a lettered
// drive, "\\server\share" for a network folder. Shortens `launcher_folder` in place.
static void shorten_to_root(char* launcher_folder)
{
    if (launcher_folder[0] == '\\' && launcher_folder[1] == '\\') {
        // Keeping only the two backslashes would give "\\\SETUP.EXE", which names nothing; the share
        // ends at the fourth backslash. A folder without one keeps everything but its last backslash.
        // Character by character, as the launcher folder is found: a 0x5C trail byte in a double-byte
        // server or share name is no backslash.
        unsigned backslashes = 0;
        unsigned last_backslash = 0;
        for (unsigned i = 0; launcher_folder[i] != '\0'; i += character_size(launcher_folder + i)) {
            if (launcher_folder[i] != '\\')
                continue;
            last_backslash = i;
            if (++backslashes == 4)
                break;
        }
        if (backslashes > 2)
            launcher_folder[last_backslash] = '\0';
        return;
    }
    if (text_length(launcher_folder) > 2)
        launcher_folder[2] = '\0';
}

static void start_installed_application(const char* config_path, platform_handle key,
                                        const char* tail)
{
    if (read_integer_value(config_path, section_application, key_start, 0) == 0)
        return;

    char data[path_capacity];
    unsigned size = path_capacity;
    if (!platform_query_default_value(key, data, &size) || size > path_capacity)
        return;
    // The value may be of any type and need not end in a NUL. It is taken up to its first NUL; bytes
    // that hold none are taken whole only when a terminator still fits behind them.
    unsigned length = text_length_within(data, size);
    if (length == path_capacity)
        return;
    data[length] = '\0';
    start_composed(data, "", tail);
}

static bool setup_window_open(const char* config_path)
{
    char window_class[window_text_capacity];
    char window_title[window_text_capacity];
    unsigned class_length = read_text_value(config_path, section_setup, key_window_class,
                                            window_class, window_text_capacity);
    unsigned title_length = read_text_value(config_path, section_setup, key_window_title,
                                            window_title, window_text_capacity);
    if (class_length == 0 && title_length == 0)
        return false;
    // The class is passed even when empty, never as null; an empty title means any title.
    return platform_window_exists(window_class, title_length != 0 ? window_title : nullptr);
}

static void start_setup(const char* config_path, char* launcher_folder, const char* tail)
{
    if (setup_window_open(config_path))
        return;

    char run[path_capacity];
    if (read_text_value(config_path, section_setup, key_run, run, path_capacity) == 0)
        return;
    if (run[0] == '\\')
        shorten_to_root(launcher_folder);
    start_composed(launcher_folder, run, tail);
}

void launch_decision(const char* config_path, char* launcher_folder, const char* tail)
{
    char key_path[path_capacity];
    platform_handle key = nullptr;
    if (read_text_value(config_path, section_application, key_reg_key, key_path, path_capacity) != 0 &&
        platform_open_machine_key(key_path, &key)) {
        start_installed_application(config_path, key, tail);
        platform_close_key(key);
        return;
    }
    start_setup(config_path, launcher_folder, tail);
}
