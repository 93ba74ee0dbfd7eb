# Tovinel: checks of the release packing (tools/steps/pack_release.py): two packings of the same parts give
# the same bytes whatever their time stamps, modes and the umask; the zip holds what it should, its
# SHA256SUMS agree, and missing or mismatched parts are refused with nothing written.
"""Usage: /usr/bin/python3 tests/release/test_release.py tovinel.exe tovinel-check

The parts are the built tovinel.exe and Linux checker. The Windows checker is not built by this tree
yet; a file of this test stands in for it, and is named so inside the zips this test writes."""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

import pefile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
PACK = os.path.join(ROOT, "tools", "steps", "pack_release.py")
sys.path.insert(0, os.path.join(ROOT, "tools", "steps"))
from facts import report_facts  # noqa: E402

with open(os.path.join(ROOT, "VERSION")) as version_file:
    VERSION = version_file.read().strip()
FOLDER = "tovinel-%s/" % VERSION
EPOCH = 1765000000  # 2025-12-06 05:46:40 UTC
# Entries and modes, in the order the zip must hold them.
CONTENTS = [("LICENSE", 0o644), ("README.md", 0o644), ("SHA256SUMS", 0o644), ("medium/Tovinel.ini", 0o644),
            ("medium/autorun.inf", 0o644), ("medium/tovinel.exe", 0o755), ("tovinel-check", 0o755),
            ("tovinel-check.exe", 0o755), ("tovinel.exe", 0o755)]


def pack(parts, out, umask=0o022, epoch=EPOCH):
    """Runs the packer; returns (exit status, stderr, the zip's bytes or None)."""
    old = os.umask(umask)
    try:
        run = subprocess.run([sys.executable, PACK, "--exe", parts["exe"], "--checker-linux", parts["linux"],
                              "--checker-windows", parts["windows"], "--epoch", str(epoch), "--out", out],
                             capture_output=True, text=True)
    finally:
        os.umask(old)
    path = os.path.join(out, FOLDER.rstrip("/") + ".zip")
    data = open(path, "rb").read() if os.path.exists(path) else None
    return run.returncode, run.stderr, data


def copy_parts(parts, folder, mode, mtime):
    """The parts copied into `folder` with another mode and time stamp."""
    os.makedirs(folder)
    copies = {}
    for key, path in parts.items():
        copies[key] = os.path.join(folder, os.path.basename(path))
        shutil.copyfile(path, copies[key])
        os.chmod(copies[key], mode)
        os.utime(copies[key], (mtime, mtime))
    return copies


def content_facts(data, parts):
    facts = []
    with tempfile.TemporaryFile() as f:
        f.write(data)
        archive = zipfile.ZipFile(f)
        infos = archive.infolist()
        facts.append(("entries, sorted, in one folder", [FOLDER + name for name, _ in CONTENTS],
                      [i.filename for i in infos]))
        facts.append(("modes", [mode for _, mode in CONTENTS], [(i.external_attr >> 16) & 0o777 for i in infos]))
        facts.append(("every time stamp is the epoch", [time.gmtime(EPOCH)[:6]] * len(infos),
                      [i.date_time for i in infos]))
        facts.append(("the archive reads back whole", None, archive.testzip()))
        files = {i.filename[len(FOLDER):]: archive.read(i) for i in infos}
    with open(parts["exe"], "rb") as f:
        exe = f.read()
    with open(os.path.join(ROOT, "LICENSE"), "rb") as f:
        facts.append(("LICENSE is the repository's", f.read(), files.get("LICENSE")))
    facts.append(("tovinel.exe and the medium's copy are the built one", [exe, exe],
                  [files.get("tovinel.exe"), files.get("medium/tovinel.exe")]))
    listed = [line.split("  ", 1) for line in files.get("SHA256SUMS", b"").decode().splitlines()]
    facts.append(("SHA256SUMS lists every other file, each with its hash",
                  [[hashlib.sha256(files[n]).hexdigest(), n] for n, _ in CONTENTS if n != "SHA256SUMS"],
                  listed))
    autorun = files.get("medium/autorun.inf", b"").decode().lower().split()
    facts.append(("the sample medium's autorun.inf starts tovinel.exe", True, "open=tovinel.exe" in autorun))
    return facts


def with_version(exe, folder, version):
    """A copy of tovinel.exe whose version record's fixed part says another version."""
    pe = pefile.PE(exe)
    ms, ls = [int(n) for n in version.split(".")[:2]], [int(n) for n in version.split(".")[2:]]
    fixed = pe.VS_FIXEDFILEINFO[0]
    fixed.FileVersionMS = fixed.ProductVersionMS = ms[0] << 16 | ms[1]
    fixed.FileVersionLS = fixed.ProductVersionLS = ls[0] << 16 | ls[1]
    path = os.path.join(folder, "other-version.exe")
    pe.write(path)
    return path


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    work = tempfile.mkdtemp(prefix="tovinel-release-")
    try:
        stand_in = os.path.join(work, "windows-checker-stand-in")
        with open(stand_in, "w") as f:
            f.write("A stand-in for the Windows tovinel-check, written by tests/release/test_release.py: "
                    "this zip is not a release.\n")
        parts = {"exe": os.path.abspath(argv[0]), "linux": os.path.abspath(argv[1]), "windows": stand_in}
        first = pack(parts, os.path.join(work, "one"))
        again = pack(copy_parts(parts, os.path.join(work, "copies"), 0o600, EPOCH + 86400 * 400),
                     os.path.join(work, "two"), umask=0o077)
        facts = [("first packing succeeds", (0, ""), first[:2]),
                 ("second packing: other folder, modes, time stamps and umask", (0, ""), again[:2]),
                 ("the two zips are the same bytes", True, first[2] is not None and first[2] == again[2])]
        if first[2]:
            facts += content_facts(first[2], parts)
        facts.append(("another epoch gives other bytes", True,
                      pack(parts, os.path.join(work, "three"), epoch=EPOCH + 2)[2] != first[2]))

        # Refusals: (name, parts, words the message must carry); nothing may be written.
        empty = os.path.join(work, "empty")
        open(empty, "w").close()
        for name, bad, words in [
            ("no Windows checker", dict(parts, windows=os.path.join(work, "build/tovinel-check.exe")),
             "the Windows tovinel-check is missing"),
            ("empty Linux checker", dict(parts, linux=empty), "the Linux tovinel-check is empty"),
            ("tovinel.exe of another version", dict(parts, exe=with_version(parts["exe"], work, "1.0.4.0")),
             "file version 1.0.4.0"),
        ]:
            out = os.path.join(work, "refused")
            status, message, data = pack(bad, out)
            facts.append(("refuses " + name, (1, True, None, []),
                          (status, words in message, data, os.listdir(out) if os.path.isdir(out) else [])))
    finally:
        shutil.rmtree(work)
    return report_facts(facts)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
