// Tovinel Wine tests: reads many keys of many .ini files with the real profile functions.
// Run under Wine, it answers the same queries as tests/ini_query.cpp does with the INI stand-in.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Usage: profile_reader QUERIES BASE OUTPUT. Each line of QUERIES is
// "T|I <tab> file <tab> section <tab> key <tab> capacity or default", fields in %XX escapes. One
// output line a query: "count <tab> value" (value in %XX escapes) or the integer. One Wine
// process answers every query, since each Wine start costs far more than the reads.
namespace {

void unescape(char* text)
{
    char* out = text;
    for (char* in = text; *in != '\0'; ++out) {
        if (*in == '%' && in[1] != '\0' && in[2] != '\0') {
            char hex[3] = {in[1], in[2], '\0'};
            *out = static_cast<char>(strtoul(hex, nullptr, 16));
            in += 3;
        } else {
            *out = *in++;
        }
    }
    *out = '\0';
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
    static char path[MAX_PATH * 2];
    while (fgets(line, sizeof line, queries) != nullptr) {
        char* fields[5];
        char* cursor = line;
        for (int i = 0; i < 5; ++i) {
            fields[i] = cursor;
            while (*cursor != '\0' && *cursor != '\t' && *cursor != '\n') ++cursor;
            if (*cursor != '\0') *cursor++ = '\0';
            unescape(fields[i]);
        }
        snprintf(path, sizeof path, "%s\\%s", argv[2], fields[1]);
        int number = atoi(fields[4]);
        if (fields[0][0] == 'T') {
            memset(value, 0x55, sizeof value);
            DWORD count = GetPrivateProfileStringA(fields[2], fields[3], "", value,
                                                   static_cast<DWORD>(number), path);
            fprintf(out, "%lu\t", static_cast<unsigned long>(count));
            write_escaped(out, value, static_cast<unsigned>(count));
        } else {
            fprintf(out, "%u", GetPrivateProfileIntA(fields[2], fields[3], number, path));
        }
        fputc('\n', out);
    }
    fclose(out);
    return 0;
}
