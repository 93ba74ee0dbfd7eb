#!/usr/bin/python3
# Tovinel Wine tests: tovinel-check.exe under Wine. 1. On every sample medium it reports exactly what
# the Linux build reports (the same JSON but for how the medium is named). 2. --this-machine on a medium
# in drive E: reads a real registry (both views) and real windows, and tells what the launcher does.
# Usage: check_wine.py CHECK_EXE NATIVE_CHECK WINDOW_HOLDER PREFIX WORK_DIR MEDIUM...
#   The prefix is a win64 one, so that both registry views exist.
import json
import os
import shutil
import subprocess
import sys
import time

import jsonschema

import wine_session

SCHEMA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs", "tovinel-check.schema.json")

# The machine options of the parity runs: each sample medium is checked under each (the second in
# two code pages, which the report gives as one object holding both).
PARITY_OPTIONS = [[], ["--installed=C:\\APP\\APP.EXE", "--tail=/cd", "--codepage=1252,932"]]

PRODUCT = r"SOFTWARE\Tovinel Check Test\Product"
CONFIG = (b"[Application]\r\nRegKey=" + PRODUCT.encode() + b"\r\nStart=1\r\n"
          b"[Setup]\r\nWindowClass=TovinelCheckSetup\r\nWindowTitle=Check Setup\r\nRun=SETUP.EXE /s\r\n")
APP = r"C:\APP\APP.EXE"


class Run:
    def __init__(self, returncode, stdout, stderr):
        self.returncode, self.stdout, self.stderr = returncode, stdout, stderr


def run_check(session, work, arguments):
    """Runs the checker under Wine. Its output goes to files, not pipes: Wine's own services, started
    by the first program, inherit the handles and would hold a pipe open long after it has ended."""
    out_path, err_path = os.path.join(work, "out"), os.path.join(work, "err")
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        result = session.run(arguments, stdout=out, stderr=err, timeout=60)
    with open(out_path, "rb") as out, open(err_path, "rb") as err:
        return Run(result.returncode, out.read(), err.read())


def parity(session, work, check_exe, native_check, media):
    """Failures of the Windows build to report what the Linux build reports."""
    failures = []
    for medium in media:
        for options in PARITY_OPTIONS:
            arguments = ["--format=json"] + options
            linux = subprocess.run([native_check] + arguments + [medium], capture_output=True)
            windows = run_check(session, work, [check_exe] + arguments + [wine_session.unix_to_windows(medium)])
            name = f"{os.path.basename(medium)} {' '.join(options)}".strip()
            try:
                reports = [json.loads(run.stdout) for run in (linux, windows)]
            except ValueError as error:
                failures.append(f"{name}: no JSON ({error}): {windows.stdout[:300]!r} {windows.stderr[:300]!r}")
                continue
            for report in reports:
                for one in report.get("reports", [report]):
                    one["medium"] = "the medium, named as each system names it"
            codes = (linux.returncode, windows.returncode)
            if reports[0] != reports[1] or codes[0] != codes[1]:
                differences = [key for key in reports[0] if reports[0][key] != reports[1].get(key)]
                failures.append(f"{name}: exit {codes[0]} on Linux, {codes[1]} under Wine; differing: "
                                + "; ".join(f"{key}: {reports[0][key]!r} / {reports[1].get(key)!r}"
                                            for key in differences))
            else:
                print(f"ok    same report: {name}")
    return failures


# What decides insertion on one PC: the AutoRun policies and the user's AutoPlay settings. Each case
# sets the ones it names; the others are removed.
POLICIES = r"Software\Microsoft\Windows\CurrentVersion\Policies\Explorer"
AUTOPLAY = r"Software\Microsoft\Windows\CurrentVersion\Explorer\AutoplayHandlers"
SETTINGS = {
    "no AutoRun on discs": (f"HKEY_LOCAL_MACHINE\\{POLICIES}", '"NoDriveTypeAutoRun"=dword:000000ff'),
    "AutoPlay off": (f"HKEY_CURRENT_USER\\{AUTOPLAY}", '"DisableAutoplay"=dword:00000001'),
    "take no action": (f"HKEY_CURRENT_USER\\{AUTOPLAY}\\UserChosenExecuteHandlers\\AutorunINFLegacyArrival",
                       '@="MSTakeNoAction"'),
}


