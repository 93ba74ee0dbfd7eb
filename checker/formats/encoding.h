// Tovinel check, file formats and code pages: text as Windows reads it in an ANSI code page, and
// text made safe for a terminal. The conversions behind codepage_* are the host's (iconv here); the
// rest is portable.
#pragma once

#include <string>

// Tells whether the checker knows Windows code page `codepage` (874, 932, 936, 949, 950, 1250-1258).
bool codepage_known(unsigned codepage);

// The code pages codepage_known accepts, in ascending order.
extern const unsigned codepages_known[14];

// The script or region of a known code page, for people: "Japanese" for 932.
const char* codepage_language(unsigned codepage);

// Each conversion reads a code page that this machine's iconv lacks as 1252, the default.

// `bytes` in the ANSI code page `codepage`, as UTF-8. A byte or pair the code page does not map
// becomes U+FFFD, as it will never name a file. *exact (may be null) tells whether none did.
std::string codepage_to_utf8(unsigned codepage, const std::string& bytes, bool* exact);

// UTF-8 `text` in the ANSI code page `codepage`; a character it cannot hold becomes '?', as the
// ANSI functions of Windows give it. *exact (may be null) tells whether none did.
std::string utf8_to_codepage(unsigned codepage, const std::string& text, bool* exact);

// UTF-16LE code units (`bytes`, an odd last byte ignored) in the ANSI code page, '?' for what it
// cannot hold: what Windows NT's ANSI profile functions give for a file saved as UTF-16.
std::string utf16le_to_codepage(unsigned codepage, const std::string& bytes);

// Tells whether `byte` is a lead byte of a double-byte character in `codepage`.
bool codepage_is_lead_byte(unsigned codepage, unsigned char byte);

// Where the last name of the ANSI path `path` begins: just past its last backslash, read character
// by character as the launcher reads its own path, so that a trail byte 0x5C of a double-byte
// character is no backslash. 0 when the path holds none.
size_t codepage_name_start(unsigned codepage, const std::string& path);

// `text` with the ASCII capitals made small; every other byte as it is.
std::string ascii_lower(std::string text);

// The length of the UTF-8 character at `at` in `text`, 0 when none begins there (overlong forms,
// surrogates, values past U+10FFFF, a sequence cut short or a stray continuation byte).
size_t utf8_length(const std::string& text, size_t at);

// Tells whether `text` is well-formed UTF-8.
bool is_utf8(const std::string& text);

// `text` (UTF-8) made safe for a terminal: control characters (C0, DEL, C1) as \xNN or \u00NN,
// bytes that are not UTF-8 as \xNN, a backslash as it is. At most `most` characters are shown;
// a longer text ends in "..." and its length in bytes.
std::string shown(const std::string& text, size_t most = 100);
