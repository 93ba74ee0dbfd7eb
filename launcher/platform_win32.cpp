// Tovinel: the platform seam on Windows, with the real KERNEL32, USER32 and ADVAPI32 calls.
// Every call is one that Windows 95 already has, in its ANSI form.
#include "platform.h"

#include <windows.h>

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

void platform_start_program(const char* command_line)
{
    WinExec(command_line, SW_SHOW);
}

bool platform_is_lead_byte(unsigned char value)
{
    CPINFO info;
    if (GetCPInfo(GetACP(), &info) == FALSE)
        return false;
    // Pairs of inclusive ranges, ended by a pair of zeros; a single-byte code page has none.
    for (unsigned i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
        if (value >= info.LeadByte[i] && value <= info.LeadByte[i + 1])
            return true;
    }
    return false;
}

unsigned platform_module_file_name(platform_handle instance, char* buffer, unsigned capacity)
{
    return GetModuleFileNameA(static_cast<HMODULE>(instance), buffer, capacity);
}
