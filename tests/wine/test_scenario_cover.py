#!/usr/bin/python3
# Tovinel tests: how the Wine runner's default cover of the scenario table is chosen
# (tests/wine/scenario_cover.py): the greedy cover, what a scenario is taken to show, and that a
# scenario Wine skips is never chosen while what only it shows is named.
import sys

import scenario_cover

# (feature sets, the indexes chosen, in the order chosen)
COVERS = [
    ([{"a", "b"}, {"b"}, {"c"}, {"a", "c"}], [0, 2]),    # equals: the first in the table
    ([{"a"}, {"b"}, {"a", "b", "c"}], [2]),              # the one that adds most, then nothing is missing
    ([{"a"}, {"a"}, {"b"}], [0, 2]),                     # a repeat adds nothing
    ([set(), {"a"}], [1]),
    ([], []),
]

APP = b"C:\\APP\\APP.EXE"


def scenario(expect=b"D:\\SETUP.EXE ", registry=("none", b""), view=32, codepage=1252, windows=(),
             wine=("same", None, None)):
    return {"expect": expect, "registry": registry, "registry_view": view, "codepage": codepage,
            "windows": list(windows), "wine": wine}


BASE = {"code page 1252", "registry: none"}
# (scenario, its Win32 calls, what it is taken to show besides the calls)
FEATURES = [
    (scenario(), [], BASE | {"outcome: setup started"}),
    (scenario(expect=None), ["ExitProcess"], BASE | {"outcome: nothing started"}),
    (scenario(expect=APP + b" /cd", registry=("sz", APP + b"\0"), view=64), [],
     {"code page 1252", "registry: sz", "registry view 64", "outcome: the application started"}),
    (scenario(expect=b"%APPDIR%\\APP.EXE ", registry=("expand", b"%APPDIR%\\APP.EXE")), [],
     {"code page 1252", "registry: expand", "registry view 32", "outcome: the application started"}),
    # A value that is not text, or empty text, names no application: the setup started.
    (scenario(registry=("dword", b"D:\\S")), [],
     {"code page 1252", "registry: dword", "registry view 32", "outcome: setup started"}),
    (scenario(registry=("sz", b"\0")), [],
     {"code page 1252", "registry: sz", "registry view 32", "outcome: setup started"}),
    (scenario(windows=[(b"Setup", b"Title")], codepage=932), ["FindWindowA"],
     {"code page 932", "registry: none", "outcome: setup started", "an open window looked for"}),
    # A window the launcher never looks for shows nothing of windows.
    (scenario(windows=[(b"Setup", b"Title")]), ["WinExec"], BASE | {"outcome: setup started"}),
    (scenario(wine=("differs", b"other", "why")), [], BASE | {"outcome: setup started", "an expectation of Wine's own"}),
]


def main():
    failures = []
    for sets, expected in COVERS:
        chosen = [index for index, _ in scenario_cover.greedy_cover(sets)]
        if chosen != expected:
            failures.append(f"cover of {sets}: chose {chosen}, expected {expected}")
    for case, calls, shown in FEATURES:
        got = scenario_cover.features(case, calls)
        expected = shown | {f"call {name}" for name in calls}
        if got != expected:
            failures.append(f"features of {case} with {calls}: {sorted(got)}, expected {sorted(expected)}")

    # A scenario Wine skips is never chosen; what only it shows is named instead.
    table = [scenario(), scenario(wine=("skip", None, "why")), scenario(expect=None)]
    calls = [["WinExec"], ["WinExec", "ShellExecuteExA"], ["ExitProcess"]]
    scenario_cover.emulated_calls = lambda scenarios, exe, library: calls
    chosen, skipped_only = scenario_cover.choose(table, "tovinel.exe", "library.so")
    if sorted(chosen) != [0, 2] or skipped_only != {"call ShellExecuteExA"}:
        failures.append(f"with a skipped scenario: chose {sorted(chosen)}, named {skipped_only}")

    for failure in failures:
        print("FAIL  " + failure)
    print(f"scenario cover: {len(COVERS) + len(FEATURES) + 1 - len(failures)} of "
          f"{len(COVERS) + len(FEATURES) + 1} cases passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
