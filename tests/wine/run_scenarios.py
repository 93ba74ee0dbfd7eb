#!/usr/bin/python3
# Tovinel Wine tests: plays every scenario of tests/scenarios/launcher.txt against the built
# tovinel.exe under Wine: real files on a medium mapped as D:, a real registry, real windows, real starts.
# Usage: run_scenarios.py TABLE TOVINEL_EXE HELPER_DIR PREFIX WORK_DIR
#   HELPER_DIR holds recorder.exe, window_holder.exe and starter.exe (the Windows build).
import os
import shutil
import sys
import time

import scenario_table
import wine_session

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
        """Where a C: or D: path of the table lies in the Unix file system."""
        text = windows_path.decode("latin-1")
        drive, rest = text[:2].upper(), text[3:].replace("\\", "/")
        if drive == "D:":
            return os.path.join(medium, rest)
        if drive == "C:":
            return os.path.join(self.c_drive, rest)
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

    def set_registry(self, kind, data):
        lines = ["Windows Registry Editor Version 5.00", "", f"[-{self.product}]", ""]
        if kind != "none":
            lines.append(f"[{self.product}]")
        hexed = ",".join(f"{b:02x}" for b in data)
        if kind == "sz":
            # regedit stores each byte of hex(1) as one character: RegQueryValueExA gives them back.
            lines.append(f"@=hex(1):{hexed}")
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
        self.session.run(["regedit", "/S", wine_session.unix_to_windows(reg_file)], check=True)
        self.last_registry = text

    def open_window(self, index, window_class, title):
        ready = os.path.join(self.work, f"window-{index}.ready")
        spec = os.path.join(self.work, f"window-{index}.spec")
        with open(spec, "wb") as out:
            out.write(wine_session.unix_to_windows(ready).encode() + b"\n" + window_class + b"\n" + title + b"\n")
        process = self.session.popen([os.path.join(self.helpers, "window_holder.exe"),
                                      wine_session.unix_to_windows(spec)])
        deadline = time.monotonic() + 20
        while not os.path.exists(ready):
            if process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError(f"the window holder did not open {window_class!r}")
            time.sleep(0.01)
        return process, ready

    def play(self, number, scenario):
        """Runs one scenario; returns (exit code, what was started: bytes, None, or a list when
        more than one program started)."""
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
            self.set_registry(*scenario["registry"])
            for index, (window_class, title) in enumerate(scenario["windows"]):
                windows.append(self.open_window(index, window_class, title))

            record = os.path.join(self.work, f"record-{number}")
            spec = os.path.join(self.work, f"start-{number}.spec")
            with open(spec, "wb") as out:
                out.write(scenario["module"] + b"\n" + scenario["folder"] + b"\n" + scenario["command"])
            env = dict(self.session.env, TOVINEL_RECORD=wine_session.unix_to_windows(record))
            # The starter waits for the launcher and everything it started (a job): when it returns,
            # the record is complete, or there is none because nothing started.
            result = self.session.run([os.path.join(self.helpers, "starter.exe"),
                                       wine_session.unix_to_windows(spec)], env=env, timeout=60)
            started = None
            if os.path.exists(record):
                with open(record, "rb") as recorded:
                    records = recorded.read().split(b"\0")[:-1]
                started = records[0] if len(records) == 1 else records
            return result.returncode, started
        finally:
            for process, ready in windows:
                os.remove(ready)
                try:
                    process.wait(timeout=20)
                except Exception:
                    process.kill()
                    process.wait()
            for path in placed:
                if path.startswith(self.c_drive):
                    os.remove(path)
                    # Remove the folders made for it, up to drive_c itself.
                    folder = os.path.dirname(path)
                    while folder != self.c_drive and not os.listdir(folder):
                        os.rmdir(folder)
                        folder = os.path.dirname(folder)
            shutil.rmtree(medium)


def main():
    if len(sys.argv) != 6:
        sys.exit(__doc__ if __doc__ else "usage: run_scenarios.py TABLE TOVINEL_EXE HELPER_DIR PREFIX WORK_DIR")
    table, exe, helpers, prefix, work = sys.argv[1:]
    began = time.monotonic()
    scenarios = scenario_table.read_table(table)
    wine_session.skip_unless_wine_runs("the Wine scenarios")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    failures = []
    played = skipped = 0
    with wine_session.Session(prefix) as session:
        runner = Runner(session, exe, helpers, work)
        for number, scenario in enumerate(scenarios, 1):
            how, wine_expect, why = scenario["wine"]
            name = scenario["name"]
            if how == "skip":
                skipped += 1
                print(f"skip  {name}\n      (Wine: {why})")
                continue
            expected = wine_expect if how == "differs" else scenario["expect"]
            exit_code, started = runner.play(number, scenario)
            played += 1
            problems = []
            if exit_code != 0:
                problems.append(f"exit code: expected 0, got {exit_code}")
            if isinstance(started, list):
                problems.append(f"started {len(started)} programs: " +
                                ", ".join(scenario_table.show(s) for s in started))
            elif started != expected:
                problems.append(f"expected {scenario_table.show(expected)}, got {scenario_table.show(started)}")
            if problems:
                failures.append(name)
                print(f"FAIL  {name}\n      " + "\n      ".join(problems))
            else:
                note = f"  (Wine differs from Windows: {why})" if how == "differs" else ""
                print(f"ok    {name}{note}")
    shutil.rmtree(work, ignore_errors=True)
    print(f"\nWine scenarios: {played} played, {len(failures)} failed, {skipped} skipped "
          f"(of {len(scenarios)} in the table) in {time.monotonic() - began:.1f} s")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
