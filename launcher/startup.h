// Tovinel: start-up pieces of the launcher: the command-line tail, the launcher folder and the entry.
// Portable; the Windows entry point in main_win32.cpp only gathers what the platform hands over.
#pragma once

#include "config.h"
#include "platform.h"

// Program-wide state, owned by launcher_entry for the whole run. Plain data: the executable has no
// C runtime to run constructors.
extern platform_handle launcher_instance;
extern char launcher_folder[path_capacity];

// The command-line tail of `command_line`: what follows the program name (quoted or not) and the
// bytes 0x01 to 0x20 after it. A pointer into `command_line`, possibly to its terminator. Inside a
// quoted name a lead byte of the ANSI code page takes the next byte with it, so a trail byte of
// 0x22 does not close the name; the scan never passes the terminator.
const char* command_line_tail(const char* command_line);

// Fills launcher_folder with the folder of the running executable, trailing backslash included
// (D:\ or D:\TOOLS\). With no file name it stays empty; a name without a backslash is kept whole.
// A trail byte of 0x5C in a double-byte name is part of its character, not a backslash.
// Returns false when the folder cannot be trusted (the platform cut the module path) or leaves no
// room for the configuration file name: then the launcher must read and start nothing.
bool fill_launcher_folder();

// The launcher's entry: records `instance`, fills the folder, forms the configuration path and runs
// the launch decision once with `tail`. A second launcher behaves like the first, so the previous
// instance is not consulted; nor is `show_state`, since what is started is always shown normally.
// Returns the exit code, 0 on every path.
unsigned launcher_entry(platform_handle instance, platform_handle previous_instance, const char* tail,
                        int show_state);
