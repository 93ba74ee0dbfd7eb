// Tovinel check: the Windows platforms a medium meets, and their names for people and for scripts.
// The list is fixed: every version from 95 to 11 on the processors it was sold for.
#include "findings/platforms.h"

namespace {

using v = windows_version;
using a = architecture;

const windows_platform every_platform[] = {
    {v::win95, a::x86},   {v::win98, a::x86},   {v::me, a::x86},       {v::nt4, a::x86},
    {v::nt4, a::alpha},   {v::nt4, a::mips},    {v::nt4, a::ppc},      {v::win2000, a::x86},
    {v::xp, a::x86},      {v::xp, a::amd64},    {v::vista, a::x86},    {v::vista, a::amd64},
    {v::win7, a::x86},    {v::win7, a::amd64},  {v::win8, a::x86},     {v::win8, a::amd64},
    {v::win10, a::x86},   {v::win10, a::amd64}, {v::win11, a::amd64},
};
const unsigned count = sizeof every_platform / sizeof every_platform[0];
static_assert(count <= 32, "a platform_set holds one bit a platform");

platform_set matching(bool (*wanted)(const windows_platform&, unsigned), unsigned value)
{
    platform_set set = 0;
    for (unsigned i = 0; i < count; ++i)
        if (wanted(every_platform[i], value))
            set |= platform_set{1} << i;
    return set;
}

bool of_arch(const windows_platform& platform, unsigned arch)
{
    return static_cast<unsigned>(platform.arch) == arch;
}

bool of_version(const windows_platform& platform, unsigned version)
{
    return static_cast<unsigned>(platform.version) == version;
}

bool risc(const windows_platform& platform, unsigned)
{
    return platform.arch == a::alpha || platform.arch == a::mips || platform.arch == a::ppc;
}

// An id for scripts and a name for people.
struct version_names {
    const char* id;
    const char* name;
};
// In the order of enum class architecture.
const version_names architecture_names[] = {
    {"x86", "x86"}, {"amd64", "x64"}, {"alpha", "Alpha"}, {"mips", "MIPS"}, {"ppc", "PowerPC"}};
const version_names names[windows_version_count] = {
    {"95", "95"},   {"98", "98"},       {"me", "Me"}, {"nt4", "NT 4"}, {"2000", "2000"}, {"xp", "XP"},
    {"vista", "Vista"}, {"7", "7"}, {"8", "8"},   {"10", "10"},     {"11", "11"},
};

}  // namespace

const windows_platform* platforms_all()
{
    return every_platform;
}

unsigned platform_count()
{
    return count;
}

platform_set platforms_usual()
{
    return ~matching(risc, 0) & platforms_from(v::win95, v::win11);
}

platform_set platforms_of(architecture arch)
{
    return matching(of_arch, static_cast<unsigned>(arch));
}

platform_set platforms_of(windows_version version)
{
    return matching(of_version, static_cast<unsigned>(version));
}

platform_set platforms_from(windows_version first, windows_version last)
{
    platform_set set = 0;
    for (unsigned i = static_cast<unsigned>(first); i <= static_cast<unsigned>(last); ++i)
        set |= platforms_of(static_cast<windows_version>(i));
    return set;
}

std::vector<windows_version> versions_in(platform_set set)
{
    std::vector<windows_version> versions;
    for (unsigned i = 0; i < windows_version_count; ++i)
        if ((set & platforms_of(static_cast<windows_version>(i))) != 0)
            versions.push_back(static_cast<windows_version>(i));
    return versions;
}

bool only_architecture(platform_set set, platform_set universe, architecture* arch)
{
    platform_set of_versions = 0;
    for (windows_version version : versions_in(set))
        of_versions |= platforms_of(version);
    of_versions &= universe;
    if (set == 0 || (set & universe) == of_versions)
        return false;
    for (unsigned i = 0; i < count; ++i) {
        if ((set >> i & 1) == 0)
            continue;
        *arch = every_platform[i].arch;
        return (set & ~platforms_of(*arch)) == 0;
    }
    return false;
}

const char* version_id(windows_version version)
{
    return names[static_cast<unsigned>(version)].id;
}

const char* version_name(windows_version version)
{
    return names[static_cast<unsigned>(version)].name;
}

const char* architecture_id(architecture arch)
{
    return architecture_names[static_cast<unsigned>(arch)].id;
}

const char* architecture_name(architecture arch)
{
    return architecture_names[static_cast<unsigned>(arch)].name;
}

std::string platforms_words(platform_set set, platform_set universe)
{
    set &= universe;
    if (set == universe)
        return "";
    std::vector<windows_version> versions = versions_in(set);
    std::string words = "Windows ";
    // Runs of neighbours in report order: three or more as "first to last".
    for (size_t i = 0; i < versions.size();) {
        size_t end = i + 1;
        while (end < versions.size() && static_cast<unsigned>(versions[end]) == static_cast<unsigned>(versions[end - 1]) + 1)
            ++end;
        if (i != 0)
            words += ", ";
        if (end - i >= 3)
            words += std::string(version_name(versions[i])) + " to " + version_name(versions[end - 1]);
        else
            for (size_t j = i; j < end; ++j)
                words += std::string(j == i ? "" : ", ") + version_name(versions[j]);
        i = end;
    }
    architecture arch = a::x86;
    if (only_architecture(set, universe, &arch))
        words += std::string(", ") + architecture_name(arch);
    return words;
}
