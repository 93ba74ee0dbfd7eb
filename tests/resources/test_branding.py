# Tovinel: checks of a publisher's branding, end to end: the cross build with an icon from a PNG and
# texts of their own, texts refused at configure time for their words or their size, and refusals
# that do not stay in the cache.
"""Usage: /usr/bin/python3 tests/resources/test_branding.py WORK_DIR   (a folder it may empty and reuse)"""
import json
import os
import re
import shutil
import subprocess
import sys

import pefile
from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(ROOT, "tools"))
sys.path.insert(0, os.path.join(ROOT, "tools", "steps"))
import brand  # noqa: E402
import check_exe  # noqa: E402
import make_icon  # noqa: E402
from facts import report_facts  # noqa: E402
from test_make_icon import star_logo  # noqa: E402

RT_ICON = 3
# A publisher's realistic texts: longer than Tovinel's own, they cost the file one page.
NORDLICHT = {"CompanyName": "Nordlicht Software GmbH", "FileDescription": "Sternkarte 2027 Startprogramm",
             "LegalCopyright": "© 2027 Nordlicht Software GmbH", "ProductName": "Sternkarte 2027"}
# Texts that stress the build: non-ASCII (UTF-16 in the record, one beyond U+FFFF), quotes, a backslash,
# a semicolon.
TEXTS = {"CompanyName": "Mü \"Q\";AG", "FileDescription": "A\\B ©",
         "LegalCopyright": "© 2026 Müller", "ProductName": "Atlas 日😀"}
OPTIONS = {"CompanyName": "TOVINEL_COMPANY_NAME", "FileDescription": "TOVINEL_FILE_DESCRIPTION",
           "LegalCopyright": "TOVINEL_LEGAL_COPYRIGHT", "ProductName": "TOVINEL_PRODUCT_NAME"}


def refusal(key, text):
    """brand.py's reason for refusing the text, or None when it is accepted."""
    try:
        brand.check_text(key, text)
    except brand.Refused as error:
        return str(error)
    return None


def installer_word_facts():
    """brand.py's text check: (text, the words its refusal must name; none: accepted)."""
    facts = []
    for text, words in [
        ("Maker Setup", ["setup"]),
        ("Reinstaller", ["install"]),
        ("UPDATES", ["update"]),
        ("Dispatcher", ["patch"]),
        ("upGrade and setUP", ["setup", "upgrade"]),
        ("Maker Disc Start", []),
        ("Set up", []),
    ]:
        reason = refusal("ProductName", text)
        named = [w for w in ("setup", "install", "update", "patch", "upgrade")
                 if reason and '"%s"' % w in reason]
        facts.append(("installer words in %r" % text, (bool(words), words), (reason is not None, named)))
    reason = refusal("CompanyName", "Maker\nLtd")
    facts.append(("a line break in a text is refused", True, reason is not None and "control" in reason))
    # A Latin-1 option reaches Python as an undecodable byte, kept as a lone surrogate.
    reason = refusal("CompanyName", b"M\xfcller".decode("utf-8", "surrogateescape"))
    facts.append(("a text that is not UTF-8 is refused", True, reason is not None and "UTF-8" in reason))
    return facts


def cmake(build, *options):
    return subprocess.run(["cmake", "-S", ROOT, "-B", build] + list(options), capture_output=True, text=True)


def texts_options(texts, budget=""):
    return ["-D%s=%s" % (OPTIONS[key], text) for key, text in texts.items()] + \
           ["-DTOVINEL_SIZE_BUDGET=%s" % budget]


def build_launcher(build):
    """Builds tovinel.exe alone; returns (size or None when there is no file, the build's output)."""
    run = subprocess.run(["cmake", "--build", build, "--target", "tovinel"], capture_output=True, text=True)
    exe = os.path.join(build, "tovinel.exe")
    return (os.path.getsize(exe) if os.path.exists(exe) else None), run.stdout + run.stderr


def record(build):
    with open(os.path.join(build, "brand", "brand.json"), encoding="utf-8") as f:
        return json.load(f)


def growth_said(configured):
    """The growth the configure accepted, from its status line, or None."""
    match = re.search(r"tovinel.exe grows by (\d+) bytes", configured.stdout)
    return int(match.group(1)) if match else None


def exe_facts(build, label):
    """check_exe's executable facts and test_resources' resource facts of the build's tovinel.exe."""
    exe = os.path.join(build, "tovinel.exe")
    with open(exe, "rb") as f:
        data = f.read()
    failed_exe = [name for name, expected, actual in check_exe.facts(pefile.PE(data=data), data)
                  if expected != actual]
    resources = subprocess.run([sys.executable, os.path.join(HERE, "test_resources.py"), exe,
                                os.path.join(build, "brand", "brand.json")], capture_output=True, text=True)
    return [(label + ": executable facts", [], failed_exe),
            (label + ": resource facts with the branding", (0, ""),
             (resources.returncode, resources.stdout if resources.returncode else ""))]


def icon_facts(build, logo, label):
    """The icon images in the build's tovinel.exe are the ones make_icon draws from `logo`."""
    pe = pefile.PE(os.path.join(build, "tovinel.exe"))
    images = {entry.id: entry for entry in next(t for t in pe.DIRECTORY_ENTRY_RESOURCE.entries
                                                if t.id == RT_ICON).directory.entries}
    facts = []
    for image_id, pixels in zip((1, 2), make_icon.pixels_from_image(logo)):
        data = images[image_id].directory.entries[0].data.struct
        facts.append(("%s: icon image %d" % (label, image_id), make_icon.icon_image(pixels),
                      pe.get_data(data.OffsetToData, data.Size)))
    return facts


