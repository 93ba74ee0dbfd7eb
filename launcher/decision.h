// Tovinel: the launch decision.
// Installed application, nothing, or the medium's setup program: chosen and started in one pass.
#pragma once

// Decides and starts at most one program, reading Tovinel.ini at `config_path`.
// - The product counts as installed when RegKey opens below HKEY_LOCAL_MACHINE. Then, with Start
//   nonzero, the key's default value followed by one blank and `tail` is started; otherwise nothing.
//   Run is never consulted once the key has opened, and the key is always closed again.
// - Otherwise nothing is started when a window of WindowClass (and WindowTitle, when set) exists or
//   Run is empty; else `launcher_folder`, Run, one blank and `tail` are started. A Run beginning with
//   a backslash counts from the folder's root: the folder is shortened in place to its drive
//   ("D:") or, on a network folder, to its share ("\\server\share").
// A command line that would not fit in 259 bytes, and registry data with no terminator within the
// buffer, start nothing rather than something cut. A start refused because the program needs
// administrator rights is handed to the shell, split into program and parameters as CreateProcess
// splits it (command_split.h); no other failure is retried. Never reports a failure.
void launch_decision(const char* config_path, char* launcher_folder, const char* tail);
