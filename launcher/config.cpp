// Tovinel: the two reads of Tovinel.ini.
// Both go straight to the platform's profile reads, so the file syntax is the platform's own.
#include "config.h"

#include "platform.h"

unsigned read_text_value(const char* config_path, const char* section, const char* key,
                         char* buffer, unsigned capacity)
{
    unsigned count = platform_read_profile_text(config_path, section, key, buffer, capacity);
    // Whatever the platform did, leave a terminated text no longer than the buffer allows, and
    // report exactly its length: later length tests rely on the count matching the text.
    if (count >= capacity)
        count = capacity - 1;
    buffer[count] = '\0';
    return count;
}

unsigned read_integer_value(const char* config_path, const char* section, const char* key,
                            int default_value)
{
    return platform_read_profile_int(config_path, section, key, default_value);
}
