// Tovinel tests: the texts tovinel-brand accepts for the version record, as they arrive from Linux
// (UTF-8 bytes) and from Windows (UTF-16 units, an unpaired surrogate among them).
#include <gtest/gtest.h>

#include "base/text.h"

namespace {

struct text_case {
    const char* name;
    std::u16string units;  // from Windows; empty: `bytes` from Linux
    std::string bytes;
    const char* refusal;  // words of the refusal, "" when accepted
};

TEST(BrandText, VersionTexts)
{
    const text_case cases[] = {
        {"plain", u"", "Sternkarte 2027", ""},
        {"beyond the BMP, from Windows", u"Atlas \xD83D\xDE00", "", ""},
        {"unpaired high surrogate", u"M\xD83D", "", "an unpaired UTF-16 surrogate (U+D83D)"},
        {"unpaired low surrogate first", u"\xDE00M", "", "an unpaired UTF-16 surrogate (U+DE00)"},
        {"Latin-1 byte", u"", "M\xFCller", "a byte that is not UTF-8 (0xFC at byte 2)"},
        {"overlong slash", u"", "a\xC0\xAF", "a byte that is not UTF-8 (0xC0 at byte 2)"},
        {"cut sequence", u"", "\xE2\x82", "a byte that is not UTF-8 (0xE2 at byte 1)"},
        {"past U+10FFFF", u"", "\xF4\x90\x80\x80", "a byte that is not UTF-8"},
        {"tab", u"", "a\tb", "the control character U+0009"},
        {"C1 control", u"", "a\xC2\x85", "the control character U+0085"},
        {"installer word, any case", u"", "UpGrade Tool", "holds 'upgrade'"},
    };
    for (const text_case& c : cases) {
        std::string text = c.units.empty() ? c.bytes : utf8_from_utf16(c.units);
        std::string refusal = version_text_refusal("--product", "ProductName", text);
        if (*c.refusal == '\0') {
            EXPECT_EQ("", refusal) << c.name;
            std::u16string units;
            std::string why;
            ASSERT_TRUE(utf16_from_utf8(text, &units, &why)) << c.name;
            if (!c.units.empty()) {
                EXPECT_TRUE(units == c.units) << c.name << ": UTF-16 to UTF-8 and back";
            }
        } else {
            EXPECT_NE(std::string::npos, refusal.find(c.refusal)) << c.name << ": " << refusal;
        }
    }
}

}  // namespace
