// Tovinel brand, the base of every layer: UTF-8 read strictly, UTF-16 written for the version record,
// and the words and characters a version text must not hold.
#include "base/text.h"

#include <cstdio>

namespace {

// The code point of the UTF-8 sequence at `*at`, which moves past it; -1 (at moved past the first
// byte only) for bytes that are not UTF-8, -2 for a surrogate.
long next_code_point(const std::string& text, size_t* at)
{
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned lead = byte(*at);
    size_t start = (*at)++;
    if (lead < 0x80)
        return static_cast<long>(lead);
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || start + length > text.size())
        return -1;
    long code = static_cast<long>(lead & (0x7Fu >> length));
    for (size_t i = 1; i < length; ++i) {
        if ((byte(start + i) & 0xC0) != 0x80)
            return -1;
        code = code << 6 | (byte(start + i) & 0x3F);
    }
    static const long smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF)
        return -1;
    *at = start + length;
    return code >= 0xD800 && code <= 0xDFFF ? -2 : code;
}

void append_utf8(std::string* out, unsigned long code)
{
    if (code < 0x80) {
        *out += static_cast<char>(code);
    } else if (code < 0x800) {
        *out += static_cast<char>(0xC0 | code >> 6);
        *out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        *out += static_cast<char>(0xE0 | code >> 12);
        *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | code >> 18);
        *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::string hex_code(const char* format, unsigned long value)
{
    char text[16];
    snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

bool utf16_from_utf8(const std::string& text, std::u16string* units, std::string* why)
{
    units->clear();
    for (size_t at = 0; at < text.size();) {
        size_t start = at;
        long code = next_code_point(text, &at);
        if (code == -2) {
            unsigned long unit = (static_cast<unsigned char>(text[start + 1]) & 0x3Fu) << 6 |
                                 (static_cast<unsigned char>(text[start + 2]) & 0x3Fu) | 0xD000u;
            *why = "an unpaired UTF-16 surrogate (" + hex_code("U+%04lX", unit) + ")";
            return false;
        }
        if (code < 0) {
            *why = "a byte that is not UTF-8 (" + hex_code("0x%02lX", static_cast<unsigned char>(text[start])) +
                   " at byte " + std::to_string(start + 1) + ")";
            return false;
        }
        if (code >= 0x10000) {
            units->push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            units->push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            units->push_back(static_cast<char16_t>(code));
        }
    }
    return true;
}

std::string utf8_from_utf16(const std::u16string& units)
{
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
        unsigned long code = units[i];
        bool high = code >= 0xD800 && code <= 0xDBFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF)
            code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00u);
        append_utf8(&out, code);
    }
    return out;
}

std::string installer_word(const std::string& text)
{
    std::string lowered = text;
    for (char& c : lowered)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    for (const char* word : {"setup", "install", "update", "patch", "upgrade"})
        if (lowered.find(word) != std::string::npos)
            return word;
    return "";
}

std::string version_text_refusal(const std::string& option, const std::string& key, const std::string& text)
{
    std::string named = option + " (" + key + ")";
    std::u16string units;
    std::string why;
    if (!utf16_from_utf8(text, &units, &why))
        return named + " holds " + why + ": give the texts in UTF-8";
    for (char16_t unit : units) {
        // C0, DEL and C1: a version text is one line of characters Explorer shows.
        if (unit < 0x20 || (unit >= 0x7F && unit < 0xA0))
            return named + " holds the control character " + hex_code("U+%04lX", unit) +
                   ": a version text is one line of characters";
    }
    std::string word = installer_word(text);
    if (!word.empty())
        return named + " '" + text + "' holds '" + word +
               "': Windows takes a program whose version texts say so for an installer and asks for "
               "administrator rights on every insertion of the medium; choose a text without setup, "
               "install, update, patch or upgrade (in any case, inside words too)";
    return "";
}
