// Tovinel fuzzing: the launcher folder, from module paths of any length, cut or not, terminated or not.
// Input: a flags byte (bit 0: the code page has lead bytes), the first and last lead byte, then the
// answer to the module-name query (see platform_module_file_name in fuzz_platform.cpp).
#include <cstring>

#include "fuzz_model.h"
#include "fuzz_platform.h"
#include "startup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_input input{data, size, 0};
    fuzz_platform_start(&input);
    fuzz_platform_take_lead_bytes();
    // Whatever an earlier use left in the folder must not show through.
    memset(launcher_folder, 'Z', sizeof launcher_folder);
    bool usable = fill_launcher_folder();

    const std::vector<fuzz_call>& calls = fuzz_platform_calls();
    if (calls.size() != 1 || calls[0].kind != CALL_MODULE || calls[0].capacity != sizeof launcher_folder)
        fuzz_fail("the folder is not filled by one module-name query of the folder's whole size");
    if (memchr(launcher_folder, '\0', sizeof launcher_folder) == nullptr)
        fuzz_fail("folder left without a terminator");
    bool trusted = false;
    std::string expected = expected_folder(calls[0], &trusted);
    if (usable != trusted)
        fuzz_fail(usable ? "folder of a cut or too long path called usable" : "usable folder refused");
    if (expected != launcher_folder)
        fuzz_fail("folder differs from the path up to its last backslash");
    return 0;
}
