#!/usr/bin/python3
# Tovinel tests: writes the stand-in programs of the checker's sample media: the smallest files whose
# headers say what a Windows program says (never run, only read by tovinel-check).
# Rerun after changing a layout: it rewrites tests/checker/check_programs/*.exe|dll and the programs of
# tests/checker/check_media, byte for byte the same each time.
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
MEDIA = os.path.join(os.path.dirname(HERE), "check_media")


def utf16z(text):
    return text.encode("utf-16-le") + b"\0\0"


def pad4(data):
    return data + b"\0" * (-len(data) % 4)


def version_block(key, value=b"", value_length=0, text=False, children=()):
    """One block of a version record: length, value length, type, key, value, children."""
    # Key, value and children each start on a 4-byte boundary of the record; the header is 6 bytes.
    body = utf16z(key)
    body += b"\0" * (-(6 + len(body)) % 4)
    body += value
    body += b"\0" * (-(6 + len(body)) % 4)
    body += b"".join(pad4(child) for child in children)
    return struct.pack("<HHH", 6 + len(body), value_length, 1 if text else 0) + body


def version_record(strings):
    fixed = struct.pack("<13I", 0xFEEF04BD, 0x10000, 0x10000, 0, 0x10000, 0, 0x3F, 0, 0x40004, 1, 0, 0, 0)
    entries = [version_block(key, utf16z(value), len(value) + 1, True) for key, value in strings]
    table = version_block("040904b0", text=True, children=entries)
    string_info = version_block("StringFileInfo", text=True, children=[table])
    return version_block("VS_VERSION_INFO", fixed, len(fixed), children=[string_info])


def manifest(level):
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">'
            '<trustInfo xmlns="urn:schemas-microsoft-com:asm.v3"><security><requestedPrivileges>'
            f'<requestedExecutionLevel level="{level}" uiAccess="false"/>'
            '</requestedPrivileges></security></trustInfo></assembly>\n').encode()


def resource_section(resources, section_rva):
    """A resource tree with one name (1) and one language (0x409) per type: {type: bytes}."""
    types = sorted(resources)
    root_size = 16 + 8 * len(types)
    names_at = root_size                      # one name directory per type
    langs_at = names_at + 24 * len(types)     # one language directory per type
    entries_at = langs_at + 24 * len(types)   # one data entry per type
    data_at = entries_at + 16 * len(types)
    tree = struct.pack("<IIHHHH", 0, 0, 0, 0, 0, len(types))
    for i, kind in enumerate(types):
        tree += struct.pack("<II", kind, 0x80000000 | (names_at + 24 * i))
    for i in range(len(types)):
        tree += struct.pack("<IIHHHH", 0, 0, 0, 0, 0, 1) + struct.pack("<II", 1, 0x80000000 | (langs_at + 24 * i))
    for i in range(len(types)):
        tree += struct.pack("<IIHHHH", 0, 0, 0, 0, 0, 1) + struct.pack("<II", 0x409, entries_at + 16 * i)
    data = b""
    for kind in types:
        tree += struct.pack("<IIII", section_rva + data_at + len(data), len(resources[kind]), 0, 0)
        data += pad4(resources[kind])
    return tree + data


