// Tovinel: bounded helpers for NUL-terminated 8-bit text in fixed-size buffers.
// Byte loops only: no library calls, so the freestanding Windows build needs nothing of a C runtime.
#include "text.h"

#include "platform.h"

unsigned text_length(const char* text)
{
    unsigned length = 0;
    while (text[length] != '\0')
        ++length;
    return length;
}

unsigned text_length_within(const char* bytes, unsigned capacity)
{
    unsigned length = 0;
    while (length < capacity && bytes[length] != '\0')
        ++length;
    return length;
}

bool text_append(char* buffer, unsigned capacity, const char* text)
{
    unsigned used = text_length_within(buffer, capacity);
    unsigned added = text_length(text);
    // `used == capacity` means the buffer holds no terminator at all; refuse rather than guess.
    if (used >= capacity || added >= capacity - used)
        return false;
    for (unsigned i = 0; i <= added; ++i)
        buffer[used + i] = text[i];
    return true;
}

unsigned character_size(const char* text)
{
    unsigned char value = static_cast<unsigned char>(text[0]);
    return value >= lowest_lead_byte && platform_is_lead_byte(value) && text[1] != '\0' ? 2 : 1;
}

unsigned folder_part_length(const char* path)
{
    unsigned length = 0;
    for (unsigned i = 0; path[i] != '\0'; i += character_size(path + i)) {
        if (path[i] == '\\')
            length = i + 1;
    }
    return length;
}
