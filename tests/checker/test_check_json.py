#!/usr/bin/python3
# Tovinel tests: tovinel-check --format=json on every sample medium, on three machines: each report is
# valid under docs/tovinel-check.schema.json and says what the text output says; --ignore and --quiet
# keep their promises; the schema lists exactly the finding ids the checker knows. Then media made here
# with names beyond ASCII (code pages 1252 and 932, bytes no code page maps, a medium path that is no
# UTF-8), alone and in several code pages at once: every report parses and gives back the names.
# Usage: test_check_json.py TOVINEL_CHECK SCHEMA FINDING_IDS_CPP MEDIUM...
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

import jsonschema

MACHINES = [[], ["--installed=C:\\APP\\APP.EXE", "--tail=/cd"], ["--setup-window=MakerSetupWindow,Maker Setup"]]
FINDING_LINE = re.compile(r"^(\S[^\n]*?)(?::(\d+))?: (?:note: )?.* \[([a-z0-9-]+)\]$")


def run(tool, arguments):
    return subprocess.run([tool] + arguments, capture_output=True, text=True, errors="replace")


def text_findings(output):
    """(file, line, id) of each finding line of the text output."""
    found = []
    for line in output.splitlines():
        match = FINDING_LINE.match(line)
        if match and not line.startswith(" "):
            found.append((match.group(1), int(match.group(2)) if match.group(2) else None, match.group(3)))
    return found


def quoted(text):
    return "'" + text + "'"


def agreement(report, text, machine, medium, version_line, version):
    """What the JSON report says of the launcher, the machine, the decision and each finding, against
    the options given and the text output (the sample media hold ASCII only, which both show alike)."""
    problems = []
    lines = text.splitlines()
    launcher = report["launcher"]
    if f"Launcher: {quoted(launcher['path'])}, tail {quoted(launcher['tail'])}" not in lines:
        problems.append(f"launcher {launcher}, text {[l for l in lines if l.startswith('Launcher:')]}")
    if not launcher["config_path"].endswith("\\Tovinel.ini") or \
            launcher["config_path"][:-len("Tovinel.ini")] != launcher["path"][:launcher["path"].rfind("\\") + 1]:
        problems.append(f"config_path {launcher['config_path']!r} beside {launcher['path']!r}")
    if report["command_line"] is not None and f"Command:  {quoted(report['command_line'])}" not in lines:
        problems.append(f"command_line {report['command_line']!r}")
    shell = report["shell"]
    shell_lines = [line for line in lines if line.startswith("Shell:")]
    if shell_lines != ([f"Shell:    {quoted(shell['program'])} with parameters {quoted(shell['parameters'])} "
                        "(Windows Vista and later)"] if shell else []):
        problems.append(f"shell {shell}, text {shell_lines}")
    reasons = [line[4:] for line in lines if line.startswith("  - ")]
    if report["decision"]["reasons"] != reasons:
        problems.append(f"reasons {report['decision']['reasons']}, text {reasons}")
    options = dict(argument[2:].split("=", 1) for argument in machine)
    window = options["setup-window"].split(",", 1) if "setup-window" in options else None
    wanted = {"this_machine": False, "codepage": 1252, "installed": "installed" in options,
              "default_value": options.get("installed"),
              "setup_window": {"class": window[0], "title": window[1]} if window else None, "facts": []}
    described = {key: report["machine"][key] for key in wanted}
    if described != wanted:
        problems.append(f"machine {described}, options {wanted}")
    if report["medium"]["path"] != medium or f"Medium:   {report['medium']['description']}" not in lines:
        problems.append(f"medium {report['medium']}")
    messages = [re.sub(r"^\S[^\n]*?(?::\d+)?: (?:note: )?", "", line)[:-len(f" [{match.group(3)}]")]
                for line in lines for match in [FINDING_LINE.match(line)] if match and not line.startswith(" ")]
    notes = [" note: " in line for line in lines if FINDING_LINE.match(line) and not line.startswith(" ")]
    if [f["message"] for f in report["findings"]] != messages or \
            [f["severity"] == "note" for f in report["findings"]] != notes:
        problems.append(f"messages {[(f['severity'], f['message']) for f in report['findings']]}, text {messages}")
    shown = re.search(r"^\.\.\. and (\d+) more, not shown\.$", text, re.M)
    if report["counts"]["not_shown"] != (int(shown.group(1)) if shown else 0) or report["counts"]["ignored"] != 0:
        problems.append(f"counts {report['counts']}")
    if (report["format"], report["version"]) != ("tovinel-check", version) or \
            f"tovinel-check {report['tool_version']}" != version_line:
        problems.append(f"format {report['format']!r} {report['version']!r} {report['tool_version']!r}")
    return problems