# What a publisher types in cmd, with what the check takes for the installed command and the findings.
TYPED_IN_CMD = [
    (r'--installed="C:\Program Files\Maker\App.exe" --tail=/cd', r'"C:\Program Files\Maker\App.exe"', []),
    (r'--installed "C:\Program Files\Maker\App.exe"', r'"C:\Program Files\Maker\App.exe"', []),
    (r'"--installed=C:\Program Files\Maker\App.exe"', r"C:\Program Files\Maker\App.exe",
     ["installed-unquoted-blank"]),
    (r'--installed="\"C:\Program Files\Maker\App.exe\""', r'"C:\Program Files\Maker\App.exe"', []),
]


def typed_in_cmd(session, work, check_exe, medium):
    """Failures of --installed to take the value as typed in a batch file run by cmd, and of --help
    to show cmd's quoting."""
    failures = []
    batch = os.path.join(work, "typed.bat")
    for typed, value, ids in TYPED_IN_CMD:
        with open(batch, "w", newline="") as out:
            out.write(f"@{check_exe} --format=json {typed} {wine_session.unix_to_windows(medium)}\r\n")
        run = run_check(session, work, ["cmd", "/c", wine_session.unix_to_windows(batch)])
        try:
            report = json.loads(run.stdout)
        except ValueError:
            failures.append(f"typed in cmd {typed}: no JSON: {run.stdout[:200]!r} {run.stderr[:200]!r}")
            continue
        found = [finding["id"] for finding in report["findings"]]
        if report["machine"]["default_value"] != value or found != ids:
            failures.append(f"typed in cmd {typed}: value {report['machine']['default_value']!r}, findings {found}")
        else:
            print(f"ok    typed in cmd: {typed}")
    shown = run_check(session, work, [check_exe, "--help"]).stdout.decode("utf-8", "replace")
    if r'tovinel-check.exe --installed="C:\Program Files\Maker\App.exe" --tail=/cd medium' not in shown:
        failures.append(f"--help shows no cmd quoting:\n{shown}")
    return failures


