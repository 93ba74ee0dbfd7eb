#!/usr/bin/python3
# Tovinel Wine tests: plays the scenarios of tests/scenarios/launcher.txt against the built
# tovinel.exe under Wine: real files on a medium mapped as D:, a real registry, real windows, real starts.
# By default it plays a cover of the table (scenario_cover.py: every Win32 call, outcome, code page,
# kind of registry data and view met at least once); with TOVINEL_WINE_ALL=1 in the environment, every
# scenario Wine can play.
# Usage: run_scenarios.py [--ini-library FILE] TABLE TOVINEL_EXE HELPER_DIR PREFIX WORK_DIR
#   HELPER_DIR holds recorder.exe, window_holder.exe and starter.exe (the Windows build).
#   --ini-library: the emulated runner's INI library, which the cover is chosen with (default: the
#   native build's)
import argparse
import collections
import os
import re
import shutil
import sys
import time

import scenario_cover
import scenario_table
import wine_session

# What the recorder (recorder.cpp) wrote for one start of it.
Start = collections.namedtuple("Start", "codepage flags show command")
STARTF_USESHOWWINDOW = 0x1
SW_SHOW = 5
# Present in the launcher's environment, so that an expanded %TOVINEL_TEST_DIR% names another path.
EXPANDED_DIR = "Expanded"
ENCODINGS = {1252: "cp1252", 932: "cp932"}


def read_record(path):
    """The starts the recorder wrote to `path`, in order; none when it was never started."""
    if not os.path.exists(path):
        return []
    with open(path, "rb") as recorded:
        records = recorded.read().split(b"\0")[:-1]
    starts = []
    for record in records:
        header, _, command = record.partition(b"\n")
        codepage, flags, show = (int(number) for number in header.split())
        starts.append(Start(codepage, flags, show, command))
    return starts


