#!/usr/bin/python3
# Tovinel: reads a built tovinel.exe and checks the facts a publisher relies on, then prints its size.
# Usage: check_exe.py [--verify [--ca FILE]...] tovinel.exe    Uses Debian's python3-pefile.
"""A signed file (tools/sign.sh) passes too: its certificate table follows the last section, outside
the image. --verify also has osslsigncode verify the signature and its time stamp against this
machine's CA certificates and those in FILE (a private or test CA)."""
import argparse
import os
import subprocess
import sys
import tempfile

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


SYSTEM_CAS = "/etc/ssl/certs/ca-certificates.crt"
# What OpenSSL says of a chain that ends at a certificate nobody said to trust.
UNTRUSTED = ("self-signed certificate", "unable to get local issuer certificate",
             "unable to get issuer certificate", "unable to verify the first certificate")


def verify(path, cas):
    """osslsigncode verify's exit status and output; the signature and its time stamp may chain to
    this machine's CA certificates or to those in the files `cas`."""
    with tempfile.TemporaryDirectory() as folder:
        trusted = os.path.join(folder, "trusted.pem")
        with open(trusted, "wb") as out:
            for name in [SYSTEM_CAS] + cas:
                if os.path.exists(name):
                    with open(name, "rb") as f:
                        out.write(f.read() + b"\n")
        run = subprocess.run(["osslsigncode", "verify", "-CAfile", trusted, "-TSA-CAfile", trusted, "-in", path],
                             capture_output=True, text=True)
    return run.returncode, run.stdout


def read_verification(output):
    """From osslsigncode verify's report: the digests, the signer's and the time-stamping authority's
    subject and expiry, each chain's error, whether the digest matched and whether a time stamp is there."""
    found = {"digests": set(), "mismatch": "MISMATCH" in output, "timestamped": "Timestamp time:" in output}
    error = None
    section = "signer"
    for line in output.splitlines():
        text = line.strip()
        if line.startswith("Message digest algorithm"):
            found["digests"].add(line.split(":", 1)[1].strip())
        elif text.startswith("Timestamp verified using") or text.startswith("Countersignatures"):
            section = "tsa"
        elif text.startswith("Signing certificate chain verified using"):
            section = "signer"
        elif text.startswith(("Subject:", "notAfter :")):
            found.setdefault(section + " " + text.split(":", 1)[0].strip(), text.split(":", 1)[1].strip())
        elif text.startswith("Error:"):
            error = text[len("Error:"):].strip()
        elif text == "Timestamp Server Signature verification: failed":
            found["tsa error"], error = error or "failed", None
        elif text == "Signature verification: failed":
            found["signer error"], error = error or "failed", None
    return found


def why_untrusted(who, error, cas):
    """One line: why a chain does not verify, and what to do."""
    if error.startswith(UNTRUSTED):
        trusted = "this machine's CA certificates" + "".join(" or those in " + ca for ca in cas)
        return "%s chains to none of %s (%s): give the certificate of its CA, or a test certificate itself, " \
               "with --ca FILE" % (who, trusted, error)
    return "%s: %s" % (who, error)


def signature_facts(path, cas):
    """osslsigncode's verdict on the signature and on its time stamp, with the digest it found, each
    failure saying why in one line; and a note when the signature has no time stamp."""
    status, output = verify(path, cas)
    found = read_verification(output)
    signer = found.get("signer Subject", "the signer")
    if found["mismatch"]:
        why = "the file changed after it was signed (its digest is no longer the signed one): sign it again"
    elif found.get("signer error") == "certificate has expired":
        why = "the certificate of %s expired on %s, and no valid time stamp shows that it signed before" % (
            signer, found.get("signer notAfter", "?"))
    else:
        why = why_untrusted("the certificate of " + signer, found.get("signer error", "osslsigncode failed"), cas)
    facts = [("signature verifies", 0, status, why),
             ("signature digest", ["SHA256"], sorted(found["digests"]))]
    if found["timestamped"]:
        facts.append(("time stamp verifies", None, found.get("tsa error"),
                      why_untrusted("the time stamp of " + found.get("tsa Subject", "its server"),
                                    found.get("tsa error", ""), cas)))
    note = None
    if not found["timestamped"] and "signer notAfter" in found:
        note = "note: no time stamp: the signature stops being valid when the certificate expires, on " + \
            found["signer notAfter"]
    return facts, note


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("exe")
    parser.add_argument("--verify", action="store_true", help="verify the signature too")
    parser.add_argument("--ca", action="append", default=[],
                        help="CA certificates (PEM) to trust besides this machine's; may be given again")
    args = parser.parse_args()
    with open(args.exe, "rb") as f:
        data = f.read()
    pe = pefile.PE(data=data)
    table = certificate_table(pe)
    signed = f" ({image_end(pe)} without its signature)" if table else ""
    print(f"{args.exe}: {len(data)} bytes{signed}")
    found = facts(pe, data)
    if args.verify:
        found.append(("signed", True, table is not None, "the file carries no signature: tools/sign.sh signs it"))
        if table:
            signature, note = signature_facts(args.exe, args.ca)
            found += signature
            if note:
                print(note)
    return report_facts(found)


if __name__ == "__main__":
    sys.exit(main())
