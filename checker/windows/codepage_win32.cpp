// Tovinel check: conversions between the ANSI code pages and Unicode on Windows, through the
// system's own tables (MultiByteToWideChar, WideCharToMultiByte); codepage_iconv.cpp elsewhere.
#include <windows.h>

#include <string>

#include "formats/encoding.h"

namespace {

// The Windows conversions take int counts: a longer text is converted in pieces of this many units.
const size_t piece_units = 1u << 20;

// Converts `bytes` whole, failing on any unit the code page does not map.
bool to_utf16_strict(unsigned codepage, const char* bytes, size_t length, std::wstring* out)
{
    out->clear();
    if (length == 0)
        return true;
    int units = MultiByteToWideChar(codepage, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(length), nullptr, 0);
    if (units <= 0)
        return false;
    out->resize(static_cast<size_t>(units));
    MultiByteToWideChar(codepage, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(length), &(*out)[0], units);
    return true;
}

// The bytes of the character that starts at `at`: a lead byte takes its trail byte, a UTF-8 lead
// byte its continuation bytes.
size_t unit_length(unsigned codepage, const std::string& bytes, size_t at)
{
    size_t length = 1;
    if (codepage == CP_UTF8) {
        while (at + length < bytes.size() && length < 4 && (static_cast<unsigned char>(bytes[at + length]) & 0xC0u) == 0x80u)
            ++length;
    } else if (IsDBCSLeadByteEx(codepage, static_cast<BYTE>(bytes[at])) && at + 1 < bytes.size()) {
        length = 2;
    }
    return length;
}

// `bytes` in `codepage` as UTF-16; where a unit (one byte, or a lead byte and its trail byte) does
// not convert, U+FFFD stands for its first byte and the next byte is tried, as the iconv build does.
std::wstring to_utf16(unsigned codepage, const std::string& bytes, bool* exact)
{
    std::wstring out;
    std::wstring piece;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t length = 0;
        // Whole characters only, so that no piece ends inside one.
        while (length < piece_units && at + length < bytes.size())
            length += unit_length(codepage, bytes, at + length);
        if (to_utf16_strict(codepage, bytes.data() + at, length, &piece)) {
            out += piece;
            at += length;
            continue;
        }
        // Slow path for this piece only: unit by unit.
        size_t end = at + length;
        while (at < end) {
            size_t unit = unit_length(codepage, bytes, at);
            if (to_utf16_strict(codepage, bytes.data() + at, unit, &piece)) {
                out += piece;
                at += unit;
            } else {
                out += static_cast<wchar_t>(0xFFFD);
                *exact = false;
                ++at;
            }
        }
    }
    return out;
}

// UTF-16 in `codepage` (CP_UTF8 included); what the code page cannot hold becomes '?'.
std::string from_utf16(unsigned codepage, const std::wstring& text, bool* exact)
{
    std::string out;
    for (size_t at = 0; at < text.size();) {
        size_t length = std::min(piece_units, text.size() - at);
        // Never split a surrogate pair.
        if (at + length < text.size() && text[at + length - 1] >= 0xD800 && text[at + length - 1] <= 0xDBFF)
            --length;
        BOOL defaulted = FALSE;
        bool utf8 = codepage == CP_UTF8;
        DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
        int size = WideCharToMultiByte(codepage, flags, text.data() + at, static_cast<int>(length), nullptr, 0,
                                       utf8 ? nullptr : "?", utf8 ? nullptr : &defaulted);
        std::string piece(static_cast<size_t>(size > 0 ? size : 0), '\0');
        if (size > 0)
            WideCharToMultiByte(codepage, flags, text.data() + at, static_cast<int>(length), &piece[0], size,
                                utf8 ? nullptr : "?", utf8 ? nullptr : &defaulted);
        if (defaulted)
            *exact = false;
        out += piece;
        at += length;
    }
    return out;
}

bool converts(unsigned codepage)
{
    CPINFO info;
    return GetCPInfo(codepage, &info) != FALSE;
}

}  // namespace

std::string codepage_to_utf8(unsigned codepage, const std::string& bytes, bool* exact)
{
    bool all = true;
    std::wstring wide = to_utf16(converts(codepage) ? codepage : 1252, bytes, &all);
    std::string out = from_utf16(CP_UTF8, wide, &all);
    if (exact != nullptr)
        *exact = all;
    return out;
}

std::string utf8_to_codepage(unsigned codepage, const std::string& text, bool* exact)
{
    bool all = true;
    // Invalid UTF-8 becomes U+FFFD here, and '?' in the code page.
    std::wstring wide = to_utf16(CP_UTF8, text, &all);
    std::string out = from_utf16(converts(codepage) ? codepage : 1252, wide, &all);
    if (exact != nullptr)
        *exact = all;
    return out;
}

std::string utf16le_to_codepage(unsigned codepage, const std::string& bytes)
{
    std::wstring wide(bytes.size() / 2, L'\0');
    for (size_t i = 0; i < wide.size(); ++i)
        wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    // A lone surrogate becomes '?' as well: WideCharToMultiByte has no character for it.
    bool ignored = true;
    return from_utf16(converts(codepage) ? codepage : 1252, wide, &ignored);
}