class Runner:
    # The table's product key is HKLM\SOFTWARE\Tovinel Test\Product; the demo names its own.
    def __init__(self, session, exe, helpers, work, product=r"SOFTWARE\Tovinel Test\Product"):
        self.product = "HKEY_LOCAL_MACHINE\\" + product
        self.session = session
        self.exe = exe
        self.helpers = helpers
        self.work = work
        self.last_registry = None
        self.c_drive = os.path.join(session.prefix, "drive_c")
        self.d_link = os.path.join(session.prefix, "dosdevices", "d:")

    def unix_path(self, windows_path, medium):
        """Where a C: or D: path of the table lies in the Unix file system. Wine names Unix files
        in UTF-8 (the sessions' locales), from the characters that the code page's bytes stand for."""
        text = windows_path.decode(ENCODINGS[self.session.codepage])
        drive, rest = text[:2].upper(), text[3:].replace("\\", "/")
        if drive == "D:":
            return os.path.join(medium, rest).encode("utf-8")
        if drive == "C:":
            return os.path.join(self.c_drive, rest).encode("utf-8")
        raise ValueError(f"no drive for {text!r}")

    def place(self, windows_path, medium, source=None, data=None):
        path = self.unix_path(windows_path, medium)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if source is not None:
            shutil.copyfile(source, path)
        else:
            with open(path, "wb") as out:
                out.write(data)
        return path

    def set_registry(self, kind, data, view=32):
        """Makes the product key as the table says, in the 32-bit programs' view or only in the
        64-bit one; the 64-bit regedit reaches the 32-bit view through its Wow6432Node path."""
        view_of_32_bit_programs = re.sub(r"^(HKEY_LOCAL_MACHINE\\SOFTWARE\\)", r"\1Wow6432Node\\",
                                         self.product, flags=re.IGNORECASE)
        if view_of_32_bit_programs == self.product:
            raise ValueError(f"{self.product} is not below HKLM\\SOFTWARE, which has the two views")
        lines = ["Windows Registry Editor Version 5.00", "", f"[-{self.product}]", "",
                 f"[-{view_of_32_bit_programs}]", ""]
        if kind != "none":
            lines.append(f"[{view_of_32_bit_programs if view == 32 else self.product}]")
        hexed = ",".join(f"{b:02x}" for b in data)
        if kind in ("sz", "expand"):
            # regedit stores each byte of hex(1) as one character: RegQueryValueExA gives them back.
            lines.append(f"@=hex({1 if kind == 'sz' else 2}):{hexed}")
        elif kind == "binary":
            lines.append(f"@=hex:{hexed}")
        elif kind == "dword":
            lines.append(f"@=dword:{int.from_bytes(data, 'little'):08x}")
        text = "\r\n".join(lines) + "\r\n"
        if text == self.last_registry:
            return
        reg_file = os.path.join(self.work, "state.reg")
        with open(reg_file, "w", newline="") as out:
            out.write(text)
        self.session.run64(["regedit", "/S", wine_session.unix_to_windows(reg_file)], check=True)
        self.last_registry = text

    def open_window(self, index, window_class, title):
        return wine_session.open_window(self.session.popen, os.path.join(self.helpers, "window_holder.exe"),
                                        self.work, f"window-{index}", window_class, title)

    def play(self, number, scenario):
        """Runs one scenario; returns (exit code, the list of Starts the recorder wrote)."""
        medium = os.path.join(self.work, f"medium-{number}")
        os.makedirs(medium)
        link = self.d_link + ".new"
        os.symlink(medium, link)
        os.replace(link, self.d_link)
        placed = []
        windows = []
        try:
            placed.append(self.place(scenario["module"], medium, source=self.exe))
            if scenario["ini"] is not None:
                placed.append(self.place(scenario["folder"] + scenario["ini_name"], medium, data=scenario["ini"]))
            for program in scenario["programs"]:
                placed.append(self.place(program, medium, source=os.path.join(self.helpers, "recorder.exe")))
            self.set_registry(*scenario["registry"], scenario.get("registry_view", 32))
            for index, (window_class, title) in enumerate(scenario["windows"]):
                windows.append(self.open_window(index, window_class, title))

            record = os.path.join(self.work, f"record-{number}")
            instructions = os.path.join(self.work, f"start-{number}.instructions")
            with open(instructions, "wb") as out:
                out.write(scenario["module"] + b"\n" + scenario["folder"] + b"\n" + scenario["command"])
            env = dict(self.session.env, TOVINEL_RECORD=wine_session.unix_to_windows(record),
                       TOVINEL_TEST_DIR=EXPANDED_DIR)
            # The starter waits for the launcher and everything it started (a job): when it returns,
            # the record is complete, or there is none because nothing started.
            result = self.session.run([os.path.join(self.helpers, "starter.exe"),
                                       wine_session.unix_to_windows(instructions)], env=env, timeout=60)
            return result.returncode, read_record(record)
        finally:
            for process, ready in windows:
                os.remove(ready)
                try:
                    process.wait(timeout=20)
                except Exception:
                    process.kill()
                    process.wait()
            c_drive = self.c_drive.encode("utf-8")
            for path in placed:
                if path.startswith(c_drive):
                    os.remove(path)
                    # Remove the folders made for it, up to drive_c itself.
                    folder = os.path.dirname(path)
                    while folder != c_drive and not os.listdir(folder):
                        os.rmdir(folder)
                        folder = os.path.dirname(folder)
            shutil.rmtree(medium)


def problems_of(scenario, exit_code, starts, expected):
    """What is wrong with one run, as lines for a person; none when it went as expected."""
    problems = []
    if exit_code != 0:
        problems.append(f"exit code: expected 0, got {exit_code}")
    if len(starts) > 1:
        problems.append(f"started {len(starts)} programs: " +
                        ", ".join(scenario_table.show(start.command) for start in starts))
    started = starts[0].command if starts else None
    if started != expected:
        problems.append(f"expected {scenario_table.show(expected)}, got {scenario_table.show(started)}")
    for start in starts:
        if not start.flags & STARTF_USESHOWWINDOW or start.show != SW_SHOW:
            problems.append(f"show state: expected STARTF_USESHOWWINDOW with SW_SHOW ({SW_SHOW}), "
                            f"got flags {start.flags:#x} and show {start.show}")
        if start.codepage != scenario["codepage"]:
            problems.append(f"code page: expected {scenario['codepage']}, the program ran under {start.codepage}")
    return problems


