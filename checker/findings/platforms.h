// Tovinel check, findings: the Windows a medium meets, each version on each processor it was sold
// for, and sets of them: what a finding or an outcome of insertion concerns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// In the order the report lists them: the Windows 9x line and NT 4 before the NT line that followed.
enum class windows_version { win95, win98, me, nt4, win2000, xp, vista, win7, win8, win10, win11 };
const unsigned windows_version_count = 11;

enum class architecture { x86, amd64, alpha, mips, ppc };

struct windows_platform {
    windows_version version;
    architecture arch;
};

// Every platform the checker plays, in report order: each version on x86 (Windows 11 on x64 only),
// the x64 editions from XP on, and NT 4 on its three RISC processors.
const windows_platform* platforms_all();
unsigned platform_count();

// A set of platforms, one bit per index of platforms_all().
using platform_set = uint32_t;

// Windows on RISC processors (NT 4 on Alpha, MIPS and PowerPC) runs no x86 program natively; it is
// played only where autorun.inf has a section of its own for it. The platforms of everything else.
platform_set platforms_usual();
// The platforms of one architecture, and of one version.
platform_set platforms_of(architecture arch);
platform_set platforms_of(windows_version version);
// The platforms of the versions from `first` to `last` in report order, on every processor.
platform_set platforms_from(windows_version first, windows_version last);

// The versions a set holds, in report order.
std::vector<windows_version> versions_in(platform_set set);

// The one architecture a set is limited to within the versions it holds, or false when the set
// holds every processor of those versions (in `universe`) or more than one architecture.
bool only_architecture(platform_set set, platform_set universe, architecture* arch);

// Names as the JSON report writes them ("95", "me", "nt4", "vista", "11"; "x86", "amd64") and as
// people read them ("Windows 95", "Me", "NT 4"; "x64").
const char* version_id(windows_version version);
const char* version_name(windows_version version);
const char* architecture_id(architecture arch);
const char* architecture_name(architecture arch);

// The set for people: "Windows 98, Me, 2000 to 11", with ", x64" when it is limited to one processor
// within `universe`; "" when it is the whole universe.
std::string platforms_words(platform_set set, platform_set universe);
