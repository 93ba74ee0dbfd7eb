# Tovinel: checks of the Debian package of tovinel-check and tovinel-brand, made by cpack from the native
# build: the same bytes twice, its control fields and files, a Depends that names the package of every
# library the binaries need (and nothing else), and the unpacked programs working as the build's do. Unpacked with
# dpkg-deb -x rather than installed with dpkg -i: the test needs no root, leaves the machine as it was,
# even when it fails half-way, and waits on no other dpkg run; the program it runs finds its libraries
# where an installed one would, in the system, and Depends is checked against exactly those.
"""Usage: /usr/bin/python3 tests/release/test_debian_package.py NATIVE_BUILD tovinel-check tovinel-brand tovinel.exe"""
import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tools", "steps"))
from facts import report_facts  # noqa: E402

EPOCH = "1765000000"
DOC = "usr/share/doc/tovinel-check/"


def output(*command):
    return subprocess.run(command, capture_output=True, text=True, check=True).stdout


def make_package(build, folder):
    """The .deb cpack writes into `folder`, and its bytes."""
    subprocess.run(["cpack", "--config", os.path.join(build, "CPackConfig.cmake"), "-B", folder],
                   env=dict(os.environ, SOURCE_DATE_EPOCH=EPOCH), check=True, capture_output=True)
    path = os.path.join(folder, [n for n in os.listdir(folder) if n.endswith(".deb")][0])
    with open(path, "rb") as f:
        return path, f.read()


def needed_packages(*binaries):
    """The packages that hold the shared libraries the binaries name (their DT_NEEDED entries), as the
    loader finds them here."""
    names = {name for binary in binaries for name in re.findall(r"NEEDED\s+(\S+)", output("objdump", "-p", binary))}
    found = {name: path for binary in binaries for name, path in
             re.findall(r"^\s*(\S+) => (\S+)", output("ldd", binary), re.M)}
    owners = set()
    for name in names:
        # dpkg knows a library by the path its package put it at: /lib or, merged, /usr/lib.
        path = found.get(name, name)
        for candidate in (path, "/usr" + path, path[len("/usr"):] if path.startswith("/usr/") else path):
            run = subprocess.run(["dpkg-query", "-S", candidate], capture_output=True, text=True)
            if run.returncode == 0:
                owners.update(owner.strip().split(":")[0] for owner in run.stdout.split(": ")[0].split(","))
                break
        else:
            owners.add("(no package holds %s)" % path)
    return sorted(owners)


def main(argv):
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    build, built, built_brand, launcher = (os.path.abspath(a) for a in argv)
    with open(os.path.join(ROOT, "VERSION")) as f:
        version = f.read().strip()
    work = tempfile.mkdtemp(prefix="tovinel-deb-")
    try:
        path, data = make_package(build, os.path.join(work, "one"))
        facts = [("two packings are the same bytes", data, make_package(build, os.path.join(work, "two"))[1])]
        architecture = output("dpkg", "--print-architecture").strip()
        facts.append(("named as Debian names it", "tovinel-check_%s_%s.deb" % (version, architecture),
                      os.path.basename(path)))
        fields = output("dpkg-deb", "--field", path, "Package", "Version", "Architecture", "Depends")
        fields = dict(line.split(": ", 1) for line in fields.splitlines())
        facts.append(("package, version and architecture", ["tovinel-check", version, architecture],
                      [fields.get("Package"), fields.get("Version"), fields.get("Architecture")]))

        unpacked = os.path.join(work, "root")
        subprocess.run(["dpkg-deb", "-x", path, unpacked], check=True)
        program = os.path.join(unpacked, "usr", "bin", "tovinel-check")
        brand = os.path.join(unpacked, "usr", "bin", "tovinel-brand")
        facts.append(("usr/bin/tovinel-check and tovinel-brand, executable by all", [0o755, 0o755],
                      [stat.S_IMODE(os.stat(p).st_mode) for p in (program, brand)]))
        for inside, source in ((DOC + "copyright", "LICENSE"), (DOC + "check-findings.md", "docs/check-findings.md"),
                               (DOC + "tovinel-check.schema.json", "docs/tovinel-check.schema.json")):
            with open(os.path.join(unpacked, inside), "rb") as a, open(os.path.join(ROOT, source), "rb") as b:
                facts.append((inside + " is " + source, True, a.read() == b.read()))
        depends = fields.get("Depends", "")
        facts.append(("Depends names the package of every library the programs need, and no other",
                      needed_packages(program, brand),
                      sorted(re.findall(r"(?:^|,)\s*([^\s(|,]+)", depends))))

        # The unpacked program, run with the system's libraries: on a folder and on an ISO image
        # (libarchive), it reports as the build's binary does.
        image = os.path.join(work, "medium.iso")
        subprocess.run(["xorriso", "-as", "mkisofs", "-quiet", "-J", "-R", "-o", image,
                        os.path.join(ROOT, "examples", "medium")], check=True, capture_output=True)
        for name, args in (("--version", ["--version"]), ("the sample medium", [os.path.join(ROOT, "examples", "medium")]),
                           ("an ISO image of it", [image])):
            runs = [subprocess.run([binary] + args, capture_output=True, text=True) for binary in (program, built)]
            facts.append(("the unpacked program on " + name + " says what the build's says",
                          (runs[1].returncode, runs[1].stdout, runs[1].stderr),
                          (runs[0].returncode, runs[0].stdout, runs[0].stderr)))
        facts.append(("--version names VERSION", True, version in output(program, "--version")))
        # The unpacked tovinel-brand, with the system's libpng, brands as the build's does.
        runs = [subprocess.run([binary, "--product", "Sternkarte 2027", "-o", os.path.join(work, name), launcher],
                               capture_output=True) for binary, name in ((brand, "a.exe"), (built_brand, "b.exe"))]
        facts.append(("the unpacked tovinel-brand brands as the build's", (0, 0, True),
                      (runs[0].returncode, runs[1].returncode,
                       open(os.path.join(work, "a.exe"), "rb").read() == open(os.path.join(work, "b.exe"), "rb").read())))
    finally:
        shutil.rmtree(work)
    return report_facts(facts)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
