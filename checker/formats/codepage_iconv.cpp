// Tovinel check: conversions between the ANSI code pages of Windows and Unicode, through iconv.
// A Windows build of the checker would use MultiByteToWideChar and WideCharToMultiByte instead.
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <utility>
#include <string>

#include "formats/encoding.h"

namespace {

std::string iconv_name(unsigned codepage)
{
    return "CP" + std::to_string(codepage);
}

// One converter per pair of names, opened once: a check converts millions of short texts.
iconv_t converter_for(const char* from, const char* to)
{
    static std::map<std::pair<std::string, std::string>, iconv_t> converters;
    auto key = std::make_pair(std::string(from), std::string(to));
    auto found = converters.find(key);
    if (found != converters.end())
        return found->second;
    iconv_t converter = iconv_open(to, from);
    converters[key] = converter;
    return converter;
}

// Bytes passed over where a unit does not convert: `skip`, or with 0 a UTF-8 character whole.
size_t unit_length(const char* at, size_t left, size_t skip)
{
    if (skip != 0)
        return std::min(skip, left);
    size_t length = 1;
    while (length < left && (static_cast<unsigned char>(at[length]) & 0xC0u) == 0x80u)
        ++length;
    return length;
}

// Converts `input` from `from` to `to`. Where a unit cannot be converted, `replacement` is written
// and the unit is passed over (see unit_length). False when iconv knows neither name.
bool convert(const char* from, const char* to, const std::string& input, size_t skip, const std::string& replacement,
             std::string* output, bool* exact)
{
    output->clear();
    if (exact != nullptr)
        *exact = true;
    iconv_t converter = converter_for(from, to);
    if (converter == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);   // a fresh shift state
    std::string in = input;
    char* in_at = in.empty() ? nullptr : &in[0];
    size_t in_left = in.size();
    char piece[4096];
    while (in_left > 0) {
        char* out_at = piece;
        size_t out_left = sizeof piece;
        size_t result = iconv(converter, &in_at, &in_left, &out_at, &out_left);
        output->append(piece, static_cast<size_t>(out_at - piece));
        if (result != static_cast<size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // EILSEQ or EINVAL: a unit that does not convert, or one cut short by the end of the text.
        *output += replacement;
        if (exact != nullptr)
            *exact = false;
        size_t passed = unit_length(in_at, in_left, skip);
        in_at += passed;
        in_left -= passed;
    }
    return true;
}

}  // namespace

std::string codepage_to_utf8(unsigned codepage, const std::string& bytes, bool* exact)
{
    std::string out;
    if (!convert(iconv_name(codepage).c_str(), "UTF-8", bytes, 1, "\xEF\xBF\xBD", &out, exact))
        convert("CP1252", "UTF-8", bytes, 1, "\xEF\xBF\xBD", &out, exact);
    return out;
}

std::string utf8_to_codepage(unsigned codepage, const std::string& text, bool* exact)
{
    std::string out;
    if (!convert("UTF-8", iconv_name(codepage).c_str(), text, 0, "?", &out, exact))
        convert("UTF-8", "CP1252", text, 0, "?", &out, exact);
    return out;
}

std::string utf16le_to_codepage(unsigned codepage, const std::string& bytes)
{
    std::string out;
    std::string even = bytes.substr(0, bytes.size() & ~static_cast<size_t>(1));
    // A lone surrogate or a character the code page lacks becomes one '?'.
    if (!convert("UTF-16LE", iconv_name(codepage).c_str(), even, 2, "?", &out, nullptr))
        convert("UTF-16LE", "CP1252", even, 2, "?", &out, nullptr);
    return out;
}
