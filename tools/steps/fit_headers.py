# Tovinel: fits the headers of a linked tovinel.exe into one 512-byte page of the file.
"""Usage: fit_headers.py IN.exe [OUT.exe]

GNU ld writes a 64-byte DOS stub and puts the PE header at 0x80, so that the headers of four or five
sections take 1024 bytes of the file, two pages. Behind a DOS stub of 40 bytes (print a line, exit),
the PE header starts at 0x68, 8-byte aligned, and with 16 data directories and four sections the
headers end at 0x68 + 248 + 4 * 40 = 512 exactly: one page. This step writes that stub, moves the
PE header and the section table behind it, sets SizeOfHeaders to 512 and moves every section's raw
data one page down. A section's raw data that ends in whole pages of zeros (zeroed data at its end)
loses those pages: the loader fills with zeros what lies past the raw data up to VirtualSize.

The DOS header keeps every field ld wrote but e_lfanew; e_lfarlc stays 0x40, which is how DOS and
Windows 95 tell a new executable from a DOS program. A non-zero PE checksum is recomputed.

Refuses, with exit status 1 and the file untouched, anything it cannot move with certainty: not a
32-bit PE file, more sections than fit the page, a certificate or debug directory (which hold file
offsets), data in the headers, bytes outside the sections. The result is read back and must load
as the same image: the same sections at the same addresses with the same contents, the same
headers but for the fields this step sets. Written beside the target and renamed over it. A file
that already has the layout comes out unchanged.
"""
import argparse
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
# The same reading of a PE file and the same error as the code page step, which runs next.
from set_resource_codepage import PEError, _u16, _u32, pe_checksum, write_replacing  # noqa: E402

PAGE = 512
# 16-bit DOS code at 0x40, run by DOS with DS at the program's segment prefix: point DS at this
# code's segment, print the text at offset 0x0E up to '$' (INT 21h, AH=09h), end with exit code 1
# (INT 21h, AX=4C01h).
DOS_CODE = bytes([0x0E,              # push cs
                  0x1F,              # pop ds
                  0xBA, 0x0E, 0x00,  # mov dx, 000Eh
                  0xB4, 0x09,        # mov ah, 09h
                  0xCD, 0x21,        # int 21h
                  0xB8, 0x01, 0x4C,  # mov ax, 4C01h
                  0xCD, 0x21])       # int 21h
DOS_STUB = DOS_CODE + b"Run this under Windows.\r\n$"
DOS_HEADER_SIZE = 64
PE_OFFSET = DOS_HEADER_SIZE + len(DOS_STUB)
SECTION_HEADER_SIZE = 40
OPTIONAL_HEADER_SIZE = 224  # PE32 with 16 data directories
CERTIFICATE_DIRECTORY = 4
DEBUG_DIRECTORY = 6
IMAGE_SCN_CNT_CODE = 0x20
IMAGE_SCN_CNT_INITIALIZED_DATA = 0x40


class Layout:
    """Where the headers of one file lie and what its section table says."""

    def __init__(self, data):
        if len(data) < DOS_HEADER_SIZE or data[:2] != b"MZ":
            raise PEError("not a PE file: no MZ signature")
        self.pe = _u32(data, 0x3C)
        if self.pe + 24 > len(data) or data[self.pe:self.pe + 4] != b"PE\0\0":
            raise PEError("not a PE file: no PE signature at 0x%x" % self.pe)
        # The stub runs from the start of the DOS program, right after a header of four paragraphs.
        if _u16(data, 0x18) != 0x40 or _u16(data, 0x08) != 4 or _u32(data, 0x14) != 0:
            raise PEError("the DOS header is not ld's (e_lfarlc 0x40, four paragraphs, CS:IP 0:0)")
        self.section_count = _u16(data, self.pe + 6)
        self.optional = self.pe + 24
        if _u16(data, self.pe + 20) != OPTIONAL_HEADER_SIZE or _u16(data, self.optional) != 0x10B:
            raise PEError("not a 32-bit PE file with 16 data directories")
        self.file_alignment = _u32(data, self.optional + 36)
        self.headers_size = _u32(data, self.optional + 60)
        self.checksum = self.optional + 64
        if self.file_alignment != PAGE or self.headers_size % PAGE:
            raise PEError("file alignment %d, headers of %d bytes: not in pages of %d"
                          % (self.file_alignment, self.headers_size, PAGE))
        self.table = self.optional + OPTIONAL_HEADER_SIZE
        self.headers_end = self.table + self.section_count * SECTION_HEADER_SIZE
        if self.headers_end > self.headers_size or self.headers_size > len(data):
            raise PEError("the section table runs past the headers")
        if any(data[self.headers_end:self.headers_size]):
            raise PEError("bytes after the section table, inside the headers")
        for index, what in ((CERTIFICATE_DIRECTORY, "a certificate table"), (DEBUG_DIRECTORY, "debug data")):
            if any(struct.unpack_from("<II", data, self.optional + 96 + 8 * index)):
                raise PEError("the file holds %s, which names file offsets" % what)
        self.sections = []
        for i in range(self.section_count):
            at = self.table + i * SECTION_HEADER_SIZE
            virtual_size, address, raw_size, raw_offset = struct.unpack_from("<IIII", data, at + 8)
            if virtual_size == 0:
                raise PEError("section %d has no virtual size" % i)
            self.sections.append({"header": at, "virtual_size": virtual_size, "address": address,
                                  "raw_size": raw_size, "raw_offset": raw_offset,
                                  "flags": _u32(data, at + 36)})
        for index in range(16):
            address, size = struct.unpack_from("<II", data, self.optional + 96 + 8 * index)
            if size and address < self.headers_size:
                raise PEError("data directory %d lies in the headers" % index)

    def loaded_sections(self, data):
        """Each section as the loader maps it: its header fields but the file offset, and its bytes."""
        mapped = []
        for s in self.sections:
            raw = data[s["raw_offset"]:s["raw_offset"] + min(s["raw_size"], s["virtual_size"])]
            mapped.append((data[s["header"]:s["header"] + 16], s["flags"],
                           raw.ljust(s["virtual_size"], b"\0")))
        return mapped


