// Tovinel check, command line and reports: a Windows command line split into its arguments as the
// C runtime splits them, but with --installed's value as the publisher typed it, quotes included.
#pragma once

#include <string>
#include <vector>

// The arguments of `command_line` (as GetCommandLineW gives it) by the C runtime's rules: blanks and
// tabs part arguments, double quotes group blanks, 2n backslashes before a quote give n and the
// quote groups, 2n+1 give n and a literal quote, "" inside quotes is a literal quote, and the
// program's name (the first argument) ends at its closing quote or first blank, backslashes as they
// are. One exception, so that a registry value reaches the check as it is in the registry: in an
// argument that begins with --installed= (or in the argument after a lone --installed), the quotes
// typed within the value are kept, the way cmd and Windows PowerShell pass them on, unless the value
// already holds quotes of its own (typed as \", as bash or PowerShell 7 pass them on).
std::vector<std::wstring> typed_arguments(const std::wstring& command_line);
