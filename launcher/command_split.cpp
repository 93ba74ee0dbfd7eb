// Tovinel: splits a composed command line into program and parameters, where CreateProcess does.
// Portable: files are asked of the platform seam, so the native tests play every case.
#include "command_split.h"

#include "platform.h"
#include "text.h"

namespace {

// No double-byte code page of Windows has a trail byte below 0x40, so blanks, quotes and dots are
// found byte by byte; only the backslash (0x5C) needs the lead-byte test.
bool is_blank(char value)
{
    return value == ' ' || value == '\t';
}

// Copies the `length` bytes at `part` into `buffer` as text, when they fit with a terminator.
bool copy_part(char* buffer, unsigned capacity, const char* part, unsigned length)
{
    if (length >= capacity)
        return false;
    for (unsigned i = 0; i < length; ++i)
        buffer[i] = part[i];
    buffer[length] = '\0';
    return true;
}

bool last_name_has_extension(const char* path)
{
    for (const char* name = path + folder_part_length(path); *name != '\0'; ++name) {
        if (*name == '.')
            return true;
    }
    return false;
}

// Adds ".exe" to `program` when its last name has no extension, as CreateProcess looks for it;
// false when that does not fit.
bool with_extension(char* program, unsigned capacity)
{
    return last_name_has_extension(program) || text_append(program, capacity, ".exe");
}

// The parameters after the end of the program at `end`: one separating blank is dropped.
const char* parameters_after(const char* end)
{
    return is_blank(*end) ? end + 1 : end;
}

}  // namespace

const char* split_command_line(const char* command_line, char* program, unsigned capacity)
{
    program[0] = '\0';
    if (command_line[0] == '"') {
        const char* name = command_line + 1;
        const char* end = name;
        while (*end != '\0' && *end != '"')
            end += character_size(end);
        // CreateProcess looks for a quoted name without extension with .exe added, as for an
        // unquoted one; the shell would open a folder of the bare name, or nothing.
        if (copy_part(program, capacity, name, static_cast<unsigned>(end - name)) &&
            with_extension(program, capacity))
            return parameters_after(*end == '"' ? end + 1 : end);
        program[0] = '\0';
        return nullptr;
    }

    unsigned first_blank = 0;
    while (command_line[first_blank] != '\0' && !is_blank(command_line[first_blank]))
        ++first_blank;
    for (unsigned blank = first_blank; command_line[blank] != '\0'; ++blank) {
        if (is_blank(command_line[blank]) && copy_part(program, capacity, command_line, blank) &&
            with_extension(program, capacity) && platform_file_exists(program))
            return command_line + blank + 1;
    }
    if (!copy_part(program, capacity, command_line, first_blank)) {
        program[0] = '\0';
        return nullptr;
    }
    return parameters_after(command_line + first_blank);
}
