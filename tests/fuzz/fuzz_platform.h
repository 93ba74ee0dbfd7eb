// Tovinel fuzzing: a platform whose every answer is read from the fuzz input, in call order.
// It records each call with the exact bytes it handed back, so a target can check the launcher's use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform.h"

// The fuzz input, read from the front. An exhausted input answers zeros, so every input is valid.
struct fuzz_input {
    const uint8_t* data;
    size_t size;
    size_t used;
};

uint8_t fuzz_byte(fuzz_input* input);
unsigned fuzz_u16(fuzz_input* input);
// The next `count` bytes, fewer when the input runs out.
std::string fuzz_bytes(fuzz_input* input, size_t count);

enum fuzz_call_kind {
    CALL_TEXT, CALL_INT, CALL_OPEN, CALL_QUERY, CALL_CLOSE, CALL_WINDOW, CALL_START, CALL_MODULE, CALL_EXISTS,
    CALL_SHELL
};

// One seam call: its arguments as the launcher passed them and the answer it got.
struct fuzz_call {
    fuzz_call_kind kind;
    std::string config_path;   // text, int
    std::string name;          // text, int: "Section/Key"; open: key path; window: class; start: command;
                               // exists: the path; shell: the program
    std::string title;         // window: the title, when not null; shell: the parameters
    bool title_null;
    unsigned capacity;         // text, query, module: the capacity the launcher gave
    int default_value;         // int
    std::string written;       // text, query, module: all `capacity` bytes the platform left in the buffer
    bool ok;                   // open, query, window, exists: success, found
    unsigned returned;         // text, int, module: the result; query: the size stored back; start: the
                               // start_result answered
    platform_handle handle;    // open, query, close
};

// Where the fuzz platform's answers come from; also clears the record. Until the next call the
// platform answers from `input`, which the caller keeps alive.
void fuzz_platform_start(fuzz_input* input);

// Reads the ANSI code page's lead bytes from the input: a flags byte, then the first and the last lead
// byte, a range that counts only when bit 0 of the flags is set (none when last < first). Like every
// Windows code page's, it starts at 0x81 at the lowest: a smaller first byte counts as 0x81. Not read
// call by call, since the test is asked once per byte of a name; a target takes it before the run.
// *first and *last (may be null) receive the range in force: 1 and 0 when there is none.
void fuzz_platform_take_lead_bytes(unsigned char* first = nullptr, unsigned char* last = nullptr);

const std::vector<fuzz_call>& fuzz_platform_calls();

// Aborts unless every key opened in this run was closed exactly once.
void fuzz_platform_check_keys_closed();

// Prints `what` and the call record to stderr and aborts, so that libFuzzer keeps the input.
[[noreturn]] void fuzz_fail(const char* what);