def set_registry(session, work, view, value, settings=()):
    """The product key in the 32- or 64-bit `view` (None: no key) with `value` as its default
    value (None: no default value); any earlier key, in either view, is removed. `settings` names
    the SETTINGS of insertion to make; the others are removed."""
    views = {64: "SOFTWARE", 32: r"SOFTWARE\Wow6432Node"}
    below = PRODUCT[len("SOFTWARE"):]
    lines = ["Windows Registry Editor Version 5.00", ""]
    for root in views.values():
        lines += [f"[-HKEY_LOCAL_MACHINE\\{root}{below}]", ""]
    for name, (key, line) in SETTINGS.items():
        lines += [f"[{key}]", line if name in settings else line.split("=")[0] + "=-", ""]
    if view is not None:
        lines.append(f"[HKEY_LOCAL_MACHINE\\{views[view]}{below}]")
        if value is not None:
            lines.append("@=" + json.dumps(value))
    reg_file = os.path.join(work, "state.reg")
    with open(reg_file, "w", newline="") as out:
        out.write("\r\n".join(lines) + "\r\n")
    # The 64-bit regedit writes either view.
    session.run64(["regedit", "/S", wine_session.unix_to_windows(reg_file)], check=True, timeout=60,
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def this_machine_cases():
    """(name, key view or None, default value or None, window (class, title) or None, outcome,
    command line or None, phrases the reasons, facts and findings hold, the findings' (line, id),
    the SETTINGS of insertion made, what the report says happens here on insertion).
    The launcher and the checker are 32-bit programs: their own view is the 32-bit one."""
    offered = "a CD, DVD or Blu-ray disc: AutoPlay asks first, offering 'Run tovinel.exe'"
    return [
        ("not installed, no window", None, None, None, "start-setup", "E:\\SETUP.EXE /s ",
         ["does not open in the 32-bit view: error 2", "in the 64-bit view it does not open either.",
          "No window of class 'TovinelCheckSetup'"], [], (), offered),
        ("installed in the launcher's view", 32, APP, None, "start-application", APP + " ",
         ["opens in the 32-bit view; its default value is REG_SZ, %d bytes" % (len(APP) + 1),
          "in the 64-bit view it does not open.", "Start is nonzero"], [], (), offered),
        ("installed in the other view only", 64, APP, None, "start-setup", "E:\\SETUP.EXE /s ",
         ["The key is there in the 64-bit registry view only", "in the 64-bit view it opens",
          "RegKey '%s' opens on this machine in the 64-bit registry view only" % PRODUCT,
          "Have the setup write the key in the 32-bit view as well",
          # Where the finding tells the publisher to write the key, in the launcher's own view.
          "Wow6432Node\\Tovinel Check Test\\Product')", "KEY_WOW64_32KEY"],
         [(2, "regkey-other-view")], (), offered),
        ("installed without a default value", 32, None, None, "start-nothing", None,
         ["its default value cannot be read: error 2", "The key has no default value"], [], (), offered),
        ("setup window open", None, None, (b"TovinelCheckSetup", b"Check Setup"), "start-nothing", None,
         ["FindWindowA('TovinelCheckSetup', 'Check Setup') finds a window.", "setup is already running"], [],
         (), offered),
        ("a window of the class with another title", None, None, (b"TovinelCheckSetup", b"Other"), "start-setup",
         "E:\\SETUP.EXE /s ", ["a window of that class is open, titled 'Other'"], [], (), offered),
        # The installed command as this PC holds it: a program that is gone, a document.
        ("installed, its program gone", 32, r'"C:\Program Files\Gone\App.exe" /x', None, "start-application",
         r'"C:\Program Files\Gone\App.exe" /x ', ["names 'C:\\Program Files\\Gone\\App.exe', which is not on this PC"],
         [(None, "installed-program-missing")], (), offered),
        ("installed, its program a document", 32, r"C:\windows\win.ini", None, "start-application",
         "C:\\windows\\win.ini ", ["starts 'C:\\windows\\win.ini', which is no Windows program on this PC"],
         [(None, "installed-program-not-program")], (), offered),
        # What decides insertion here.
        ("AutoRun off for discs by policy", None, None, None, "start-setup", "E:\\SETUP.EXE /s ", [], [],
         ("no AutoRun on discs",), "AutoRun is off for optical drives by policy (NoDriveTypeAutoRun 0xFF in HKLM):"
         " nothing starts; open the drive and run tovinel.exe"),
        ("AutoPlay off for this user", None, None, None, "start-setup", "E:\\SETUP.EXE /s ", [], [],
         ("AutoPlay off",), "AutoPlay is off for this user: nothing starts; open the drive and run tovinel.exe"),
        ("the user takes no action for software discs", None, None, None, "start-setup", "E:\\SETUP.EXE /s ", [], [],
         ("take no action",), "nothing starts (the user chose 'Take no action' for software discs); open the drive"
         " and run tovinel.exe"),
    ]


def this_machine(session, work, check_exe, holder, holder_path, medium_source):
    failures = []
    medium = os.path.join(work, "medium")
    shutil.copytree(medium_source, medium)
    with open(os.path.join(medium, "Tovinel.ini"), "wb") as out:
        out.write(CONFIG)
    e_link = os.path.join(session.prefix, "dosdevices", "e:")
    if os.path.lexists(e_link):
        os.remove(e_link)
    os.symlink(medium, e_link)
    # E: is a CD drive, as Windows tells AutoPlay; the installed application is a program there.
    drives = os.path.join(work, "drives.reg")
    with open(drives, "w", newline="") as out:
        out.write('Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\r\n'
                  '"e:"="cdrom"\r\n')
    session.run64(["regedit", "/S", wine_session.unix_to_windows(drives)], check=True, timeout=60,
                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    session.restart_server()
    app = os.path.join(session.prefix, "drive_c", "APP", "APP.EXE")
    os.makedirs(os.path.dirname(app), exist_ok=True)
    shutil.copyfile(holder_path, app)
    with open(SCHEMA) as schema:
        validator = jsonschema.Draft202012Validator(json.load(schema))
    # A machine described by options is another machine: refused.
    refused = run_check(session, work, [check_exe, "--this-machine", "--installed=X", "E:\\"])
    if refused.returncode != 2 or b"--this-machine reads this machine" not in refused.stderr:
        failures.append(f"--this-machine with --installed: exit {refused.returncode}, {refused.stderr!r}")
    for name, view, value, window, outcome, command, phrases, findings, settings, here in this_machine_cases():
        set_registry(session, work, view, value, settings)
        opened = wine_session.open_window(session.popen, holder, work, "window", *window) if window else None
        try:
            run = run_check(session, work, [check_exe, "--this-machine", "--format=json", "E:\\"])
            text_run = run_check(session, work, [check_exe, "--this-machine", "E:\\"])
        finally:
            if opened:
                process, ready = opened
                os.remove(ready)
                process.wait(timeout=20)
        try:
            report = json.loads(run.stdout)
        except ValueError:
            failures.append(f"{name}: no JSON: {run.stdout[:300]!r} {run.stderr[:300]!r}")
            continue
        said = "\n".join(report["decision"]["reasons"] + report["machine"]["facts"] +
                         [finding["message"] for finding in report["findings"]])
        problems = [f"schema: {error.message}" for error in validator.iter_errors(report)]
        if report["decision"]["outcome"] != outcome:
            problems.append(f"outcome {report['decision']['outcome']!r}, expected {outcome!r}")
        if report["command_line"] != command:
            problems.append(f"command line {report['command_line']!r}, expected {command!r}")
        if not report["machine"]["this_machine"] or report["launcher"]["path"] != "E:\\tovinel.exe":
            problems.append(f"not this machine's launcher: {report['machine']!r} {report['launcher']!r}")
        problems += [f"no {phrase!r} in:\n{said}" for phrase in phrases if phrase not in said]
        if not report["machine"]["insertion_here"].endswith(here):
            problems.append(f"here: {report['machine']['insertion_here']!r}, expected {here!r}")
        found = [(finding["line"], finding["id"]) for finding in report["findings"]]
        if found != findings or run.returncode != report["exit_code"] or report["exit_code"] != (1 if findings else 0):
            problems.append(f"findings {found}, exit {run.returncode} (reported {report['exit_code']}), "
                            f"expected {findings}")
        # The text output says the same: the machine's facts under their heading, one a line.
        text = text_run.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
        facts_shown = "".join(f"  - {fact}\n" for fact in report["machine"]["facts"])
        if f"Seen on this machine:\n{facts_shown}" not in text or \
                f"Machine:  {report['machine']['description']}\n" not in text:
            problems.append(f"text output differs from the JSON report's machine:\n{text}")
        if problems:
            failures.append(f"{name}: " + "; ".join(problems))
        else:
            print(f"ok    --this-machine: {name}")
    os.remove(e_link)
    return failures


def main():
    if len(sys.argv) < 7:
        sys.exit("usage: check_wine.py CHECK_EXE NATIVE_CHECK WINDOW_HOLDER PREFIX WORK_DIR MEDIUM...")
    check_exe, native_check, holder, prefix, work = (os.path.abspath(path) for path in sys.argv[1:6])
    media = [os.path.abspath(medium) for medium in sys.argv[6:]]
    wine_session.skip_unless_wine_runs("tovinel-check.exe under Wine")
    began = time.monotonic()
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    with wine_session.Session(prefix) as session:
        failures = parity(session, work, wine_session.unix_to_windows(check_exe), native_check, media)
        failures += typed_in_cmd(session, work, wine_session.unix_to_windows(check_exe), media[0])
        failures += this_machine(session, work, wine_session.unix_to_windows(check_exe),
                                 wine_session.unix_to_windows(holder), holder, media[0])
    shutil.rmtree(work, ignore_errors=True)
    for failure in failures:
        print("FAIL  " + failure)
    print(f"\ntovinel-check.exe under Wine: {len(failures)} failed in {time.monotonic() - began:.1f} s "
          f"({wine_session.how_wine_runs()})")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
