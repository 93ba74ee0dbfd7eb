// Tovinel: tests of the .ini reader, played on text in memory and on the same text in a file.
// Each case runs through both entry points, so the file path cannot drift from the memory path.

#include "ini_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

// A literal with its length, so that embedded NULs count.
#define TEXT(literal) literal, sizeof(literal) - 1

struct TextCase {
    const char* name;
    const char* text;
    unsigned long length;
    const char* section;
    const char* key;
    unsigned capacity;
    unsigned expected_count;
    const char* expected_text;
};

const TextCase TEXT_CASES[] = {
    {"plain", TEXT("[s]\r\nk=v\r\n"), "s", "k", 80, 1, "v"},
    {"section and key in other case", TEXT("[SeCtIoN]\nKeY=Value\n"), "sEcTiOn", "kEy", 80, 5, "Value"},
    {"value keeps its case", TEXT("[s]\nk=MiXeD\n"), "s", "k", 80, 5, "MiXeD"},
    {"absent section", TEXT("[s]\nk=v\n"), "t", "k", 80, 0, ""},
    {"absent key", TEXT("[s]\nk=v\n"), "s", "j", 80, 0, ""},
    {"empty value", TEXT("[s]\nk=\nk2=x\n"), "s", "k", 80, 0, ""},
    {"empty text", TEXT(""), "s", "k", 80, 0, ""},
    {"key of another section", TEXT("[a]\nk=1\n[b]\nj=2\n"), "b", "k", 80, 0, ""},
    {"key before any section", TEXT("k=v\n[s]\n"), "", "k", 80, 0, ""},
    {"empty section name", TEXT("k=0\n[]\nk=v\n"), "", "k", 80, 1, "v"},
    {"empty key name", TEXT("[s]\n=v\n"), "s", "", 80, 1, "v"},
    {"UTF-16LE after its byte-order mark", TEXT("\xff\xfe[\0s\0]\0\n\0k\0=\0\xe9\0\x3b\x26v\0"), "s", "k", 80, 3,
     "\xe9?v"},
    {"UTF-16LE with an odd last byte", TEXT("\xff\xfe[\0s\0]\0\n\0k\0=\0v\0w"), "s", "k", 80, 1, "v"},
    {"byte-order mark alone", TEXT("\xff\xfe"), "s", "k", 80, 0, ""},
    {"FF without FE is text", TEXT("\xff\n[s]\nk=v"), "s", "k", 80, 1, "v"},
    {"single byte of text", TEXT("k"), "", "k", 80, 0, ""},
    {"UTF-16BE mark is text", TEXT("\xfe\xff\n[s]\nk=v"), "s", "k", 80, 1, "v"},
    {"comment line", TEXT("[s]\n;k=c\nk=v\n"), "s", "k", 80, 1, "v"},
    {"indented comment", TEXT("[s]\n \t;k=c\n"), "s", "k", 80, 0, ""},
    {"comment key never found", TEXT("[s]\n;k=c\n"), "s", ";k", 80, 0, ""},
    {"semicolon inside value", TEXT("[s]\nk=a ; b\n"), "s", "k", 80, 5, "a ; b"},
    {"blanks around names and value", TEXT(" \t[ \ts \t] \n \tk \t= \tv w \t\n"), "s", "k", 80, 3, "v w"},
    {"requested names lose spaces", TEXT("[s]\nk=v\n"), "  s ", " k  ", 80, 1, "v"},
    {"requested names keep tabs", TEXT("[s]\nk=v\n"), "\ts", "k", 80, 0, ""},
    {"text after bracket ignored", TEXT("[s] k=x\nk=v\n"), "s", "k", 80, 1, "v"},
    {"name ends at first bracket", TEXT("[s]x]\nk=v\n"), "s", "k", 80, 1, "v"},
    {"opening bracket inside name", TEXT("[[s]\nk=v\n"), "[s", "k", 80, 1, "v"},
    {"header without closing bracket", TEXT("[s  \nk=v\n"), "s", "k", 80, 1, "v"},
    {"closing bracket alone is a key line", TEXT("s]\nk=v\n"), "s", "k", 80, 0, ""},
    {"first of repeated keys", TEXT("[s]\nk=1\nK=2\n"), "s", "k", 80, 1, "1"},
    {"repeated section ignored", TEXT("[s]\na=1\n[t]\n[S]\nk=2\n"), "s", "k", 80, 0, ""},
    {"first of repeated sections", TEXT("[s]\nk=1\n[s]\nk=2\n"), "s", "k", 80, 1, "1"},
    {"line without equals hides later key", TEXT("[s]\nk\nk=v\n"), "s", "k", 80, 0, ""},
    {"line without equals elsewhere", TEXT("[s]\nj\nk=v\n"), "s", "k", 80, 1, "v"},
    {"equals inside value", TEXT("[s]\nk=a=b\n"), "s", "k", 80, 3, "a=b"},
    {"CR line ends", TEXT("[s]\rj=1\rk=v\r"), "s", "k", 80, 1, "v"},
    {"LF line ends", TEXT("[s]\nj=1\nk=v\n"), "s", "k", 80, 1, "v"},
    {"CRLF line ends", TEXT("[s]\r\nj=1\r\nk=v\r\n"), "s", "k", 80, 1, "v"},
    {"no final newline", TEXT("[s]\nk=value"), "s", "k", 80, 5, "value"},
    {"no final newline empty value", TEXT("[s]\nk="), "s", "k", 80, 0, ""},
    {"header is last line", TEXT("[s]"), "s", "k", 80, 0, ""},
    {"double quotes stripped", TEXT("[s]\nk= \" a b \" \n"), "s", "k", 80, 5, " a b "},
    {"single quotes stripped", TEXT("[s]\nk='x'\n"), "s", "k", 80, 1, "x"},
    {"only outer quotes stripped", TEXT("[s]\nk=\"'x'\"\n"), "s", "k", 80, 3, "'x'"},
    {"empty quotes", TEXT("[s]\nk=\"\"\n"), "s", "k", 80, 0, ""},
    {"mismatched quotes kept", TEXT("[s]\nk=\"x'\n"), "s", "k", 80, 3, "\"x'"},
    {"opening quote only kept", TEXT("[s]\nk=\"x\n"), "s", "k", 80, 2, "\"x"},
    {"single quote character kept", TEXT("[s]\nk=\"\n"), "s", "k", 80, 1, "\""},
    {"quotes inside value kept", TEXT("[s]\nk=a\"b\"\n"), "s", "k", 80, 4, "a\"b\""},
    {"cut at capacity", TEXT("[s]\nk=abcdef\n"), "s", "k", 4, 3, "abc"},
    {"exact fit", TEXT("[s]\nk=abc\n"), "s", "k", 4, 3, "abc"},
    {"one byte over", TEXT("[s]\nk=abcd\n"), "s", "k", 4, 3, "abc"},
    {"capacity one", TEXT("[s]\nk=abc\n"), "s", "k", 1, 0, ""},
    {"quoted cut at capacity", TEXT("[s]\nk=\"abcdef\"\n"), "s", "k", 4, 3, "abc"},
    {"quoted exact fit", TEXT("[s]\nk=\"abc\"\n"), "s", "k", 4, 3, "abc"},
    {"NUL ends value", TEXT("[s]\nk=ab\0cd\nj=2\n"), "s", "k", 80, 2, "ab"},
    {"NUL keeps blanks before it", TEXT("[s]\nk=ab \0cd\n"), "s", "k", 80, 3, "ab "},
    {"NUL ends key name", TEXT("[s]\nk\0junk=v\n"), "s", "k", 80, 1, "v"},
    {"NUL ends section name", TEXT("[s\0junk]\nk=v\n"), "s", "k", 80, 1, "v"},
    {"NUL before closing quote", TEXT("[s]\nk=\"ab\0\"\n"), "s", "k", 80, 3, "\"ab"},
    {"NUL lines are not breaks", TEXT("[s]\0\nk=v\0\n"), "s", "k", 80, 1, "v"},
    {"UTF-8 mark breaks first header", TEXT("\xEF\xBB\xBF[s]\nk=v\n"), "s", "k", 80, 0, ""},
    {"high bytes compare exactly", TEXT("[\xC9t\xE9]\nk=v\n"), "\xC9T\xE9", "k", 80, 1, "v"},
    {"DOS end-of-file mark is blank", TEXT("[s]\r\nk=v\x1A"), "s", "k", 80, 1, "v"},
};

