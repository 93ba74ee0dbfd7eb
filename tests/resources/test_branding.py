# Tovinel: checks of a publisher's branding, end to end: the cross build with an icon from a PNG and
# texts of their own, the texts refused at configure time, and the size budget after the link.
"""Usage: /usr/bin/python3 tests/resources/test_branding.py WORK_DIR   (a folder it may empty and reuse)"""
import os
import re
import shutil
import subprocess
import sys

import pefile
from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tools"))
sys.path.insert(0, os.path.join(ROOT, "tools", "steps"))
import brand  # noqa: E402
import check_exe  # noqa: E402
import make_icon  # noqa: E402
from facts import report_facts  # noqa: E402

RT_ICON = 3
# Texts that stress the build: non-ASCII (UTF-16 in the record, one beyond U+FFFF), quotes, a backslash,
# a semicolon; as short as the unbranded ones, which leave the resource pages only a few bytes.
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


def main(argv):
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    work = argv[0]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    build = os.path.join(work, "build")
    facts = installer_word_facts()

    # A wide logo: a red disc on the left, navy on the right, transparent around.
    logo = os.path.join(work, "logo.png")
    image = Image.new("RGBA", (300, 150), (0, 0, 0, 0))
    image.paste((230, 20, 20, 255), (0, 0, 150, 150))
    image.paste((0, 0, 120, 255), (150, 0, 300, 150))
    image.save(logo)

    refused = cmake(build, "-DCMAKE_BUILD_TYPE=Release",
                    "-DCMAKE_TOOLCHAIN_FILE=%s/tools/cmake/mingw-i686.cmake" % ROOT,
                    "-DTOVINEL_ICON=" + logo, *texts_options(dict(TEXTS, FileDescription="Atlas Installer")))
    facts.append(("configure refuses an installer word, naming it", (True, True),
                  (refused.returncode != 0, 'FileDescription "Atlas Installer" contains "install"'
                   in " ".join(refused.stderr.split()))))

    configured = cmake(build, *texts_options(TEXTS))
    size, output = build_launcher(build)
    facts.append(("the branded build succeeds", (0, True), (configured.returncode, size is not None)))
    if size is None:
        print(configured.stderr + output)
        return report_facts(facts)
    facts += exe_facts(build, "branded")
    pe = pefile.PE(os.path.join(build, "tovinel.exe"))
    images = {entry.id: entry for entry in next(t for t in pe.DIRECTORY_ENTRY_RESOURCE.entries
                                                if t.id == RT_ICON).directory.entries}
    for image_id, pixels in zip((1, 2), make_icon.pixels_from_image(logo)):
        data = images[image_id].directory.entries[0].data.struct
        facts.append(("icon image %d is drawn from the PNG" % image_id, make_icon.icon_image(pixels),
                      pe.get_data(data.OffsetToData, data.Size)))

    # Too long for the resource pages: refused after the link, with the cost, and no file left.
    long_texts = dict(TEXTS, LegalCopyright="© 2026 Müller & Söhne Disc Publishing Limited, all rights reserved")
    cmake(build, *texts_options(long_texts))
    refused_size, output = build_launcher(build)
    message = " ".join(output.split())
    match = re.search(r"would be (\d+) bytes, (\d+) over its budget of (\d+) .*shorten the texts by at "
                      r"least (\d+) bytes", message)
    facts.append(("texts over the budget: refused, file removed, sizes named",
                  (None, True), (refused_size, match is not None)))
    if match:
        would, over, allowed, shorten = (int(n) for n in match.groups())
        facts.append(("the budget is the size without branding", (size, size + 512), (allowed, would)))
        # The advice holds: that many bytes fewer (in whole characters, one more for the padding) fit.
        chars = (shorten + 1) // 2 + 1
        cmake(build, *texts_options(dict(long_texts, LegalCopyright=long_texts["LegalCopyright"][:-chars])))
        facts.append(("shortened as advised, the texts fit", size, build_launcher(build)[0]))
        # Or the publisher accepts the larger file.
        cmake(build, *texts_options(long_texts, budget=str(would)))
        facts.append(("with TOVINEL_SIZE_BUDGET raised, the larger file is built", would, build_launcher(build)[0]))
        facts += exe_facts(build, "raised budget")
    else:
        print(output)
    return report_facts(facts)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