def ini(run, codepage, **more):
    """A Tovinel.ini whose Run (and any other [Setup] or [Application] key given) is in `codepage`."""
    application = "".join(f"{key}={value}\r\n" for key, value in more.items() if key in ("RegKey", "Start"))
    setup = "".join(f"{key}={value}\r\n" for key, value in more.items() if key not in ("RegKey", "Start"))
    text = f"[Application]\r\n{application}[Setup]\r\n{setup}Run=".encode(codepage)
    return text + (run if isinstance(run, bytes) else run.encode(codepage)) + b"\r\n"


SETUP = "SETUP"   # the clean medium's stand-in setup program, which the launcher hands to the shell

# Media made here, beside the clean medium's autorun.inf and launcher: (name, the medium folder's name,
# files {path below it: bytes or SETUP}, options, exit code, what each report says: {member path:
# value}, "ids" for the list of finding ids). Names on disk are UTF-8, as Linux and Joliet give them.
NAMED_CASES = [
    ("a 1252 folder before a backslash, a tail ending in one", "de", {
        "Zubehör/SETUP.EXE": SETUP, "Tovinel.ini": ini("Zubehör\\SETUP.EXE /lang=de", "cp1252")},
     ["--codepage=1252", "--tail=/quelle=Zubehör\\"], 0,
     [{"command_line": "D:\\Zubehör\\SETUP.EXE /lang=de /quelle=Zubehör\\", "launcher.tail": "/quelle=Zubehör\\",
       "shell.program": "D:\\Zubehör\\SETUP.EXE", "shell.parameters": "/lang=de /quelle=Zubehör\\", "ids": []}]),
    ("installed, the default value and the window in 1252", "de-installed", {
        "Tovinel.ini": ini("SETUP.EXE", "cp1252", RegKey="SOFTWARE\\Nordlicht\\Sternkarte", Start="1",
                           WindowClass="Einrichtung\\Ä")},
     ["--installed=\"C:\\Programme\\Zubehör\\Stern.exe\"", "--setup-window=Ä\\Ö,Über \"ß\""], 0,
     [{"machine.default_value": "\"C:\\Programme\\Zubehör\\Stern.exe\"",
       "machine.setup_window": {"class": "Ä\\Ö", "title": "Über \"ß\""},
       "command_line": "\"C:\\Programme\\Zubehör\\Stern.exe\" ", "shell": None, "ids": []}]),
    ("a Japanese folder whose name holds the trail byte 0x5C, a tail in Shift-JIS", "ja", {
        "星図ソフト/SETUP.EXE": SETUP, "Tovinel.ini": ini("星図ソフト\\SETUP.EXE", "cp932")},
     ["--codepage=932", "--tail=/表\\"], 0,
     [{"command_line": "D:\\星図ソフト\\SETUP.EXE /表\\", "shell.program": "D:\\星図ソフト\\SETUP.EXE",
       "shell.parameters": "/表\\", "machine.codepage": 932, "ids": []}]),
    ("a byte that 1252 does not map, before a backslash", "unmapped", {
        "Tovinel.ini": ini(b"AB\x81\\SETUP.EXE", "cp1252")}, [], 1,
     [{"command_line": "D:\\AB\ufffd\\SETUP.EXE ", "ids": ["run-missing"]}]),
    ("a medium path that is no UTF-8, a byte before a backslash", b"disc\xe9\\one", {}, [], 0,
     [{"medium.path": "disc\ufffd\\one", "ids": []}]),
    ("the Japanese folder in 1252 and 932: one report each", "ja-both", {
        "星図ソフト/SETUP.EXE": SETUP, "Tovinel.ini": ini("星図ソフト\\SETUP.EXE", "cp932")},
     ["--codepage=1252,932"], 1,
     [{"machine.codepage": 1252, "shell": None, "ids": ["run-missing"], "exit_code": 1},
      {"machine.codepage": 932, "command_line": "D:\\星図ソフト\\SETUP.EXE ", "ids": [], "exit_code": 0}]),
    ("--ignore in every code page", "ja-ignored", {
        "星図ソフト/SETUP.EXE": SETUP, "Tovinel.ini": ini("星図ソフト\\SETUP.EXE", "cp932")},
     ["--codepage=932,1252", "--ignore=run-missing"], 0,
     [{"machine.codepage": 932, "ids": [], "counts.ignored": 0},
      {"machine.codepage": 1252, "ids": [], "counts.ignored": 1, "exit_code": 0}]),
]


