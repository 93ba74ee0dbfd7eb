# Tovinel: checks of the resources in the built executable.
# Reads tovinel.exe with pefile and compares every resource fact with what the launcher must carry.
"""Usage: /usr/bin/python3 tests/resources/test_resources.py path/to/tovinel.exe [brand.json]

brand.json is the record of the build's branding (resources/CMakeLists.txt writes it into the build's
brand/ folder): the texts the executable must carry, and the icon it was branded with (null: Tovinel's
own, whose images must be those of resources/tovinel.ico). Without it, the unbranded ones.
"""
import json
import os
import re
import struct
import sys

import pefile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, os.pardir, os.pardir)
sys.path.insert(0, os.path.join(ROOT, "tools", "steps"))
import make_icon  # noqa: E402  (the palette, from the generator that draws the icon)
from facts import report_facts  # noqa: E402

RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16
GERMAN = 0x0407
# (ID, width, bytes): colour count 16, 1 plane, 4 bits per pixel for both.
IMAGES = [(1, 32, 744), (2, 16, 296)]
with open(os.path.join(ROOT, "VERSION")) as version_file:
    VERSION = version_file.read().strip()
UNBRANDED = {"version": VERSION, "icon": None,
             "texts": {"CompanyName": "Tovinel", "FileDescription": "Tovinel", "LegalCopyright": "(C) 2026 Tovinel",
                       "ProductName": "Tovinel"}}
OWN_ICON = os.path.join(ROOT, "resources", "tovinel.ico")
# A 32-bit program without a manifest whose version texts or file name carry one of these, in any case
# and inside other words too, is taken for an installer by Windows, which then asks for elevation.
INSTALLER_WORDS = re.compile("setup|install|update|patch|upgrade", re.IGNORECASE)


def expected_strings(record):
    """The string table in its order: the fixed entries, the version, and the record's four texts."""
    version = ", ".join(record["version"].split("."))
    texts = record["texts"]
    return [("CompanyName", texts["CompanyName"]), ("FileDescription", texts["FileDescription"]),
            ("FileVersion", version), ("InternalName", "Tovinel"),
            ("LegalCopyright", texts["LegalCopyright"]), ("OriginalFilename", "tovinel.exe"),
            ("ProductName", texts["ProductName"]), ("ProductVersion", version)]


# pefile reads a version text one UTF-16 unit at a time and writes each half of a surrogate pair as
# an escape: a character beyond U+FFFF comes back as two of them.
SURROGATE_PAIR = re.compile(r"\\u(d[89ab][0-9a-f]{2})\\u(d[c-f][0-9a-f]{2})")


def text(value):
    value = value.decode("utf-8", "replace") if isinstance(value, bytes) else value
    return SURROGATE_PAIR.sub(lambda m: (chr(int(m.group(1), 16)) + chr(int(m.group(2), 16)))
                              .encode("utf-16-le", "surrogatepass").decode("utf-16-le"), value)


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


def icon_facts(leaves, branded_icon):
    """The icon group and its images; the images those of resources/tovinel.ico unless `branded_icon`."""
    facts = []
    group = leaves.get((RT_GROUP_ICON, 102), b"")
    facts.append(("icon group size", 6 + 14 * len(IMAGES), len(group)))
    if len(group) >= 6:
        facts.append(("icon group header", (0, 1, len(IMAGES)), struct.unpack_from("<HHH", group)))
    entries = [struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i) for i in range((len(group) - 6) // 14)]
    facts.append(("icon group entries",
                  [(w, w, 16, 0, 1, 4, size, image_id) for image_id, w, size in IMAGES], entries))

    with open(OWN_ICON, "rb") as f:
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
        facts.append((name + " has opaque pixels", True, len(transparent) < width * width))
        facts.append((name + " transparent pixels with a colour other than 0", [], coloured))
        if not branded_icon:
            offset = struct.unpack_from("<I", ico, 6 + 16 * number + 12)[0]
            facts.append((name + " is image %d of tovinel.ico" % (number + 1), ico[offset:offset + size], image))
    return facts


def version_facts(pe, exe_name, record):
    facts = [("the branding's version is the one in VERSION", VERSION, record["version"])]
    numbers = [int(n) for n in record["version"].split(".")]
    ms_ls = [numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3]]
    fixed = pe.VS_FIXEDFILEINFO[0] if getattr(pe, "VS_FIXEDFILEINFO", None) else None
    fields = ["Signature", "StrucVersion", "FileVersionMS", "FileVersionLS", "ProductVersionMS",
              "ProductVersionLS", "FileFlagsMask", "FileFlags", "FileOS", "FileType", "FileSubtype",
              "FileDateMS", "FileDateLS"]
    expected = [0xFEEF04BD, 0x10000] + ms_ls + ms_ls + [0x3F, 0, 0x40004, 1, 0, 0, 0]
    for field, value in zip(fields, expected):
        facts.append(("version " + field, value, getattr(fixed, field, None)))

    infos = [info for block in getattr(pe, "FileInfo", []) for info in block]
    tables = [t for info in infos if info.Key == b"StringFileInfo" for t in info.StringTable]
    variables = [v.entry for info in infos if info.Key == b"VarFileInfo" for v in info.Var]
    facts.append(("string tables", [b"040904b0"], [t.LangID for t in tables]))
    strings = [(text(k), text(v)) for t in tables for k, v in t.entries.items()]
    facts.append(("version strings, in order", expected_strings(record), strings))
    facts.append(("translations", [{b"Translation": "0x0409 0x04b0"}], variables))
    offending = [s for pair in strings for s in pair if INSTALLER_WORDS.search(s)]
    if INSTALLER_WORDS.search(exe_name):
        offending.append(exe_name)
    facts.append(("version texts and file name free of installer words", [], offending))
    return facts


def main(argv):
    if len(argv) not in (1, 2):
        print(__doc__, file=sys.stderr)
        return 2
    return report_facts(all_facts(argv[0], load_record(*argv[1:])))


def load_record(path=None):
    """The branding record at `path` (brand.json), or the unbranded one."""
    if not path:
        return UNBRANDED
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def all_facts(exe, record=UNBRANDED):
    """Every resource fact of the executable at `exe`, against the branding `record`."""
    pe = pefile.PE(exe)
    facts, leaves = tree_facts(pe)
    return facts + icon_facts(leaves, record["icon"]) + version_facts(pe, os.path.basename(exe), record)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
