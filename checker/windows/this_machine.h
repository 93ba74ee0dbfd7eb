// Tovinel check, Windows only: --this-machine, the launcher's decision played with this Windows
// machine's own reads. The seam side (platform_checker_win32.cpp) of the Windows build; internal to
// checker/.
#pragma once

#include "simulated_machine.h"

// One read of Tovinel.ini as the platform's profile function answered it.
struct this_machine_profile_read {
    char section[16];
    char key[16];
    bool is_int;          // GetPrivateProfileIntA; else GetPrivateProfileStringA
    char text[260];       // the text read (GetPrivateProfileStringA)
    unsigned value;       // its length, or the number read
};

// From now on every seam call reads this machine, through the launcher's own Windows seam, and is
// recorded in `record` (its second part, as the simulated seam fills it) and the profile reads in
// `reads` (at most `capacity`). The start is recorded, never made; the module name answered is
// record->module_path. simulated_machine_use ends it.
void this_machine_use(simulated_machine* record, this_machine_profile_read* reads, unsigned capacity);

// How many profile reads were logged since this_machine_use.
unsigned this_machine_profile_reads();