def member(report, path):
    if path == "ids":
        return [finding["id"] for finding in report["findings"]]
    value = report
    for name in path.split("."):
        value = value[name] if isinstance(value, dict) and name in value else "(absent)"
    return value


def named_media(tool, validator):
    """Failures of the reports of the media with names beyond ASCII."""
    failures = []
    clean = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_media", "clean")
    work = tempfile.mkdtemp(prefix="tovinel-json-")
    try:
        for name, folder, files, options, exit_code, wanted in NAMED_CASES:
            medium = os.path.join(os.fsencode(work), os.fsencode(folder))
            shutil.copytree(os.fsencode(clean), medium)
            for path, data in files.items():
                target = os.path.join(medium, path.encode())
                os.makedirs(os.path.dirname(target), exist_ok=True)
                if data is SETUP:
                    shutil.copy(os.path.join(medium, b"SETUP.EXE"), target)
                else:
                    with open(target, "wb") as out:
                        out.write(data)
            # Run from the work folder, so that the medium's path is the folder's name.
            runs = [subprocess.run([tool] + form + options + [os.fsencode(folder)], capture_output=True, cwd=work)
                    for form in (["--format=json"], [], ["--quiet"])]
            json_run, text_run, quiet_run = runs
            try:
                report = json.loads(json_run.stdout.decode("utf-8"))
            except ValueError as error:
                failures.append(f"{name}: no JSON ({error}): {json_run.stdout[:2000]!r}")
                continue
            problems = [f"schema: {error.message[:300]} at {list(error.absolute_path)}"
                        for error in validator.iter_errors(report)]
            reports = report.get("reports", [report])
            if len(wanted) > 1 and report.get("codepages") != [r["machine"]["codepage"] for r in reports]:
                problems.append(f"codepages {report.get('codepages')}")
            if len(reports) != len(wanted):
                problems.append(f"{len(reports)} reports, {len(wanted)} expected")
            for number, (got, expected) in enumerate(zip(reports, wanted)):
                for path, value in expected.items():
                    if member(got, path) != value:
                        problems.append(f"report {number + 1} {path}: {member(got, path)!r}, expected {value!r}")
            text = text_run.stdout.decode("utf-8")
            headings = re.findall(r"^== Code page (\d+) ==$", text, re.M)
            if len(wanted) > 1 and [int(h) for h in headings] != report["codepages"]:
                problems.append(f"text headings {headings}")
            for got in reports:
                if got["command_line"] is not None and f"Command:  {quoted(got['command_line'])}\n" not in text:
                    problems.append(f"text output without Command:  {quoted(got['command_line'])}:\n{text}")
            codes = (json_run.returncode, text_run.returncode, quiet_run.returncode, report["exit_code"])
            if codes != (exit_code,) * 4 or quiet_run.stdout or quiet_run.stderr:
                problems.append(f"exit codes (json, text, quiet, reported) {codes}, expected {exit_code}; --quiet "
                                f"printed {quiet_run.stdout + quiet_run.stderr!r}")
            if problems:
                failures.append(name + ":\n      " + "\n      ".join(problems))
    finally:
        shutil.rmtree(work)
    return failures


