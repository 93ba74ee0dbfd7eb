// Tovinel Wine tests: reads many keys of many .ini files with the real profile functions.
// Run under Wine, it answers the same queries as tests/simulated_windows/ini_query.cpp does with the INI stand-in.
#include <windows.h>

#include "../simulated_windows/profile_queries.h"

namespace {

unsigned read_text(const char* path, const char* section, const char* key, char* buffer, unsigned capacity)
{
    return GetPrivateProfileStringA(section, key, "", buffer, capacity, path);
}

unsigned read_int(const char* path, const char* section, const char* key, int default_value)
{
    return GetPrivateProfileIntA(section, key, default_value, path);
}

}  // namespace

int main(int argc, char** argv)
{
    return answer_profile_queries(argc, argv, '\\', read_text, read_int);
}
