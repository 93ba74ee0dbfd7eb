# Tovinel: resource code page patcher.
# Sets CodePage 1252 in every resource data entry of a linked PE file, which windres leaves at 0.
"""Usage: set_resource_codepage.py IN.exe [OUT.exe] [--codepage N]

Walks the resource directory of IN (type / name / language, the three levels Windows reads) and
writes the code page into every IMAGE_RESOURCE_DATA_ENTRY. Writes OUT, or IN in place. Refuses,
with exit status 1 and the file untouched, anything it cannot read with certainty: not a PE file,
no resource section, truncated, offsets leaving the section, loops, a tree of another depth.

The new file is written beside the target under a temporary name, read back and checked (only the
code page fields and the header checksum may differ), and then renamed over the target, so a
failure at any point leaves the old file whole. A non-zero PE checksum is recomputed, so that it
stays valid; a zero one (not set by the linker) stays zero.
"""
import argparse
import os
import shutil
import struct
import sys
import tempfile

DEFAULT_CODEPAGE = 1252
SUBDIRECTORY = 0x80000000
LEVELS = 3  # type, name, language


class PEError(Exception):
    pass


class ResourceLayout:
    """Where the fields to patch sit in one file."""

    def __init__(self, codepage_offsets, checksum_offset):
        self.codepage_offsets = codepage_offsets  # file offsets of each data entry's CodePage
        self.checksum_offset = checksum_offset    # file offset of the optional header's CheckSum


def _u16(data, offset):
    return struct.unpack_from("<H", data, offset)[0]


def _u32(data, offset):
    return struct.unpack_from("<I", data, offset)[0]


def _need(data, offset, length, what):
    if offset < 0 or offset + length > len(data):
        raise PEError("truncated: %s at file offset 0x%x needs %d bytes, the file has %d"
                      % (what, offset, length, len(data)))


def _resource_section(data):
    """Returns (checksum offset, resource root RVA, section RVA, section file offset, usable size)."""
    _need(data, 0, 64, "DOS header")
    if data[:2] != b"MZ":
        raise PEError("not a PE file: no MZ signature")
    pe = _u32(data, 0x3C)
    _need(data, pe, 24, "PE signature and file header")
    if data[pe:pe + 4] != b"PE\0\0":
        raise PEError("not a PE file: no PE signature at 0x%x" % pe)
    sections, optional_size = _u16(data, pe + 6), _u16(data, pe + 20)
    optional = pe + 24
    _need(data, optional, optional_size, "optional header")
    magic = _u16(data, optional) if optional_size >= 2 else 0
    if magic == 0x10B:
        count_at, directories_at = 92, 96
    elif magic == 0x20B:
        count_at, directories_at = 108, 112
    else:
        raise PEError("unknown optional header magic 0x%x" % magic)
    if optional_size < directories_at + 3 * 8 or _u32(data, optional + count_at) < 3:
        raise PEError("no resource directory: the optional header has no room for it")
    root_rva, root_size = struct.unpack_from("<II", data, optional + directories_at + 2 * 8)
    if root_rva == 0 or root_size == 0:
        raise PEError("no resource directory")
    table = optional + optional_size
    _need(data, table, sections * 40, "section table")
    for i in range(sections):
        virtual_size, address, raw_size, raw_offset = struct.unpack_from("<IIII", data, table + i * 40 + 8)
        extent = min(virtual_size, raw_size) if virtual_size else raw_size
        if address <= root_rva < address + extent:
            _need(data, raw_offset, raw_size, "resource section")
            if root_rva + root_size > address + extent:
                raise PEError("resource directory (RVA 0x%x, %d bytes) runs past its section"
                              % (root_rva, root_size))
            return optional + 64, root_rva, address, raw_offset, extent
    raise PEError("no section holds the resource directory (RVA 0x%x)" % root_rva)


