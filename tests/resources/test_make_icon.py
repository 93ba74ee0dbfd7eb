# Tovinel: checks of tools/steps/make_icon.py and of the committed icon file.
# Pixel-map parsing errors, bitmap layout (row order, nibble order, mask), and that tovinel.ico is current.
"""Usage: /usr/bin/python3 tests/resources/test_make_icon.py"""
import os
import struct
import subprocess
import sys

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

    return report_facts(facts)


if __name__ == "__main__":
    sys.exit(main())
