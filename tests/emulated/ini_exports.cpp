// Tovinel tests: the INI stand-in (simulated_windows/ini_reader.cpp) under C names, so that the
// emulated runner answers GetPrivateProfileStringA and GetPrivateProfileIntA through ctypes with the
// very reader the native runner uses, on the scenario's bytes in memory.
#include "ini_reader.h"

extern "C" unsigned emulated_ini_read_text(const char* text, unsigned long length, const char* section,
                                           const char* key, char* buffer, unsigned capacity)
{
    return ini_read_text(text, length, section, key, buffer, capacity);
}

extern "C" unsigned emulated_ini_read_int(const char* text, unsigned long length, const char* section,
                                          const char* key, int default_value)
{
    return ini_read_int(text, length, section, key, default_value);
}
