#!/usr/bin/python3
# Tovinel: shows that check_exe.py's hardening facts can fail. Each mutant is the built tovinel.exe
# with one protection taken away, one import added or its headers' layout broken; check_exe.py must
# name the fact that this breaks as failed.
# Usage: check_exe_mutants.py tovinel.exe     Uses Debian's python3-pefile.
import os
import sys

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir))
import check_exe  # noqa: E402


def section(pe, name):
    return next(s for s in pe.sections if s.Name.rstrip(b"\0") == name)


def clear_dll_flag(flag):
    def mutate(pe):
        pe.OPTIONAL_HEADER.DllCharacteristics &= ~flag
    return mutate


def set_relocs_stripped(pe):
    pe.FILE_HEADER.Characteristics |= check_exe.IMAGE_FILE_RELOCS_STRIPPED


def drop_relocations(pe):
    pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]].Size = 0


def writable_code(pe):
    section(pe, b".text").Characteristics |= check_exe.IMAGE_SCN_MEM_WRITE


def shared_data(pe):
    writable = next(s for s in pe.sections if s.Characteristics & check_exe.IMAGE_SCN_MEM_WRITE)
    writable.Characteristics |= check_exe.IMAGE_SCN_MEM_SHARED


def plantable_dll(pe):
    # The same length, so only the name changes: a DLL the loader would look for beside the exe.
    entry = next(e for e in pe.DIRECTORY_ENTRY_IMPORT if e.dll.upper() == b"USER32.DLL")
    pe.set_bytes_at_rva(entry.struct.Name, b"USERXX.dll")


def extra_import(name):
    def mutate(pe):
        # Written over a longer import's name, so the tables keep their size: the loader would look
        # up this function instead, one the launcher has no business calling.
        function = next(f for e in pe.DIRECTORY_ENTRY_IMPORT for f in e.imports
                        if f.name is not None and len(f.name) > len(name))
        pe.set_bytes_at_offset(function.name_offset, name + b"\0")
    return mutate


def by_ordinal(pe):
    # Bit 31 of a lookup-table entry makes the import one by ordinal; both tables say the same.
    function = pe.DIRECTORY_ENTRY_IMPORT[0].imports[0]
    for thunk in (function.struct_table, function.struct_iat):
        if thunk is not None:
            thunk.AddressOfData = 0x80000001


def two_page_headers(pe):
    pe.OPTIONAL_HEADER.SizeOfHeaders = 1024


def dos_program(pe):
    # Windows 95 would then take the file for a DOS program and never look for its PE header.
    pe.DOS_HEADER.e_lfarlc = 0x1C


def stub_without_exit(pe):
    # The last int 21h of the stub becomes two nops: DOS would run on into the PE header's bytes.
    pe.set_bytes_at_offset(pe.DOS_HEADER.e_cparhdr * 16 + 12, b"\x90\x90")


MUTANTS = [
    ("NX compatible", "NX flag cleared", clear_dll_flag(check_exe.IMAGE_DLLCHARACTERISTICS_NX_COMPAT)),
    ("dynamic base", "dynamic base flag cleared", clear_dll_flag(check_exe.IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE)),
    ("no exception handlers (NO_SEH)", "NO_SEH flag cleared",
     clear_dll_flag(check_exe.IMAGE_DLLCHARACTERISTICS_NO_SEH)),
    ("relocations not marked stripped", "relocations marked stripped", set_relocs_stripped),
    ("relocations present for the dynamic base", "relocation directory emptied", drop_relocations),
    ("no section both writable and executable", "code made writable", writable_code),
    ("no section shared between processes", "data made shared", shared_data),
    ("imports only the three system DLLs", "USER32 renamed USERXX", plantable_dll),
    ("imports by name, never by ordinal", "an import by ordinal", by_ordinal),
    ("imports only functions on the allow-list", "an import of CreateProcessA", extra_import(b"CreateProcessA")),
    ("imports only functions on the allow-list", "an import of HeapAlloc", extra_import(b"HeapAlloc")),
    ("headers in one file page", "headers of two pages", two_page_headers),
    ("DOS header marks a new executable (e_lfarlc 0x40)", "e_lfarlc of a DOS program", dos_program),
    ("DOS stub prints a line and exits", "the stub's exit call dropped", stub_without_exit),
]


def failed_facts(data):
    pe = pefile.PE(data=data)
    return {name for name, expected, actual in check_exe.facts(pe, data) if expected != actual}


def main():
    if len(sys.argv) != 2:
        print("usage: check_exe_mutants.py tovinel.exe", file=sys.stderr)
        return 2
    with open(sys.argv[1], "rb") as f:
        original = f.read()
    if failed_facts(original):
        print(f"FAIL the unchanged executable already fails: {sorted(failed_facts(original))}")
        return 1
    bad = 0
    for fact, change, mutate in MUTANTS:
        pe = pefile.PE(data=original)
        mutate(pe)
        failed = failed_facts(pe.write())
        if fact not in failed:
            bad += 1
            print(f"FAIL {change}: '{fact}' still passes (failed: {sorted(failed)})")
        else:
            print(f"ok   {change}: '{fact}' fails")
    print(f"{len(MUTANTS) - bad} of {len(MUTANTS)} changes caught")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