struct TempFile {
    char path[64];
    explicit TempFile(const char* bytes, size_t length)
    {
        std::strcpy(path, "/tmp/tovinel_ini_XXXXXX");
        int file = mkstemp(path);
        EXPECT_GE(file, 0);
        EXPECT_EQ(write(file, bytes, length), static_cast<ssize_t>(length));
        close(file);
    }
    ~TempFile() { unlink(path); }
};

const unsigned GUARD = 16;
const char GUARD_BYTE = '\xA5';

// Plays one read through both entry points, in a buffer followed by guard bytes.
void expect_read(const char* name, const char* text, unsigned long length, const char* section,
                 const char* key, unsigned capacity, unsigned expected_count, const std::string& expected)
{
    TempFile file(text, length);
    for (int from_file = 0; from_file < 2; ++from_file) {
        std::string buffer(capacity + GUARD, GUARD_BYTE);
        unsigned count = from_file ? ini_file_read_text(file.path, section, key, &buffer[0], capacity)
                                   : ini_read_text(text, length, section, key, &buffer[0], capacity);
        SCOPED_TRACE(std::string(name) + (from_file ? " (file)" : " (memory)"));
        EXPECT_EQ(count, expected_count);
        EXPECT_EQ(std::string(buffer.c_str()), expected);
        EXPECT_EQ(buffer.find_first_not_of(GUARD_BYTE, capacity), std::string::npos) << "wrote past capacity";
    }
}

