#!/usr/bin/python3
"""Tovinel Wine tests: the launcher's hand-over to the shell, played under Wine.
Wine never refuses a start for elevation, so the launcher never takes this path there; shell_start.exe
calls the launcher's own platform_shell_start with each case's program and parameters, and the
recorder, placed in a folder with a blank, writes down the command line it was started with.
Usage: run_shell_start.py HELPER_DIR PREFIX WORK_DIR"""
import os
import shutil
import subprocess
import sys
import time

import run_scenarios
import wine_session

# The parameters must arrive unchanged after the program, blanks and quotes included.
CASES = [
    ("parameters with blanks and quotes", b'/s "C:\\My Folder\\a b.txt" --name="x y"  -q'),
    ("a quoted argument only", b'"one argument"'),
    ("parameters ending in blanks", b"-q  "),
    ("no parameters", b""),
]
PROGRAM = b"C:\\Tovinel Shell Test\\recorder.exe"


def wait_for_starts(path, seconds=20):
    """The starts the recorder wrote down, once there is one; none when none came in time. The shell
    does not wait for what it starts, and what Wine runs beside it would keep a job from emptying."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        starts = run_scenarios.read_record(path)
        if starts:
            time.sleep(0.2)  # a second start, which must not come, would be written by now
            return run_scenarios.read_record(path)
        time.sleep(0.02)
    return []


def problems_of(starts, parameters):
    """What is wrong with the starts the recorder saw, as lines for a person."""
    if len(starts) != 1:
        return [f"expected one start of the recorder, got {len(starts)}"]
    start = starts[0]
    problems = []
    # The shell quotes the program's path, which holds a blank, and puts one blank between it and
    # the parameters, which follow unchanged. Wine adds no blank when there are no parameters;
    # Windows may, so both are right then.
    quoted = b'"' + PROGRAM + b'"'
    allowed = [quoted + b" " + parameters] + ([quoted] if not parameters else [])
    if start.command not in allowed:
        problems.append(f"the recorder got {start.command!r}, expected {allowed[0]!r}")
    if not start.flags & run_scenarios.STARTF_USESHOWWINDOW or start.show != run_scenarios.SW_SHOW:
        problems.append(f"show state: expected STARTF_USESHOWWINDOW with SW_SHOW, got flags {start.flags:#x} "
                        f"and show {start.show}")
    return problems


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    wine_session.skip_unless_wine_runs("the shell hand-over under Wine")
    helpers, prefix, work = sys.argv[1:]
    began = time.monotonic()
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    failures = 0
    with wine_session.Session(prefix, display=False) as session:
        folder = os.path.join(prefix, "drive_c", "Tovinel Shell Test")
        os.makedirs(folder, exist_ok=True)
        shutil.copyfile(os.path.join(helpers, "recorder.exe"), os.path.join(folder, "recorder.exe"))
        try:
            for number, (name, parameters) in enumerate(CASES, 1):
                record = os.path.join(work, f"record-{number}")
                instructions = os.path.join(work, f"shell-{number}.txt")
                with open(instructions, "wb") as out:
                    out.write(PROGRAM + b"\n" + parameters)
                env = dict(session.env, TOVINEL_RECORD=wine_session.unix_to_windows(record))
                # Into a file, not a pipe: the programs Wine starts beside it would hold a pipe open.
                report = os.path.join(work, f"shell-{number}.out")
                with open(report, "wb") as out:
                    result = session.run([os.path.join(helpers, "shell_start.exe"),
                                          wine_session.unix_to_windows(instructions)],
                                         env=env, timeout=60, stdout=out, stderr=subprocess.STDOUT)
                with open(report, "rb") as out:
                    problems = [line for line in out.read().decode("latin-1").splitlines() if line]
                if result.returncode != 0:
                    problems.append(f"shell_start.exe ended with {result.returncode}")
                problems += problems_of(wait_for_starts(record), parameters)
                if problems:
                    failures += 1
                    print(f"FAIL  {name}\n      " + "\n      ".join(problems))
                else:
                    print(f"ok    {name}")
        finally:
            shutil.rmtree(folder, ignore_errors=True)
    shutil.rmtree(work, ignore_errors=True)
    print(f"\nshell hand-over under Wine: {len(CASES) - failures} of {len(CASES)} passed "
          f"in {time.monotonic() - began:.1f} s")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