def main(argv):
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    work = argv[0]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    build = os.path.join(work, "build")
    facts = installer_word_facts()
    logo = os.path.join(work, "logo.png")
    star_logo(logo)
    own = {key: text for _, key, text in brand.TEXTS}
    own_icon = os.path.join(ROOT, "resources", "tovinel.ico")

    # A refused first configure keeps nothing: the next one, without options, is Tovinel's own.
    refused = cmake(build, "-DCMAKE_BUILD_TYPE=Release",
                    "-DCMAKE_TOOLCHAIN_FILE=%s/tools/cmake/mingw-i686.cmake" % ROOT, "-DTOVINEL_ICON=" + logo,
                    *texts_options(dict(NORDLICHT, FileDescription="Sternkarte Installer")))
    facts.append(("configure refuses an installer word, naming it", (True, True),
                  (refused.returncode != 0, 'FileDescription "Sternkarte Installer" contains "install"'
                   in " ".join(refused.stderr.split()))))
    again = cmake(build)
    facts.append(("after a refused first configure, one without options brands as Tovinel",
                  (0, own, own_icon), (again.returncode, record(build)["texts"], record(build)["icon"])))
    unbranded, output = build_launcher(build)
    if unbranded is None:
        print(again.stderr + output)
        return report_facts(facts + [("the unbranded build succeeds", True, False)])

    # The realistic texts cost one page: accepted by default, and said so at configure and build time.
    configured = cmake(build, "-DTOVINEL_ICON=" + logo, *texts_options(NORDLICHT))
    size, output = build_launcher(build)
    preview = os.path.join(build, "brand", "icon-preview.png")
    facts.append(("Nordlicht's texts: accepted by default, one page larger", (0, 512, unbranded + 512),
                  (configured.returncode, growth_said(configured), size)))
    # The preview's path: from the project's folder when the build is inside it.
    said = re.search(r"tovinel.exe: (\d+) bytes, 512 more than with Tovinel's own texts \(budget 512\); "
                     r"the icon's preview: (\S+)", output)
    facts.append(("the build says the size, the growth and where the icon's preview is", (str(size), True),
                  (said.group(1), os.path.isfile(preview) and os.path.samefile(os.path.join(ROOT, said.group(2)),
                                                                               preview)) if said else None))
    if size is None:
        print(configured.stderr + output)
        return report_facts(facts)
    facts += exe_facts(build, "Nordlicht") + icon_facts(build, logo, "Nordlicht")

    # A refused value does not stay: the next configure brands as the last accepted one.
    refused = cmake(build, "-DTOVINEL_SIZE_BUDGET=one page", "-DTOVINEL_PRODUCT_NAME=Sternkarte 2028")
    again = cmake(build)
    facts.append(("a refused configure, then one without options: the last accepted branding",
                  (True, 0, NORDLICHT, preview, 512),
                  (refused.returncode != 0 and "not 'one page'" in refused.stderr, again.returncode,
                   *(record(build)[key] for key in ("texts", "preview", "budget")))))

    # Two pages more than Tovinel's own: refused at configure time, with the cost and the ways out.
    long_texts = dict(TEXTS, LegalCopyright="© 2026 Müller & Söhne Disc Publishing Ltd. " * 9)
    refused = cmake(build, *texts_options(long_texts))
    message = " ".join(refused.stderr.split())
    match = re.search(r"make tovinel.exe (\d+) bytes larger .* more than the budget of 512 .* shorten the "
                      r"texts by at least (\d+) bytes .* -DTOVINEL_SIZE_BUDGET=(\d+)\.", message)
    facts.append(("texts two pages over: refused at configure, advised a budget of two pages",
                  (True, 1024, 1024),
                  (refused.returncode != 0, *(int(match.group(n)) if match else None for n in (1, 3)))))
    if not match:
        print(refused.stderr)
        return report_facts(facts)
    shorten, budget = int(match.group(2)), int(match.group(3))
    # The advice holds: that many bytes fewer (in whole characters, one more for the padding) fit.
    chars = (shorten + 1) // 2 + 1
    shortened = dict(long_texts, LegalCopyright=long_texts["LegalCopyright"][:-chars])
    configured = cmake(build, *texts_options(shortened))
    facts.append(("shortened as advised, the texts fit", (0, 512),
                  (configured.returncode, growth_said(configured))))
    # Or the publisher accepts the larger file.
    raised = cmake(build, *texts_options(long_texts, budget=str(budget)))
    facts.append(("with TOVINEL_SIZE_BUDGET raised, the larger file is built", (0, 1024, unbranded + 1024),
                  (raised.returncode, growth_said(raised), build_launcher(build)[0])))
    facts += exe_facts(build, "raised budget")

    # A changed image is drawn again by the next build, without a configure by hand.
    Image.open(logo).transpose(Image.FLIP_TOP_BOTTOM).save(logo)
    build_launcher(build)
    facts += icon_facts(build, logo, "changed image")
    return report_facts(facts)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
