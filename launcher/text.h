// Tovinel: bounded helpers for NUL-terminated 8-bit text in fixed-size buffers.
// The launcher links no C runtime, so these stand in for the few string functions it needs.
#pragma once

// Number of bytes before the first NUL of `text`.
unsigned text_length(const char* text);

// Number of bytes before the first NUL among the first `capacity` bytes of `bytes`, or `capacity`
// when there is none: never reads past the buffer.
unsigned text_length_within(const char* bytes, unsigned capacity);

// Appends `text` to the text already in `buffer` (`capacity` bytes) when the whole result and its
// terminator fit. Returns false, with `buffer` unchanged, when it would not: a cut text is never made.
bool text_append(char* buffer, unsigned capacity, const char* text);

// No ANSI code page of Windows has a lead byte below 0x81 (932: 0x81-0x9F and 0xE0-0xFC; 936, 949
// and 950: 0x81-0xFE), so every smaller byte is a character of its own.
const unsigned char lowest_lead_byte = 0x81;

// Bytes taken by the character at `text`: 2 for a lead byte of the ANSI code page with a byte after
// it, else 1. Only a byte from lowest_lead_byte up is asked of the platform, so that a run whose
// names are ASCII never asks. A lead byte directly before the terminator stands alone, so a scan
// stepping by this never passes the terminator.
unsigned character_size(const char* text);

// Bytes of `path` up to and including its last backslash; 0 when it has none. Found character by
// character: under a double-byte code page a trail byte of 0x5C (the second byte of "\x83\x5C" in
// code page 932) belongs to its character and is no backslash.
unsigned folder_part_length(const char* path);
