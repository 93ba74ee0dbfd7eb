// Tovinel: reader of initialization (.ini) files, the stand-in for the Windows profile functions.
// A byte-at-a-time scanner that serves both a memory span and a file read in fixed-size pieces.

// Rules implemented (checked against Wine's dlls/kernel32/profile.c, its conformance tests in
// dlls/kernel32/tests/profile.c, which record Windows results, and published black-box tests of
// Windows; "Wine" below names places where Wine is known to behave otherwise):
//  1. Lines end at CR, at LF, and at the end of the text; CRLF is one break; empty lines are skipped.
//     A final line needs no line break. (Older Wine breaks lines at LF only.)
//  2. Blanks are space, tab, vertical tab, form feed and ^Z (0x1A, a DOS end-of-file mark found on
//     old media). Blanks are dropped at both ends of section names, key names and values.
//  3. A line whose first non-blank byte is ';' is a comment. A ';' anywhere else is ordinary text.
//  4. A line whose first non-blank byte is '[' is a section header. The name runs to the first ']'
//     or, lacking one, to the end of the line, and is trimmed; text after the ']' is ignored.
//     (Wine ends the name at the last ']' and takes a line without ']' as a key line.)
//  5. Any other line is a key line: the name is the text before the first '=' (trimmed), the value
//     the text after it (trimmed). A line without '=' is a key without a value: it reads as absent,
//     and, as in Wine, it hides a later line of the same name.
//  6. Section and key names compare without regard to ASCII letter case. Bytes 0x80-0xFF compare
//     exactly: Windows would also fold the letters of the ANSI code page, which needs a locale.
//  7. The requested names lose leading and trailing spaces (spaces only, as on Windows; Wine also
//     drops tabs). A requested key that starts with ';' is never found, for comments are no keys.
//  8. Only the first section of a name counts; a repeated section is ignored, as on Windows.
//     Within it, the first line of a key name wins. Lines before the first header belong to no
//     section; "[]" names the empty section, which the empty name "" reaches (Wine: unreachable).
//  9. One pair of outer quotes is stripped from a value when it is at least two bytes long and its
//     first byte, ' or ", equals its last; blanks inside the quotes stay. Mismatched quotes stay.
// 10. The value is cut to capacity - 1 bytes after the quotes are stripped. (Wine, when the text
//     inside the quotes is exactly capacity - 1 bytes, drops one byte more; we do not.)
// 11. A NUL byte ends the name or value it falls in, as a C string would (what Wine does, having
//     stored each line as a string): the rest of the line still counts when looking for '=' or ']',
//     but its bytes are not part of the text, and blanks just before the NUL are kept.
// 12. Integers: the value is read as text into a 30-byte buffer (at most 29 bytes, as Wine does)
//     and converted as RtlUnicodeStringToInteger with base 0 does: skip bytes <= ' ', one + or -,
//     lower-case prefix 0x / 0o / 0b for base 16 / 8 / 2, digits 0-9 then a-z / A-Z as 10-35 up to
//     the first byte that is no digit of the base, arithmetic modulo 2^32, negation on '-'.
//     Absent key or empty value gives the default; a value without digits gives 0.
// 13. A file that starts with the UTF-16LE byte-order mark FF FE is read as UTF-16LE, as Windows
//     does: each code unit becomes one byte, units above 0xFF become '?' (Windows would map them to
//     the ANSI code page, which needs a locale); an odd last byte is dropped. Any other byte-order
//     mark is ordinary text, as on Windows with UTF-8 (Wine decodes a UTF-8 mark as well).

#include "ini_reader.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

namespace {

// What the scanner expects next on the current line.
enum LinePart {
    LINE_START,        // blanks before the first byte that tells the kind of line
    SECTION_LEADING,   // blanks after '['
    SECTION_NAME,      // the section name, up to ']' or the line's end
    KEY_NAME,          // the key name, up to '='
    VALUE_LEADING,     // blanks after '='
    VALUE,             // the value, up to the line's end
    REST_OF_LINE       // bytes that cannot change the result
};

// Compares a name from the file, fed one byte at a time, with a requested name, without keeping the
// file's name: the name may be any length.
struct NameMatch {
    unsigned long long consumed;        // bytes of the name seen so far, leading blanks excluded
    unsigned long long trimmed_length;  // the name's length without trailing blanks (or up to a NUL)
    bool differs;                       // a byte within the requested length did not match
    bool ended_by_nul;
};

struct Scanner {
    const char* wanted_section;
    unsigned long wanted_section_length;
    const char* wanted_key;
    unsigned long wanted_key_length;
    char* buffer;
    unsigned capacity;

