# Tovinel: checks of tools/steps/fit_headers.py on the built tovinel.exe and on files made from it.
# The built file already has the one-page layout; each case turns it back into what the linker
# writes, or into something the step must refuse, runs the step and compares.
"""Usage: /usr/bin/python3 tests/resources/test_fit_headers.py path/to/tovinel.exe"""
import os
import struct
import subprocess
import sys
import tempfile

import pefile

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir, "tools", "steps",
                    "fit_headers.py")
PAGE = 512
# GNU ld's DOS stub: the same code, a longer text, 64 bytes in all.
LD_STUB = bytes.fromhex("0e1fba0e00b409cd21b8014ccd21") + b"This program cannot be run in DOS mode.\r\r\n$"


def as_linked(built, zero_page_in=None, extra_section=False):
    """`built` as GNU ld writes it: the 64-byte stub, the PE header at 0x80, two pages of headers.
    With `zero_page_in`, that section's raw data ends in one more page of zeros; with
    `extra_section`, a fifth section of zeroed data only follows in the table."""
    pe = pefile.PE(data=built)
    old_pe = pe.DOS_HEADER.e_lfanew
    table_end = pe.sections[-1].get_file_offset() + 40
    headers = bytearray(2 * PAGE)
    headers[:64] = built[:64]
    struct.pack_into("<I", headers, 0x3C, 0x80)
    headers[0x40:0x40 + len(LD_STUB)] = LD_STUB
    headers[0x80:0x80 + table_end - old_pe] = built[old_pe:table_end]
    shift = 0x80 - old_pe
    optional = pe.OPTIONAL_HEADER.get_file_offset() + shift
    struct.pack_into("<I", headers, optional + 60, 2 * PAGE)
    body, moved = bytearray(), PAGE
    for section in pe.sections:
        at = section.get_file_offset() + shift
        raw = built[section.PointerToRawData:section.PointerToRawData + section.SizeOfRawData]
        if section.Name.rstrip(b"\0") == zero_page_in:
            raw += bytes(PAGE)
            struct.pack_into("<I", headers, optional + 8, pe.OPTIONAL_HEADER.SizeOfInitializedData + PAGE)
        struct.pack_into("<II", headers, at + 16, len(raw), section.PointerToRawData + moved)
        moved += len(raw) - section.SizeOfRawData
        body += raw
    if extra_section:
        last = pe.sections[-1]
        at = last.get_file_offset() + shift + 40
        headers[at:at + 40] = struct.pack("<8sIIIIIIHHI", b".bss", 0x100, last.VirtualAddress + 0x1000, 0, 0,
                                          0, 0, 0, 0, 0xC0000080)
        struct.pack_into("<H", headers, 0x80 + 6, len(pe.sections) + 1)
    return bytes(headers + body)


def signed(built):
    pe = pefile.PE(data=built)
    pe.OPTIONAL_HEADER.DATA_DIRECTORY[4].VirtualAddress = len(built)
    pe.OPTIONAL_HEADER.DATA_DIRECTORY[4].Size = 8
    return pe.write() + bytes(8)


# (name, input made from the built file, expected: the built file's bytes, or the words of a refusal)
CASES = [
    ("the built file comes out unchanged", lambda b: b, None),
    ("as the linker writes it: the built file", lambda b: as_linked(b), None),
    ("zeroed data filling a page at the end of the import section: the page is dropped",
     lambda b: as_linked(b, zero_page_in=b".idata"), None),
    ("five sections do not fit one page", lambda b: as_linked(b, extra_section=True), "only 4 fit"),
    ("a signed file names file offsets", signed, "certificate table"),
    ("bytes after the last section", lambda b: b + b"overlay", "after the last section"),
    ("not a PE file", lambda b: b"MZ" + bytes(200), "no PE signature"),
]


def main(argv):
    with open(argv[0], "rb") as f:
        built = f.read()
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        for name, make, refusal in CASES:
            path = os.path.join(work, "case.exe")
            given = make(built)
            with open(path, "wb") as f:
                f.write(given)
            run = subprocess.run([sys.executable, TOOL, path], capture_output=True, text=True)
            with open(path, "rb") as f:
                result = f.read()
            if refusal is None:
                ok = run.returncode == 0 and result == built
                why = f"exit {run.returncode}, {len(result)} bytes, {'the' if result == built else 'not the'} built file"
            else:
                ok = run.returncode == 1 and result == given and refusal in run.stderr
                why = f"exit {run.returncode}, {'untouched' if result == given else 'changed'}: {run.stderr.strip()}"
            print(f"{'ok  ' if ok else 'FAIL'} {name} ({why})")
            failures += not ok
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
