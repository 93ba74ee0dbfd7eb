// Tovinel Wine tests: plays the launcher's hand-over to the shell (platform_shell_start) directly,
// since Wine never refuses a start for elevation. Links the launcher's own Windows seam.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform.h"

// The argument names an instruction file: the program's path, then the exact parameters, which run
// to the end of the file (blanks and quotes included; possibly none). The program is started
// through the seam; what it receives is the runner's to check (the recorder writes it down).
// Checked here: SHELL32 is not loaded before the hand-over, and afterwards it is loaded from the
// system folder. Exit codes: 0 passed, 1 a check failed, 2 the instructions cannot be read.
namespace {

char instructions[65536];

bool shell_loaded_from(char* path, unsigned capacity)
{
    HMODULE shell = GetModuleHandleA("SHELL32.DLL");
    return shell != nullptr && GetModuleFileNameA(shell, path, capacity) != 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    FILE* file = fopen(argv[1], "rb");
    if (file == nullptr)
        return 2;
    size_t read = fread(instructions, 1, sizeof instructions - 1, file);
    fclose(file);
    instructions[read] = '\0';
    char* parameters = strchr(instructions, '\n');
    if (parameters == nullptr)
        return 2;
    *parameters++ = '\0';

    char shell_path[MAX_PATH];
    if (shell_loaded_from(shell_path, sizeof shell_path)) {
        printf("FAIL SHELL32 was loaded before the hand-over, from %s\n", shell_path);
        return 1;
    }
    platform_shell_start(instructions, parameters);
    if (!shell_loaded_from(shell_path, sizeof shell_path)) {
        printf("FAIL SHELL32 is not loaded after the hand-over\n");
        return 1;
    }
    char expected[MAX_PATH + 16];
    UINT length = GetSystemDirectoryA(expected, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    lstrcatA(expected, "\\SHELL32.DLL");
    if (lstrcmpiA(expected, shell_path) != 0) {
        printf("FAIL SHELL32 loaded from %s, not from %s\n", shell_path, expected);
        return 1;
    }
    return 0;
}