    LinePart part;
    NameMatch name;
    bool in_wanted_section;

    // The value of the wanted key. Up to `capacity` raw bytes are kept in `buffer`, one more than the
    // result may hold, so that dropping an opening quote still leaves capacity - 1 bytes.
    unsigned long long value_consumed;
    unsigned long long value_length;    // without trailing blanks, or up to a NUL
    unsigned char value_first_byte;
    unsigned char value_last_byte;      // the byte at value_length - 1
    unsigned char value_previous_byte;
    bool value_ended_by_nul;

    bool done;
    unsigned result;

    // The file's encoding (rule 13), told by its first two bytes.
    unsigned long long bytes_fed;
    unsigned char first_byte;      // held until the second byte tells the encoding
    unsigned char low_byte;        // UTF-16: the low byte of the code unit being assembled
    bool utf16;
};

bool is_blank(unsigned char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\v' || byte == '\f' || byte == 0x1A;
}

unsigned char fold_ascii_case(unsigned char byte)
{
    return (byte >= 'A' && byte <= 'Z') ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

void name_start(NameMatch* name)
{
    name->consumed = 0;
    name->trimmed_length = 0;
    name->differs = false;
    name->ended_by_nul = false;
}

void name_feed(NameMatch* name, const char* wanted, unsigned long wanted_length, unsigned char byte)
{
    if (name->ended_by_nul) return;
    if (byte == 0) {
        // The name ends here untrimmed: Wine trims the line first and cuts at the NUL later.
        name->ended_by_nul = true;
        name->trimmed_length = name->consumed;
        return;
    }
    // Bytes past the requested length need no comparison: they either are trailing blanks or make
    // the name too long, which the length check catches.
    if (name->consumed < wanted_length &&
        fold_ascii_case(byte) != fold_ascii_case(static_cast<unsigned char>(wanted[name->consumed])))
        name->differs = true;
    ++name->consumed;
    if (!is_blank(byte)) name->trimmed_length = name->consumed;
}

bool name_matches(const NameMatch* name, unsigned long wanted_length)
{
    return !name->differs && name->trimmed_length == wanted_length;
}

void finish_section_header(Scanner* scanner)
{
    if (scanner->in_wanted_section) {
        // Leaving the first section of the wanted name: later sections of that name do not count.
        scanner->done = true;
        return;
    }
    scanner->in_wanted_section = name_matches(&scanner->name, scanner->wanted_section_length);
}

void start_value(Scanner* scanner)
{
    scanner->value_consumed = 0;
    scanner->value_length = 0;
    scanner->value_first_byte = 0;
    scanner->value_last_byte = 0;
    scanner->value_previous_byte = 0;
    scanner->value_ended_by_nul = false;
}

void value_feed(Scanner* scanner, unsigned char byte)
{
    if (scanner->value_ended_by_nul) return;
    if (byte == 0) {
        scanner->value_ended_by_nul = true;
        scanner->value_length = scanner->value_consumed;
        scanner->value_last_byte = scanner->value_previous_byte;
        return;
    }
    if (scanner->value_consumed < scanner->capacity)
        scanner->buffer[scanner->value_consumed] = static_cast<char>(byte);
    if (scanner->value_consumed == 0) scanner->value_first_byte = byte;
    ++scanner->value_consumed;
    scanner->value_previous_byte = byte;
    if (!is_blank(byte)) {
        scanner->value_length = scanner->value_consumed;
        scanner->value_last_byte = byte;
    }
}

void finish_value(Scanner* scanner)
{
    unsigned long long text_offset = 0;
    unsigned long long text_length = scanner->value_length;
    const unsigned char first = scanner->value_first_byte;
    if (text_length >= 2 && (first == '"' || first == '\'') && scanner->value_last_byte == first) {
        text_offset = 1;
        text_length -= 2;
    }
    unsigned long long stored = text_length;
    if (stored > scanner->capacity - 1) stored = scanner->capacity - 1;
    if (text_offset != 0) memmove(scanner->buffer, scanner->buffer + 1, static_cast<size_t>(stored));
    scanner->buffer[stored] = '\0';
    scanner->result = static_cast<unsigned>(stored);
    scanner->done = true;
}

void end_line(Scanner* scanner)
{
    switch (scanner->part) {
    case SECTION_LEADING:
    case SECTION_NAME:
        finish_section_header(scanner);   // a header without ']' ends at the line's end
        break;
    case KEY_NAME:
        // A key line without '=': the key is there but has no value, and it hides later lines.
        if (name_matches(&scanner->name, scanner->wanted_key_length)) scanner->done = true;
        break;
    case VALUE_LEADING:
    case VALUE:
        finish_value(scanner);
        break;
    case LINE_START:
    case REST_OF_LINE:
        break;
    }
    scanner->part = LINE_START;
}

// Recursive only to hand the byte that ended a state on to the next one, which never hands it on again.
// NOLINTNEXTLINE(misc-no-recursion)
void scanner_feed(Scanner* scanner, unsigned char byte)
{
    if (byte == '\r' || byte == '\n') {
        end_line(scanner);
        return;
    }
    switch (scanner->part) {
    case LINE_START:
        if (is_blank(byte)) break;
        if (byte == '[') {
            name_start(&scanner->name);
            scanner->part = SECTION_LEADING;
        } else if (byte == ';' || !scanner->in_wanted_section) {
            // A comment, or a key line of a section not asked for.
            scanner->part = REST_OF_LINE;
        } else {
            name_start(&scanner->name);
            scanner->part = KEY_NAME;
            scanner_feed(scanner, byte);   // the byte may be the '=' of an empty name
        }
        break;
    case SECTION_LEADING:
        if (is_blank(byte)) break;
        scanner->part = SECTION_NAME;
        scanner_feed(scanner, byte);       // the byte may be the ']' of an empty name
        break;
    case SECTION_NAME:
        if (byte == ']') {
            finish_section_header(scanner);
            scanner->part = REST_OF_LINE;
        } else {
            name_feed(&scanner->name, scanner->wanted_section, scanner->wanted_section_length, byte);
        }
        break;
    case KEY_NAME:
        if (byte == '=') {
            if (name_matches(&scanner->name, scanner->wanted_key_length)) {
                start_value(scanner);
                scanner->part = VALUE_LEADING;
            } else {
                scanner->part = REST_OF_LINE;
            }
        } else {
            name_feed(&scanner->name, scanner->wanted_key, scanner->wanted_key_length, byte);
        }
        break;
    case VALUE_LEADING:
        if (is_blank(byte)) break;
        scanner->part = VALUE;
        value_feed(scanner, byte);
        break;
    case VALUE:
        value_feed(scanner, byte);
        break;
    case REST_OF_LINE:
        break;
    }
}

// Feeds one byte of the file, decoding UTF-16LE after its byte-order mark.
void scanner_feed_file_byte(Scanner* scanner, unsigned char byte)
{
    unsigned long long index = scanner->bytes_fed++;
    if (index == 0) {
        scanner->first_byte = byte;
    } else if (index == 1) {
        scanner->utf16 = scanner->first_byte == 0xFF && byte == 0xFE;
        if (!scanner->utf16) {
            scanner_feed(scanner, scanner->first_byte);
            if (!scanner->done) scanner_feed(scanner, byte);
        }
    } else if (!scanner->utf16) {
        scanner_feed(scanner, byte);
    } else if ((index & 1) == 0) {
        scanner->low_byte = byte;
    } else {
        scanner_feed(scanner, byte == 0 ? scanner->low_byte : static_cast<unsigned char>('?'));
    }
}

void scanner_feed_span(Scanner* scanner, const char* bytes, unsigned long long count)
{
    for (unsigned long long index = 0; index < count && !scanner->done; ++index)
        scanner_feed_file_byte(scanner, static_cast<unsigned char>(bytes[index]));
}

// The end of the text ends its last line, which needs no line break.
void scanner_finish(Scanner* scanner)
{
    if (scanner->bytes_fed == 1) scanner_feed(scanner, scanner->first_byte);
    if (!scanner->done) end_line(scanner);
}

// Drops leading and trailing spaces from a requested name, as Windows does (spaces only).
void trim_requested_name(const char* name, const char** start, unsigned long* length)
{
    while (*name == ' ') ++name;
    unsigned long name_length = static_cast<unsigned long>(strlen(name));
    while (name_length > 0 && name[name_length - 1] == ' ') --name_length;
    *start = name;
    *length = name_length;
}

// Prepares a scan; false when nothing can be found or stored, with the buffer terminated if it can be.
bool scanner_start(Scanner* scanner, const char* section, const char* key, char* buffer,
                   unsigned capacity)
{
    if (buffer == nullptr || capacity == 0) return false;
    buffer[0] = '\0';
    if (section == nullptr || key == nullptr) return false;
    memset(scanner, 0, sizeof *scanner);
    trim_requested_name(section, &scanner->wanted_section, &scanner->wanted_section_length);
    trim_requested_name(key, &scanner->wanted_key, &scanner->wanted_key_length);
    scanner->buffer = buffer;
    scanner->capacity = capacity;
    scanner->part = LINE_START;
    return true;
}

// Conversion of RtlUnicodeStringToInteger with base 0, on the text of a value.
unsigned convert_integer(const char* text)
{
    const unsigned char* cursor = reinterpret_cast<const unsigned char*>(text);
    while (*cursor != '\0' && *cursor <= ' ') ++cursor;
    bool negative = false;
    if (*cursor == '+') {
        ++cursor;
    } else if (*cursor == '-') {
        negative = true;
        ++cursor;
    }
    unsigned base = 10;
    if (cursor[0] == '0') {
        // Only lower-case prefixes count: "0X1" is the number 0 followed by text. A lone "0" has
        // its terminator next, which is no prefix letter.
        if (cursor[1] == 'x') base = 16;
        else if (cursor[1] == 'o') base = 8;
        else if (cursor[1] == 'b') base = 2;
        if (base != 10) cursor += 2;
    }
    // unsigned long has at least 32 bits; the mask keeps the arithmetic modulo 2^32 everywhere.
    unsigned long total = 0;
    for (;; ++cursor) {
        unsigned digit;
        if (*cursor >= '0' && *cursor <= '9') digit = *cursor - '0';
        else if (*cursor >= 'a' && *cursor <= 'z') digit = *cursor - 'a' + 10;
        else if (*cursor >= 'A' && *cursor <= 'Z') digit = *cursor - 'A' + 10;
        else break;
        if (digit >= base) break;
        total = (total * base + digit) & 0xFFFFFFFFUL;
    }
    if (negative) total = (0UL - total) & 0xFFFFFFFFUL;
    return static_cast<unsigned>(total);
}

// The size of Wine's buffer for the text of an integer value (29 bytes and the terminator).
const unsigned INTEGER_TEXT_CAPACITY = 30;

// Bytes read from a file at a time; any size works, the scanner keeps no line.
const unsigned FILE_READ_CHUNK = 4096;

}  // namespace

unsigned ini_read_text(const char* text, unsigned long length, const char* section, const char* key,
                       char* buffer, unsigned capacity)
{
    Scanner scanner;
    if (!scanner_start(&scanner, section, key, buffer, capacity)) return 0;
    if (text != nullptr) scanner_feed_span(&scanner, text, length);
    scanner_finish(&scanner);
    return scanner.result;
}

unsigned ini_read_int(const char* text, unsigned long length, const char* section, const char* key,
                      int default_value)
{
    char value[INTEGER_TEXT_CAPACITY];
    if (ini_read_text(text, length, section, key, value, sizeof value) == 0)
        return static_cast<unsigned>(default_value);
    return convert_integer(value);
}

unsigned ini_file_read_text(const char* path, const char* section, const char* key, char* buffer,
                            unsigned capacity)
{
    Scanner scanner;
    if (!scanner_start(&scanner, section, key, buffer, capacity)) return 0;
    if (path == nullptr) return 0;
    int file = open(path, O_RDONLY);
    if (file < 0) return 0;
    char chunk[FILE_READ_CHUNK];
    bool read_failed = false;
    while (!scanner.done) {
        ssize_t count = read(file, chunk, sizeof chunk);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) {
            read_failed = true;
            break;
        }
        if (count == 0) break;
        scanner_feed_span(&scanner, chunk, static_cast<unsigned long long>(count));
    }
    close(file);
    // A file that cannot be read to the end reads as empty, never as part of a value.
    if (read_failed) {
        buffer[0] = '\0';
        return 0;
    }
    scanner_finish(&scanner);
    return scanner.result;
}

unsigned ini_file_read_int(const char* path, const char* section, const char* key, int default_value)
{
    char value[INTEGER_TEXT_CAPACITY];
    if (ini_file_read_text(path, section, key, value, sizeof value) == 0)
        return static_cast<unsigned>(default_value);
    return convert_integer(value);
}
