// Tovinel Wine tests: the window holder, a top-level window of a given class and title.
// Stands in for a setup program that is already running while the launcher looks for its window.
#include <windows.h>

// The command-line tail names an instructions file: the ready file's path, the class and the title,
// one a line. The holder creates the window, then creates the ready file, and lives until the runner
// deletes the ready file (or a minute has passed, so that it can never outlive a broken run).
namespace {

char instructions[4096];
char* ready_path;
const UINT_PTR poll_timer = 1;
const UINT poll_interval_ms = 20;
const DWORD longest_life_ms = 60000;
DWORD started_at;

char* next_line(char* text)
{
    while (*text != '\0' && *text != '\n') ++text;
    if (*text == '\n') *text++ = '\0';
    return text;
}

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_TIMER) {
        if (GetFileAttributesA(ready_path) == INVALID_FILE_ATTRIBUTES ||
            GetTickCount() - started_at > longest_life_ms)
            DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int)
{
    started_at = GetTickCount();
    HANDLE file = CreateFileA(arguments, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 2;
    DWORD read = 0;
    ReadFile(file, instructions, sizeof instructions - 1, &read, nullptr);
    CloseHandle(file);
    instructions[read] = '\0';
    ready_path = instructions;
    char* window_class = next_line(ready_path);
    char* title = next_line(window_class);
    next_line(title);

    WNDCLASSA description = {};
    description.lpfnWndProc = window_procedure;
    description.hInstance = instance;
    description.lpszClassName = window_class;
    if (!RegisterClassA(&description)) return 3;
    HWND window = CreateWindowExA(0, window_class, title, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                  nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 4;
    SetTimer(window, poll_timer, poll_interval_ms, nullptr);

    HANDLE ready = CreateFileA(ready_path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (ready == INVALID_HANDLE_VALUE) return 5;
    CloseHandle(ready);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}
