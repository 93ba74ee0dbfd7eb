// Tovinel check, the check: what the launcher will do with a medium, and what on the medium is
// likely wrong. The decision is the launcher's own, played through the native seam against a
// simulated machine.
#pragma once

#include "findings/report.h"
#include "media/medium.h"

// Checks the medium `source`, on the machine described by `options`: each file system on it as the
// Windows that read it see it, each autorun.inf section as the processors that read it, and what
// happens on insertion in options.drive_kind of drive. Reads at most a bounded start of each file it
// looks at and writes nothing.
check_report check_medium(const medium_source& source, const check_options& options);

// check_medium on the host folder options.medium_dir, for the decision alone.
check_decision check_decide(const check_options& options);
