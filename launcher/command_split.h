// Tovinel: splits a composed command line into program and parameters, where CreateProcess does.
// Needed only to hand a refused start to the shell, which takes the two apart.
#pragma once

// Writes into `program` (`capacity` bytes) the program that `command_line` names and returns its
// parameters: a pointer into `command_line`, past the blank that ends the program, up to its end
// (possibly its terminator), unchanged. The program is found as CreateProcess finds it:
// - A name in double quotes ends at its closing quote (the quotes are not part of it), or without
//   one at the end of the line; a lead byte takes its next byte with it, as in the tail rule. When
//   its last name has no extension, ".exe" is added. No file is looked for.
// - An unquoted line is tried at each blank (space or tab) from the left: the first part that names
//   an existing file is the program; a part whose last name has no extension is looked for with
//   ".exe" added, and then names the program with it. When no part names a file, the program is
//   the text up to the first blank.
// A part that does not fit in `capacity` bytes is skipped, never cut. Returns null, with `program`
// empty, when the program's name does not fit at all (a quoted one with the ".exe" it needs); an
// unquoted command line shorter than `capacity` always fits.
const char* split_command_line(const char* command_line, char* program, unsigned capacity);
