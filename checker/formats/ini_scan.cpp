// Tovinel check: the lines of an .ini file, split by the profile reader's rules (simulated_windows/ini_reader.cpp):
// breaks at CR, LF or CRLF; ';' first starts a comment; '[' first a header ending at its first ']';
// a NUL ends the name or value it falls in, while the rest of the line still counts.
#include "formats/ini_scan.h"

#include "formats/encoding.h"

#include <algorithm>
#include <cstring>
#include <vector>

bool ini_is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1a';
}

std::string ini_trimmed(const std::string& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && ini_is_blank(text[begin]))
        ++begin;
    while (end > begin && ini_is_blank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

namespace {

// Longer names and values are kept cut: no name the launcher reads is anywhere near as long, and
// output shows only their start.
const size_t kept_most = 65536;

// The first `wanted` in [begin, end) of `text`, or `end`: never a search past the line.
size_t find_in(const std::string& text, size_t begin, size_t end, char wanted)
{
    const char* start = text.data() + begin;
    const void* found = memchr(start, wanted, end - begin);
    return found == nullptr ? end : begin + static_cast<size_t>(static_cast<const char*>(found) - start);
}

// The text of [begin, end) of `text` up to a NUL, trimmed at its start and, when no NUL cut it,
// at its end: the reader keeps blanks just before a NUL.
std::string name_text(const std::string& text, size_t begin, size_t end)
{
    while (begin < end && ini_is_blank(text[begin]))
        ++begin;
    size_t nul = find_in(text, begin, end, '\0');
    if (nul != end) {
        end = nul;
    } else {
        while (end > begin && ini_is_blank(text[end - 1]))
            --end;
    }
    return text.substr(begin, std::min(end - begin, kept_most));
}

// The line [begin, end) of `text`.
void scan_line(const std::string& text, size_t begin, size_t end, unsigned number,
               const std::function<void(const ini_line&)>& visit)
{
    size_t first = begin;
    while (first < end && ini_is_blank(text[first]))
        ++first;
    if (first == end)
        return;
    ini_line found;
    found.number = number;
    if (text[first] == ';') {
        found.kind = ini_line_kind::comment;
    } else if (text[first] == '[') {
        found.kind = ini_line_kind::section;
        size_t close = find_in(text, first + 1, end, ']');
        found.has_close = close != end;
        found.name = name_text(text, first + 1, close);
    } else {
        found.kind = ini_line_kind::key;
        size_t equals = find_in(text, first, end, '=');
        found.has_equals = equals != end;
        found.name = name_text(text, first, equals);
        if (found.has_equals)
            found.value = name_text(text, equals + 1, end);
    }
    visit(found);
}

}  // namespace

void ini_scan(const std::string& text, const std::function<void(const ini_line&)>& visit)
{
    unsigned number = 0;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos)
            end = text.size();
        ++number;
        scan_line(text, at, end, number, visit);
        at = end + (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n' ? 2 : 1);
    }
}

bool ini_same_name(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && ascii_lower(a) == ascii_lower(b);
}

size_t ini_name_distance(const std::string& a, const std::string& b)
{
    std::string small_a = ascii_lower(a);
    std::string small_b = ascii_lower(b);
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            size_t cost = small_a[i - 1] == small_b[j - 1] ? 0 : 1;
            row[j] = std::min(std::min(row[j] + 1, row[j - 1] + 1), diagonal + cost);
            diagonal = above;
        }
    }
    return row[b.size()];
}

unsigned ini_line_of(const std::string& text, const std::string& section, const std::string& key)
{
    unsigned found = 0;
    int state = 0;   // 0: before the section, 1: in it, 2: past it
    ini_scan(text, [&](const ini_line& line) {
        if (found != 0 || state == 2)
            return;
        if (line.kind == ini_line_kind::section) {
            state = state == 1 ? 2 : ini_same_name(line.name, section) ? 1 : 0;
        } else if (line.kind == ini_line_kind::key && state == 1 && ini_same_name(line.name, key)) {
            found = line.number;
        }
    });
    return found;
}
