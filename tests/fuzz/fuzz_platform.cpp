// Tovinel fuzzing: the platform seam answered from the fuzz input, the fourth implementation of it.
// Honest answers keep each call's contract; hostile ones (chosen by the input) break what may break.
#include "fuzz_platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// What the platform leaves in a buffer's bytes past its answer: no NUL, blank or backslash, so a
// launcher that reads past the answer gets a visibly different command line.
const char filler = '\xEE';

// More keys than any run may open: the launcher opens at most one.
const unsigned key_slot_count = 8;

struct key_slot {
    bool opened;
    unsigned closes;
};

fuzz_input* input;
std::vector<fuzz_call> calls;
key_slot key_slots[key_slot_count];
unsigned keys_opened;
unsigned char lead_first = 1, lead_last = 0;

fuzz_call& record(fuzz_call_kind kind)
{
    calls.push_back(fuzz_call{});
    calls.back().kind = kind;
    return calls.back();
}

// Puts `bytes` at the front of the `capacity`-byte buffer (no more than fit) and the filler behind.
void fill(char* buffer, unsigned capacity, const std::string& bytes)
{
    size_t count = bytes.size() < capacity ? bytes.size() : capacity;
    memcpy(buffer, bytes.data(), count);
    memset(buffer + count, filler, capacity - count);
}

std::string up_to_nul(const std::string& bytes)
{
    return bytes.substr(0, bytes.find('\0'));
}

key_slot* slot_of(platform_handle handle)
{
    for (unsigned i = 0; i < keys_opened; ++i) {
        if (handle == &key_slots[i])
            return &key_slots[i];
    }
    return nullptr;
}

void print_bytes(const std::string& bytes)
{
    fputc('\'', stderr);
    for (char byte : bytes) {
        unsigned char c = static_cast<unsigned char>(byte);
        if (c >= 0x20 && c < 0x7F && c != '\\')
            fputc(c, stderr);
        else
            fprintf(stderr, "\\x%02X", c);
    }
    fputc('\'', stderr);
}

}  // namespace

// A count a hostile platform reports: one byte with bit 7 set gives capacity - 4 to capacity + 3, where
// off-by-one faults live; otherwise any u16.
static unsigned hostile_count(fuzz_input* from, unsigned capacity)
{
    uint8_t near = fuzz_byte(from);
    if (near & 0x80)
        return capacity + (near & 7u) - (capacity < 4 ? capacity : 4);
    return fuzz_u16(from);
}

uint8_t fuzz_byte(fuzz_input* from)
{
    return from->used < from->size ? from->data[from->used++] : 0;
}

unsigned fuzz_u16(fuzz_input* from)
{
    unsigned low = fuzz_byte(from);
    return low | static_cast<unsigned>(fuzz_byte(from)) << 8;
}

std::string fuzz_bytes(fuzz_input* from, size_t count)
{
    size_t available = from->size - from->used;
    if (count > available)
        count = available;
    std::string bytes(reinterpret_cast<const char*>(from->data + from->used), count);
    from->used += count;
    return bytes;
}

void fuzz_platform_start(fuzz_input* from)
{
    input = from;
    calls.clear();
    memset(key_slots, 0, sizeof key_slots);
    keys_opened = 0;
    lead_first = 1;
    lead_last = 0;
}

void fuzz_platform_take_lead_bytes(unsigned char* first, unsigned char* last)
{
    uint8_t flags = fuzz_byte(input);
    unsigned char read_first = fuzz_byte(input);
    unsigned char read_last = fuzz_byte(input);
    if (flags & 1) {
        lead_first = read_first < 0x81 ? 0x81 : read_first;
        lead_last = read_last;
    }
    if (first != nullptr)
        *first = lead_first;
    if (last != nullptr)
        *last = lead_last;
}

const std::vector<fuzz_call>& fuzz_platform_calls() { return calls; }

void fuzz_platform_check_keys_closed()
{
    for (unsigned i = 0; i < keys_opened; ++i) {
        if (key_slots[i].closes != 1)
            fuzz_fail("an opened key was not closed exactly once");
    }
}