def read_layout(data):
    """Parses `data` strictly and returns its ResourceLayout, or raises PEError."""
    checksum_offset, root_rva, section_rva, section_offset, extent = _resource_section(data)
    root = root_rva - section_rva  # offset of the root directory inside the section
    codepages, visited = [], set()

    def at(offset, length, what):
        """File offset of `length` bytes at `offset` from the resource root, which must stay inside."""
        start = root + offset
        if start + length > extent:
            raise PEError("%s at resource offset 0x%x points outside the resource section" % (what, offset))
        return section_offset + start

    def walk(offset, level):
        if offset in visited:
            raise PEError("resource directory at offset 0x%x is reached twice: a loop" % offset)
        visited.add(offset)
        header = at(offset, 16, "directory")
        count = _u16(data, header + 12) + _u16(data, header + 14)
        entries = at(offset + 16, count * 8, "directory of %d entries" % count)
        for i in range(count):
            name, target = struct.unpack_from("<II", data, entries + i * 8)
            if name & SUBDIRECTORY:
                length = _u16(data, at(name & ~SUBDIRECTORY, 2, "name"))
                at(name & ~SUBDIRECTORY, 2 + 2 * length, "name")
            if target & SUBDIRECTORY:
                if level == LEVELS:
                    raise PEError("resource tree deeper than type / name / language")
                walk(target & ~SUBDIRECTORY, level + 1)
                continue
            if level != LEVELS:
                raise PEError("resource data entry at level %d, not under a language" % level)
            if target in visited:
                raise PEError("resource data entry at offset 0x%x is reached twice" % target)
            visited.add(target)
            entry = at(target, 16, "data entry")
            rva, size = struct.unpack_from("<II", data, entry)
            if not (section_rva <= rva and rva + size <= section_rva + extent):
                raise PEError("resource data (RVA 0x%x, %d bytes) lies outside the resource section"
                              % (rva, size))
            codepages.append(entry + 8)

    walk(0, 1)
    if not codepages:
        raise PEError("the resource directory holds no data entries")
    return ResourceLayout(codepages, checksum_offset)


def pe_checksum(data, checksum_offset):
    """The PE image checksum: 16-bit one's-complement style sum over the file, without the field itself."""
    even = len(data) & ~1
    words = struct.unpack_from("<%dH" % (even // 2), data)
    total = sum(words) - _u16(data, checksum_offset) - _u16(data, checksum_offset + 2)
    if len(data) & 1:
        total += data[-1]
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(data)


def patched(data, codepage):
    """Returns (new bytes, layout, number of entries changed)."""
    layout = read_layout(data)
    out = bytearray(data)
    changed = 0
    for offset in layout.codepage_offsets:
        if _u32(out, offset) != codepage:
            struct.pack_into("<I", out, offset, codepage)
            changed += 1
    if _u32(data, layout.checksum_offset) != 0:
        struct.pack_into("<I", out, layout.checksum_offset, pe_checksum(out, layout.checksum_offset))
    return bytes(out), layout, changed


def verify(old, new, layout, codepage):
    """Reads the new bytes back as a PE file and checks that exactly the intended fields changed."""
    again = read_layout(new)
    if again.codepage_offsets != layout.codepage_offsets or again.checksum_offset != layout.checksum_offset:
        raise PEError("verification failed: the patched file reads differently")
    allowed = set()
    for offset in layout.codepage_offsets + [layout.checksum_offset]:
        allowed.update(range(offset, offset + 4))
    if len(old) != len(new) or any(a != b and i not in allowed for i, (a, b) in enumerate(zip(old, new))):
        raise PEError("verification failed: bytes outside the code page fields changed")
    if any(_u32(new, offset) != codepage for offset in again.codepage_offsets):
        raise PEError("verification failed: a code page was not set")
    stored = _u32(new, again.checksum_offset)
    if stored and stored != pe_checksum(new, again.checksum_offset):
        raise PEError("verification failed: the PE checksum does not match")


def write_replacing(path, data, mode_from):
    """Writes `data` to a temporary file beside `path`, syncs it and renames it over `path`."""
    directory = os.path.dirname(os.path.abspath(path))
    fd, temp = tempfile.mkstemp(dir=directory, prefix=".%s-" % os.path.basename(path))
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
            f.flush()
            os.fsync(f.fileno())
        with open(temp, "rb") as f:
            if f.read() != data:
                raise PEError("verification failed: the temporary file reads back differently")
        shutil.copymode(mode_from, temp)
        os.replace(temp, path)
    except BaseException:
        os.unlink(temp)
        raise


def main(argv):
    parser = argparse.ArgumentParser(description="Set the code page of every resource data entry.")
    parser.add_argument("input", help="linked PE file")
    parser.add_argument("output", nargs="?", help="where to write the result (default: in place)")
    parser.add_argument("--codepage", type=int, default=DEFAULT_CODEPAGE, help="default: %(default)s")
    args = parser.parse_args(argv)
    output = args.output or args.input
    try:
        with open(args.input, "rb") as f:
            old = f.read()
        new, layout, changed = patched(old, args.codepage)
        verify(old, new, layout, args.codepage)
        if output != args.input or new != old:
            write_replacing(output, new, args.input)
    except (OSError, PEError) as error:
        print("set_resource_codepage: error: %s: %s; %s left untouched"
              % (args.input, error, output), file=sys.stderr)
        return 1
    print("set_resource_codepage: %s: code page %d in %d resource data entries (%d changed)"
          % (output, args.codepage, len(layout.codepage_offsets), changed))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
