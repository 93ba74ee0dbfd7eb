// Tovinel check, file formats and code pages: autorun.inf as Windows reads it: the [autorun]
// entries that start a program, its icon and its label, and where the program named there lies on
// the medium.
#pragma once

#include <string>

struct autorun_value {
    std::string text;       // as the profile reader gives it (ANSI), "" when absent
    unsigned line = 0;      // its line, 0 when absent
};

struct autorun_facts {
    autorun_value open;
    autorun_value shell_execute;
    autorun_value icon;
    autorun_value label;
    autorun_value action;    // the text AutoPlay shows for the program on a USB drive
};

// Reads the section `section` ("autorun", or one for a processor such as "autorun.amd64") of
// `ansi_text` (the file's bytes, or its UTF-16 text converted).
autorun_facts autorun_read(const std::string& ansi_text, const std::string& section = "autorun");

// Tells whether `ansi_text` has a section named `section` (letter case ignored): Windows reads a
// processor's section instead of [autorun] as soon as it is there, whatever it holds.
bool autorun_has_section(const std::string& ansi_text, const std::string& section);

// The program and the arguments of an open= or shellexecute= command: a quoted name ends at its
// closing quote, an unquoted one at its first blank. The program loses a leading ".\" or "\", for
// both count from the medium's root, and its backslashes are kept as they are.
struct autorun_command {
    std::string program;     // "" when the command names none
    std::string arguments;   // after the blanks that follow the program
};
autorun_command autorun_split(const std::string& command);

// The icon file that an icon= value names: the value without a ",N" resource index.
std::string autorun_icon_file(const std::string& icon);
