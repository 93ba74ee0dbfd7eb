// Tovinel tests: the query and answer files of the differential test of the INI stand-in.
// ini_query (the stand-in, native) and wine/profile_reader (Wine's own functions) share this loop.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Usage: READER QUERIES BASE OUTPUT. Each line of QUERIES is
// "T|I <tab> file <tab> section <tab> key <tab> capacity or default", fields in %XX escapes. One
// output line a query: "count <tab> value" (value in %XX escapes) or the integer. One process
// answers every query, since each Wine start costs far more than the reads.
typedef unsigned (*profile_text_reader)(const char* path, const char* section, const char* key,
                                        char* buffer, unsigned capacity);
typedef unsigned (*profile_int_reader)(const char* path, const char* section, const char* key,
                                       int default_value);

inline void unescape_query_field(char* text)
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

inline void write_escaped(FILE* out, const char* text, unsigned length)
{
    for (unsigned i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c > 0x20 && c < 0x7F && c != '%') fputc(c, out);
        else fprintf(out, "%%%02X", c);
    }
}

// Answers every query of argv[1] about files below argv[2] (joined with `separator`) into argv[3].
inline int answer_profile_queries(int argc, char** argv, char separator, profile_text_reader read_text,
                                  profile_int_reader read_int)
{
    if (argc != 4) return 2;
    FILE* queries = fopen(argv[1], "rb");
    FILE* out = fopen(argv[3], "wb");
    if (queries == nullptr || out == nullptr) return 3;
    static char line[8192];
    static char value[4096];
    static char path[8192];
    while (fgets(line, sizeof line, queries) != nullptr) {
        char* fields[5];
        char* cursor = line;
        for (char*& field : fields) {
            field = cursor;
            while (*cursor != '\0' && *cursor != '\t' && *cursor != '\n') ++cursor;
            if (*cursor != '\0') *cursor++ = '\0';
            unescape_query_field(field);
        }
        snprintf(path, sizeof path, "%s%c%s", argv[2], separator, fields[1]);
        int number = atoi(fields[4]);
        if (fields[0][0] == 'T') {
            // Bytes past what the reader claims to have written must not leak into the answer.
            memset(value, 0x55, sizeof value);
            unsigned count = read_text(path, fields[2], fields[3], value, static_cast<unsigned>(number));
            fprintf(out, "%u\t", count);
            write_escaped(out, value, count);
        } else {
            fprintf(out, "%u", read_int(path, fields[2], fields[3], number));
        }
        fputc('\n', out);
    }
    fclose(queries);
    fclose(out);
    return 0;
}
