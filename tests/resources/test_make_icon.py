# Tovinel: checks of tools/steps/make_icon.py and of the committed icon file.
# Pixel-map parsing errors, bitmap layout (row order, nibble order, mask), that tovinel.ico is current,
# and a publisher's image: dithering, alpha, scaling and the preview.
"""Usage: /usr/bin/python3 tests/resources/test_make_icon.py"""
import math
import os
import struct
import subprocess
import sys
import tempfile

from PIL import Image, ImageDraw, ImageFilter

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


LOGO = 256
STAR = (250, 225, 30)  # near yellow: a flat area that must stay flat


def logo_gradient(y):
    """The colour of the logo's disc in row y: night blue at the top to violet at the bottom, between
    the palette's colours all the way."""
    t = y / (LOGO - 1)
    return (20 + 60 * t, 40 + 20 * t, 140 - 40 * t)


def star_logo(path):
    """A logo as a publisher draws one: a gradient disc with a soft edge and a flat anti-aliased star,
    256x256 RGBA. Returns the disc's alpha and the star's coverage, 0-255 per pixel."""
    disc = Image.new("RGB", (LOGO, LOGO))
    disc.putdata([tuple(int(c) for c in logo_gradient(y)) for y in range(LOGO) for _ in range(LOGO)])
    alpha = Image.new("L", (LOGO, LOGO), 0)
    ImageDraw.Draw(alpha).ellipse((12, 12, LOGO - 13, LOGO - 13), fill=255)
    alpha = alpha.filter(ImageFilter.GaussianBlur(LOGO / 40))
    big = 4 * LOGO  # drawn four times larger and scaled down: edges anti-aliased
    points = [(big / 2 + big * r * math.cos(a), big / 2 + big * r * math.sin(a))
              for r, a in ((0.36 if i % 2 == 0 else 0.15, -math.pi / 2 + i * math.pi / 5) for i in range(10))]
    star = Image.new("L", (big, big), 0)
    ImageDraw.Draw(star).polygon(points, fill=255)
    star = star.resize((LOGO, LOGO), Image.LANCZOS)
    logo = disc.convert("RGBA")
    logo.putalpha(alpha)
    logo.paste(Image.new("RGBA", (LOGO, LOGO), STAR + (255,)), (0, 0), star)
    logo.save(path)
    return alpha, star


def coverage(mask, size):
    """The share of each pixel of a size x size grid over `mask` that the mask covers, 0.0-1.0."""
    block = LOGO // size
    data = list(mask.getdata())
    return [[sum(data[(y * block + j) * LOGO + x * block + i] for j in range(block) for i in range(block))
             / (255 * block * block) for x in range(size)] for y in range(size)]


def mean_colour(colours):
    return [sum(c[k] for c in colours) / len(colours) for k in range(3)]


def off_by(colours, expected):
    """The largest difference of a channel between the mean of `colours` and that of `expected`."""
    return round(max(abs(a - b) for a, b in zip(mean_colour(colours), mean_colour(expected))), 1)


