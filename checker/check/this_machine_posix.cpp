// Tovinel check: --this-machine where there is no Windows to read: the decision stays unknown.
// The command line refuses the option before a check gets here; this keeps every build linkable.
#include "check/decide.h"

check_decision check_play_this_machine(check_context& /*context*/)
{
    check_decision decision;
    decision.reasons.push_back("Only tovinel-check.exe on Windows reads this machine.");
    return decision;
}
