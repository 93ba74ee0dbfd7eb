// Tovinel tests: answers profile queries with the INI stand-in, for the differential test.
// The native twin of tests/wine/profile_reader.cpp, which asks Wine's own profile functions.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ini_reader.h"

// Usage and formats as in tests/wine/profile_reader.cpp; files are named below BASE with '/'.
namespace {

std::string unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(strtoul(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 3;
        } else {
            out += text[i++];
        }
    }
    return out;
}

void write_escaped(FILE* out, const char* text, unsigned length)
{
    for (unsigned i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c > 0x20 && c < 0x7F && c != '%') fputc(c, out);
        else fprintf(out, "%%%02X", c);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) return 2;
    FILE* queries = fopen(argv[1], "rb");
    FILE* out = fopen(argv[3], "wb");
    if (queries == nullptr || out == nullptr) return 3;
    static char line[8192];
    static char value[4096];
    while (fgets(line, sizeof line, queries) != nullptr) {
        std::string fields[5];
        char* cursor = line;
        for (std::string& field : fields) {
            char* start = cursor;
            while (*cursor != '\0' && *cursor != '\t' && *cursor != '\n') ++cursor;
            field = unescape(std::string(start, cursor));
            if (*cursor != '\0') ++cursor;
        }
        std::string path = std::string(argv[2]) + "/" + fields[1];
        int number = atoi(fields[4].c_str());
        if (fields[0] == "T") {
            unsigned count = ini_file_read_text(path.c_str(), fields[2].c_str(), fields[3].c_str(), value,
                                                static_cast<unsigned>(number));
            fprintf(out, "%u\t", count);
            write_escaped(out, value, count);
        } else {
            fprintf(out, "%u", ini_file_read_int(path.c_str(), fields[2].c_str(), fields[3].c_str(), number));
        }
        fputc('\n', out);
    }
    fclose(out);
    return 0;
}
