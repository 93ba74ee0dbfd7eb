// Tovinel check, command line and reports: what the command-line tool needs from the system it runs
// on: its arguments, its output, and the machine. console_posix.cpp for Linux, console_win32.cpp
// for tovinel-check.exe.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Writes UTF-8 `text` to `stream` (stdout or stderr) whole. A Windows console gets it as UTF-16, so
// every character shows whatever the console's code page; a file or a pipe gets the UTF-8 bytes.
void console_write(FILE* stream, const std::string& text);

// Tells whether this build can read the machine it runs on (--this-machine): Windows only.
bool console_reads_this_machine();

// The ANSI code page of this machine, which the launcher reads Tovinel.ini in (Windows only).
unsigned console_this_machine_codepage();

// The medium path as the user typed it, made usable: on Windows "E:" is the root "E:\" (not the
// current folder of E:), and a trailing '"' left by the runtime's reading of "E:\" is dropped.
std::string console_medium_path(const std::string& typed);

#ifdef _WIN32
// The wide arguments Windows hands over, as UTF-8.
std::vector<std::string> console_arguments(int argc, wchar_t** argv);
#endif
