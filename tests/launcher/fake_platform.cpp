// Tovinel tests: the fake platform, the third implementation of the seam beside Win32 and POSIX.
// Answers come from the installed fake_machine; every call is appended to a transcript.
#include "fake_platform.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "ini_reader.h"
#include "platform.h"

namespace {

fake_machine current;
char transcript[16384];
char started[1024];
char last_config_path[1024];
char shell_program[1024];
char shell_parameters[1024];
unsigned shell_starts;
bool has_started;
bool has_config_path;
unsigned calls;
unsigned starts;
unsigned opened;
unsigned closed;
unsigned lead_byte_queries;
unsigned lowest_lead_byte_query;

void record(const char* format, ...)
{
    size_t used = strlen(transcript);
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(transcript + used, sizeof transcript - used, format, arguments);
    va_end(arguments);
    used = strlen(transcript);
    if (used + 1 < sizeof transcript)
        strcat(transcript, "\n");
}

// Counts the call; true when this is the call that the machine is told to fail.
bool next_call_fails()
{
    ++calls;
    return current.fail_call != 0 && calls == current.fail_call;
}

// File names compare without regard to case, as on Windows.
bool is_config_file(const char* config_path)
{
    return current.config_path != nullptr && strcasecmp(config_path, current.config_path) == 0;
}

const fake_ini_entry* find_entry(const char* config_path, const char* section, const char* key)
{
    if (!is_config_file(config_path))
        return nullptr;
    // The first of repeated keys wins, as on Windows.
    for (unsigned i = 0; i < current.ini_count; ++i) {
        if (strcasecmp(current.ini[i].section, section) == 0 && strcasecmp(current.ini[i].key, key) == 0)
            return &current.ini[i];
    }
    return nullptr;
}

}  // namespace

void fake_install(const fake_machine& machine)
{
    current = machine;
    transcript[0] = '\0';
    has_started = false;
    has_config_path = false;
    calls = starts = opened = closed = shell_starts = lead_byte_queries = 0;
    lowest_lead_byte_query = 256;
}

const char* fake_transcript() { return transcript; }
unsigned fake_call_count() { return calls; }
unsigned fake_start_count() { return starts; }
unsigned fake_open_key_count() { return opened; }
unsigned fake_closed_key_count() { return closed; }
const char* fake_started_command() { return has_started ? started : nullptr; }
unsigned fake_lead_byte_query_count() { return lead_byte_queries; }
unsigned fake_lowest_lead_byte_query() { return lowest_lead_byte_query; }
const char* fake_last_config_path() { return has_config_path ? last_config_path : nullptr; }
unsigned fake_shell_start_count() { return shell_starts; }
const char* fake_shell_program() { return shell_starts != 0 ? shell_program : nullptr; }
const char* fake_shell_parameters() { return shell_starts != 0 ? shell_parameters : nullptr; }

unsigned platform_read_profile_text(const char* config_path, const char* section, const char* key,
                                    char* buffer, unsigned capacity)
{
    bool fails = next_call_fails();
    snprintf(last_config_path, sizeof last_config_path, "%s", config_path);
    has_config_path = true;
    size_t count = 0;
    if (current.ini_text != nullptr) {
        buffer[0] = '\0';
        if (!fails && is_config_file(config_path))
            count = ini_read_text(current.ini_text, current.ini_length, section, key, buffer, capacity);
    } else {
        const fake_ini_entry* entry = fails ? nullptr : find_entry(config_path, section, key);
        const char* value = entry != nullptr ? entry->value : "";
        count = strlen(value);
        if (count >= capacity && current.profile_text_fills_buffer) {
            memcpy(buffer, value, capacity);
            count = capacity;
        } else {
            if (count > capacity - 1)
                count = capacity - 1;
            memcpy(buffer, value, count);
            buffer[count] = '\0';
        }
    }
    // A platform that miscounts (see profile_text_overcount) reports more than its text.
    unsigned reported = static_cast<unsigned>(count) + current.profile_text_overcount;
    record("text %s/%s %u = %u '%.*s'", section, key, capacity, reported, static_cast<int>(capacity), buffer);
    return reported;
}

unsigned platform_read_profile_int(const char* config_path, const char* section, const char* key,
                                   int default_value)
{
    bool fails = next_call_fails();
    snprintf(last_config_path, sizeof last_config_path, "%s", config_path);
    has_config_path = true;
    unsigned result = static_cast<unsigned>(default_value);
    if (current.ini_text != nullptr) {
        if (!fails && is_config_file(config_path))
            result = ini_read_int(current.ini_text, current.ini_length, section, key, default_value);
    } else {
        const fake_ini_entry* entry = fails ? nullptr : find_entry(config_path, section, key);
        if (entry != nullptr && entry->value[0] != '\0')
            result = static_cast<unsigned>(strtol(entry->value, nullptr, 0));
    }
    record("int %s/%s %d = %u", section, key, default_value, result);
    return result;
}

