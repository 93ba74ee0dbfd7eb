#!/usr/bin/python3
# Tovinel: reads a built tovinel.exe and checks the facts a publisher relies on, then prints its size.
# Usage: check_exe.py [--verify [--ca FILE]] tovinel.exe     Uses Debian's python3-pefile.
"""A signed file (tools/sign.sh) passes too: its certificate table follows the last section, outside
the image. --verify also has osslsigncode verify the signature against this machine's CA certificates,
or against FILE (a private or test CA)."""
import argparse
import os
import subprocess
import sys

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "steps"))
from facts import report_facts  # noqa: E402

# KnownDLLs on every Windows NT: always loaded from the system folder, never from the medium's
# folder, where a planted DLL of another name would be found first.
ALLOWED_DLLS = {"KERNEL32.DLL", "USER32.DLL", "ADVAPI32.DLL"}
# Every function the launcher may import, by DLL: what it reads, looks up and starts, and no more.
# A new import (a heap, a second way to start programs, a write) must be added here on purpose.
# SHELL32's ShellExecuteExA is not among them: it is loaded by full path only when a start needs
# elevation (LoadLibraryA, GetProcAddress), so the typical run loads no more than these three DLLs.
ALLOWED_FUNCTIONS = {
    "KERNEL32.DLL": {"ExitProcess", "GetACP", "GetCPInfo", "GetCommandLineA", "GetFileAttributesA",
                     "GetLastError", "GetModuleFileNameA", "GetModuleHandleA", "GetPrivateProfileIntA",
                     "GetPrivateProfileStringA", "GetProcAddress", "GetSystemDirectoryA", "LoadLibraryA",
                     "WinExec"},
    "USER32.DLL": {"FindWindowA"},
    "ADVAPI32.DLL": {"RegCloseKey", "RegOpenKeyExA", "RegQueryValueExA"},
}
IMAGE_FILE_RELOCS_STRIPPED = 0x0001
IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE = 0x0040
IMAGE_DLLCHARACTERISTICS_NX_COMPAT = 0x0100
IMAGE_DLLCHARACTERISTICS_NO_SEH = 0x0400
IMAGE_SCN_MEM_SHARED = 0x10000000
IMAGE_SCN_MEM_EXECUTE = 0x20000000
IMAGE_SCN_MEM_WRITE = 0x80000000
DIRECTORY = pefile.DIRECTORY_ENTRY
CERTIFICATE_ALIGNMENT = 8
# The four sections tools/steps/fit_headers.py fits the headers of into one 512-byte page.
SECTIONS = [".text", ".idata", ".rsrc", ".reloc"]
# The DOS stub's code: push cs, pop ds, mov dx (the text's offset follows), then mov ah 9, int 21h
# (print up to '$'), mov ax 4C01h, int 21h (exit).
DOS_PRINT = (b"\x0e\x1f\xba", b"\xb4\x09\xcd\x21\xb8\x01\x4c\xcd\x21")


