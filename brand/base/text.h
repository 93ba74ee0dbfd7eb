// Tovinel brand, the base of every layer: texts, what a version text may hold, and their conversions
// between UTF-8 (every text inside the tool) and UTF-16 (the version record's, and Windows' arguments).
#pragma once

#include <string>

// The UTF-16 units of the UTF-8 `text`; false with `why` when it is not UTF-8: a cut or overlong
// sequence, a byte that starts none, a surrogate (an unpaired one from Windows arrives so, see
// utf8_from_utf16), or a code point past U+10FFFF.
bool utf16_from_utf8(const std::string& text, std::u16string* units, std::string* why);

// The UTF-8 of the UTF-16 `units`. An unpaired surrogate is written in the three-byte form of its
// code point, which is not UTF-8: utf16_from_utf8 refuses it where the text is checked, by name.
std::string utf8_from_utf16(const std::u16string& units);

// The first installer word (setup, install, update, patch, upgrade; letter case ignored, inside
// words too) in `text`, or "" when it holds none.
std::string installer_word(const std::string& text);

// Why the UTF-8 `text` cannot be the version record's text `key` (named for people as `option`),
// or "" when it can: an installer word, a control character, or bytes that are not UTF-8.
std::string version_text_refusal(const std::string& option, const std::string& key, const std::string& text);
