// Tovinel check, the check: the launcher's own decision played on a medium, on a simulated machine
// or (the Windows build's --this-machine) on this one. Internal to checker/.
#pragma once

#include "findings/check_context.h"
#include "simulated_machine.h"

// Plays the launcher's decision on the configuration in `context`.
check_decision check_play(check_context& context);

// Fills in `decision` what the launcher did and why, from what the seam recorded in `machine` while
// the launcher ran (the started command and the reasons).
void check_explain(const check_context& context, const simulated_machine& machine, check_decision* decision);

// check_play with this machine's own reads (--this-machine): the Windows build only; elsewhere the
// decision is unknown, with the reason.
check_decision check_play_this_machine(check_context& context);