def certificate_table(pe):
    """(file offset, size) of the Authenticode certificate table, or None when the file is unsigned."""
    entry = pe.OPTIONAL_HEADER.DATA_DIRECTORY[DIRECTORY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
    return (entry.VirtualAddress, entry.Size) if entry.VirtualAddress or entry.Size else None


def image_end(pe):
    """Where the sections end in the file: the file's end, unless a certificate table follows."""
    return max(s.PointerToRawData + s.SizeOfRawData for s in pe.sections)


def dos_stub_prints_and_exits(pe, data):
    """Whether DOS runs a stub that prints a '$'-ended text lying before the PE header, and exits:
    never the PE header's bytes taken for code."""
    dos = pe.DOS_HEADER
    start = dos.e_cparhdr * 16
    code = data[start:start + 14]
    if (dos.e_cs, dos.e_ip) != (0, 0) or code[:3] != DOS_PRINT[0] or code[5:] != DOS_PRINT[1]:
        return False
    text = start + int.from_bytes(code[3:5], "little")
    return start + len(code) <= text and b"$" in data[text:dos.e_lfanew]


def section_names(pe, flags):
    """Names of the sections that have every one of `flags`."""
    return [s.Name.rstrip(b"\0").decode() for s in pe.sections if s.Characteristics & flags == flags]


def facts(pe, data):
    """Every fact as (name, expected, actual)."""
    opt = pe.OPTIONAL_HEADER
    dirs = opt.DATA_DIRECTORY
    imported = sorted(entry.dll.decode().upper() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []))
    text = next((s for s in pe.sections if s.Characteristics & IMAGE_SCN_MEM_EXECUTE), None)
    entry_in_code = text is not None and \
        text.VirtualAddress <= opt.AddressOfEntryPoint < text.VirtualAddress + text.Misc_VirtualSize
    writable_code = section_names(pe, IMAGE_SCN_MEM_EXECUTE | IMAGE_SCN_MEM_WRITE)
    unlisted = sorted(f"{entry.dll.decode().upper()}!{function.name.decode()}"
                      for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []) for function in entry.imports
                      if function.name is not None and
                      function.name.decode() not in ALLOWED_FUNCTIONS.get(entry.dll.decode().upper(), set()))
    by_ordinal = [f"{entry.dll.decode()}#{function.ordinal}"
                  for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []) for function in entry.imports
                  if function.import_by_ordinal]
    resource_types = [entry.id for entry in getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None).entries] \
        if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []
    return [
        ("machine is i386", 0x14C, pe.FILE_HEADER.Machine),
        ("PE32 optional header", 0x10B, opt.Magic),
        ("GUI subsystem", 2, opt.Subsystem),
        ("subsystem version", (4, 0), (opt.MajorSubsystemVersion, opt.MinorSubsystemVersion)),
        ("operating system version", (4, 0), (opt.MajorOperatingSystemVersion, opt.MinorOperatingSystemVersion)),
        ("entry point lies in the code", True, entry_in_code),
        ("imports only the three system DLLs", sorted(ALLOWED_DLLS), imported),
        ("no TLS directory", 0, dirs[DIRECTORY["IMAGE_DIRECTORY_ENTRY_TLS"]].VirtualAddress),
        ("no exception directory", 0, dirs[DIRECTORY["IMAGE_DIRECTORY_ENTRY_EXCEPTION"]].VirtualAddress),
        ("no debug directory", 0, dirs[DIRECTORY["IMAGE_DIRECTORY_ENTRY_DEBUG"]].VirtualAddress),
        ("no delay-load imports", 0, dirs[DIRECTORY["IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT"]].VirtualAddress),
        ("no manifest resource", False, 24 in resource_types),
        ("no link time stamp", 0, pe.FILE_HEADER.TimeDateStamp),
        ("imports by name, never by ordinal", [], by_ordinal),
        ("imports only functions on the allow-list", [], unlisted),
        ("NX compatible", True, bool(opt.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT)),
        ("dynamic base", True, bool(opt.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE)),
        ("relocations present for the dynamic base", True,
         dirs[DIRECTORY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]].Size > 0),
        ("relocations not marked stripped", False,
         bool(pe.FILE_HEADER.Characteristics & IMAGE_FILE_RELOCS_STRIPPED)),
        ("no exception handlers (NO_SEH)", True, bool(opt.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_NO_SEH)),
        ("no section both writable and executable", [], writable_code),
        ("no section shared between processes", [], section_names(pe, IMAGE_SCN_MEM_SHARED)),
        ("file alignment old loaders accept", 512, opt.FileAlignment),
        ("section alignment old loaders accept", 4096, opt.SectionAlignment),
        ("four sections: code, imports and data, resources, relocations", SECTIONS,
         [s.Name.rstrip(b"\0").decode() for s in pe.sections]),
        ("headers in one file page", 512, opt.SizeOfHeaders),
        # DOS, and Windows 95 with it, looks for the PE header only in a file marked so.
        ("DOS header marks a new executable (e_lfarlc 0x40)", 0x40, pe.DOS_HEADER.e_lfarlc),
        ("PE header 8-byte aligned", 0, pe.DOS_HEADER.e_lfanew % 8),
        ("DOS stub prints a line and exits", True, dos_stub_prints_and_exits(pe, data)),
    ] + size_facts(pe, data)


def size_facts(pe, data):
    """The file is its sections; a signed one, padded to 8 bytes, then its certificate table."""
    end = image_end(pe)
    table = certificate_table(pe)
    if table is None:
        return [("file size matches the headers", len(data), end)]
    aligned = (end + CERTIFICATE_ALIGNMENT - 1) // CERTIFICATE_ALIGNMENT * CERTIFICATE_ALIGNMENT
    return [("file size matches the headers", table[0], aligned),
            ("certificate table ends the file", len(data), sum(table))]


def signature_facts(path, ca):
    """osslsigncode's verdict on the signature, with the digest it found."""
    command = ["osslsigncode", "verify", "-in", path] + (["-CAfile", ca] if ca else [])
    run = subprocess.run(command, capture_output=True, text=True)
    digests = sorted({line.split(":", 1)[1].strip() for line in run.stdout.splitlines()
                      if line.startswith("Message digest algorithm")})
    return [("signature verifies (osslsigncode verify)", 0, run.returncode),
            ("signature digest", ["SHA256"], digests)]


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("exe")
    parser.add_argument("--verify", action="store_true", help="verify the signature too")
    parser.add_argument("--ca", help="CA certificates (PEM) the signature must chain to")
    args = parser.parse_args()
    with open(args.exe, "rb") as f:
        data = f.read()
    pe = pefile.PE(data=data)
    table = certificate_table(pe)
    signed = f" ({image_end(pe)} without its signature)" if table else ""
    print(f"{args.exe}: {len(data)} bytes{signed}")
    found = facts(pe, data)
    if args.verify:
        found += [("signed", True, table is not None)] + (signature_facts(args.exe, args.ca) if table else [])
    return report_facts(found)


if __name__ == "__main__":
    sys.exit(main())
