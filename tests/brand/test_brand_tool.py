# Tovinel tests: tovinel-brand on one table of branding inputs (PNG, .ico, a 4096x4096 logo) and of
# every refusal, each row one run on the built tovinel.exe.
"""Usage: /usr/bin/python3 tests/brand/test_brand_tool.py TOVINEL_BRAND tovinel.exe TOVINEL_CHECK WORK_DIR [tovinel-brand.exe]

A branded file must keep every executable and resource fact and carry what was asked; a refusal must
write nothing and say why in one line."""
import json
import os
import shutil
import struct
import subprocess
import sys

import pefile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tools"))
sys.path.insert(0, os.path.join(ROOT, "tools", "steps"))
sys.path.insert(0, os.path.join(ROOT, "tests", "resources"))
import check_exe  # noqa: E402
import test_resources  # noqa: E402
from facts import report_facts  # noqa: E402
from fixtures import PALETTE, bmp_entry, flat_png, ico, icon_maps, png, png_pixels, reference_dither  # noqa: E402

NORDLICHT = ["--company", "Nordlicht Software GmbH", "--product", "Sternkarte 2027",
             "--description", "Sternkarte 2027 Startprogramm", "--copyright", "© 2027 Nordlicht Software GmbH"]
KEYS = {"--company": "CompanyName", "--product": "ProductName", "--description": "FileDescription",
        "--copyright": "LegalCopyright"}
