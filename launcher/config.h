// Tovinel: the two reads of Tovinel.ini, the launcher's only configuration.
// Names of the sections and keys it reads, and the sizes of the buffers they fill.
#pragma once

const unsigned path_capacity = 260;   // paths, key paths, registry data, Run, command lines
const unsigned window_text_capacity = 80;  // WindowClass, WindowTitle

inline constexpr char config_file_name[] = "Tovinel.ini";
inline constexpr char section_application[] = "Application";
inline constexpr char section_setup[] = "Setup";
inline constexpr char key_reg_key[] = "RegKey";
inline constexpr char key_start[] = "Start";
inline constexpr char key_window_class[] = "WindowClass";
inline constexpr char key_window_title[] = "WindowTitle";
inline constexpr char key_run[] = "Run";

// Reads text value `key` of `section` from the file at `config_path` into `buffer` (`capacity`
// bytes). Returns the length of the text left in the buffer, whatever count the platform gave: 0
// when the key is absent, its value is empty or the file is missing, which the callers all treat alike. A longer value is cut to capacity - 1 bytes and
// still counts as present. The buffer is always terminated.
unsigned read_text_value(const char* config_path, const char* section, const char* key,
                         char* buffer, unsigned capacity);

// Reads integer value `key` of `section`; `default_value` when absent. Only zero or nonzero matters.
unsigned read_integer_value(const char* config_path, const char* section, const char* key,
                            int default_value);
