# Tovinel: packs the release zip from parts already built and tested, the same bytes every time.
# tools/release.sh builds, tests and calls this; the release tests call it on their own.
"""Usage: pack_release.py --exe tovinel.exe --checker-windows FILE --brand-windows FILE --checker-deb FILE
                       [--signed] [--epoch SECONDS] [--out DIR]

Writes DIR/tovinel-<VERSION>.zip (default DIR: dist), one folder tovinel-<VERSION>/ holding:
  tovinel.exe, tovinel-check.exe and tovinel-brand.exe (Windows), tovinel-check_<VERSION>_<arch>.deb
  (Linux: the checker and tovinel-brand as a Debian package), README.md (release/README.md, the
  publisher's guide), LICENSE, docs/ (the finding list, the JSON schema), medium/ (the
  sample medium: Tovinel.ini, autorun.inf and tovinel.exe) and SHA256SUMS (`sha256sum -c SHA256SUMS`).
The zip's bytes depend on the parts' contents only: entries sorted, every time stamp the epoch (or
1980-01-01), modes 0644 and 0755 for programs, one compression level. Refuses, writing nothing, a
missing part, a tovinel.exe whose version record or a package whose control fields do not say the
version in VERSION, and a mix of signed and unsigned: with --signed every Windows program must carry
a signature, without it none may (one signed in place after its build would otherwise ship unseen).
"""
import argparse
import calendar
import hashlib
import os
import subprocess
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


def signed(data):
    """Whether a Windows program carries an Authenticode signature (a certificate table)."""
    entry = pefile.PE(data=data, fast_load=True).OPTIONAL_HEADER.DATA_DIRECTORY[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
    return bool(entry.VirtualAddress or entry.Size)


def all_or_none_signed(programs, want_signed):
    """Refuses a release whose Windows programs are not all signed (--signed) or all unsigned."""
    carry = [name for name, data in programs if signed(data)]
    lack = [name for name, data in programs if not signed(data)]
    def names(found):
        listed = found[0] if len(found) == 1 else ", ".join(found[:-1]) + " and " + found[-1]
        return listed + (" carry" if len(found) > 1 else " carries")
    if want_signed and lack:
        raise Refused("%s no signature in a signed release: a release is all signed or all unsigned" % names(lack))
    if not want_signed and carry:
        raise Refused("%s a signature, but this release is unsigned (signed in place after its build?): "
                      "a release is all signed or all unsigned; build it afresh, or sign the whole release"
                      % names(carry))


def debian_package(path, version):
    """The package's bytes and the name Debian gives it, once its control fields say this version."""
    data = read_part(path, "the Debian package of tovinel-check")
    run = subprocess.run(["dpkg-deb", "--field", path, "Package", "Version", "Architecture"],
                         capture_output=True, text=True)
    fields = dict(line.split(": ", 1) for line in run.stdout.splitlines() if ": " in line)
    if run.returncode != 0 or fields.get("Package") != "tovinel-check":
        raise Refused("%s is no Debian package of tovinel-check" % path)
    if fields.get("Version") != version:
        raise Refused("%s is version %s; VERSION says %s: package it again" % (path, fields.get("Version"), version))
    return "tovinel-check_%s_%s.deb" % (version, fields.get("Architecture")), data


def release_files(args, version):
    """{path inside the release folder: (bytes, mode)}."""
    exe = read_part(args.exe, "tovinel.exe")
    found = version_record(exe)
    if found != (version, version):
        raise Refused("tovinel.exe says file version %s, product version %s; VERSION says %s: rebuild it"
                      % (found + (version,)))
    checker = read_part(args.checker_windows, "the Windows tovinel-check")
    brand = read_part(args.brand_windows, "the Windows tovinel-brand")
    all_or_none_signed([("tovinel.exe", exe), ("tovinel-check.exe", checker), ("tovinel-brand.exe", brand)],
                       args.signed)
    package, package_data = debian_package(args.checker_deb, version)
    medium = os.path.join(ROOT, "examples", "medium")
    files = {
        "tovinel.exe": (exe, 0o755),
        "tovinel-check.exe": (checker, 0o755),
        "tovinel-brand.exe": (brand, 0o755),
        package: (package_data, 0o644),
        # The publisher's guide, not the developer's README: the zip holds no source, build or tools.
        "README.md": (read_part(os.path.join(ROOT, "release", "README.md"), "the publisher's guide"), 0o644),
        "LICENSE": (read_part(os.path.join(ROOT, "LICENSE"), "LICENSE"), 0o644),
        "medium/Tovinel.ini": (read_part(os.path.join(medium, "Tovinel.ini"), "the sample Tovinel.ini"), 0o644),
        "medium/autorun.inf": (read_part(os.path.join(medium, "autorun.inf"), "the sample autorun.inf"), 0o644),
        "medium/tovinel.exe": (exe, 0o755),
    }
    # Every document the README points to: the finding list, the JSON schema, the icon, the architecture.
    for folder, _, names in os.walk(os.path.join(ROOT, "docs")):
        for name in names:
            path = os.path.join(folder, name)
            inside = os.path.relpath(path, ROOT).replace(os.sep, "/")
            files[inside] = (read_part(path, inside), 0o644)
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
    parser.add_argument("--checker-windows", required=True)
    parser.add_argument("--brand-windows", required=True)
    parser.add_argument("--checker-deb", required=True)
    parser.add_argument("--signed", action="store_true", help="every Windows program must carry a signature")
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
