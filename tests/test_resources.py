# Tovinel: checks of the resources in the built executable.
# Reads tovinel.exe with pefile and compares every resource fact with what the launcher must carry.
"""Usage: /usr/bin/python3 tests/test_resources.py path/to/tovinel.exe"""
import os
import re
import struct
import sys

import pefile

HERE = os.path.dirname(os.path.abspath(__file__))
ICO = os.path.join(HERE, os.pardir, "resources", "tovinel.ico")
sys.path.insert(0, os.path.join(HERE, os.pardir, "tools"))
import make_icon  # noqa: E402  (the palette, from the generator that draws the icon)
from facts import report_facts  # noqa: E402

RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16
GERMAN = 0x0407
# (ID, width, bytes): colour count 16, 1 plane, 4 bits per pixel for both.
IMAGES = [(1, 32, 744), (2, 16, 296)]
STRINGS = [
    ("CompanyName", "Tovinel"),
    ("FileDescription", "Tovinel"),
    ("FileVersion", "1, 0, 3, 0"),
    ("InternalName", "Tovinel"),
    ("LegalCopyright", "(C) 2026 Tovinel"),
    ("OriginalFilename", "tovinel.exe"),
    ("ProductName", "Tovinel"),
    ("ProductVersion", "1, 0, 3, 0"),
]
# Words that make Windows' installer detection ask for elevation of a manifest-less 32-bit program.
INSTALLER_WORDS = re.compile("setup|install|update|patch|upgrade", re.IGNORECASE)


def text(value):
    return value.decode("utf-8", "replace") if isinstance(value, bytes) else value


def tree_facts(pe):
    facts, leaves = [], {}
    root = pe.DIRECTORY_ENTRY_RESOURCE
    facts.append(("resource types", [RT_ICON, RT_GROUP_ICON, RT_VERSION], [t.id for t in root.entries]))
    for type_entry in root.entries:
        names = [n.id if n.name is None else str(n.name) for n in type_entry.directory.entries]
        expected = {RT_ICON: [1, 2], RT_GROUP_ICON: [102], RT_VERSION: [1]}.get(type_entry.id)
        facts.append(("names of type %r" % type_entry.id, expected, names))
        for name_entry in type_entry.directory.entries:
            where = "type %r name %r" % (type_entry.id, name_entry.id)
            languages = name_entry.directory.entries
            facts.append(("languages of " + where, [GERMAN], [lang.id for lang in languages]))
            for lang in languages:
                facts.append(("code page of " + where, 1252, lang.data.struct.CodePage))
                leaves[(type_entry.id, name_entry.id)] = pe.get_data(lang.data.struct.OffsetToData,
                                                                     lang.data.struct.Size)
    return facts, leaves


def icon_facts(leaves):
    facts = []
    group = leaves.get((RT_GROUP_ICON, 102), b"")
    facts.append(("icon group size", 6 + 14 * len(IMAGES), len(group)))
    if len(group) >= 6:
        facts.append(("icon group header", (0, 1, len(IMAGES)), struct.unpack_from("<HHH", group)))
    entries = [struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i) for i in range((len(group) - 6) // 14)]
    facts.append(("icon group entries",
                  [(w, w, 16, 0, 1, 4, size, image_id) for image_id, w, size in IMAGES], entries))

    with open(ICO, "rb") as f:
        ico = f.read()
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for _, (r, g, b) in make_icon.PALETTE)
    for number, (image_id, width, size) in enumerate(IMAGES):
        image = leaves.get((RT_ICON, image_id), b"")
        name = "icon image %d" % image_id
        facts.append((name + " size", size, len(image)))
        if len(image) != size:
            continue
        header = struct.unpack_from("<IiiHHI", image)
        facts.append((name + " header (size, width, height, planes, bits, compression)",
                      (40, width, 2 * width, 1, 4, 0), header))
        facts.append((name + " colour table is the standard 16", palette, image[40:104]))
        xor_size = width * width // 2
        xor, mask = image[104:104 + xor_size], image[104 + xor_size:]
        mask_stride = (width + 31) // 32 * 4
        transparent = [(x, y) for y in range(width) for x in range(width)
                       if mask[y * mask_stride + x // 8] & (0x80 >> (x % 8))]
        coloured = [(x, y) for x, y in transparent if (xor[(y * width + x) // 2] >> (0 if x % 2 else 4)) & 15]
        facts.append((name + " has both transparent and opaque pixels",
                      True, 0 < len(transparent) < width * width))
        facts.append((name + " transparent pixels with a colour other than 0", [], coloured))
        offset = struct.unpack_from("<I", ico, 6 + 16 * number + 12)[0]
        facts.append((name + " is image %d of resources/tovinel.ico" % (number + 1),
                      ico[offset:offset + size], image))
    return facts


def version_facts(pe, exe_name):
    facts = []
    fixed = pe.VS_FIXEDFILEINFO[0] if getattr(pe, "VS_FIXEDFILEINFO", None) else None
    fields = ["Signature", "StrucVersion", "FileVersionMS", "FileVersionLS", "ProductVersionMS",
              "ProductVersionLS", "FileFlagsMask", "FileFlags", "FileOS", "FileType", "FileSubtype",
              "FileDateMS", "FileDateLS"]
    expected = [0xFEEF04BD, 0x10000, 0x10000, 0x30000, 0x10000, 0x30000, 0x3F, 0, 0x40004, 1, 0, 0, 0]
    for field, value in zip(fields, expected):
        facts.append(("version " + field, value, getattr(fixed, field, None)))

    infos = [info for block in getattr(pe, "FileInfo", []) for info in block]
    tables = [t for info in infos if info.Key == b"StringFileInfo" for t in info.StringTable]
    variables = [v.entry for info in infos if info.Key == b"VarFileInfo" for v in info.Var]
    facts.append(("string tables", [b"040904b0"], [t.LangID for t in tables]))
    strings = [(text(k), text(v)) for t in tables for k, v in t.entries.items()]
    facts.append(("version strings, in order", STRINGS, strings))
    facts.append(("translations", [{b"Translation": "0x0409 0x04b0"}], variables))
    offending = [s for pair in strings for s in pair if INSTALLER_WORDS.search(s)]
    if INSTALLER_WORDS.search(exe_name):
        offending.append(exe_name)
    facts.append(("version texts and file name free of installer words", [], offending))
    return facts


def main(argv):
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    pe = pefile.PE(argv[0])
    facts, leaves = tree_facts(pe)
    facts += icon_facts(leaves) + version_facts(pe, os.path.basename(argv[0]))
    return report_facts(facts)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