bool platform_open_machine_key(const char* key_path, platform_handle* key)
{
    bool fails = next_call_fails();
    for (unsigned i = 0; !fails && i < current.key_count; ++i) {
        if (strcasecmp(current.keys[i].path, key_path) == 0) {
            *key = const_cast<fake_registry_key*>(&current.keys[i]);
            ++opened;
            record("open '%s' = ok", key_path);
            return true;
        }
    }
    record("open '%s' = fail", key_path);
    return false;
}

bool platform_query_default_value(platform_handle key, char* data, unsigned* size)
{
    bool fails = next_call_fails();
    const fake_registry_key* entry = static_cast<const fake_registry_key*>(key);
    unsigned capacity = *size;
    unsigned value_size = entry->size != 0 ? entry->size : static_cast<unsigned>(strlen(entry->data) + 1);
    if (fails || !entry->has_default_value || value_size > capacity) {
        // Like RegQueryValueExA: a value too large reports its size and stores nothing.
        if (!fails && entry->has_default_value)
            *size = value_size;
        record("query %u = fail", capacity);
        return false;
    }
    memcpy(data, entry->data, value_size);
    // RegQueryValueExA ends text types (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) stored without a
    // terminator with one when room is left, outside the size it reports.
    bool text_type = entry->type == 1 || entry->type == 2 || entry->type == 7;
    unsigned stored = value_size;
    if (text_type && value_size < capacity && value_size > 0 && data[value_size - 1] != '\0')
        data[stored++] = '\0';
    // The bytes behind are the caller's, untouched by the query: make them anything but a NUL, so
    // that a caller relying on them to end the text is caught.
    memset(data + stored, '#', capacity - stored);
    *size = value_size;
    record("query %u = %u", capacity, value_size);
    return true;
}

void platform_close_key(platform_handle key)
{
    next_call_fails();
    ++closed;
    record("close '%s'", static_cast<const fake_registry_key*>(key)->path);
}

bool platform_window_exists(const char* window_class, const char* window_title)
{
    bool fails = next_call_fails();
    bool found = false;
    for (unsigned i = 0; !fails && !found && i < current.window_count; ++i) {
        found = strcasecmp(current.windows[i].window_class, window_class) == 0 &&
                (window_title == nullptr || strcasecmp(current.windows[i].title, window_title) == 0);
    }
    if (window_title == nullptr)
        record("window '%s' null = %s", window_class, found ? "found" : "none");
    else
        record("window '%s' '%s' = %s", window_class, window_title, found ? "found" : "none");
    return found;
}

start_result platform_start_program(const char* command_line)
{
    start_result answer = next_call_fails() ? start_failed : current.start_answer;
    ++starts;
    has_started = true;
    snprintf(started, sizeof started, "%s", command_line);
    static const char* const answers[] = {"started", "failed", "needs elevation"};
    record("start '%s' = %s", command_line, answers[answer]);
    return answer;
}

bool platform_file_exists(const char* path)
{
    bool exists = false;
    if (!next_call_fails()) {
        for (unsigned i = 0; i < current.existing_file_count && !exists; ++i)
            exists = strcasecmp(current.existing_files[i], path) == 0;
    }
    record("exists '%s' = %s", path, exists ? "yes" : "no");
    return exists;
}

void platform_shell_start(const char* program, const char* parameters)
{
    next_call_fails();
    ++shell_starts;
    snprintf(shell_program, sizeof shell_program, "%s", program);
    snprintf(shell_parameters, sizeof shell_parameters, "%s", parameters);
    record("shell '%s' '%s'", program, parameters);
}

bool platform_is_lead_byte(unsigned char value)
{
    // Asked once per byte from 0x81 up that a scan meets: counted, but not recorded, to keep
    // transcripts readable.
    ++lead_byte_queries;
    if (value < lowest_lead_byte_query)
        lowest_lead_byte_query = value;
    for (const fake_lead_range& range : current.lead_bytes) {
        if (range.last != 0 && value >= range.first && value <= range.last)
            return true;
    }
    return false;
}

unsigned platform_module_file_name(platform_handle, char* buffer, unsigned capacity)
{
    bool fails = next_call_fails();
    unsigned result = 0;
    if (!fails && current.module_path != nullptr) {
        size_t length = strlen(current.module_path);
        if (length >= capacity) {
            // A cut path fills the buffer; older systems leave it without a terminator.
            memcpy(buffer, current.module_path, capacity);
            if (!current.module_path_unterminated)
                buffer[capacity - 1] = '\0';
            result = capacity;
        } else {
            memcpy(buffer, current.module_path, length + 1);
            result = static_cast<unsigned>(length);
        }
    }
    record("module %u = %u", capacity, result);
    return result;
}
