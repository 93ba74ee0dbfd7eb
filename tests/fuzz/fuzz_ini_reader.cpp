// Tovinel fuzzing: the .ini reader, on any bytes (NULs, huge lines, any line breaks) and any capacity.
// Input: u16 capacity (mod 1100), a names byte (below 0xC0: a table entry; else the names follow,
// each a length byte and bytes), then the file text.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/mman.h>
#include <unistd.h>

#include "fuzz_platform.h"
#include "ini_reader.h"

namespace {

const unsigned guard_size = 32;
const unsigned char guard_byte = 0xA5;

struct name_pair {
    const char* section;
    const char* key;
};

// The names the launcher asks for, and ones that differ from them only in case and spaces.
const name_pair table_names[] = {
    {"Application", "RegKey"}, {"Application", "Start"}, {"Setup", "Run"}, {"Setup", "WindowClass"},
    {"setup", "RUN"},          {"  Setup ", " Run  "},   {"", ""},         {"S", "K"},
};

// A buffer of `capacity` bytes followed by guard bytes that the reader must never touch.
struct guarded_buffer {
    std::unique_ptr<unsigned char[]> bytes;
    unsigned capacity;
};

guarded_buffer make_guarded(unsigned capacity)
{
    guarded_buffer buffer{std::unique_ptr<unsigned char[]>(new unsigned char[capacity + guard_size]), capacity};
    memset(buffer.bytes.get(), guard_byte, capacity + guard_size);
    return buffer;
}

char* text_of(const guarded_buffer& buffer)
{
    return reinterpret_cast<char*>(buffer.bytes.get());
}

void check_result(const guarded_buffer& buffer, unsigned count, const char* which)
{
    for (unsigned i = buffer.capacity; i < buffer.capacity + guard_size; ++i) {
        if (buffer.bytes[i] != guard_byte) {
            fprintf(stderr, "%s: capacity %u, byte %u past it written\n", which, buffer.capacity, i - buffer.capacity);
            abort();
        }
    }
    if (buffer.capacity == 0) {
        if (count != 0) {
            fprintf(stderr, "%s: capacity 0 gave count %u\n", which, count);
            abort();
        }
        return;
    }
    if (count >= buffer.capacity || buffer.bytes[count] != '\0') {
        fprintf(stderr, "%s: count %u, capacity %u: not below it or not terminated there\n", which, count,
                buffer.capacity);
        abort();
    }
    for (unsigned i = 0; i < count; ++i) {
        unsigned char c = buffer.bytes[i];
        if (c == '\0' || c == '\r' || c == '\n') {
            fprintf(stderr, "%s: value holds byte 0x%02X at %u\n", which, c, i);
            abort();
        }
    }
}

// The file the file entry points read: in memory, rewritten for every input.
const char* file_holding(const std::string& text)
{
    static int file = -1;
    static char path[64];
    if (file < 0) {
        file = memfd_create("tovinel-fuzz.ini", 0);
        if (file < 0) {
            perror("memfd_create");
            abort();
        }
        snprintf(path, sizeof path, "/proc/self/fd/%d", file);
    }
    if (ftruncate(file, 0) != 0 ||
        pwrite(file, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
        perror("writing the fuzz file");
        abort();
    }
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_input input{data, size, 0};
    unsigned capacity = fuzz_u16(&input) % 1100;
    uint8_t names = fuzz_byte(&input);
    std::string section, key;
    if (names < 0xC0) {
        const name_pair& pair = table_names[names % (sizeof table_names / sizeof table_names[0])];
        section = pair.section;
        key = pair.key;
    } else {
        section = fuzz_bytes(&input, fuzz_byte(&input) % 48);
        section = section.substr(0, section.find('\0'));
        key = fuzz_bytes(&input, fuzz_byte(&input) % 48);
        key = key.substr(0, key.find('\0'));
    }
    // The rest of the input, in a block of its own size so that reads past it are seen.
    const char* text = reinterpret_cast<const char*>(data + input.used);
    unsigned long length = static_cast<unsigned long>(size - input.used);
    if (length == 0)
        text = nullptr;

    guarded_buffer cut = make_guarded(capacity);
    unsigned count = ini_read_text(text, length, section.c_str(), key.c_str(), text_of(cut), capacity);
    check_result(cut, count, "memory");

    // Read with room for any value: the cut read must be its first capacity - 1 bytes.
    guarded_buffer whole = make_guarded(static_cast<unsigned>(length) + 2);
    unsigned whole_count = ini_read_text(text, length, section.c_str(), key.c_str(), text_of(whole),
                                         whole.capacity);
    check_result(whole, whole_count, "memory, room for all");
    if (capacity != 0) {
        unsigned expected = whole_count < capacity - 1 ? whole_count : capacity - 1;
        if (count != expected || memcmp(text_of(cut), text_of(whole), count) != 0) {
            fprintf(stderr, "capacity %u gave %u bytes; the whole value has %u\n", capacity, count, whole_count);
            abort();
        }
    }

    const char* path = file_holding(std::string(text != nullptr ? text : "", length));
    guarded_buffer from_file = make_guarded(capacity);
    unsigned file_count = ini_file_read_text(path, section.c_str(), key.c_str(), text_of(from_file), capacity);
    check_result(from_file, file_count, "file");
    if (file_count != count || memcmp(text_of(from_file), text_of(cut), count) != 0) {
        fprintf(stderr, "file read gave %u bytes, memory read %u\n", file_count, count);
        abort();
    }

    unsigned number = ini_read_int(text, length, section.c_str(), key.c_str(), 7);
    if (ini_file_read_int(path, section.c_str(), key.c_str(), 7) != number) {
        fprintf(stderr, "file and memory integer reads differ\n");
        abort();
    }
    if (whole_count == 0 && number != 7) {
        fprintf(stderr, "absent or empty value gave %u, not the default\n", number);
        abort();
    }
    if (ini_read_text(text, length, section.c_str(), key.c_str(), nullptr, 5) != 0) {
        fprintf(stderr, "null buffer gave a count\n");
        abort();
    }
    return 0;
}
