// Tovinel check: what code pages the checker knows, and text made safe for a terminal.
// Portable: the conversions themselves live in codepage_iconv.cpp.
#include "formats/encoding.h"

bool codepage_known(unsigned codepage)
{
    return codepage == 874 || codepage == 932 || codepage == 936 || codepage == 949 || codepage == 950 ||
           (codepage >= 1250 && codepage <= 1258);
}

const unsigned codepages_known[14] = {874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};

const char* codepage_language(unsigned codepage)
{
    switch (codepage) {
    case 874: return "Thai";
    case 932: return "Japanese";
    case 936: return "Chinese, simplified";
    case 949: return "Korean";
    case 950: return "Chinese, traditional";
    case 1250: return "Central European";
    case 1251: return "Cyrillic";
    case 1252: return "Western European";
    case 1253: return "Greek";
    case 1254: return "Turkish";
    case 1255: return "Hebrew";
    case 1256: return "Arabic";
    case 1257: return "Baltic";
    case 1258: return "Vietnamese";
    default: return "unknown";
    }
}

bool codepage_is_lead_byte(unsigned codepage, unsigned char byte)
{
    // The lead-byte ranges that GetCPInfo reports for the double-byte ANSI code pages.
    switch (codepage) {
    case 932:
        return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950:
        return byte >= 0x81 && byte <= 0xFE;
    default:
        return false;
    }
}

size_t codepage_name_start(unsigned codepage, const std::string& path)
{
    size_t start = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '\\')
            start = i + 1;
        else if (codepage_is_lead_byte(codepage, static_cast<unsigned char>(path[i])) && i + 1 < path.size())
            ++i;
    }
    return start;
}

size_t utf8_length(const std::string& text, size_t at)
{
    auto byte = [&](size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
    unsigned first = byte(at);
    auto follows = [&](size_t i) { return (byte(i) & 0xC0u) == 0x80u; };
    if (first < 0x80)
        return 1;
    if (first >= 0xC2 && first <= 0xDF)
        return follows(at + 1) ? 2 : 0;
    if (first >= 0xE0 && first <= 0xEF) {
        unsigned second = byte(at + 1);
        bool range = first == 0xE0 ? second >= 0xA0 : first == 0xED ? second < 0xA0 : true;
        return range && follows(at + 1) && follows(at + 2) ? 3 : 0;
    }
    if (first >= 0xF0 && first <= 0xF4) {
        unsigned second = byte(at + 1);
        bool range = first == 0xF0 ? second >= 0x90 : first == 0xF4 ? second < 0x90 : true;
        return range && follows(at + 1) && follows(at + 2) && follows(at + 3) ? 4 : 0;
    }
    return 0;
}

namespace {

const char hex_digits[] = "0123456789ABCDEF";

void append_hex(std::string* out, const char* prefix, unsigned value)
{
    *out += prefix;
    *out += hex_digits[(value >> 4) & 0xF];
    *out += hex_digits[value & 0xF];
}

}  // namespace

std::string ascii_lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool is_utf8(const std::string& text)
{
    for (size_t at = 0; at < text.size();) {
        size_t length = utf8_length(text, at);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

std::string shown(const std::string& text, size_t most)
{
    std::string out;
    size_t characters = 0;
    size_t at = 0;
    for (; at < text.size() && characters < most; ++characters) {
        unsigned char first = static_cast<unsigned char>(text[at]);
        size_t length = utf8_length(text, at);
        if (length == 0) {
            append_hex(&out, "\\x", first);
            ++at;
        } else if (first < 0x20 || first == 0x7F) {
            append_hex(&out, "\\x", first);
            ++at;
        } else if (first == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0) {
            // C1 controls: some terminals take U+009B as the start of a command.
            append_hex(&out, "\\u00", static_cast<unsigned char>(text[at + 1]));
            at += 2;
        } else {
            out.append(text, at, length);
            at += length;
        }
    }
    if (at < text.size())
        out += "... (" + std::to_string(text.size()) + " bytes)";
    return out;
}