def main():
    tool, schema_path, ids_source = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3]
    media = sys.argv[4:]
    with open(schema_path) as schema_file:
        schema = json.load(schema_file)
    validator = jsonschema.Draft202012Validator(schema)
    failures = []
    known = re.findall(r'^    "([a-z0-9-]+)"', open(ids_source).read(), re.M)
    listed = schema["properties"]["findings"]["items"]["properties"]["id"]["enum"]
    if sorted(known) != sorted(listed):
        failures.append(f"schema ids differ from the checker's: only in the checker {sorted(set(known) - set(listed))}, "
                        f"only in the schema {sorted(set(listed) - set(known))}")
    version_line = run(tool, ["--version"]).stdout.strip()
    checked = 0
    for medium in media:
        for machine in MACHINES:
            name = f"{medium} {' '.join(machine)}".strip()
            json_run = run(tool, ["--format=json"] + machine + [medium])
            text_run = run(tool, machine + [medium])
            try:
                report = json.loads(json_run.stdout)
            except ValueError as error:
                failures.append(f"{name}: no JSON: {error}")
                continue
            checked += 1
            problems = [f"schema: {error.message} at {list(error.absolute_path)}"
                        for error in validator.iter_errors(report)]
            if not (json_run.returncode == text_run.returncode == report["exit_code"]):
                problems.append(f"exit codes: json {json_run.returncode}, text {text_run.returncode}, "
                                f"reported {report['exit_code']}")
            in_json = [(f["file"], f["line"], f["id"]) for f in report["findings"]]
            if in_json != text_findings(text_run.stdout):
                problems.append(f"findings: json {in_json}, text {text_findings(text_run.stdout)}")
            if (report["command_line"] is None) != ("Command:" not in text_run.stdout):
                problems.append("the command line differs from the text output's")
            # The decision, the machine and the counts say what the text output says.
            decision_line = next((line for line in text_run.stdout.splitlines() if line.startswith("Decision:")), "")
            words = {"start-nothing": "start nothing", "start-application": "start the installed application",
                     "start-setup": "start the setup program", "unknown": "unknown"}
            if words.get(report["decision"]["outcome"], "?") not in decision_line:
                problems.append(f"outcome {report['decision']['outcome']!r}, text {decision_line!r}")
            machine_line = next((line for line in text_run.stdout.splitlines() if line.startswith("Machine:")), "")
            if report["machine"]["description"] not in machine_line:
                problems.append(f"machine {report['machine']['description']!r}, text {machine_line!r}")
            counted = re.search(r"^Findings: (\d+)$", text_run.stdout, re.M)
            if report["counts"]["findings"] != (int(counted.group(1)) if counted else 0):
                problems.append(f"counts.findings {report['counts']['findings']}, text {counted and counted.group(0)}")
            problems += agreement(report, text_run.stdout, machine, medium, version_line,
                                  schema["properties"]["version"]["const"])
            notes = sum(1 for f in report["findings"] if f["severity"] == "note")
            if report["counts"]["notes_shown"] != notes:
                problems.append(f"counts.notes_shown {report['counts']['notes_shown']}, {notes} notes listed")
            # Every id silenced: nothing left, each counted, and no finding fails the run any more.
            ids = sorted({f["id"] for f in report["findings"]})
            if ids:
                quiet_run = run(tool, ["--format=json", "--ignore=" + ",".join(ids)] + machine + [medium])
                ignored = json.loads(quiet_run.stdout)
                if ignored["findings"] or ignored["counts"]["ignored"] != len(report["findings"]) or \
                        ignored["exit_code"] != (2 if report["unreadable"] else 0):
                    problems.append(f"--ignore={','.join(ids)} left {ignored['findings']}, counted "
                                    f"{ignored['counts']['ignored']}, exit {ignored['exit_code']}")
            quiet = run(tool, ["--quiet"] + machine + [medium])
            if quiet.stdout or quiet.stderr or quiet.returncode != json_run.returncode:
                problems.append(f"--quiet printed {quiet.stdout + quiet.stderr!r}, exit {quiet.returncode}")
            if problems:
                failures.append(name + ":\n      " + "\n      ".join(problems))
    failures += named_media(tool, validator)
    # The files the messages send people to are in the source tree (and so in the release's docs/).
    root = os.path.dirname(os.path.dirname(os.path.abspath(schema_path)))
    refused = run(tool, ["--ignore=no-such-finding", media[0]])
    if refused.returncode != 2 or "no-such-finding" not in refused.stderr:
        failures.append(f"--ignore with an unknown id: exit {refused.returncode}, {refused.stderr!r}")
    named = re.findall(r"\bdocs/[\w./-]*\w", refused.stderr + run(tool, ["--help"]).stdout)
    missing = [path for path in named if not os.path.isfile(os.path.join(root, path))]
    if not named or missing:
        failures.append(f"the messages name {named}; not in the source tree: {missing}")
    # Only tovinel-check.exe reads the machine it runs on.
    refused = run(tool, ["--this-machine", media[0]])
    if refused.returncode != 2 or "tovinel-check.exe --this-machine" not in refused.stderr:
        failures.append(f"--this-machine on Linux: exit {refused.returncode}, {refused.stderr!r}")
    for failure in failures:
        print("FAIL  " + failure)
    print(f"{checked} JSON reports checked, {len(failures)} failures")
    return 1 if failures or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