def fitted(data):
    """Returns the bytes of `data` with its headers in one page; raises PEError when they cannot be."""
    old = Layout(data)
    if PE_OFFSET + 24 + OPTIONAL_HEADER_SIZE + old.section_count * SECTION_HEADER_SIZE > PAGE:
        raise PEError("%d sections: only %d fit one %d-byte page of headers behind the %d-byte DOS stub"
                      % (old.section_count, (PAGE - PE_OFFSET - 24 - OPTIONAL_HEADER_SIZE) // SECTION_HEADER_SIZE,
                         PAGE, len(DOS_STUB)))
    headers = bytearray(PAGE)
    headers[:DOS_HEADER_SIZE] = data[:DOS_HEADER_SIZE]
    struct.pack_into("<I", headers, 0x3C, PE_OFFSET)
    headers[DOS_HEADER_SIZE:PE_OFFSET] = DOS_STUB
    headers[PE_OFFSET:PE_OFFSET + old.headers_end - old.pe] = data[old.pe:old.headers_end]
    shift = PE_OFFSET - old.pe
    struct.pack_into("<I", headers, old.optional + shift + 60, PAGE)

    body = bytearray()
    expected_offset = old.headers_size
    trimmed = {IMAGE_SCN_CNT_CODE: 0, IMAGE_SCN_CNT_INITIALIZED_DATA: 0}
    for s in sorted(old.sections, key=lambda s: s["raw_offset"]):
        if s["raw_size"] == 0:
            continue
        if s["raw_offset"] != expected_offset or s["raw_size"] % PAGE:
            raise PEError("section raw data at 0x%x (%d bytes) does not follow the one before, in pages"
                          % (s["raw_offset"], s["raw_size"]))
        expected_offset += s["raw_size"]
        raw = data[s["raw_offset"]:s["raw_offset"] + s["raw_size"]]
        kept = len(raw)
        while kept and not any(raw[kept - PAGE:kept]):
            kept -= PAGE
        for flag in trimmed:
            if s["flags"] & flag:
                trimmed[flag] += len(raw) - kept
        header = s["header"] + shift
        struct.pack_into("<II", headers, header + 16, kept, PAGE + len(body) if kept else 0)
        body += raw[:kept]
    if expected_offset != len(data):
        raise PEError("%d bytes after the last section" % (len(data) - expected_offset))
    for field, flag in ((4, IMAGE_SCN_CNT_CODE), (8, IMAGE_SCN_CNT_INITIALIZED_DATA)):
        at = old.optional + shift + field
        struct.pack_into("<I", headers, at, _u32(headers, at) - trimmed[flag])

    out = bytearray(headers + body)
    checksum = old.checksum + shift
    if _u32(data, old.checksum):
        struct.pack_into("<I", out, checksum, pe_checksum(out, checksum))
    return bytes(out)


def verify(old_data, new_data):
    """Reads the new bytes back: the same image must load from them, in the intended layout."""
    old, new = Layout(old_data), Layout(new_data)
    if new.pe != PE_OFFSET or new.headers_size != PAGE or new_data[DOS_HEADER_SIZE:PE_OFFSET] != DOS_STUB:
        raise PEError("verification failed: the headers are not in the intended layout")
    if old.loaded_sections(old_data) != new.loaded_sections(new_data):
        raise PEError("verification failed: the sections would load differently")
    # The PE header and the optional header but for SizeOfCode, SizeOfInitializedData, SizeOfHeaders
    # and CheckSum.
    kept = [(0, 4), (12, 60), (68, OPTIONAL_HEADER_SIZE)]
    if old_data[old.pe:old.optional] != new_data[new.pe:new.optional] or any(
            old_data[old.optional + a:old.optional + b] != new_data[new.optional + a:new.optional + b]
            for a, b in kept):
        raise PEError("verification failed: a header field changed that should not have")
    stored = _u32(new_data, new.checksum)
    if stored and stored != pe_checksum(new_data, new.checksum):
        raise PEError("verification failed: the PE checksum does not match")


def main(argv):
    parser = argparse.ArgumentParser(description="Fit the headers of a linked PE file into one page.")
    parser.add_argument("input", help="linked PE file")
    parser.add_argument("output", nargs="?", help="where to write the result (default: in place)")
    args = parser.parse_args(argv)
    output = args.output or args.input
    try:
        with open(args.input, "rb") as f:
            old = f.read()
        new = fitted(old)
        verify(old, new)
        if output != args.input or new != old:
            write_replacing(output, new, args.input)
    except (OSError, PEError) as error:
        print("fit_headers: error: %s: %s; %s left untouched" % (args.input, error, output), file=sys.stderr)
        return 1
    print("fit_headers: %s: headers in %d bytes (were %d), %d sections, %d bytes (were %d)"
          % (output, PAGE, Layout(old).headers_size, Layout(new).section_count, len(new), len(old)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
