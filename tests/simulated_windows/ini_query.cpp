// Tovinel tests: answers profile queries with the INI stand-in, for the differential test.
// The native twin of tests/wine/profile_reader.cpp, which asks Wine's own profile functions.
#include "ini_reader.h"
#include "profile_queries.h"

int main(int argc, char** argv)
{
    return answer_profile_queries(argc, argv, '/', ini_file_read_text, ini_file_read_int);
}
