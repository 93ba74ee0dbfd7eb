// Tovinel: the two reads of Tovinel.ini.
// Both go straight to the platform's profile reads, so the file syntax is the platform's own.
#include "config.h"

#include "platform.h"
#include "text.h"

unsigned read_text_value(const char* config_path, const char* section, const char* key,
                         char* buffer, unsigned capacity)
{
    unsigned count = platform_read_profile_text(config_path, section, key, buffer, capacity);
    // Whatever the platform did, leave a terminated text no longer than the buffer allows, and
    // report exactly its length: later length tests rely on the count matching the text. A count
    // running past a NUL (a NUL in the file's value, a miscounting system) must not make an empty
    // text look present: an empty RegKey would open HKEY_LOCAL_MACHINE itself, an empty Run would
    // start the bare folder.
    if (count >= capacity)
        count = capacity - 1;
    buffer[count] = '\0';
    return text_length(buffer);
}

unsigned read_integer_value(const char* config_path, const char* section, const char* key,
                            int default_value)
{
    return platform_read_profile_int(config_path, section, key, default_value);
}