def main():
    parser = argparse.ArgumentParser(description="Plays the scenario table against tovinel.exe under Wine.")
    parser.add_argument("--ini-library", default=os.path.join(
        scenario_cover.ROOT, "build", "native", "tests", "emulated", "libemulated_ini.so"))
    for name in ("table", "exe", "helpers", "prefix", "work"):
        parser.add_argument(name)
    arguments = parser.parse_args()
    wine_session.skip_unless_wine_runs("the Wine scenarios")
    began = time.monotonic()
    scenarios = scenario_table.read_table(arguments.table)
    playable = sum(scenario["wine"][0] != "skip" for scenario in scenarios)
    if os.environ.get("TOVINEL_WINE_ALL") == "1":
        chosen = None
        print(f"Wine plays every scenario it can play ({playable} of {len(scenarios)}: TOVINEL_WINE_ALL=1)\n")
    else:
        chosen, skipped_only = scenario_cover.choose(scenarios, arguments.exe, arguments.ini_library)
        print(f"Wine plays {len(chosen)} of the {playable} scenarios it can play: together they meet every Win32 "
              f"call, outcome, code page, kind of registry data and view that all {playable} meet "
              f"(TOVINEL_WINE_ALL=1 plays all {playable}).\nMet only in scenarios Wine cannot play: "
              f"{', '.join(sorted(skipped_only)) or 'nothing'}.\n")
    work = arguments.work
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    failures = []
    played = 0
    # One wineserver session per code page, in the same prefix: a program takes its code page from
    # the locale it starts in, and ending the session ends every program of the one before.
    for codepage in sorted({scenario["codepage"] for scenario in scenarios}, reverse=True):
        numbers = [number for number, scenario in enumerate(scenarios, 1)
                   if scenario["codepage"] == codepage and scenario["wine"][0] != "skip"
                   and (chosen is None or number - 1 in chosen)]
        if not numbers:
            continue
        session_began = time.monotonic()
        with wine_session.Session(arguments.prefix, codepage=codepage) as session:
            runner = Runner(session, arguments.exe, arguments.helpers, work)
            for number in numbers:
                scenario = scenarios[number - 1]
                how, wine_expect, why = scenario["wine"]
                name = scenario["name"]
                expected = wine_expect if how == "differs" else scenario["expect"]
                exit_code, starts = runner.play(number, scenario)
                played += 1
                problems = problems_of(scenario, exit_code, starts, expected)
                if problems:
                    failures.append(name)
                    print(f"FAIL  {name}\n      " + "\n      ".join(problems))
                else:
                    note = f"  (Wine differs from Windows: {why})" if how == "differs" else ""
                    print(f"ok    {name}{note}")
                if chosen is not None:
                    print(f"      (chosen for: {', '.join(sorted(chosen[number - 1]))})")
        print(f"      (code page {codepage}: {time.monotonic() - session_began:.1f} s)")
    for scenario in scenarios:
        if scenario["wine"][0] == "skip":
            print(f"skip  {scenario['name']}\n      (Wine: {scenario['wine'][2]})")
    shutil.rmtree(work, ignore_errors=True)
    print(f"\nWine scenarios: {played} played, {len(failures)} failed, {len(scenarios) - playable} skipped, "
          f"{playable - played} left to the native and emulated runners (of {len(scenarios)} in the table) "
          f"in {time.monotonic() - began:.1f} s ({wine_session.how_wine_runs()})")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