def logo_facts():
    """The star logo in both sizes, each held against the source image: the flat star stays flat and
    keeps its shape, the gradient keeps its mean colour, the mask follows alpha, the soft edge has no
    fringe; and the preview shows exactly the icon's pixels."""
    facts = []
    yellow = make_icon.INDEX["Y"]
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "logo.png")
        alpha, star = star_logo(path)
        maps = make_icon.pixels_from_image(path)
        for pixels in maps:
            size = len(pixels)
            drawn, covered = coverage(alpha, size), coverage(star, size)
            cells = [(x, y) for y in range(size) for x in range(size)]
            disc = [(x, y) for x, y in cells if pixels[y][x] is not None and covered[y][x] == 0]
            rim = [(x, y) for x, y in disc
                   if any(not (0 <= x + dx < size and 0 <= y + dy < size) or pixels[y + dy][x + dx] is None
                          for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))]

            def colours(where):
                return [make_icon.PALETTE[pixels[y][x]][1] for x, y in where]

            def source(where):
                return [logo_gradient((y + 0.5) * LOGO / size) for _, y in where]

            label = "%dx%d: " % (size, size)
            facts.append((label + "the star is flat yellow inside, and no yellow is outside it", ({yellow}, 0),
                          ({pixels[y][x] for x, y in cells if covered[y][x] >= 0.9},
                           sum(pixels[y][x] == yellow for x, y in cells if covered[y][x] <= 0.1))))
            facts.append((label + "drawn where the logo is at least half opaque (clear cases)", [],
                          [(x, y) for x, y in cells if abs(drawn[y][x] - 0.5) > 0.15
                           and (pixels[y][x] is not None) != (drawn[y][x] > 0.5)]))
            # Nearest colours alone give the gradient's top half navy and its bottom half magenta:
            # off by 50 in green. Dithering keeps the mean.
            facts.append((label + "the gradient keeps its mean colour (within 10)", True,
                          off_by(colours(disc), source(disc)) <= 10))
            # A rim mixed with black (or white) where the logo fades out is off by 40 and more.
            facts.append((label + "the soft edge keeps the disc's colour, without a fringe (within 24)", True,
                          len(rim) > size and off_by(colours(rim), source(rim)) <= 24))

        preview = os.path.join(work, "preview.png")
        run = subprocess.run([sys.executable, TOOL, "--from-image", path, "--ico", os.path.join(work, "x.ico"),
                              "--preview", preview], capture_output=True, text=True)
        shown = Image.open(preview).convert("RGB")
        # Enlarged 8 times, 16 pixels of margin: the middle of each enlarged pixel, image after image.
        left, differ = 16, []
        for pixels in maps:
            differ += [(x, y) for y, row in enumerate(pixels) for x, index in enumerate(row) if index is not None
                       and shown.getpixel((left + 8 * x + 4, 16 + 8 * y + 4)) != make_icon.PALETTE[index][1]]
            left += 8 * len(pixels) + 16
        facts.append(("the preview shows both images' pixels, and the tool says where it is",
                      (0, [], True), (run.returncode, differ, preview in run.stdout)))
    return facts


def publisher_image_facts():
    """A flat publisher's image: palette colours, dithering, the alpha threshold, scaling, aspect, and
    .ico frames."""
    facts = []
    # (name, RGBA of a 64x64 image, the palette letters of the 32x32 and 16x16 images that make 5% of
    # their pixels or more, '.' for none drawn); where colours mix, their mean must be the image's.
    for name, rgba, letters in [
        ("pure red stays red", (255, 0, 0, 255), "R"),
        ("dark red is maroon, flat", (120, 10, 5, 255), "r"),
        ("near white is white, flat", (240, 250, 245, 255), "W"),
        ("orange mixes red and yellow", (255, 140, 0, 255), "RY"),
        ("mid grey mixes silver and grey", (170, 170, 170, 255), "Kw"),
        ("half transparent red is drawn red, not darkened", (255, 0, 0, 128), "R"),
        ("alpha 127 is transparent", (0, 0, 255, 127), "."),
    ]:
        with tempfile.TemporaryDirectory() as work:
            path = os.path.join(work, "logo.png")
            image = Image.new("RGBA", (64, 64), (0, 0, 0, 0))
            image.paste(rgba, (0, 0, 64, 64))
            image.save(path)
            try:
                maps = make_icon.pixels_from_image(path)
                got = ["".join(sorted(make_icon.PALETTE[i][0] for i in set(sum(m, []))
                                      if sum(m, []).count(i) >= len(m) ** 2 / 20)) for m in maps]
                if len(letters) > 1:
                    got = [g if off_by([make_icon.PALETTE[i][1] for row in m for i in row], [rgba[:3]]) <= 3
                           else "mean off" for g, m in zip(got, maps)]
            except make_icon.ArtError as error:
                # Every pixel alike: a transparent one makes an invisible icon, which is refused.
                got = ["."] * 2 if "fully transparent" in str(error) else str(error)
            facts.append((name, [letters, letters], got))

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

    return report_facts(facts + publisher_image_facts() + logo_facts())


if __name__ == "__main__":
    sys.exit(main())
