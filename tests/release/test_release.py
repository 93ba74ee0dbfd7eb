# Tovinel: checks of the release packing (tools/steps/pack_release.py): two packings of the same parts give
# the same bytes whatever their time stamps, modes and the umask; the zip holds what it should, its
# SHA256SUMS agree; a release is all signed or all unsigned; missing or mismatched parts are refused with
# nothing written.
"""Usage: /usr/bin/python3 tests/release/test_release.py tovinel.exe tovinel-check.exe tovinel-brand.exe NATIVE_BUILD

The Debian package is made here, by cpack from the native build folder's CPack configuration."""
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
ARCH = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True).stdout.strip()
PACKAGE = "tovinel-check_%s_%s.deb" % (VERSION, ARCH)
DOCS = ["docs/" + name for name in sorted(os.listdir(os.path.join(ROOT, "docs")))]
# Entries and modes, in the order the zip must hold them.
CONTENTS = sorted([("LICENSE", 0o644), ("README.md", 0o644), ("SHA256SUMS", 0o644), ("medium/Tovinel.ini", 0o644),
                   ("medium/autorun.inf", 0o644), ("medium/tovinel.exe", 0o755), ("tovinel-check.exe", 0o755),
                   ("tovinel-brand.exe", 0o755),
                   (PACKAGE, 0o644), ("tovinel.exe", 0o755)] + [(name, 0o644) for name in DOCS])


def pack(parts, out, umask=0o022, epoch=EPOCH, signed=False):
    """Runs the packer; returns (exit status, stderr, the zip's bytes or None)."""
    old = os.umask(umask)
    try:
        run = subprocess.run([sys.executable, PACK, "--exe", parts["exe"], "--checker-windows", parts["windows"],
                              "--brand-windows", parts["brand"], "--checker-deb", parts["deb"], "--epoch", str(epoch),
                              "--out", out]
                             + (["--signed"] if signed else []), capture_output=True, text=True)
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


def zip_files(data):
    """{path inside the release folder: bytes} and the entries' infos."""
    with tempfile.TemporaryFile() as f:
        f.write(data)
        archive = zipfile.ZipFile(f)
        return {i.filename[len(FOLDER):]: archive.read(i) for i in archive.infolist()}, archive.infolist()


def content_facts(data, parts):
    files, infos = zip_files(data)
    facts = [("entries, sorted, in one folder", [FOLDER + name for name, _ in CONTENTS], [i.filename for i in infos]),
             ("modes", [mode for _, mode in CONTENTS], [(i.external_attr >> 16) & 0o777 for i in infos]),
             ("every time stamp is the epoch", [time.gmtime(EPOCH)[:6]] * len(infos), [i.date_time for i in infos]),
             ("the finding list and the JSON schema are in docs/", True,
              {"docs/check-findings.md", "docs/tovinel-check.schema.json"} <= set(files))]
    with open(os.path.join(ROOT, "LICENSE"), "rb") as f:
        facts.append(("LICENSE is the repository's", f.read(), files.get("LICENSE")))
    with open(parts["exe"], "rb") as f:
        exe = f.read()
    facts.append(("tovinel.exe and the medium's copy are the given one", [exe, exe],
                  [files.get("tovinel.exe"), files.get("medium/tovinel.exe")]))
    with open(parts["deb"], "rb") as f:
        facts.append(("the Debian package is the given one", f.read(), files.get(PACKAGE)))
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


def signed_copies(parts, folder):
    """The Windows programs signed with a throwaway certificate."""
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=Tovinel Test Release", "-keyout", "key.pem", "-out", "cert.pem"],
                   cwd=folder, check=True, capture_output=True)
    copies = {}
    for key in ("exe", "windows", "brand"):
        copies[key] = os.path.join(folder, "signed-" + os.path.basename(parts[key]))
        subprocess.run(["osslsigncode", "sign", "-certs", "cert.pem", "-key", "key.pem", "-h", "sha256",
                        "-in", parts[key], "-out", copies[key]], cwd=folder, check=True, capture_output=True)
    return copies


def main(argv):
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    work = tempfile.mkdtemp(prefix="tovinel-release-")
    try:
        subprocess.run(["cpack", "--config", os.path.join(argv[3], "CPackConfig.cmake"), "-B", work],
                       env=dict(os.environ, SOURCE_DATE_EPOCH=str(EPOCH)), check=True, capture_output=True)
        parts = {"exe": os.path.abspath(argv[0]), "windows": os.path.abspath(argv[1]),
                 "brand": os.path.abspath(argv[2]), "deb": os.path.join(work, PACKAGE)}
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
        signed = signed_copies(parts, work)
        status, message, data = pack(dict(parts, **signed), os.path.join(work, "signed"), signed=True)
        facts.append(("a signed release ships the signed programs", (0, [True, True, True]),
                      (status, [zip_files(data)[0].get(name) == open(signed[key], "rb").read() if data else False
                                for name, key in (("tovinel.exe", "exe"), ("tovinel-check.exe", "windows"),
                                                  ("tovinel-brand.exe", "brand"))])))

        # Refusals: (name, parts, --signed, what the message says); nothing may be written.
        empty = os.path.join(work, "empty")
        open(empty, "w").close()
        for name, bad, want_signed, words in [
            ("no Windows checker", dict(parts, windows=os.path.join(work, "build/tovinel-check.exe")), False,
             "the Windows tovinel-check is missing"),
            ("an empty package", dict(parts, deb=empty), False, "the Debian package of tovinel-check is empty"),
            ("a package that is none", dict(parts, deb=parts["exe"]), False, "is no Debian package of tovinel-check"),
            ("tovinel.exe of another version", dict(parts, exe=with_version(parts["exe"], work, "1.0.4.0")), False,
             "file version 1.0.4.0"),
            ("a tovinel.exe signed in place, in an unsigned release", dict(parts, exe=signed["exe"]), False,
             "tovinel.exe carries a signature, but this release is unsigned"),
            ("all signed, in an unsigned release", dict(parts, **signed), False,
             "tovinel.exe, tovinel-check.exe and tovinel-brand.exe carry a signature"),
            ("an unsigned tovinel-brand.exe in a signed release", dict(parts, exe=signed["exe"], windows=signed["windows"]),
             True, "tovinel-brand.exe carries no signature in a signed release"),
            ("no Windows tovinel-brand", dict(parts, brand=os.path.join(work, "build/tovinel-brand.exe")), False,
             "the Windows tovinel-brand is missing"),
        ]:
            out = os.path.join(work, "refused")
            status, message, data = pack(bad, out, signed=want_signed)
            facts.append(("refuses " + name, (1, True, None, []),
                          (status, words in message, data, os.listdir(out) if os.path.isdir(out) else []), message))
    finally:
        shutil.rmtree(work)
    return report_facts(facts)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