LONG = "© 2026 Müller & Söhne Disc Publishing Ltd. " * 7  # two pages more than Tovinel's own texts
RED, BLUE, GREEN, YELLOW = (255, 0, 0, 255), (0, 0, 255, 255), (0, 128, 0, 255), (255, 255, 0, 255)
# 32x32 of four palette colours in stripes three pixels wide, its top row transparent: kept pixel
# for pixel by a BMP entry of any depth.
STRIPES = [[(0, 0, 0, 0) if y == 0 else (RED, GREEN, BLUE, YELLOW)[(x // 3 + y) % 4] for x in range(32)] for y in range(32)]
STRIPES_MAP = ["." * 32] + ["".join("RgBY"[(x // 3 + y) % 4] for x in range(32)) for y in range(1, 32)]


def edge(x, y):
    """Blue up to 123 of 200 columns, then transparent over a hidden yellow: the edge falls inside an
    icon pixel, whose colour must be the blue alone, however much yellow lies under its transparent part."""
    return BLUE if x < 123 else (255, 255, 0, 0)


def swatch(size, x, y):
    """Colours between the palette's, some half transparent: what dithering has to spread."""
    return (x * 255 // (size - 1), (x * y * 7) % 256, y * 255 // (size - 1), 255 if (x + 2 * y) % 11 else 100)


SWATCHES = {size: [[swatch(size, x, y) for x in range(size)] for y in range(size)] for size in (32, 16)}


def every(letters):
    """Every pixel of both images is one of `letters`."""
    return lambda got: ("every pixel in " + letters, True, all(c in letters for m in got["maps"] for row in m for c in row))


def mean_of(rgb):
    """The drawn pixels' mean colour is within 3 of `rgb`: the dithering keeps what lies between colours."""
    def check(got):
        drawn = [PALETTE["krgybmcwKRGYBMCW".index(c)] for m in got["maps"] for row in m for c in row if c != "."]
        mean = [sum(p[k] for p in drawn) / max(1, len(drawn)) for k in range(3)]
        return ("mean colour of %r" % (rgb,), True, len(drawn) == 32 * 32 + 16 * 16 and
                max(abs(a - b) for a, b in zip(mean, rgb)) <= 3, "mean %r" % mean)
    return check


def images(large, small=None):
    """The 32x32 image is `large` (rows of letters), and the 16x16 `small` when given."""
    return lambda got: ("the icon's images", [large] + ([small] if small else []), got["maps"][:2 if small else 1])


def same_bytes(got):
    return ("the same bytes as the unsigned tovinel.exe", True, got["data"] == got["launcher"])


# (name, icon file (name, bytes) or None, arguments, expectation). An expectation is ("branded",
# growth in bytes, checks of the icon's images) or ("refused"/"usage", words of the one-line reason).
CASES = [
    ("no options: the same bytes", None, [], ("branded", 0, [same_bytes])),
    ("Nordlicht's texts, a logo with alpha: no hidden colour bleeds in",
     ("logo.png", png(200, 200, edge)), NORDLICHT, ("branded", 512, [images(["B" * 20 + "." * 12] * 32, ["B" * 10 + "." * 6] * 16)])),
    ("a palette PNG with transparency", ("palette.png", png(64, 64, lambda x, y: (x // 32,), "palette",
                                                            palette=[(255, 0, 0), (0, 0, 0)], transparency=[255, 0])),
     [], ("branded", 0, [images(["R" * 16 + "." * 16] * 32, ["R" * 8 + "." * 8] * 16)])),
    ("a grey PNG", ("grey.png", png(40, 40, [128] * 40, "grey")), [], ("branded", 0, [every("K")])),
    ("a 16-bit PNG, half opaque: its high bytes", ("deep.png", png(8, 8, [0xFF00, 0x00FF, 0, 0x8000] * 8, depth=16)),
     [], ("branded", 0, [every("R")])),
    ("orange mixes red and yellow, keeping its colour", ("orange.png", flat_png(64, 64, (255, 140, 0, 255))), [],
     ("branded", 0, [mean_of((255, 140, 0))])),
    ("a grey a third of the way to white is white, flat", ("white.png", flat_png(64, 64, (235, 235, 235, 255))), [],
     ("branded", 0, [every("W")])),
    ("a grey past a third of the way is dithered", ("silver.png", flat_png(64, 64, (232, 232, 232, 255))), [],
     ("branded", 0, [mean_of((232, 232, 232))])),
    ("an .ico of both sizes: dithered exactly as make_icon.py did",
     ("swatches.ico", ico([(size, size, 32, bmp_entry(SWATCHES[size], 32)) for size in (32, 16)])), [],
     ("branded", 0, [images(*(reference_dither([[p[:3] for p in row] for row in SWATCHES[size]],
                                               [[p[3] >= 128 for p in row] for row in SWATCHES[size]]) for size in (32, 16)))])),
    ("alpha 128 is drawn in its own colour", ("half.png", flat_png(64, 64, (255, 0, 0, 128))), [],
     ("branded", 0, [every("R")])),
    ("a wide PNG keeps its aspect", ("wide.png", flat_png(200, 100, GREEN)), [],
     ("branded", 0, [images(["." * 32] * 8 + ["g" * 32] * 16 + ["." * 32] * 8)])),
    ("a 4096x4096 PNG", ("huge.png", flat_png(4096, 4096, BLUE)), [], ("branded", 0, [every("B")]))] + [
    ("an .ico of a %d-bit BMP: kept pixel for pixel" % bits,
     ("stripes.ico", ico([(32, 32, bits, bmp_entry(STRIPES, bits))])), [], ("branded", 0, [images(STRIPES_MAP)]))
    for bits in (4, 8, 24, 32)] + [
    ("an .ico of a 1-bit BMP", ("mono.ico", ico([(32, 32, 1, bmp_entry([[(255,) * 4 if (x // 3 + y) % 2 else (0, 0, 0, 255)
                                                                          for x in range(32)] for y in range(32)], 1))])),
     [], ("branded", 0, [images(["".join("kW"[(x // 3 + y) % 2] for x in range(32)) for y in range(32)])])),
    ("an .ico: each size from its own image, else from the largest",
     ("sizes.ico", ico([(48, 48, 32, bmp_entry([[RED] * 48] * 48, 32)), (16, 16, 4, bmp_entry([[BLUE] * 16] * 16, 4)),
                        (24, 24, 32, bmp_entry([[YELLOW] * 24] * 24, 32))])),
     [], ("branded", 0, [images(["R" * 32] * 32, ["B" * 16] * 16)])),
    ("an .ico of PNG entries", ("png.ico", ico([(0, 0, 32, flat_png(256, 256, GREEN)), (16, 16, 32, flat_png(16, 16, YELLOW))])),
     [], ("branded", 0, [images(["g" * 32] * 32, ["Y" * 16] * 16)])),
    ("texts two pages over, with the budget raised", None, ["--copyright", LONG, "--budget", "1024"], ("branded", 1024, [])),
    ("texts past a section page: .reloc moves to another address too", None,
     ["--copyright", "x" * 1100, "--budget", "4096"], ("branded", 2560, [])),
    ("-o names the input itself", None, NORDLICHT, ("branded", 512, [])),

    ("a signed input", None, ["--signed"],
     ("refused", "is signed, and branding would break its signature: sign after branding, or pass --strip-signature")),
    ("a signed input, --strip-signature", None, ["--signed", "--strip-signature"], ("branded", 0, [same_bytes])),
    ("another Windows program", None, ["--input", "app.exe"],
     ("refused", "app.exe is not a Tovinel launcher: its PE header is not at 0x68")),
    ("a text file", None, ["--input", "notes.txt"], ("refused", "notes.txt is not a Tovinel launcher: it is no Windows program")),
    ("an installer word inside a word", None, ["--product", "Sternkarte Reinstaller"],
     ("refused", "--product (ProductName) 'Sternkarte Reinstaller' holds 'install'")),
    ("a text that is not UTF-8", None, ["--company", b"M\xfcller"],
     ("refused", "--company (CompanyName) holds a byte that is not UTF-8 (0xFC at byte 2)")),
    ("a line break", None, ["--company", "Maker\nLtd"], ("refused", "--company (CompanyName) holds the control character U+000A")),
    ("a text over the record's 16-bit lengths", None, ["--copyright", "x" * 33000, "--budget", "100000"],
     ("refused", "16-bit lengths hold at most 65535")),
    ("texts two pages over the default budget", None, ["--copyright", LONG],
     ("refused", "the file would grow by 1024 bytes, more than the budget of 512. Shorten the texts by at least")),
    ("a truncated PNG", ("cut.png", png(200, 200, edge)[:100]), [], ("refused", "cut.png: the PNG cannot be decoded: the file ends")),
    ("a JPEG named .png", ("photo.png", b"\xff\xd8\xff\xe0\0\x10JFIF\0" + bytes(64)), [], ("refused", "photo.png: it is a JPEG image")),
    ("a file of no known format", ("logo.gif", b"GIF89a" + bytes(64)), [], ("refused", "logo.gif: it is neither a PNG nor an .ico")),
    ("absurd dimensions", ("vast.png", png(1, 1, [0, 0, 0, 255])[:16] + struct.pack(">II", 100000, 100000) + bytes(40)),
     [], ("refused", "vast.png: the image is 100000x100000 pixels; tovinel-brand reads images of up to 8192 pixels a side")),
    ("a fully transparent image", ("clear.png", flat_png(64, 64, (0, 0, 255, 127))), [],
     ("refused", "clear.png: the 32x32 image would be fully transparent")),
    ("an .ico cut short", ("cut.ico", ico([(32, 32, 4, bmp_entry(STRIPES, 4))])[:200]), [], ("refused", "cut.ico: the .ico is cut short")),
    ("no -o", None, ["--no-output"], ("usage", "no branded file named (-o BRANDED.exe)")),
    ("an unknown option", None, ["--colour", "red"], ("usage", "unknown option --colour")),
    ("a budget that is no number", None, ["--budget", "one page"], ("usage", "--budget is a number of bytes, not 'one page'")),
]


def signed(data):
    """`data` with a certificate table after its sections, as a signing tool appends one."""
    table = struct.pack("<IHH", 16, 0x200, 2) + bytes(8)
    out = bytearray(data + table)
    struct.pack_into("<II", out, 0x68 + 24 + 96 + 8 * 4, len(data), len(table))
    return bytes(out)


# The inputs a row may name with --input, instead of the built tovinel.exe.
INPUTS = {"app.exe": os.path.join(ROOT, "tests", "checker", "check_programs", "app.exe"),
          "notes.txt": os.path.join(ROOT, "README.md")}


def run(tool, work, name, icon, arguments, launcher):
    """Runs the tool as the row asks, in a folder of its own; returns (the run, the folder, the
    output's path, the preview's path)."""
    folder = os.path.join(work, "".join(c if c.isalnum() else "_" for c in name)[:40])
    os.makedirs(folder)
    arguments, given, source = list(arguments), "tovinel.exe", launcher
    if "--input" in arguments:
        given = arguments.pop(arguments.index("--input") + 1)
        arguments.remove("--input")
        source = INPUTS[given]
    with open(source, "rb") as f:
        data = f.read()
    if "--signed" in arguments:
        arguments.remove("--signed")
        data = signed(data)
    with open(os.path.join(folder, given), "wb") as f:
        f.write(data)
    if icon:
        with open(os.path.join(folder, icon[0]), "wb") as f:
            f.write(icon[1])
        arguments += ["--icon", icon[0]]
    output = given if name.startswith("-o names the input") else "branded.exe"
    if "--no-output" in arguments:
        arguments.remove("--no-output")
    else:
        arguments += ["-o", output]
    arguments = [a.encode() if isinstance(a, str) else a for a in arguments] + [given.encode()]
    done = subprocess.run([tool] + arguments, cwd=folder, capture_output=True)
    return done, folder, os.path.join(folder, output), os.path.join(folder, output[:-4] + "-icon-preview.png")


def branded_facts(name, launcher, output, preview, arguments, growth, checks):
    """A branded file: its size, every executable and resource fact, the texts asked for; the checks
    of the row, and the preview, which must show the icon's pixels."""
    with open(launcher, "rb") as f:
        before = f.read()
    with open(output, "rb") as f:
        data = f.read()
    pe = pefile.PE(data=data)
    texts = dict(test_resources.UNBRANDED["texts"])
    texts.update({KEYS[a]: v for a, v in zip(arguments, arguments[1:]) if a in KEYS})
    record = dict(test_resources.UNBRANDED, texts=texts, icon=os.path.exists(preview) or None)
    resources = [fact for fact in test_resources.all_facts(output, record) if fact[1] != fact[2]]
    facts = [(name + ": size", len(before) + growth, len(data)),
             (name + ": executable facts", [], [f[0] for f in check_exe.facts(pe, data) if f[1] != f[2]]),
             (name + ": resource facts", [], [f[0] for f in resources], repr(resources)[:600]),
             (name + ": checksum", pe.generate_checksum(), pe.OPTIONAL_HEADER.CheckSum),
             (name + ": the image holds every section", True,
              max(s.VirtualAddress + s.Misc_VirtualSize for s in pe.sections) <= pe.OPTIONAL_HEADER.SizeOfImage)]
    got = {"maps": icon_maps(pe), "data": data, "launcher": before}
    facts += [(name + ": " + label, *rest) for label, *rest in (check(got) for check in checks)]
    if os.path.exists(preview):
        # Both images enlarged 8 times, 16 pixels apart on a checkerboard: the middle of each block.
        width, height, rows = png_pixels(open(preview, "rb").read())
        shown = ["".join("krgybmcwKRGYBMCW"[PALETTE.index(rows[20 + 8 * y][left + 8 * x + 4])]
                         if rows[20 + 8 * y][left + 8 * x + 4] in PALETTE else "." for x in range(size))
                 for left, size in ((16, 32), (288, 16)) for y in range(size)]
        facts.append((name + ": the preview shows the icon's pixels", (432, 360, got["maps"][0] + got["maps"][1]),
                      (width, height, shown)))
    return facts


def check_report(check, folder, medium_source):
    """The finding ids and the decision tovinel-check gives a copy of the sample medium with `folder`'s
    branded tovinel.exe (or, with None, the unbranded one)."""
    medium = os.path.join(folder, "medium")
    shutil.copytree(os.path.join(ROOT, "examples", "medium"), medium)
    shutil.copyfile(medium_source, os.path.join(medium, "tovinel.exe"))
    report = json.loads(subprocess.run([check, "--format=json", medium], capture_output=True, text=True).stdout)
    return sorted(f["id"] for f in report["findings"]), report["decision"]["outcome"]


def windows_facts(path):
    """tovinel-brand.exe runs from a bare folder on Windows 7 to 11: a 32-bit console program whose
    imports are DLLs every Windows has (ole32 starts the Windows Imaging Component)."""
    pe = pefile.PE(path)
    imports = sorted(entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT)
    version = (pe.OPTIONAL_HEADER.MajorSubsystemVersion, pe.OPTIONAL_HEADER.MinorSubsystemVersion)
    return [("tovinel-brand.exe: 32-bit console program for Windows 7 and later", (0x14C, 3, True),
             (pe.FILE_HEADER.Machine, pe.OPTIONAL_HEADER.Subsystem, version <= (6, 1))),
            ("tovinel-brand.exe imports only system DLLs", ["kernel32.dll", "msvcrt.dll", "ole32.dll"], imports)]


def main(argv):
    if len(argv) not in (4, 5):
        print(__doc__, file=sys.stderr)
        return 2
    tool, launcher, check, work = (os.path.abspath(a) for a in argv[:4])
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    facts, advised = windows_facts(argv[4]) if len(argv) == 5 else [], None
    for name, icon, arguments, (kind, *expected) in CASES:
        done, folder, output, preview = run(tool, work, name, icon, arguments, launcher)
        said = done.stderr.decode("utf-8", "replace")
        left = [n for n in os.listdir(folder) if n.startswith(".") or n.endswith(".tmp")]
        if kind == "branded":
            facts.append((name + ": branded", (0, "", []), (done.returncode, said, left)))
            if done.returncode == 0:
                facts += branded_facts(name, launcher, output, preview, [a for a in arguments if isinstance(a, str)],
                                       *expected)
            continue
        written = [n for n in os.listdir(folder) if n.startswith("branded")]
        facts.append((name + ": " + kind, ({"refused": 1, "usage": 2}[kind], True, 1, [], []),
                      (done.returncode, expected[0] in said, said.count("\n"), written, left), said))
        if "Shorten the texts by at least" in said:
            advised = int(said.split("at least ")[1].split()[0])
    reloc = pefile.PE(os.path.join(work, [n for n in os.listdir(work) if n.startswith("texts_past")][0], "branded.exe"))
    facts.append(("texts past a section page: .reloc at the next section address", (0x5000, 0x5000),
                  (reloc.sections[3].VirtualAddress, reloc.OPTIONAL_HEADER.DATA_DIRECTORY[5].VirtualAddress)))
    # The advice holds: that many bytes fewer (whole characters, one more for the padding) fit.
    chars = (advised or 0) // 2 + 2
    done, folder, output, preview = run(tool, work, "shortened as advised", None, ["--copyright", LONG[:-chars]], launcher)
    facts.append(("shortened as advised, the texts fit one page", (0, 6656), (done.returncode, os.path.getsize(output)
                                                                             if done.returncode == 0 else None)))
    # tovinel-check knows the branded file for the launcher: the same findings and decision as unbranded.
    branded = os.path.join(work, [n for n in os.listdir(work) if n.startswith("Nordlicht")][0], "branded.exe")
    facts.append(("tovinel-check reads the branded medium as the unbranded one", check_report(check, work, launcher),
                  check_report(check, os.path.dirname(branded), branded)))
    shutil.rmtree(work, ignore_errors=True)
    return report_facts(facts)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