TEST(IniReadText, Scenarios)
{
    for (const TextCase& scenario : TEXT_CASES)
        expect_read(scenario.name, scenario.text, scenario.length, scenario.section, scenario.key,
                    scenario.capacity, scenario.expected_count, scenario.expected_text);
}

// Values longer than the buffer: the Windows MAX_PATH-style sizes the launcher uses.
TEST(IniReadText, LongValuesAreCutToCapacity)
{
    const std::string value = [] { std::string v; while (v.size() < 400) v += "0123456789abcdefghij"; return v; }();
    for (unsigned capacity : {80u, 260u}) {
        std::string plain = "[s]\nk=" + value + "\n";
        expect_read("plain", plain.data(), plain.size(), "s", "k", capacity, capacity - 1, value.substr(0, capacity - 1));
        std::string quoted = "[s]\nk=\"" + value + "\"\n";
        expect_read("quoted", quoted.data(), quoted.size(), "s", "k", capacity, capacity - 1, value.substr(0, capacity - 1));
        std::string fits = "[s]\nk=\"" + value.substr(0, capacity - 1) + "\"\n";
        expect_read("quoted fits", fits.data(), fits.size(), "s", "k", capacity, capacity - 1, value.substr(0, capacity - 1));
    }
}

TEST(IniReadText, MegabyteLines)
{
    const std::string huge(1 << 20, 'x');
    std::string before = "[s]\njunk=" + huge + "\n" + huge + "\nk=v";
    expect_read("key after huge lines", before.data(), before.size(), "s", "k", 80, 1, "v");
    std::string value = "[s]\r\nk=" + huge;
    expect_read("huge value", value.data(), value.size(), "s", "k", 260, 259, huge.substr(0, 259));
    std::string header = "[" + huge + "]\nk=v\n[s]\nk=w\n";
    expect_read("huge section name", header.data(), header.size(), "s", "k", 80, 1, "w");
}

TEST(IniReadText, RandomBytesStayInBounds)
{
    std::string noise(1 << 20, '\0');
    unsigned state = 12345;
    for (char& byte : noise) { state = state * 1103515245u + 12345u; byte = static_cast<char>(state >> 16); }
    for (unsigned capacity : {1u, 2u, 80u}) {
        std::string buffer(capacity + GUARD, GUARD_BYTE);
        unsigned count = ini_read_text(noise.data(), noise.size(), "s", "", &buffer[0], capacity);
        EXPECT_LT(count, capacity);
        EXPECT_EQ(buffer[count], '\0');
        EXPECT_EQ(buffer.find_first_not_of(GUARD_BYTE, capacity), std::string::npos);
    }
    std::string tail = noise + "\n[tovinel-end]\nk=v\n";
    expect_read("after noise", tail.data(), tail.size(), "tovinel-end", "k", 80, 1, "v");
}

TEST(IniReadText, NothingWrittenWithoutRoom)
{
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(ini_read_text(TEXT("[s]\nk=v\n"), "s", "k", buffer, 0), 0u);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(ini_read_text(TEXT("[s]\nk=v\n"), "s", "k", nullptr, 4), 0u);
    EXPECT_EQ(ini_read_text(TEXT("[s]\nk=v\n"), nullptr, "k", buffer, 4), 0u);
    EXPECT_EQ(buffer[0], '\0');
}

