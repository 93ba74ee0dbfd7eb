// Tovinel: the platform seam on Windows, with the real KERNEL32, USER32 and ADVAPI32 calls.
// Every call is one that Windows 95 already has, in its ANSI form; SHELL32 is loaded only at need.
#include "platform.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "text.h"

unsigned platform_read_profile_text(const char* config_path, const char* section, const char* key,
                                    char* buffer, unsigned capacity)
{
    return GetPrivateProfileStringA(section, key, "", buffer, capacity, config_path);
}

unsigned platform_read_profile_int(const char* config_path, const char* section, const char* key,
                                   int default_value)
{
    return GetPrivateProfileIntA(section, key, default_value, config_path);
}

bool platform_open_machine_key(const char* key_path, platform_handle* key)
{
    HKEY opened;
    // KEY_READ names no registry view: a 32-bit launcher sees what 32-bit setup programs wrote.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    *key = opened;
    return true;
}

bool platform_query_default_value(platform_handle key, char* data, unsigned* size)
{
    DWORD type;
    DWORD data_size = *size;
    if (RegQueryValueExA(static_cast<HKEY>(key), "", nullptr, &type,
                         reinterpret_cast<BYTE*>(data), &data_size) != ERROR_SUCCESS)
        return false;
    *size = data_size;
    return true;
}

void platform_close_key(platform_handle key)
{
    RegCloseKey(static_cast<HKEY>(key));
}

bool platform_window_exists(const char* window_class, const char* window_title)
{
    return FindWindowA(window_class, window_title) != nullptr;
}

start_result platform_start_program(const char* command_line)
{
    // WinExec's own results up to 31 are error codes; the cause stays in the thread's last error.
    if (WinExec(command_line, SW_SHOW) > 31)
        return start_started;
    // ERROR_ELEVATION_REQUIRED, which Windows before Vista never gives (and older headers lack).
    const DWORD elevation_required = 740;
    return GetLastError() == elevation_required ? start_needs_elevation : start_failed;
}

bool platform_file_exists(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void platform_shell_start(const char* program, const char* parameters)
{
    // Loaded here only, so that the typical run loads and imports no more than KERNEL32, USER32 and
    // ADVAPI32; and by full path from the system folder, never found on the medium or beside it.
    char shell_path[MAX_PATH];
    UINT length = GetSystemDirectoryA(shell_path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !text_append(shell_path, MAX_PATH, "\\SHELL32.DLL"))
        return;
    HMODULE shell = LoadLibraryA(shell_path);
    if (shell == nullptr)
        return;
    typedef BOOL(WINAPI * shell_execute_function)(SHELLEXECUTEINFOA*);
    // By way of the generic function type: the compiler accepts that cast to and from any other.
    typedef void (*generic_function)();
    shell_execute_function shell_execute = reinterpret_cast<shell_execute_function>(
        reinterpret_cast<generic_function>(GetProcAddress(shell, "ShellExecuteExA")));
    // The launcher exits right after this call and has no message loop: without SEE_MASK_NOASYNC
    // the shell may still be at work for the start when the process ends, and the start be lost.
    // (Windows 95 knows the flag as SEE_MASK_FLAG_DDEWAIT.) Whatever fails, the launcher shows
    // nothing: so does the shell with SEE_MASK_FLAG_NO_UI. No verb: the program's default one,
    // which asks for consent where the program needs it. The library stays loaded, as the process
    // ends next.
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpFile = program;
    info.lpParameters = parameters;
    info.nShow = SW_SHOW;
    if (shell_execute != nullptr)
        shell_execute(&info);
}

namespace {

// The ANSI code page's information, read at the first question and kept: the code page does not
// change while the process runs. Zeroed data until then, so no constructor has to run.
CPINFO code_page;
bool code_page_read;

}  // namespace

bool platform_is_lead_byte(unsigned char value)
{
    if (!code_page_read) {
        code_page_read = true;
        // Where the information cannot be had, no byte is a lead byte.
        if (GetCPInfo(GetACP(), &code_page) == FALSE)
            code_page.LeadByte[0] = 0;
    }
    // Pairs of inclusive ranges, ended by a pair of zeros; a single-byte code page has none.
    for (unsigned i = 0; i + 1 < MAX_LEADBYTES && code_page.LeadByte[i] != 0; i += 2) {
        if (value >= code_page.LeadByte[i] && value <= code_page.LeadByte[i + 1])
            return true;
    }
    return false;
}

unsigned platform_module_file_name(platform_handle instance, char* buffer, unsigned capacity)
{
    return GetModuleFileNameA(static_cast<HMODULE>(instance), buffer, capacity);
}
