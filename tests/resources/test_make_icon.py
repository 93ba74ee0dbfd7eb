# Tovinel: checks of tools/steps/make_icon.py and of the committed icon file.
# Pixel-map parsing errors, bitmap layout (row order, nibble order, mask) and that tovinel.ico is current.
"""Usage: /usr/bin/python3 tests/resources/test_make_icon.py"""
import os
import struct
import subprocess
import sys
import tempfile

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
TOOL = os.path.join(HERE, os.pardir, os.pardir, "tools", "steps", "make_icon.py")
sys.path.insert(0, os.path.dirname(TOOL))
import make_icon  # noqa: E402
from facts import report_facts  # noqa: E402


def art(rows):
    return "\n".join(rows) + "\n"


def error_of(text):
    try:
        make_icon.parse_art(text, "t")
    except make_icon.ArtError as error:
        return str(error)
    return None


def publisher_image_facts():
    """A publisher's image: nearest colours, the alpha threshold, scaling, aspect, and .ico frames."""
    facts = []
    # (name, RGBA of a 64x64 image, palette letter of the 32x32 and 16x16 pixel, or '.')
    for name, rgba, letter in [
        ("pure red stays red", (255, 0, 0, 255), "R"),
        ("dark red goes to maroon", (120, 10, 5, 255), "r"),
        ("near white goes to white", (240, 250, 245, 255), "W"),
        ("mid grey goes to silver, not grey", (170, 170, 170, 255), "w"),
        ("dark grey goes to grey", (110, 110, 110, 255), "K"),
        ("orange goes to yellow, nearer than red or olive", (255, 140, 0, 255), "Y"),
        ("alpha 128 is drawn", (0, 0, 255, 128), "B"),
        ("alpha 127 is transparent", (0, 0, 255, 127), "."),
    ]:
        with tempfile.TemporaryDirectory() as work:
            path = os.path.join(work, "logo.png")
            image = Image.new("RGBA", (64, 64), (0, 0, 0, 0))
            image.paste(rgba, (0, 0, 64, 64))
            image.save(path)
            try:
                maps = make_icon.pixels_from_image(path)
                got = ["." if m[n // 2][n // 2] is None else make_icon.PALETTE[m[n // 2][n // 2]][0]
                       for m, n in zip(maps, (32, 16))]
            except make_icon.ArtError as error:
                # Every pixel alike: a transparent one makes an invisible icon, which is refused.
                got = ["."] * 2 if "fully transparent" in str(error) else str(error)
            facts.append((name, [letter, letter], got))

    with tempfile.TemporaryDirectory() as work:
        # A wide logo keeps its aspect: centred, transparent above and below.
        wide = os.path.join(work, "wide.png")
        image = Image.new("RGBA", (200, 100), (0, 128, 0, 255))
        image.save(wide)
        big, small = make_icon.pixels_from_image(wide)
        column = [row[16] for row in big]
        facts.append(("wide image: rows 0-7 and 24-31 transparent, 8-23 green",
                      [None] * 8 + [2] * 16 + [None] * 8, column))
        facts.append(("wide image: 16x16 rows", 16, len(small)))

        # An .ico with an image of each size: each is used as drawn, not scaled from the other.
        ico = os.path.join(work, "two.ico")
        art32 = make_icon.parse_art(art(["Y" * 32] * 32))
        art16 = make_icon.parse_art(art(["." + "b" * 15] + ["b" * 16] * 15))
        with open(ico, "wb") as f:
            f.write(make_icon.ico_file([(p, make_icon.icon_image(p)) for p in (art32, art16)]))
        facts.append(("an .ico's own images are kept, pixel for pixel", [art32, art16],
                      make_icon.pixels_from_image(ico)))
        # The command line writes an icon of exactly the launcher's two images.
        out = os.path.join(work, "out.ico")
        run = subprocess.run([sys.executable, TOOL, "--from-image", wide, "--ico", out],
                             capture_output=True, text=True)
        with open(out, "rb") as f:
            data = f.read()
        facts.append(("--from-image writes 32x32 (744 bytes) then 16x16 (296 bytes)",
                      (0, [(32, 744), (16, 296)]), (run.returncode, [
                          (data[6 + 16 * i], struct.unpack_from("<I", data, 6 + 16 * i + 8)[0])
                          for i in range(struct.unpack_from("<H", data, 4)[0])])))
        not_image = os.path.join(work, "notes.png")
        with open(not_image, "w") as f:
            f.write("not a picture\n")
        run = subprocess.run([sys.executable, TOOL, "--from-image", not_image, "--ico", out],
                             capture_output=True, text=True)
        facts.append(("a file that is no image is refused by name", (2, True),
                      (run.returncode, "notes.png: not an image" in run.stderr)))
    return facts


def main():
    blank = ["." * 16] * 16
    facts = []
    # Bad pixel maps: (name, text, words the message must carry)
    for name, text, words in [
        ("unknown colour letter", art(["." * 15 + "x"] + blank[1:]), "'x' is no palette colour"),
        ("ragged row", art(blank[:5] + ["." * 15] + blank[6:]), "t:6: row is 15 pixels wide"),
        ("not square", art(blank[:15]), "15 rows for a width of 16"),
        ("unsupported size", art(["." * 8] * 8), "width 8"),
        ("only comments", "# nothing\n\n", "no pixel rows"),
    ]:
        message = error_of(text)
        facts.append(("refuses " + name, True, message is not None and words in message))
    facts.append(("comments and blank lines are skipped", None, error_of("# c\n\n" + art(blank))))

    # Top-left pixel red (9), top-right white (15), rest transparent: rows are stored bottom-up,
    # the left pixel in the high nibble, mask bits most significant first.
    pixels = make_icon.parse_art(art(["R" + "." * 14 + "W"] + blank[1:]))
    image = make_icon.icon_image(pixels)
    top_xor = 104 + 15 * 8
    top_mask = 104 + 128 + 15 * 4
    facts.append(("16x16 image size", 296, len(image)))
    facts.append(("top row colours land in the last XOR row", (0x90, 0x0F), (image[top_xor], image[top_xor + 7])))
    facts.append(("other XOR rows are colour 0", bytes(120), image[104:top_xor]))
    facts.append(("top row mask: ends opaque, middle transparent", (0x7F, 0xFE), (image[top_mask], image[top_mask + 1])))
    facts.append(("fully transparent rows have every mask bit set", b"\xff\xff\0\0" * 15, image[104 + 128:top_mask]))
    ico = make_icon.ico_file([(pixels, image)])
    facts.append(("icon directory entry", (0, 1, 1, 16, 16, 16, 0, 1, 4, 296, 22),
                  struct.unpack_from("<HHHBBBBHHII", ico)))

    check = subprocess.run([sys.executable, TOOL, "--check"], capture_output=True, text=True)
    facts.append(("resources/tovinel.ico is up to date with its pixel maps", 0, check.returncode))

    return report_facts(facts + publisher_image_facts())


if __name__ == "__main__":
    sys.exit(main())
