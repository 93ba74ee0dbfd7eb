// Tovinel check, file formats and code pages: the lines of an .ini file as the profile reader sees
// them, one at a time. Finds where things are; the values themselves always come from the
// launcher's own reader.
#pragma once

#include <functional>
#include <string>

enum class ini_line_kind {
    comment,        // first non-blank byte ';'
    section,        // first non-blank byte '['
    key             // anything else that is not blank; also a line beginning with '#'
};

struct ini_line {
    unsigned number = 0;          // counted from 1; CRLF is one break, a lone CR or LF one each
    ini_line_kind kind = ini_line_kind::key;
    std::string name;             // the section's or key's name, trimmed and ended by a NUL as the reader does
    std::string value;            // a key's value, trimmed, outer quotes kept, ended by a NUL
    bool has_equals = false;      // a key line holds '='
    bool has_close = false;       // a section line holds ']'
};

// Calls `visit` for every line of `text` that is not blank, in order. Time and extra memory grow
// with the longest line at most; nothing of earlier lines is kept.
void ini_scan(const std::string& text, const std::function<void(const ini_line&)>& visit);

// The blanks of the profile reader: space, tab, vertical tab, form feed and ^Z.
bool ini_is_blank(char c);
std::string ini_trimmed(const std::string& text);

// The line of the key `key` in the first section named `section` (letter case ignored), the one
// the reader reads; 0 when there is none.
unsigned ini_line_of(const std::string& text, const std::string& section, const std::string& key);

// Tells whether two names are equal without regard to ASCII letter case.
bool ini_same_name(const std::string& a, const std::string& b);

// The edit distance (Levenshtein) between two names, ASCII letter case ignored. It costs the product
// of their lengths: for names a few bytes long.
size_t ini_name_distance(const std::string& a, const std::string& b);
