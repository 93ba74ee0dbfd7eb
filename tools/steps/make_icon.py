# Tovinel: icon generator.
# Turns the ASCII-art pixel maps in resources/ into the 4-bit Windows icon file and a PNG preview.
"""Build resources/tovinel.ico from resources/icon32.txt and resources/icon16.txt.

Each art file holds one square image, one text line per pixel row, top row first, one character per
pixel: '.' is transparent, each letter one colour of the standard 16-colour Windows palette (see
PALETTE). Lines that start with '#' are comments; blank lines are ignored.

  make_icon.py            write the .ico
  make_icon.py --check    exit 1 when the committed .ico differs from what the art gives
  make_icon.py --png F    write a PNG preview of all images, enlarged, on a checkerboard

A publisher's icon, drawn from a PNG or an .ico, is tovinel-brand's (brand/).
"""
import argparse
import os
import struct
import sys
import tempfile
import zlib

# The standard 16-colour palette in its Windows index order. Lower case is the dark half (indexes 0-7),
# upper case the bright half (8-15): 'w' is light grey, 'K' dark grey, 'W' white.
PALETTE = [
    ("k", (0x00, 0x00, 0x00)), ("r", (0x80, 0x00, 0x00)), ("g", (0x00, 0x80, 0x00)),
    ("y", (0x80, 0x80, 0x00)), ("b", (0x00, 0x00, 0x80)), ("m", (0x80, 0x00, 0x80)),
    ("c", (0x00, 0x80, 0x80)), ("w", (0xC0, 0xC0, 0xC0)), ("K", (0x80, 0x80, 0x80)),
    ("R", (0xFF, 0x00, 0x00)), ("G", (0x00, 0xFF, 0x00)), ("Y", (0xFF, 0xFF, 0x00)),
    ("B", (0x00, 0x00, 0xFF)), ("M", (0xFF, 0x00, 0xFF)), ("C", (0x00, 0xFF, 0xFF)),
    ("W", (0xFF, 0xFF, 0xFF)),
]
INDEX = {ch: i for i, (ch, _) in enumerate(PALETTE)}
TRANSPARENT = "."
SIZES = (16, 32, 48)  # the sizes a 4-bit icon directory entry may sensibly describe

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DEFAULT_ART = [os.path.join(ROOT, "resources", n) for n in ("icon32.txt", "icon16.txt")]
DEFAULT_ICO = os.path.join(ROOT, "resources", "tovinel.ico")


class ArtError(Exception):
    pass


def parse_art(text, name="art"):
    """Returns the rows of a square pixel map as lists of palette indexes, None where transparent."""
    rows = []
    for number, line in enumerate(text.splitlines(), 1):
        line = line.rstrip("\r")
        if not line.strip() or line.startswith("#"):
            continue
        row = []
        for column, ch in enumerate(line, 1):
            if ch == TRANSPARENT:
                row.append(None)
            elif ch in INDEX:
                row.append(INDEX[ch])
            else:
                raise ArtError("%s:%d:%d: %r is no palette colour" % (name, number, column, ch))
        rows.append((number, row))
    if not rows:
        raise ArtError("%s: no pixel rows" % name)
    size = len(rows[0][1])
    if size not in SIZES:
        raise ArtError("%s: width %d is not one of %s" % (name, size, SIZES))
    for number, row in rows:
        if len(row) != size:
            raise ArtError("%s:%d: row is %d pixels wide, the first row %d" % (name, number, len(row), size))
    if len(rows) != size:
        raise ArtError("%s: %d rows for a width of %d: the image must be square" % (name, len(rows), size))
    return [row for _, row in rows]


def _stride(bits_per_row):
    """Bytes of one bitmap row: rows are padded to whole 32-bit words."""
    return (bits_per_row + 31) // 32 * 4


