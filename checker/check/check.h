// Tovinel check, the check: what the launcher will do with a medium, and what on the medium is
// likely wrong. The decision is the launcher's own, played through the native seam against a
// simulated machine.
#pragma once

#include "findings/report.h"
#include "media/medium.h"

// Checks the medium that `medium` reaches, on the machine described by `options`. Reads at most a
// bounded start of each file it looks at and writes nothing.
check_report check_medium(const medium_access& medium, const check_options& options);

// check_medium on the host folder options.medium_dir, for the decision alone.
check_decision check_decide(const check_options& options);
