# Tovinel: packs the release zip from parts already built and tested, the same bytes every time.
# tools/release.sh builds, tests and calls this; the reproducibility test calls it on its own.
"""Usage: pack_release.py --exe tovinel.exe --checker-linux FILE --checker-windows FILE
                       [--epoch SECONDS] [--out DIR]

Writes DIR/tovinel-<VERSION>.zip (default DIR: dist), one folder tovinel-<VERSION>/ holding:
  tovinel.exe, tovinel-check (Linux), tovinel-check.exe (Windows), README.md, LICENSE,
  medium/ (the sample medium: Tovinel.ini, autorun.inf and tovinel.exe, ready to copy to a medium's
  root beside the publisher's setup program), and SHA256SUMS (`sha256sum -c SHA256SUMS` in the folder).
The zip's bytes depend on the parts' contents only: entries sorted, every time stamp the epoch (or
1980-01-01), modes 0644 and 0755 for programs, one compression level. Refuses, writing nothing, a
missing part or a tovinel.exe whose version record does not say the version in VERSION.
"""
import argparse
import calendar
import hashlib
import os
import sys
import tempfile
import time
import zipfile

import pefile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
ZIP_EPOCH = calendar.timegm((1980, 1, 1, 0, 0, 0))  # the earliest time a zip entry can carry
S_IFREG = 0o100000
UNIX = 3  # the zip "made by" system whose external attributes carry Unix modes


class Refused(Exception):
    pass


def read_part(path, what):
    if not path or not os.path.isfile(path):
        raise Refused("%s is missing: %s" % (what, path or "(not given)"))
    with open(path, "rb") as f:
        data = f.read()
    if not data:
        raise Refused("%s is empty: %s" % (what, path))
    return data


def version_record(data):
    """FileVersion and ProductVersion of the fixed part of an executable's version record."""
    pe = pefile.PE(data=data)
    fixed = pe.VS_FIXEDFILEINFO[0] if getattr(pe, "VS_FIXEDFILEINFO", None) else None
    if fixed is None:
        raise Refused("tovinel.exe has no version record")

    def dotted(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    return (dotted(fixed.FileVersionMS, fixed.FileVersionLS),
            dotted(fixed.ProductVersionMS, fixed.ProductVersionLS))


def release_files(args, version):
    """{path inside the release folder: (bytes, mode)}."""
    exe = read_part(args.exe, "tovinel.exe")
    found = version_record(exe)
    if found != (version, version):
        raise Refused("tovinel.exe says file version %s, product version %s; VERSION says %s: rebuild it"
                      % (found + (version,)))
    medium = os.path.join(ROOT, "examples", "medium")
    files = {
        "tovinel.exe": (exe, 0o755),
        "tovinel-check": (read_part(args.checker_linux, "the Linux tovinel-check"), 0o755),
        "tovinel-check.exe": (read_part(args.checker_windows, "the Windows tovinel-check"), 0o755),
        "README.md": (read_part(os.path.join(ROOT, "README.md"), "README.md"), 0o644),
        "LICENSE": (read_part(os.path.join(ROOT, "LICENSE"), "LICENSE"), 0o644),
        "medium/Tovinel.ini": (read_part(os.path.join(medium, "Tovinel.ini"), "the sample Tovinel.ini"), 0o644),
        "medium/autorun.inf": (read_part(os.path.join(medium, "autorun.inf"), "the sample autorun.inf"), 0o644),
        "medium/tovinel.exe": (exe, 0o755),
    }
    sums = "".join("%s  %s\n" % (hashlib.sha256(data).hexdigest(), name)
                   for name, (data, _) in sorted(files.items()))
    files["SHA256SUMS"] = (sums.encode("ascii"), 0o644)
    return files


def zip_bytes(files, folder, epoch):
    stamp = time.gmtime(max(epoch, ZIP_EPOCH))[:6]
    with tempfile.TemporaryFile() as buffer:
        with zipfile.ZipFile(buffer, "w") as archive:
            for name in sorted(files):
                data, mode = files[name]
                info = zipfile.ZipInfo("%s/%s" % (folder, name), date_time=stamp)
                info.create_system = UNIX
                info.external_attr = (S_IFREG | mode) << 16
                info.compress_type = zipfile.ZIP_DEFLATED
                archive.writestr(info, data, compresslevel=9)
        buffer.seek(0)
        return buffer.read()


def main(argv):
    parser = argparse.ArgumentParser(description="Pack the Tovinel release zip from built parts.")
    parser.add_argument("--exe", required=True)
    parser.add_argument("--checker-linux", required=True)
    parser.add_argument("--checker-windows", required=True)
    parser.add_argument("--epoch", type=int, default=ZIP_EPOCH, help="time stamp of every entry")
    parser.add_argument("--out", default=os.path.join(ROOT, "dist"))
    args = parser.parse_args(argv)
    with open(os.path.join(ROOT, "VERSION")) as f:
        version = f.read().strip()
    folder = "tovinel-%s" % version
    try:
        data = zip_bytes(release_files(args, version), folder, args.epoch)
    except (Refused, OSError, pefile.PEFormatError) as error:
        print("pack_release: %s; no release written" % error, file=sys.stderr)
        return 1
    os.makedirs(args.out, exist_ok=True)
    path = os.path.join(args.out, folder + ".zip")
    fd, temp = tempfile.mkstemp(dir=args.out, prefix=".%s-" % folder)
    with os.fdopen(fd, "wb") as f:
        f.write(data)
    os.chmod(temp, 0o644)
    os.replace(temp, path)
    print("%s  %s" % (hashlib.sha256(data).hexdigest(), path))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
