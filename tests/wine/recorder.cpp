// Tovinel Wine tests: the recorder, a stand-in for every program the launcher may start.
// Appends one record per start to the file named by TOVINEL_RECORD (format below).
#include <windows.h>

#include <cstdio>

// A record is "ACP FLAGS SHOW\n", then the exact command line and a NUL: the ANSI code page the
// program runs under, and the STARTUPINFO dwFlags and wShowWindow its start gave it. The terminator
// separates records, since no command line holds a NUL. Appending rather than overwriting lets the
// runner see a second start, which must never happen.
// A GUI program without a window: the launcher starts it shown, and nothing must appear.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("TOVINEL_RECORD", path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return 2;
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    char header[64];
    int header_length = snprintf(header, sizeof header, "%u %lu %u\n", GetACP(), startup.dwFlags,
                                 static_cast<unsigned>(startup.wShowWindow));
    HANDLE file = INVALID_HANDLE_VALUE;
    // Two recorders at once would share the file; retry briefly rather than lose a record.
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        file = CreateFileA(path, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
        if (file == INVALID_HANDLE_VALUE)
            Sleep(10);
    }
    if (file == INVALID_HANDLE_VALUE)
        return 3;
    const char* command_line = GetCommandLineA();
    DWORD written = 0;
    WriteFile(file, header, static_cast<DWORD>(header_length), &written, nullptr);
    WriteFile(file, command_line, lstrlenA(command_line) + 1, &written, nullptr);
    CloseHandle(file);
    return 0;
}
