// Tovinel: reader of initialization (.ini) files, the stand-in for the Windows profile functions.
// Reads one value from file text in memory or from a file by path, with fixed buffers only.
#pragma once

// Reads the value of `key` in `section` from `length` bytes of file text at `text` (any bytes,
// NULs included; `text` may be null when `length` is 0) into `buffer` (`capacity` bytes). Section
// and key match without regard to ASCII letter case, after leading and trailing spaces are dropped
// from both names. The value is cut to capacity - 1 bytes and always terminated when capacity >= 1;
// nothing is written when `buffer` is null or `capacity` is 0. Returns the number of bytes of value
// stored, without the terminator: an absent section, an absent key and an empty value all give 0.
// Null `section` or `key` gives 0. Mirrors GetPrivateProfileStringA(section, key, "", ...).
unsigned ini_read_text(const char* text, unsigned long length, const char* section, const char* key,
                       char* buffer, unsigned capacity);

// Reads the value of `key` in `section` from `length` bytes at `text` as an integer, the way
// GetPrivateProfileIntA does: `default_value` (as unsigned) when the key is absent or its value is
// empty; otherwise the number at the start of the value (leading blanks, one + or - sign, an optional
// 0x / 0o / 0b prefix, digits up to the first byte that is no digit of the base), kept modulo 2^32,
// with a negative number wrapped to unsigned. A value with no digits gives 0.
unsigned ini_read_int(const char* text, unsigned long length, const char* section, const char* key,
                      int default_value);

// As ini_read_text, with the text read from the file at `path`. A missing or unreadable file, and a
// file whose reading fails part way, read as empty: 0, with the buffer terminated.
unsigned ini_file_read_text(const char* path, const char* section, const char* key, char* buffer,
                            unsigned capacity);

// As ini_read_int, with the text read from the file at `path`; a missing or unreadable file gives
// `default_value`.
unsigned ini_file_read_int(const char* path, const char* section, const char* key, int default_value);