def icon_image(pixels):
    """The RT_ICON image: BITMAPINFOHEADER, colour table, 4-bit XOR plane, 1-bit AND mask, rows bottom-up."""
    size = len(pixels)
    xor_stride, and_stride = _stride(size * 4), _stride(size)
    xor_plane, and_mask = bytearray(), bytearray()
    for row in reversed(pixels):
        xor_row, and_row = bytearray(xor_stride), bytearray(and_stride)
        for x, index in enumerate(row):
            if index is None:
                # Transparent: mask bit set, colour 0, so the screen shows through unchanged.
                and_row[x // 8] |= 0x80 >> (x % 8)
            else:
                xor_row[x // 2] |= index << (0 if x % 2 else 4)
        xor_plane += xor_row
        and_mask += and_row
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor_plane) + len(and_mask),
                         0, 0, 0, 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for _, (r, g, b) in PALETTE)
    return header + colours + bytes(xor_plane) + bytes(and_mask)


def ico_file(images):
    """The .ico file: ICONDIR, one ICONDIRENTRY per image, then the images in the same order."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for pixels, data in images:
        size = len(pixels)
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def png_preview(all_pixels, scale=8, margin=16):
    """A PNG of the images side by side, each pixel a scale x scale block, transparency as a checkerboard."""
    width = margin + sum(len(p) * scale + margin for p in all_pixels)
    height = margin * 2 + max(len(p) for p in all_pixels) * scale
    checker = ((0xDC, 0xE3, 0xEE), (0xF3, 0xF6, 0xFA))
    canvas = [[checker[((x // scale) + (y // scale)) % 2] for x in range(width)] for y in range(height)]

    def draw(pixels, left, top, zoom):
        for y, row in enumerate(pixels):
            for x, index in enumerate(row):
                if index is None:
                    continue
                for dy in range(zoom):
                    line = canvas[top + y * zoom + dy]
                    for dx in range(zoom):
                        line[left + x * zoom + dx] = PALETTE[index][1]

    left = margin
    for pixels in all_pixels:
        draw(pixels, left, margin, scale)
        left += len(pixels) * scale + margin
    raw = b"".join(b"\0" + bytes(v for px in line for v in px) for line in canvas)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def write_atomically(path, data):
    """Leaves a file that already holds `data` untouched, so that its time stamp rebuilds nothing."""
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return
    except OSError:
        pass
    directory = os.path.dirname(os.path.abspath(path))
    fd, temp = tempfile.mkstemp(dir=directory, prefix=".make_icon-")
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
        os.chmod(temp, 0o644)
        os.replace(temp, path)
    except BaseException:
        os.unlink(temp)
        raise


def main(argv):
    parser = argparse.ArgumentParser(description="Build the Tovinel icon from its ASCII-art pixel maps.")
    parser.add_argument("art", nargs="*", default=DEFAULT_ART, help="pixel maps, largest first")
    parser.add_argument("--ico", default=DEFAULT_ICO, help="the icon file to write or check")
    mode = parser.add_mutually_exclusive_group()
    mode.add_argument("--check", action="store_true", help="only check that the icon file is up to date")
    mode.add_argument("--png", metavar="FILE", help="write a preview PNG instead of the icon file")
    args = parser.parse_args(argv)
    try:
        all_pixels = []
        for path in args.art:
            with open(path, encoding="ascii") as f:
                all_pixels.append(parse_art(f.read(), path))
    except (OSError, UnicodeDecodeError, ArtError) as error:
        print("make_icon: %s" % error, file=sys.stderr)
        return 2
    if args.png:
        write_atomically(args.png, png_preview(all_pixels))
        return 0
    data = ico_file([(p, icon_image(p)) for p in all_pixels])
    if args.check:
        try:
            with open(args.ico, "rb") as f:
                current = f.read()
        except OSError as error:
            print("make_icon: %s" % error, file=sys.stderr)
            return 1
        if current != data:
            print("make_icon: %s is out of date with its pixel maps: run tools/steps/make_icon.py" % args.ico,
                  file=sys.stderr)
            return 1
        print("make_icon: %s is up to date" % args.ico)
        return 0
    write_atomically(args.ico, data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
