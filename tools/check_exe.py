#!/usr/bin/python3
# Tovinel: reads a built tovinel.exe and checks the facts a publisher relies on, then prints its size.
# Usage: check_exe.py tovinel.exe     Uses Debian's python3-pefile.
import sys

import pefile

ALLOWED_DLLS = {"KERNEL32.DLL", "USER32.DLL", "ADVAPI32.DLL"}
DIRECTORY = pefile.DIRECTORY_ENTRY


def facts(pe, data):
    """Every fact as (name, expected, actual)."""
    opt = pe.OPTIONAL_HEADER
    dirs = opt.DATA_DIRECTORY
    imported = sorted(entry.dll.decode().upper() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []))
    text = next((s for s in pe.sections if s.Characteristics & 0x20000000), None)
    entry_in_code = text is not None and \
        text.VirtualAddress <= opt.AddressOfEntryPoint < text.VirtualAddress + text.Misc_VirtualSize
    writable_code = [s.Name.rstrip(b"\0").decode() for s in pe.sections
                     if s.Characteristics & 0x20000000 and s.Characteristics & 0x80000000]
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
        ("NX compatible", True, bool(opt.DllCharacteristics & 0x0100)),
        ("dynamic base", True, bool(opt.DllCharacteristics & 0x0040)),
        ("relocations present for the dynamic base", True,
         dirs[DIRECTORY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]].Size > 0),
        ("no section both writable and executable", [], writable_code),
        ("file alignment old loaders accept", 512, opt.FileAlignment),
        ("section alignment old loaders accept", 4096, opt.SectionAlignment),
        ("file size matches the headers", len(data),
         max(s.PointerToRawData + s.SizeOfRawData for s in pe.sections)),
    ]


def main():
    if len(sys.argv) != 2:
        print("usage: check_exe.py tovinel.exe", file=sys.stderr)
        return 2
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    pe = pefile.PE(data=data)
    passed = failed = 0
    for name, expected, actual in facts(pe, data):
        if expected == actual:
            passed += 1
        else:
            failed += 1
            print(f"FAIL {name}: expected {expected!r}, got {actual!r}")
    print(f"{sys.argv[1]}: {len(data)} bytes")
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
