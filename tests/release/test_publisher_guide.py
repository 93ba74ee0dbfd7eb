#!/usr/bin/python3
# Tovinel tests: the publisher's guide (release/README.md, the zip's README) as a publisher follows it:
# its cmd examples run in order under Wine in the unpacked zip at C:\tovinel-<VERSION>, its Linux
# examples natively in another copy, each printing what the guide shows; its PowerShell examples are
# its cmd examples, written for PowerShell.
"""Usage: test_publisher_guide.py ZIP|NATIVE_BUILD TOVINEL_CHECK TOVINEL_BRAND PREFIX WORK_DIR [--show]
   NATIVE_BUILD: the zip is packed first from the built parts beside TOVINEL_CHECK's build
   (build/win32's programs, the Debian package cpack makes there).
   --show prints each example's real output instead of comparing it."""
import os
import re
import shutil
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wine"))
import wine_session  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
GUIDE = os.path.join(ROOT, "release", "README.md")
with open(os.path.join(ROOT, "VERSION")) as version_file:
    FOLDER = "tovinel-" + version_file.read().strip()
CMD = "C:\\%s> " % FOLDER
POWERSHELL = "PS C:\\%s> " % FOLDER
LINUX = "$ "


def examples(text):
    """(prompt, command, expected output or None) of each example: a command line of a code block
    (four blanks, then a prompt), and the lines after it up to a blank line or the next prompt."""
    found = []
    open_example = False
    for line in text.splitlines():
        body = line[4:] if line.startswith("    ") else ""
        prompt = next((p for p in (POWERSHELL, CMD, LINUX) if body.startswith(p)), None)
        if prompt:
            found.append((prompt, body[len(prompt):], []))
            open_example = True
        elif open_example and body.strip():
            found[-1][2].append(body)
        else:
            open_example = False
    return [(p, c, "".join(l + "\n" for l in o) if o else None) for p, c, o in found]


def as_cmd(command):
    """A PowerShell example as cmd: PowerShell starts a program of the current folder as .\\, and
    --% passes the rest of the line on as typed, as cmd does."""
    command = re.sub(r"^\.\\", "", command)
    return command.replace(" --% ", " ", 1)


def packed_zip(native_build, work):
    """The release zip of the built parts: build/win32's programs, the Debian package of the build."""
    win32 = os.path.join(os.path.dirname(native_build), "win32")
    subprocess.run(["cpack", "--config", os.path.join(native_build, "CPackConfig.cmake"), "-B", work], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    package = next(os.path.join(work, n) for n in os.listdir(work) if n.endswith(".deb"))
    subprocess.run(["/usr/bin/python3", os.path.join(ROOT, "tools", "steps", "pack_release.py"),
                    "--exe", os.path.join(win32, "tovinel.exe"), "--checker-windows", os.path.join(win32, "tovinel-check.exe"),
                    "--brand-windows", os.path.join(win32, "tovinel-brand.exe"), "--checker-deb", package, "--out", work],
                   check=True, stdout=subprocess.DEVNULL)
    return os.path.join(work, FOLDER + ".zip")


def run_cmd(session, folder, command):
    batch = os.path.join(folder, "example.bat")
    with open(batch, "w", newline="") as out:
        out.write("@%s\r\n" % command)
    with open(os.path.join(folder, "..", "out"), "wb") as out:
        session.run(["cmd", "/c", "example.bat"], cwd=folder, stdout=out, stderr=subprocess.STDOUT, timeout=120)
    os.remove(batch)
    with open(os.path.join(folder, "..", "out"), "rb") as out:
        return out.read().decode("utf-8", "replace").replace("\r\n", "\n")


def main(argv):
    show = "--show" in argv
    argv = [a for a in argv if a != "--show"]
    if len(argv) != 5:
        sys.exit(__doc__)
    zip_path, native_check, native_brand, prefix, work = (os.path.abspath(a) for a in argv)
    with open(GUIDE, encoding="utf-8") as guide:
        steps = examples(guide.read())
    failures = []
    cmd_commands = [c for p, c, _ in steps if p == CMD]
    for prompt, command, _ in steps:
        if prompt == POWERSHELL and as_cmd(command) not in cmd_commands:
            failures.append("PowerShell example without its cmd twin: " + command)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    if os.path.isdir(zip_path):
        zip_path = packed_zip(zip_path, work)
    # The Linux examples in a copy of their own; the tools are those the Debian package holds.
    linux = os.path.join(work, "linux")
    zipfile.ZipFile(zip_path).extractall(linux)
    env = dict(os.environ, PATH=os.pathsep.join([os.path.dirname(native_check), os.path.dirname(native_brand),
                                                  os.environ["PATH"]]))
    ran = 0
    for prompt, command, expected in steps:
        if prompt != LINUX:
            continue
        run = subprocess.run(command, shell=True, cwd=os.path.join(linux, FOLDER), env=env, capture_output=True,
                             text=True, errors="replace")
        ran += 1
        got = run.stdout + run.stderr
        if show:
            print("$ %s\n%s" % (command, got))
        elif expected is not None and got != expected:
            failures.append("%s%s:\n--- the guide\n%s--- printed\n%s" % (prompt, command, expected, got))
    reason = wine_session.why_wine_cannot_run()
    if reason:
        print("SKIPPED the cmd examples: %s." % reason)
    else:
        drive_c = os.path.join(prefix, "drive_c", FOLDER)
        shutil.rmtree(drive_c, ignore_errors=True)
        zipfile.ZipFile(zip_path).extractall(os.path.join(prefix, "drive_c"))
        try:
            with wine_session.Session(prefix, display=False) as session:
                for prompt, command, expected in steps:
                    if prompt != CMD:
                        continue
                    got = run_cmd(session, drive_c, command)
                    ran += 1
                    if show:
                        print("%s%s\n%s" % (prompt, command, got))
                    elif expected is not None and got != expected:
                        failures.append("%s%s:\n--- the guide\n%s--- printed\n%s" % (prompt, command, expected, got))
        finally:
            shutil.rmtree(drive_c, ignore_errors=True)
    shutil.rmtree(work, ignore_errors=True)
    for failure in failures:
        print("FAIL  " + failure)
    print("the publisher's guide: %d examples run, %d failed" % (ran, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
