# Tovinel tests: the branding tests' image files, made on the fly with zlib and struct (PNG, .ico), and
# the reading of what tovinel-brand wrote: a branded tovinel.exe's icon images, its preview's pixels.
import struct
import zlib

# The standard 16-colour palette in Windows' index order, as letters: lower case the dark half.
LETTERS = "krgybmcwKRGYBMCW"
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
           (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
           (255, 0, 255), (0, 255, 255), (255, 255, 255)]
COLOUR_TYPES = {"grey": (0, 1), "rgb": (2, 3), "palette": (3, 1), "grey-alpha": (4, 2), "rgba": (6, 4)}


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png(width, height, pixel, kind="rgba", depth=8, palette=None, transparency=None):
    """A PNG of `kind` (COLOUR_TYPES), `pixel(x, y)` giving each pixel's channel values (the index for
    a palette image). Rows that repeat are compressed once: a 4096x4096 image takes a moment."""
    colour_type, channels = COLOUR_TYPES[kind]
    packer = zlib.compressobj(1)
    data, previous, packed = [], None, None
    for y in range(height):
        values = [v for x in range(width) for v in pixel(x, y)] if callable(pixel) else pixel
        if values != previous:
            packed = b"\0" + (struct.pack(">%dH" % len(values), *values) if depth == 16 else bytes(values))
            previous = values
        data.append(packer.compress(packed))
    data.append(packer.flush())
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0))
    if palette:
        out += chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    if transparency:
        out += chunk(b"tRNS", bytes(transparency))
    return out + chunk(b"IDAT", b"".join(data)) + chunk(b"IEND", b"")


def flat_png(width, height, rgba):
    return png(width, height, list(rgba) * width)


def bmp_entry(rows, bits):
    """An .ico BMP entry of `rows` (RGBA tuples, top row first): a colour table for 1, 4 and 8 bits,
    the colour rows and the AND mask, bottom row first; alpha 0 is masked, and kept in 32 bits."""
    height, width = len(rows), len(rows[0])
    table = sorted({p[:3] for row in rows for p in row}) if bits <= 8 else []
    colours = b""
    for row in reversed(rows):
        if bits <= 8:
            value = 0
            for p in row:
                value = value << bits | table.index(p[:3])
            total = width * bits
            line = (value << (-total % 8)).to_bytes((total + 7) // 8, "big")
        else:
            line = b"".join(bytes((b, g, r) + ((a,) if bits == 32 else ())) for r, g, b, a in row)
        colours += line + b"\0" * (-len(line) % 4)
    mask = b""
    for row in reversed(rows):
        value = int("".join("1" if p[3] == 0 else "0" for p in row), 2)
        line = value.to_bytes((width + 7) // 8, "big")
        mask += line + b"\0" * (-len(line) % 4)
    header = struct.pack("<IiiHHIIiiII", 40, width, 2 * height, 1, bits, 0, 0, 0, 0, len(table), 0)
    return header + b"".join(bytes((b, g, r, 0)) for r, g, b in table) + colours + mask


def ico(entries):
    """An .ico of `entries`: (width, height, bits, bytes of a BMP entry or a PNG)."""
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for width, height, bits, data in entries:
        out += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    return out + b"".join(data for *_, data in entries)


def icon_maps(pe):
    """The images 1 (32x32) and 2 (16x16) of a launcher's icon as rows of LETTERS, '.' transparent."""
    images = {e.id: e for t in pe.DIRECTORY_ENTRY_RESOURCE.entries if t.id == 3 for e in t.directory.entries}
    maps = []
    for image_id, size in ((1, 32), (2, 16)):
        entry = images[image_id].directory.entries[0].data.struct
        data = pe.get_data(entry.OffsetToData, entry.Size)
        stride, mask_stride = (size * 4 + 31) // 32 * 4, (size + 31) // 32 * 4
        colours, mask = data[104:104 + stride * size], data[104 + stride * size:]
        maps.append(["".join("." if mask[(size - 1 - y) * mask_stride + x // 8] & (0x80 >> (x % 8)) else
                             LETTERS[(colours[(size - 1 - y) * stride + x // 2] >> (0 if x % 2 else 4)) & 15]
                             for x in range(size)) for y in range(size)])
    return maps


def png_pixels(data):
    """(width, height, rows of RGB tuples) of an 8-bit RGB PNG, every filter type undone."""
    width, height = struct.unpack_from(">II", data, 16)
    at, idat = 8, b""
    while at < len(data):
        length, kind = struct.unpack_from(">I4s", data, at)
        idat += data[at + 8:at + 8 + length] if kind == b"IDAT" else b""
        at += 12 + length
    raw, stride, rows, above = zlib.decompress(idat), width * 3, [], bytearray(width * 3)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left, up, corner = line[i - 3] if i >= 3 else 0, above[i], above[i - 3] if i >= 3 else 0
            guess = left + up - corner
            paeth = min((abs(guess - left), 0, left), (abs(guess - up), 1, up), (abs(guess - corner), 2, corner))[2]
            line[i] = (line[i] + (0, left, up, (left + up) // 2, paeth)[kind]) & 0xFF
        rows.append([tuple(line[i:i + 3]) for i in range(0, stride, 3)])
        above = line
    return width, height, rows


def reference_dither(colours, drawn):
    """tools/steps/make_icon.py's dither, as it drew publishers' icons before tovinel-brand: palette
    indexes for rows of RGB `colours`, None where `drawn` is false. Floyd-Steinberg, serpentine, a
    colour at most half as far from its nearest palette colour as from the next one taken as it is."""
    def distance(rgb, index):
        return sum((a - b) ** 2 for a, b in zip(rgb, PALETTE[index])) ** 0.5

    size = len(colours)
    work = [[list(rgb) for rgb in row] for row in colours]
    out = [[None] * size for _ in range(size)]
    for y in range(size):
        step = 1 if y % 2 == 0 else -1
        for x in range(size)[::step]:
            if not drawn[y][x]:
                continue
            first, second = sorted((distance(colours[y][x], i), i) for i in range(16))[:2]
            if first[0] <= 0.5 * second[0]:
                out[y][x] = first[1]
                continue
            value = [min(255.0, max(0.0, v)) for v in work[y][x]]
            out[y][x] = index = min(range(16), key=lambda i: distance(value, i))
            error = [v - p for v, p in zip(value, PALETTE[index])]
            for dx, dy, share in ((1, 0, 7 / 16), (-1, 1, 3 / 16), (0, 1, 5 / 16), (1, 1, 1 / 16)):
                nx, ny = x + dx * step, y + dy
                if 0 <= nx < size and ny < size:
                    work[ny][nx] = [w + e * share for w, e in zip(work[ny][nx], error)]
    return ["".join("." if i is None else LETTERS[i] for i in row) for row in out]
