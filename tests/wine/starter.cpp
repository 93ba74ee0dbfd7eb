// Tovinel Wine tests: the starter, which runs the launcher with an exact command line.
// Waits for the launcher and everything it started, and exits with the launcher's exit code.
#include <windows.h>

// The command-line tail names an instructions file: the program's path, the current folder, then
// the exact command line, which runs to the end of the file (it may hold any byte but NUL, blanks
// at either end and quotes included). `wine program args` would rebuild the command line from arguments.
// The launcher runs in a job: its children join it, so once the job is empty every program it
// started has finished, and a test of "nothing started" needs no waiting on a guess.
// Exit codes: the launcher's; 250 and up for a failure of the starter itself.
namespace {

char instructions[65536];
const DWORD longest_wait_ms = 20000;

char* next_line(char* text)
{
    while (*text != '\0' && *text != '\n') ++text;
    if (*text == '\n') *text++ = '\0';
    return text;
}

bool job_is_empty(HANDLE job)
{
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info;
    if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info, nullptr))
        return false;
    return info.ActiveProcesses == 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR arguments, int)
{
    HANDLE file = CreateFileA(arguments, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 250;
    DWORD read = 0;
    ReadFile(file, instructions, sizeof instructions - 1, &read, nullptr);
    CloseHandle(file);
    instructions[read] = '\0';
    char* program = instructions;
    char* folder = next_line(program);
    char* command_line = next_line(folder);

    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    if (job == nullptr) return 251;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(program, command_line, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        folder, &startup, &process))
        return 252;
    if (!AssignProcessToJobObject(job, process.hProcess)) {
        TerminateProcess(process.hProcess, 1);
        return 253;
    }
    ResumeThread(process.hThread);
    if (WaitForSingleObject(process.hProcess, longest_wait_ms) != WAIT_OBJECT_0) {
        TerminateJobObject(job, 1);
        return 254;
    }
    DWORD exit_code = 255;
    GetExitCodeProcess(process.hProcess, &exit_code);
    DWORD waited = 0;
    while (!job_is_empty(job)) {
        if (waited >= longest_wait_ms) {
            TerminateJobObject(job, 1);
            return 255;
        }
        Sleep(10);
        waited += 10;
    }
    return static_cast<int>(exit_code);
}
