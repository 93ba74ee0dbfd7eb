// Tovinel fuzzing: the command-line tail, on any command line and any range of lead bytes.
// Input: a flags byte (bit 0: the code page has lead bytes), the first and last lead byte, the line.
#include <cstring>
#include <memory>

#include "fuzz_platform.h"
#include "startup.h"

namespace {

// Where the tail starts, found by index over the whole line rather than by pointer to a terminator.
size_t expected_tail_offset(const std::string& line, unsigned char lead_first, unsigned char lead_last)
{
    auto byte = [&line](size_t i) { return static_cast<unsigned char>(line[i]); };
    size_t i = 0;
    if (!line.empty() && line[0] == '"') {
        for (i = 1; i < line.size() && line[i] != '"'; ++i) {
            // A lead byte with a byte after it takes that byte along, whatever it is.
            if (byte(i) >= lead_first && byte(i) <= lead_last && i + 1 < line.size())
                ++i;
        }
        if (i < line.size())
            ++i;
    } else {
        while (i < line.size() && byte(i) > ' ')
            ++i;
    }
    while (i < line.size() && byte(i) <= ' ')
        ++i;
    return i;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_input input{data, size, 0};
    fuzz_platform_start(&input);
    unsigned char lead_first = 1;
    unsigned char lead_last = 0;
    fuzz_platform_take_lead_bytes(&lead_first, &lead_last);
    std::string line = fuzz_bytes(&input, size);
    line = line.substr(0, line.find('\0'));

    // Exactly the line and its terminator, so that AddressSanitizer sees any read past the end.
    std::unique_ptr<char[]> command_line(new char[line.size() + 1]);
    memcpy(command_line.get(), line.c_str(), line.size() + 1);
    const char* tail = command_line_tail(command_line.get());

    if (tail < command_line.get() || tail > command_line.get() + line.size())
        fuzz_fail("tail points outside the command line");
    size_t offset = static_cast<size_t>(tail - command_line.get());
    if (offset != expected_tail_offset(line, lead_first, lead_last))
        fuzz_fail("tail starts at another byte than the rules give");
    if (*tail != '\0' && static_cast<unsigned char>(*tail) <= ' ')
        fuzz_fail("tail starts with a blank or control byte");
    if (!fuzz_platform_calls().empty())
        fuzz_fail("the tail asked the platform for more than lead bytes");
    return 0;
}
