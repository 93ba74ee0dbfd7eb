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