void fuzz_fail(const char* what)
{
    static const char* const kinds[] = {"text",  "int",    "open",   "query",  "close",
                                        "window", "start", "module", "exists", "shell"};
    fprintf(stderr, "FUZZ INVARIANT BROKEN: %s\ncalls:\n", what);
    for (const fuzz_call& call : calls) {
        fprintf(stderr, "  %s ", kinds[call.kind]);
        print_bytes(call.name);
        if (call.kind == CALL_SHELL) {
            fputc(' ', stderr);
            print_bytes(call.title);
        }
        if (call.kind == CALL_WINDOW) {
            fputc(' ', stderr);
            if (call.title_null)
                fputs("null", stderr);
            else
                print_bytes(call.title);
        }
        fprintf(stderr, " capacity %u ok %d returned %u written ", call.capacity, call.ok, call.returned);
        print_bytes(call.written.substr(0, call.written.find_last_not_of(filler) + 1));
        fputc('\n', stderr);
    }
    abort();
}

// Answer: mode byte, u16 length, the value's bytes. Honest (mode bit 0 clear): the value up to its
// first NUL, cut to capacity - 1, terminated, its length returned. Hostile: the raw bytes, a
// terminator only when mode bit 1 is set, and any count (hostile_count) returned.
unsigned platform_read_profile_text(const char* config_path, const char* section, const char* key,
                                    char* buffer, unsigned capacity)
{
    if (capacity == 0)
        fuzz_fail("profile text read with capacity 0");
    fuzz_call& call = record(CALL_TEXT);
    call.config_path = config_path;
    call.name = std::string(section) + "/" + key;
    call.capacity = capacity;
    uint8_t mode = fuzz_byte(input);
    std::string value = fuzz_bytes(input, fuzz_u16(input) % 512);
    if ((mode & 1) == 0) {
        value = up_to_nul(value).substr(0, capacity - 1);
        fill(buffer, capacity, value + '\0');
        call.returned = static_cast<unsigned>(value.size());
    } else {
        if (mode & 2)
            value = value.substr(0, capacity - 1) + '\0';
        fill(buffer, capacity, value);
        call.returned = hostile_count(input, capacity);
    }
    call.written.assign(buffer, capacity);
    return call.returned;
}

// Answer: one byte; 0x80 and above stand for large numbers, so that only zero can mean zero.
unsigned platform_read_profile_int(const char* config_path, const char* section, const char* key,
                                   int default_value)
{
    fuzz_call& call = record(CALL_INT);
    call.config_path = config_path;
    call.name = std::string(section) + "/" + key;
    call.default_value = default_value;
    unsigned value = fuzz_byte(input);
    call.returned = value >= 0x80 ? value << 24 : value;
    return call.returned;
}

// Answer: one byte, bit 0 set: the key opens.
bool platform_open_machine_key(const char* key_path, platform_handle* key)
{
    fuzz_call& call = record(CALL_OPEN);
    call.name = key_path;
    call.ok = (fuzz_byte(input) & 1) != 0;
    if (!call.ok)
        return false;
    if (keys_opened == key_slot_count)
        fuzz_fail("too many keys opened");
    call.handle = &key_slots[keys_opened];
    key_slots[keys_opened++].opened = true;
    *key = call.handle;
    return true;
}

// Answer: mode byte, u16 length, the data. Honest (mode bit 0 clear): the value is absent when mode
// bit 1 is set; data larger than the capacity fail with their size reported and part of them
// written, as systems do; other data are stored and their size reported. Hostile: success when mode
// bit 1 is set, the data stored as far as they fit, and any size (hostile_count) reported.
bool platform_query_default_value(platform_handle key, char* data, unsigned* size)
{
    key_slot* slot = slot_of(key);
    if (slot == nullptr || slot->closes != 0)
        fuzz_fail("query on a key that is not open");
    fuzz_call& call = record(CALL_QUERY);
    call.handle = key;
    call.capacity = *size;
    uint8_t mode = fuzz_byte(input);
    std::string bytes = fuzz_bytes(input, fuzz_u16(input) % 600);
    fill(data, call.capacity, bytes);
    call.written.assign(data, call.capacity);
    if ((mode & 1) == 0) {
        if (mode & 2) {
            call.ok = false;
            call.returned = *size;
            return false;
        }
        call.ok = bytes.size() <= call.capacity;
        call.returned = static_cast<unsigned>(bytes.size());
    } else {
        call.ok = (mode & 2) != 0;
        call.returned = hostile_count(input, call.capacity);
    }
    *size = call.returned;
    return call.ok;
}

