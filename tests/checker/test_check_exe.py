#!/usr/bin/python3
# Tovinel tests: the facts of tovinel-check.exe that let it run from a bare folder on Windows 7 to
# 11: a 32-bit console program (it sees the registry as the 32-bit launcher does), whose imports are
# all DLLs every Windows has.
# Usage: test_check_exe.py EXE
import sys

import pefile

# crypt32.dll reads the launcher's signature; like the others it is part of every Windows 7 to 11.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "msvcrt.dll", "crypt32.dll"}


def main():
    path = sys.argv[1]
    pe = pefile.PE(path)
    problems = []
    if pe.FILE_HEADER.Machine != pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]:
        problems.append(f"machine {pe.FILE_HEADER.Machine:#x}, expected the 32-bit x86 one")
    if pe.OPTIONAL_HEADER.Subsystem != pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_CUI"]:
        problems.append(f"subsystem {pe.OPTIONAL_HEADER.Subsystem}, expected the console")
    # Windows 7 is 6.1: a program that asks for a later one does not start there.
    version = (pe.OPTIONAL_HEADER.MajorSubsystemVersion, pe.OPTIONAL_HEADER.MinorSubsystemVersion)
    if version > (6, 1):
        problems.append(f"subsystem version {version}, later than Windows 7's 6.1")
    imports = {entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    if imports - SYSTEM_DLLS:
        problems.append(f"imports DLLs a bare Windows lacks: {sorted(imports - SYSTEM_DLLS)}")
    if not {"kernel32.dll", "advapi32.dll", "user32.dll"} <= imports:
        problems.append(f"does not import the launcher's own DLLs: {sorted(imports)}")
    for problem in problems:
        print("FAIL  " + problem)
    print(f"{path}: 32-bit console program importing {', '.join(sorted(imports))}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
