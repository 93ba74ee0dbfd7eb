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
    bypassed = " (on the medium, but autorun.inf does not start it)" if "autorun_starts" in launcher else ""
    if f"Launcher: {quoted(launcher['path'])}, tail {quoted(launcher['tail'])}{bypassed}" not in lines or \
            (bypassed and f"  - autorun.inf starts {quoted(launcher['autorun_starts'])} itself" not in text):
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


# Media made here from the clean medium: (name, the medium folder's name, {path: bytes, or None for
# the setup program}, options, exit code, what each report holds: {member path: value}, "ids" the
# finding ids). Names on disk are UTF-8, as Linux and Joliet give them; Tovinel.ini's are ANSI.
NAMED_CASES = [
    ("a 1252 folder, then a backslash; a tail that ends in one", "de",
     {"Zubehör/SETUP.EXE": None, "Tovinel.ini": "[Setup]\nRun=Zubehör\\SETUP.EXE /de\n".encode("cp1252")},
     ["--tail=/von=Zubehör\\"], 0,
     [{"launcher.tail": "/von=Zubehör\\", "shell.program": "D:\\Zubehör\\SETUP.EXE",
       "shell.parameters": "/de /von=Zubehör\\", "machine.codepage": 1252, "ids": []}]),
    ("a Japanese folder with the trail byte 0x5C, the tail and window in Shift-JIS", "ja",
     {"ソフト/SETUP.EXE": None, "Tovinel.ini": "[Setup]\nRun=ソフト\\SETUP.EXE\n".encode("cp932")},
     ["--codepage=932", "--tail=/表\\", "--setup-window=表\\,\"表\""], 0,
     [{"command_line": "D:\\ソフト\\SETUP.EXE /表\\", "shell.parameters": "/表\\",
       "machine.setup_window": {"class": "表\\", "title": "\"表\""}, "ids": []}]),
    ("a byte 1252 does not map, then a backslash", "unmapped", {"Tovinel.ini": b"[Setup]\nRun=A\x81\\B.EXE\n"},
     [], 1, [{"command_line": "D:\\A\ufffd\\B.EXE ", "ids": ["run-missing"]}]),
    ("a medium path that is no UTF-8", b"disc\xe9\\\xe3\x82", {}, [], 0, [{"medium.path": "disc\ufffd\\\ufffd\ufffd"}]),
    ("the Japanese folder in 1252 and 932, the ignored finding counted", "both",
     {"ソフト/SETUP.EXE": None, "Tovinel.ini": "[Setup]\nRun=ソフト\\SETUP.EXE\n".encode("cp932")},
     ["--codepage=932,1252", "--ignore=run-missing"], 0,
     [{"machine.codepage": 932, "command_line": "D:\\ソフト\\SETUP.EXE ", "counts.ignored": 0},
      {"machine.codepage": 1252, "shell": None, "ids": [], "counts.ignored": 1}]),
]


def named_media(tool, validator):
    """Failures of the reports of the media with names beyond ASCII: each must parse as strict UTF-8
    JSON, be valid under the schema and give back every value it was given."""
    failures = []
    work = tempfile.mkdtemp(prefix="tovinel-json-")
    for name, folder, files, options, exit_code, wanted in NAMED_CASES:
        medium = os.path.join(os.fsencode(work), os.fsencode(folder))
        shutil.copytree(os.fsencode(os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_media", "clean")),
                        medium)
        for path, data in files.items():
            os.makedirs(os.path.dirname(os.path.join(medium, path.encode())), exist_ok=True)
            with open(os.path.join(medium, path.encode()), "wb") as out:
                out.write(data or open(os.path.join(medium, b"SETUP.EXE"), "rb").read())
        run = subprocess.run([tool, "--format=json"] + options + [os.fsencode(folder)], capture_output=True, cwd=work)
        try:
            report = json.loads(run.stdout.decode("utf-8"))
        except ValueError as error:
            failures.append(f"{name}: no JSON ({error}): {run.stdout[:2000]!r}")
            continue
        problems = [f"schema: {error.message[:300]}" for error in validator.iter_errors(report)]
        reports = report.get("reports", [report])
        codepages = [one["machine"]["codepage"] for one in reports]
        if report["exit_code"] != run.returncode or run.returncode != exit_code or len(reports) != len(wanted) or \
                report.get("codepages", codepages[:1]) != codepages:
            problems.append(f"exit {run.returncode}, reported {report['exit_code']}, {len(reports)} reports")
        for got, expected in zip(reports, wanted):
            for path, value in expected.items():
                found = [f["id"] for f in got["findings"]] if path == "ids" else got
                for key in path.split(".") if path != "ids" else []:
                    found = found[key] if isinstance(found, dict) and key in found else "(absent)"
                if found != value:
                    problems.append(f"{path}: {found!r}, expected {value!r}")
        if problems:
            failures.append(name + ":\n      " + "\n      ".join(problems))
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
