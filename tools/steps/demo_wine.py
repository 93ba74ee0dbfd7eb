#!/usr/bin/python3
# Tovinel: shows the built tovinel.exe at work under Wine on the sample medium (examples/medium):
# once with the product not installed, once installed. Part of tools/demo.sh; leaves nothing running.
# Usage: demo_wine.py TOVINEL_EXE HELPER_DIR
import configparser
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "wine"))
import run_scenarios  # noqa: E402
import wine_session  # noqa: E402

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
APP = rb'C:\Program Files\Tovinel Example\APP.EXE'


def main():
    exe, helpers = sys.argv[1:]
    with open(os.path.join(ROOT, "examples", "medium", "Tovinel.ini"), "rb") as ini_file:
        ini = ini_file.read()
    settings = configparser.ConfigParser(inline_comment_prefixes=(";",))
    settings.read_string(ini.decode("latin-1"))
    product = settings["Application"]["RegKey"]
    run = settings["Setup"]["Run"].encode()
    medium = {"folder": b"D:\\", "exe": b"tovinel.exe", "module": b"D:\\tovinel.exe", "ini": ini,
              "ini_name": b"Tovinel.ini", "windows": [], "programs": [b"D:\\" + run, APP]}
    runs = [
        ("The product is not installed: the registry key HKEY_LOCAL_MACHINE\\" + product + " is absent.",
         dict(medium, command=b"D:\\tovinel.exe", registry=("none", b""))),
        ("The product is installed: the key is there, its default value names the application,\n"
         "   and Tovinel is started with the argument /demo.",
         dict(medium, command=b"D:\\tovinel.exe /demo", registry=("sz", b'"' + APP + b'"\0'))),
    ]
    reason = wine_session.why_wine_cannot_run()
    if reason:
        print(f"Wine cannot show the launcher at work on this machine: {reason}.")
        sys.exit(wine_session.SKIPPED)
    work = tempfile.mkdtemp(prefix="tovinel-demo-")
    try:
        print("Starting Wine (the first start prepares a fresh Windows folder; this takes a while)...")
        if wine_session.how_32_bit_programs_run()[0] == "emulated":
            print("32-bit programs run through qemu-i386 on this machine, which takes longer.")
        with wine_session.Session(os.path.join(work, "prefix")) as session:
            runner = run_scenarios.Runner(session, exe, helpers, os.path.join(work, "runs"), product)
            os.makedirs(runner.work)
            for number, (situation, scenario) in enumerate(runs, 1):
                exit_code, starts = runner.play(number, scenario)
                print(f"\n{number}. {situation}")
                print(f"   The medium is inserted and Windows runs D:\\tovinel.exe "
                      f"(command line: {scenario['command'].decode()}).")
                if not starts:
                    print("   Tovinel started nothing.")
                elif len(starts) > 1:
                    print(f"   Tovinel started {len(starts)} programs, which it never should.")
                else:
                    started = starts[0].command
                    what = "the setup program" if started.startswith(b"D:\\") else "the installed application"
                    print(f"   Tovinel started {what}, with this command line:\n      {started.decode('latin-1')}")
                print(f"   Tovinel ended with exit code {exit_code}, having shown nothing.")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
