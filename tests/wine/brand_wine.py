#!/usr/bin/python3
# Tovinel Wine tests: tovinel-brand.exe under Wine, its logo read by WIC: from the same inputs, the same
# branded tovinel.exe and preview, byte for byte, as the Linux tovinel-brand (libpng) writes.
# Usage: brand_wine.py TOVINEL_BRAND_EXE TOVINEL_BRAND tovinel.exe PREFIX WORK_DIR
import os
import shutil
import subprocess
import sys
import time

import wine_session

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "brand"))
from fixtures import png  # noqa: E402

# Non-ASCII texts: wmain's wide arguments must reach the record as the Linux tool's UTF-8 ones do.
TEXTS = ["--company", "Nordlicht Software GmbH", "--product", "Sternkarte 2027",
         "--description", "Sternkarte 2027 Startprogramm", "--copyright", "© 2027 Nordlicht Software GmbH"]


def gradient(x, y):
    """A night-blue to violet gradient disc with a soft edge: colours between the palette's, partly
    transparent pixels, so that every step of scaling and dithering counts."""
    alpha = max(0, min(255, int((120 - ((x - 127.5) ** 2 + (y - 127.5) ** 2) ** 0.5) * 255 / 16)))
    return (20 + 60 * y // 255, 40 + 20 * y // 255, 140 - 40 * y // 255, alpha)


def main():
    if len(sys.argv) != 6:
        sys.exit("usage: brand_wine.py TOVINEL_BRAND_EXE TOVINEL_BRAND tovinel.exe PREFIX WORK_DIR")
    brand_exe, brand, launcher, prefix, work = (os.path.abspath(a) for a in sys.argv[1:])
    wine_session.skip_unless_wine_runs("tovinel-brand.exe under Wine")
    began = time.monotonic()
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    with open(os.path.join(work, "logo.png"), "wb") as f:
        f.write(png(256, 256, gradient))
    shutil.copyfile(launcher, os.path.join(work, "tovinel.exe"))
    arguments = ["--icon", "logo.png"] + TEXTS
    linux = subprocess.run([brand] + arguments + ["-o", "linux.exe", "tovinel.exe"], cwd=work, capture_output=True)
    with wine_session.Session(prefix, display=False) as session:
        # Output to files: Wine's services, started by the first program, would hold a pipe open.
        with open(os.path.join(work, "out"), "wb") as out, open(os.path.join(work, "err"), "wb") as err:
            windows = session.run([wine_session.unix_to_windows(brand_exe)] + arguments + ["-o", "windows.exe", "tovinel.exe"],
                                  cwd=work, stdout=out, stderr=err, timeout=120)
    failures = []
    if linux.returncode or windows.returncode:
        failures.append("exit %d on Linux, %d under Wine: %s" % (linux.returncode, windows.returncode,
                                                                open(os.path.join(work, "err"), "rb").read()[:300]))
    for name in ("%s.exe", "%s-icon-preview.png"):
        paths = [os.path.join(work, name % side) for side in ("linux", "windows")]
        same = all(os.path.exists(p) for p in paths) and open(paths[0], "rb").read() == open(paths[1], "rb").read()
        if same:
            print("ok    the same bytes: " + name % "*")
        else:
            failures.append("not the same bytes: " + name % "*")
    shutil.rmtree(work, ignore_errors=True)
    for failure in failures:
        print("FAIL  " + failure)
    print("\ntovinel-brand.exe under Wine: %d failed in %.1f s (%s)" % (len(failures), time.monotonic() - began,
                                                                     wine_session.how_wine_runs()))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