void platform_close_key(platform_handle key)
{
    key_slot* slot = slot_of(key);
    if (slot == nullptr)
        fuzz_fail("close of a key that was never opened");
    if (slot->closes != 0)
        fuzz_fail("key closed twice");
    ++slot->closes;
    record(CALL_CLOSE).handle = key;
}

// Answer: one byte, bit 0 set: the window exists.
bool platform_window_exists(const char* window_class, const char* window_title)
{
    if (window_class == nullptr)
        fuzz_fail("window lookup with a null class");
    fuzz_call& call = record(CALL_WINDOW);
    call.name = window_class;
    call.title_null = window_title == nullptr;
    if (window_title != nullptr)
        call.title = window_title;
    call.ok = (fuzz_byte(input) & 1) != 0;
    return call.ok;
}

// Answer: one byte, modulo 3: started, failed, needs elevation (start_result's order).
start_result platform_start_program(const char* command_line)
{
    fuzz_call& call = record(CALL_START);
    call.name = command_line;
    if (call.name.size() > 259)
        fuzz_fail("command line longer than 259 bytes");
    call.returned = fuzz_byte(input) % 3u;
    return static_cast<start_result>(call.returned);
}

// Answer: one byte, bit 0 set: the file exists.
bool platform_file_exists(const char* path)
{
    fuzz_call& call = record(CALL_EXISTS);
    call.name = path;
    if (call.name.size() > 259)
        fuzz_fail("file looked for by a name longer than 259 bytes");
    call.ok = (fuzz_byte(input) & 1) != 0;
    return call.ok;
}

void platform_shell_start(const char* program, const char* parameters)
{
    fuzz_call& call = record(CALL_SHELL);
    call.name = program;
    call.title = parameters;
}

bool platform_is_lead_byte(unsigned char value)
{
    return value >= lead_first && value <= lead_last;
}

// Answer: mode byte, u16 length, the path. Mode 0: a path that does not fit is cut to capacity - 1
// bytes, terminated, and capacity returned (newer Windows); mode 1: cut to capacity bytes without a
// terminator (older Windows); mode 2: the call fails, leaving unterminated bytes behind; mode 3: the
// raw bytes and any count (hostile_count). Honest modes keep the path up to its first NUL.
unsigned platform_module_file_name(platform_handle, char* buffer, unsigned capacity)
{
    if (capacity == 0)
        fuzz_fail("module name asked with capacity 0");
    fuzz_call& call = record(CALL_MODULE);
    call.capacity = capacity;
    uint8_t mode = fuzz_byte(input) % 4;
    std::string path = fuzz_bytes(input, fuzz_u16(input) % 600);
    if (mode < 2)
        path = up_to_nul(path);
    if (mode < 2 && path.size() < capacity) {
        fill(buffer, capacity, path + '\0');
        call.returned = static_cast<unsigned>(path.size());
    } else if (mode == 0) {
        fill(buffer, capacity, path.substr(0, capacity - 1) + '\0');
        call.returned = capacity;
    } else if (mode == 1) {
        fill(buffer, capacity, path);
        call.returned = capacity;
    } else if (mode == 2) {
        fill(buffer, capacity, path);
        call.returned = 0;
    } else {
        fill(buffer, capacity, path);
        call.returned = hostile_count(input, capacity);
    }
    call.written.assign(buffer, capacity);
    return call.returned;
}
