# Tovinel: checks of a publisher's branding through the build, end to end: the cross build's options
# reach tovinel-brand after the link (texts with quotes, semicolons and characters beyond the BMP, an
# icon), a refused text fails the build and leaves no tovinel.exe, and a changed image brands again.
"""Usage: /usr/bin/python3 tests/resources/test_branding.py TOVINEL_BRAND tovinel.exe WORK_DIR
   (tovinel.exe: an unbranded build's; WORK_DIR: a folder it may empty and reuse)"""
import json
import os
import shutil
import subprocess
import sys

import pefile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(ROOT, "tools"))
sys.path.insert(0, os.path.join(ROOT, "tools", "steps"))
sys.path.insert(0, os.path.join(ROOT, "tests", "brand"))
import check_exe  # noqa: E402
import test_resources  # noqa: E402
from facts import report_facts  # noqa: E402
from fixtures import icon_maps, png  # noqa: E402

# Texts that stress the way from the cache to the tool: quotes, a semicolon, a backslash, non-ASCII
# and a character beyond U+FFFF; longer than Tovinel's own, they cost the file one page.
TEXTS = {"TOVINEL_COMPANY_NAME": "Nordlicht \"Q\";Software GmbH", "TOVINEL_FILE_DESCRIPTION": "A\\B © Startprogramm",
         "TOVINEL_LEGAL_COPYRIGHT": "© 2027 Nordlicht Software GmbH", "TOVINEL_PRODUCT_NAME": "Sternkarte 2027 😀"}
KEYS = {"TOVINEL_COMPANY_NAME": "CompanyName", "TOVINEL_FILE_DESCRIPTION": "FileDescription",
        "TOVINEL_LEGAL_COPYRIGHT": "LegalCopyright", "TOVINEL_PRODUCT_NAME": "ProductName"}


def logo(path, flipped=False):
    """A red and blue logo, halves across or (flipped) along."""
    with open(path, "wb") as f:
        f.write(png(64, 64, lambda x, y: (255, 0, 0, 255) if (y if flipped else x) < 32 else (0, 0, 255, 255)))


def cmake(build, *options):
    return subprocess.run(["cmake", "-S", ROOT, "-B", build] + list(options), capture_output=True, text=True)


def build_launcher(build):
    """Builds tovinel.exe alone; returns (exit status, output, the file's bytes or None)."""
    run = subprocess.run(["cmake", "--build", build, "--target", "tovinel"], capture_output=True, text=True)
    exe = os.path.join(build, "tovinel.exe")
    data = open(exe, "rb").read() if os.path.exists(exe) else None
    return run.returncode, run.stdout + run.stderr, data


def direct_icon(tool, unbranded, icon, work):
    """The icon images tovinel-brand itself draws from `icon`, run on the unbranded tovinel.exe."""
    out = os.path.join(work, "direct.exe")
    subprocess.run([tool, "--icon", icon, "-o", out, unbranded], check=True, capture_output=True)
    return icon_maps(pefile.PE(out))


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    tool, unbranded, work = (os.path.abspath(a) for a in argv)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    build, icon = os.path.join(work, "build"), os.path.join(work, "logo.png")
    exe = os.path.join(build, "tovinel.exe")
    logo(icon)

    configured = cmake(build, "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_TOOLCHAIN_FILE=%s/tools/cmake/mingw-i686.cmake" % ROOT,
                       "-DTOVINEL_BRAND_TOOL=" + tool, "-DTOVINEL_ICON=" + icon,
                       *("-D%s=%s" % option for option in TEXTS.items()))
    status, said, data = build_launcher(build)
    facts = [("configured and built, branded", (0, 0, 6144 + 512), (configured.returncode, status, data and len(data)),
              configured.stderr + said)]
    if data is None:
        return report_facts(facts)
    facts.append(("the build shows tovinel-brand's comparison", (2, 1),
                  (said.count(" bytes  identical"), said.count(" bytes  moved to file offset"))))
    with open(os.path.join(build, "brand", "brand.json"), encoding="utf-8") as f:
        record = json.load(f)
    facts.append(("the record: the options' texts and icon", ({KEYS[k]: v for k, v in TEXTS.items()}, icon),
                  (record["texts"], record["icon"])))
    pe = pefile.PE(data=data)
    facts.append(("executable facts", [], [f[0] for f in check_exe.facts(pe, data) if f[1] != f[2]]))
    resources = [f for f in test_resources.all_facts(exe, record) if f[1] != f[2]]
    facts.append(("resource facts with the options' texts", [], resources))
    facts.append(("the icon tovinel-brand draws from the image", direct_icon(tool, unbranded, icon, work), icon_maps(pe)))
    facts.append(("the icon's preview beside tovinel.exe", True, os.path.isfile(os.path.join(build, "tovinel-icon-preview.png"))))

    # A text tovinel-brand refuses fails the build with its reason, and leaves no tovinel.exe to take up.
    cmake(build, "-DTOVINEL_FILE_DESCRIPTION=Sternkarte Installer")
    status, said, data = build_launcher(build)
    facts.append(("an installer word: the build fails, saying why, with no tovinel.exe left", (True, True, None),
                  (status != 0, "'Sternkarte Installer' holds 'install'" in said, data)))

    # An empty option is Tovinel's own text; a changed image is drawn again by the next build alone.
    cmake(build, "-DTOVINEL_FILE_DESCRIPTION=")
    build_launcher(build)
    logo(icon, flipped=True)
    status, said, data = build_launcher(build)
    facts.append(("a changed image brands again, without a configure", (0, direct_icon(tool, unbranded, icon, work)),
                  (status, data and icon_maps(pefile.PE(data=data)))))
    texts = dict(record["texts"], FileDescription="Tovinel")
    resources = [f for f in test_resources.all_facts(exe, dict(record, texts=texts)) if f[1] != f[2]]
    facts.append(("an emptied option: Tovinel's own text", [], resources))
    shutil.rmtree(work, ignore_errors=True)
    return report_facts(facts)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