struct IntCase {
    const char* name;
    const char* text;
    unsigned long length;
    int default_value;
    unsigned expected;
};

const IntCase INT_CASES[] = {
    {"decimal", TEXT("[s]\nk=42\n"), 7, 42u},
    {"plus sign", TEXT("[s]\nk=+1\n"), 7, 1u},
    {"minus wraps", TEXT("[s]\nk=-1\n"), 7, 4294967295u},
    {"modulo 2^32", TEXT("[s]\nk=4294967297\n"), 7, 1u},
    {"negative modulo 2^32", TEXT("[s]\nk=-4294967297\n"), 7, 4294967295u},
    {"hex", TEXT("[s]\nk=0x1F\n"), 7, 31u},
    {"lower-case hex digits", TEXT("[s]\nk=0xff\n"), 7, 255u},
    {"hex digit a", TEXT("[s]\nk=0xa\n"), 7, 10u},
    {"hex digit A", TEXT("[s]\nk=0xA\n"), 7, 10u},
    {"a prefix letter after another digit is text", TEXT("[s]\nk=7b1\n"), 7, 7u},
    {"negative hex", TEXT("[s]\nk=-0x10\n"), 7, 4294967280u},
    {"octal", TEXT("[s]\nk=0o17\n"), 7, 15u},
    {"binary", TEXT("[s]\nk=0b101\n"), 7, 5u},
    {"upper-case prefix is text", TEXT("[s]\nk=0X1F\n"), 7, 0u},
    {"prefix without digits", TEXT("[s]\nk=0x\n"), 7, 0u},
    {"trailing text", TEXT("[s]\nk=42A94967297\n"), 7, 42u},
    {"no digits", TEXT("[s]\nk=B4294967297\n"), 7, 0u},
    {"a colon, between the digits and the letters, ends the number", TEXT("[s]\nk=1:5\n"), 7, 1u},
    {"! is no blank", TEXT("[s]\nk=!5\n"), 7, 0u},
    {"nor is a lone quote", TEXT("[s]\nk=\"5\n"), 7, 0u},
    {"leading blanks", TEXT("[s]\nk= \t 12\n"), 7, 12u},
    {"blank inside quotes", TEXT("[s]\nk=\" 12\"\n"), 7, 12u},
    {"empty value", TEXT("[s]\nk=\n"), -5, 4294967291u},
    {"empty quotes", TEXT("[s]\nk=''\n"), 3, 3u},
    {"absent key", TEXT("[s]\nj=1\n"), 9, 9u},
    {"only 29 bytes read", TEXT("[s]\nk=000000000000000000000000000001\n"), 7, 0u},
    {"29th byte counts", TEXT("[s]\nk=00000000000000000000000000001\n"), 7, 1u},
    // Present, so not the default.
    {"blanks only, in quotes: 0", TEXT("[s]\nk=\"   \"\n"), 7, 0u},
};

TEST(IniReadInt, Scenarios)
{
    for (const IntCase& scenario : INT_CASES) {
        SCOPED_TRACE(scenario.name);
        EXPECT_EQ(ini_read_int(scenario.text, scenario.length, "s", "k", scenario.default_value), scenario.expected);
        TempFile file(scenario.text, scenario.length);
        EXPECT_EQ(ini_file_read_int(file.path, "s", "k", scenario.default_value), scenario.expected);
    }
}

TEST(IniFile, MissingOrUnreadableFileReadsAsEmpty)
{
    char buffer[8] = "xxxxxxx";
    EXPECT_EQ(ini_file_read_text("/nonexistent/tovinel.ini", "s", "k", buffer, sizeof buffer), 0u);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(ini_file_read_int("/nonexistent/tovinel.ini", "s", "k", -2), 4294967294u);
    std::strcpy(buffer, "xxxxxxx");
    EXPECT_EQ(ini_file_read_text("/tmp", "s", "k", buffer, sizeof buffer), 0u);  // a directory
    EXPECT_STREQ(buffer, "");
}

// The file is read in pieces: the key line must be found wherever a piece boundary falls in it.
TEST(IniFile, KeyAcrossReadBoundaries)
{
    for (size_t padding = 4080; padding < 4100; ++padding) {
        std::string text = "[s]\n;" + std::string(padding, 'p') + "\n" + std::string(3 * 4096, ';') + "\r\nkey = \"value\"";
        SCOPED_TRACE(padding);
        expect_read("key at the end", text.data(), text.size(), "s", "key", 80, 5, "value");
    }
}

}  // namespace