def pe(machine=0x14C, dll=False, resources=None, code_section=False):
    """A PE32 (or PE32+ for another machine) whose one section, or second after a code section, holds
    the resources."""
    wide = machine != 0x14C
    resources = resources or {}
    section_rva, section_raw = (0x2000, 0x400) if code_section else (0x1000, 0x200)
    rsrc = resource_section(resources, section_rva) if resources else b"\0" * 16
    rsrc += b"\0" * (-len(rsrc) % 0x200)
    optional_size = 240 if wide else 224
    characteristics = 0x0102 | (0x2000 if dll else 0)
    sections = 2 if code_section else 1
    coff = struct.pack("<4sHHIIIHH", b"PE\0\0", machine, sections, 0, 0, 0, optional_size, characteristics)
    image_size = section_rva + 0x1000 * ((len(rsrc) + 0xFFF) // 0x1000)
    if wide:
        optional = struct.pack("<HBBIIIII", 0x20B, 14, 0, 0, len(rsrc), 0, 0, 0x1000)
        optional += struct.pack("<QII", 0x140000000, 0x1000, 0x200)
    else:
        optional = struct.pack("<HBBIIIIII", 0x10B, 14, 0, 0, len(rsrc), 0, 0, 0x1000, 0x1000)
        optional += struct.pack("<III", 0x400000, 0x1000, 0x200)
    optional += struct.pack("<HHHHHHIIIIHH", 4, 0, 0, 0, 4, 0, 0, image_size, 0x200, 0, 2, 0)
    optional += struct.pack("<QQQQ" if wide else "<IIII", 0x100000, 0x1000, 0x100000, 0x1000)
    optional += struct.pack("<II", 0, 16)
    directories = [(0, 0)] * 16
    if resources:
        directories[2] = (section_rva, len(rsrc))
    optional += b"".join(struct.pack("<II", *d) for d in directories)
    assert len(optional) == optional_size
    section = struct.pack("<8sIIIIIIHHI", b".rsrc", len(rsrc), section_rva, len(rsrc), section_raw, 0, 0, 0, 0,
                          0x40000040)
    if code_section:
        section = struct.pack("<8sIIIIIIHHI", b".text", 0x10, 0x1000, 0x200, 0x200, 0, 0, 0, 0,
                              0x60000020) + section
    mz = bytearray(0x80)
    mz[0:2] = b"MZ"
    mz[0x3C:0x40] = struct.pack("<I", 0x80)
    headers = bytes(mz) + coff + optional + section
    code = b"\xC3" + b"\0" * 0x1FF if code_section else b""
    return headers + b"\0" * (0x200 - len(headers)) + code + rsrc


def dos_program():
    mz = bytearray(0x80)
    mz[0:2] = b"MZ"
    mz[0x18:0x1A] = struct.pack("<H", 0x1C)   # the DOS relocation table, where a Windows header would be named
    mz[0x3C:0x40] = struct.pack("<I", 0x1C)
    return bytes(mz)


def windows16_program():
    mz = bytearray(0x80)
    mz[0:2] = b"MZ"
    mz[0x3C:0x40] = struct.pack("<I", 0x40)
    mz[0x40:0x42] = b"NE"
    return bytes(mz)


LAUNCHER = pe(resources={16: version_record([("CompanyName", "Tovinel"), ("FileDescription", "Tovinel"),
                                              ("OriginalFilename", "tovinel.exe"), ("ProductName", "Tovinel")])},
              code_section=True)
SETUP = pe(resources={16: version_record([("FileDescription", "Maker Setup"), ("ProductName", "Maker")])})
PROGRAMS = {
    "launcher.exe": LAUNCHER,
    "setup.exe": SETUP,
    "app.exe": pe(resources={16: version_record([("ProductName", "Maker App")])}),
    "app64.exe": pe(machine=0x8664),
    "dos.exe": dos_program(),
    "win16.exe": windows16_program(),
    "library.dll": pe(dll=True),
    "admin.exe": pe(resources={16: version_record([("ProductName", "Maker Tools")]),
                               24: manifest("requireAdministrator")}),
    "tool.exe": pe(resources={16: version_record([("FileDescription", "Tool"), ("ProductName", "Maker Setup")])}),
    "ia64.exe": pe(machine=0x200),
    "setup_as_invoker.exe": pe(resources={24: manifest("asInvoker")}),
    # The launcher branded with an installer word in its version record, as a resource editor can.
    "launcher_setup_record.exe": pe(resources={16: version_record([
        ("CompanyName", "Nordlicht"), ("FileDescription", "Sternkarte Setup"), ("OriginalFilename", "tovinel.exe"),
        ("ProductName", "Sternkarte 2027")])}, code_section=True),
}

# The programs of the committed sample media: the launcher where autorun.inf starts it, a setup
# program where Run names one.
MEDIA_PROGRAMS = {
    LAUNCHER: ["autorun_other_program/TOVINEL.EXE", "clean/tovinel.exe", "folder_with_blank/Disc One/tovinel.exe",
               "inline_comment/tovinel.exe", "missing_ini/tovinel.exe", "reg_key_root/tovinel.exe",
               "repeated_names/tovinel.exe", "run_cut/tovinel.exe", "run_full_path/tovinel.exe",
               "run_missing/tovinel.exe", "run_with_blank/tovinel.exe", "start_not_number/tovinel.exe",
               "subfolder/DISC1/tovinel.exe", "title_without_class/tovinel.exe", "unknown_names/tovinel.exe",
               "upper_case_ini/TOVINEL.EXE", "value_cut/tovinel.exe", "autorun_without_entry/tovinel.exe",
               "autorun_missing/tovinel.exe", "driver_setup/tovinel.exe",
               "japanese_folder/tovinel.exe"],
    SETUP: ["autorun_missing/SETUP.EXE", "autorun_other_program/SETUP.EXE", "autorun_without_entry/SETUP.EXE",
            "clean/SETUP.EXE", "folder_with_blank/Disc One/SETUP.EXE", "inline_comment/SETUP.EXE",
            "missing_ini/SETUP.EXE", "reg_key_root/SETUP.EXE", "repeated_names/SETUP.EXE", "run_cut/SETUP.EXE",
            "run_missing/SETUP.EXE", "run_with_blank/Maker Setup/SETUP.EXE", "start_not_number/SETUP.EXE",
            "subfolder/setup/setup.exe", "title_without_class/SETUP.EXE", "unknown_names/SETUP.EXE",
            "upper_case_ini/SETUP.EXE", "value_cut/SETUP.EXE", "driver_setup/Driver Setup/setup.exe",
            "japanese_folder/ソフト/SETUP.EXE"],
}


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)


def main():
    for name, data in PROGRAMS.items():
        write(os.path.join(HERE, name), data)
    for data, paths in MEDIA_PROGRAMS.items():
        for path in paths:
            write(os.path.join(MEDIA, path), data)


if __name__ == "__main__":
    main()
