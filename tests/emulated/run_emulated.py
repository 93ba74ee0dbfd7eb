#!/usr/bin/python3
# Tovinel tests: the emulated runner of the scenario table (tests/scenarios/launcher.txt). It loads
# the shipped bytes of tovinel.exe into a CPU emulator (Unicorn) and plays every scenario, each
# imported function answered from the scenario's machine; the profile reads by the INI stand-in
# itself (simulated_windows/ini_reader.cpp, built as libemulated_ini.so by this folder's CMake file).
#
# The image is loaded away from its preferred base, so that every absolute address it uses must come
# through a base relocation: a missed one points into the unmapped preferred base and faults. Each
# import is a stub, a `ret N` that pops what the stdcall function of Windows pops. A run fails on a
# stack that drifts (every ret must find its call's return address at its call's depth, and the
# calls out of one activation leave from one depth), on a call of an import without a stub, on
# execution outside the image's code and the stubs, on a Win32 call against the rules of its use,
# and past a bound of instructions; then what was started must be what the scenario expects.
#
# The runner plays Windows as the native runner's machine does, so it honours the table's `native:`
# overrides (skip, or another expectation) and ignores `wine:` ones, which say where Wine departs from
# Windows. A field it cannot play fails its scenario instead of being passed over.
#
# Usage: run_emulated.py [--table FILE] [--ini-library FILE] [--costs] EXE
#   --costs plays only the table's first two scenarios, the typical runs, and prints their Win32 calls
#   and the instructions executed inside the image.
import argparse
import ctypes
import os
import struct
import sys
import textwrap
import time

import pefile
from unicorn import (Uc, UcError, UC_ARCH_X86, UC_MODE_32, UC_HOOK_CODE, UC_HOOK_MEM_INVALID,
                     UC_PROT_READ, UC_PROT_WRITE, UC_PROT_EXEC, UC_MEM_FETCH_UNMAPPED, UC_MEM_FETCH_PROT,
                     UC_MEM_READ_PROT, UC_MEM_WRITE_PROT)
from unicorn.x86_const import UC_X86_REG_EAX, UC_X86_REG_ESP, UC_X86_REG_EIP

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tests", "wine"))
import scenario_table  # noqa: E402  (the Wine runner's reader of the table)

# The emulated address space. The preferred base (0x400000) stays unmapped.
LOAD_BASE = 0x10000000
STACK_BOTTOM, STACK_SIZE = 0x00100000, 0x00100000
COMMAND_LINE = 0x00600000
STUB_PAGE, STUB_SLOT = 0x70000000, 16
SHELL32_HANDLE = 0x7C9C0000      # a module handle of SHELL32; nothing is mapped there
WINDOW_HANDLE, FIRST_KEY_HANDLE = 0x100A2, 0x1A0
# Some ten times the longest scenario: an endless loop fails in a fraction of a second.
INSTRUCTION_BOUND = 200_000

# The arguments each import takes, as Windows declares it; all are stdcall, so the stub pops them.
# An import not listed has a stub that fails the run when called.
SIGNATURES = {
    "kernel32.dll": {"ExitProcess": 1, "GetACP": 0, "GetCPInfo": 2, "GetCommandLineA": 0,
                     "GetFileAttributesA": 1, "GetLastError": 0, "GetModuleFileNameA": 3,
                     "GetModuleHandleA": 1, "GetPrivateProfileIntA": 4, "GetPrivateProfileStringA": 6,
                     "GetProcAddress": 2, "GetSystemDirectoryA": 2, "LoadLibraryA": 1, "WinExec": 2},
    "advapi32.dll": {"RegCloseKey": 1, "RegOpenKeyExA": 5, "RegQueryValueExA": 6},
    "user32.dll": {"FindWindowA": 2},
    "shell32.dll": {"ShellExecuteA": 6, "ShellExecuteExA": 1},
}
# What the table can say that this runner plays; wine: and wine-why: are Wine's alone. A field the
# table gains later fails every scenario that uses it until the runner plays it too.
PLAYED_FIELDS = {"codepage", "folder", "exe", "command", "ini-name", "ini", "ini-lf", "ini-bytes",
                 "ini-repeat", "ini-random", "ini-utf16", "registry", "registry-view", "window", "program",
                 "expect", "start-answer", "expect-shell", "native", "native-why", "wine", "wine-why"}

HKEY_LOCAL_MACHINE, KEY_READ, KEY_WOW64_64KEY, KEY_WOW64_32KEY = 0x80000002, 0x20019, 0x100, 0x200
ERROR_FILE_NOT_FOUND, ERROR_INSUFFICIENT_BUFFER, ERROR_MORE_DATA = 2, 122, 234
ERROR_ELEVATION_REQUIRED = 740
FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_ARCHIVE, INVALID_FILE_ATTRIBUTES = 0x10, 0x20, 0xFFFFFFFF
SW_SHOW = 5
SEE_MASK_NOASYNC, SEE_MASK_FLAG_NO_UI, SHELLEXECUTEINFOA_SIZE = 0x100, 0x400, 60
REGISTRY_TYPES = {"sz": 1, "expand": 2, "binary": 3, "dword": 4}
LEAD_BYTE_RANGES = {1252: b"", 932: b"\x81\x9f\xe0\xfc"}
PRODUCT_KEY = b"SOFTWARE\\Tovinel Test\\Product"
SYSTEM_FOLDER = b"C:\\WINDOWS\\system32"

# A section's IMAGE_SCN_MEM_READ, _WRITE and _EXECUTE flags, as page protections.
SECTION_PROTECTIONS = ((0x40000000, UC_PROT_READ), (0x80000000, UC_PROT_WRITE), (0x20000000, UC_PROT_EXEC))
OTHER, CALL, RET = range(3)
PREFIXES = {0x26, 0x2E, 0x36, 0x3E, 0x64, 0x65, 0x66, 0x67, 0xF0, 0xF2, 0xF3}


class Fault(Exception):
    """The run broke a rule, or the scenario cannot be played: it fails with this message."""


def instruction_kind(code):
    """What the shadow stack follows. Interrupts, far transfers and invalid instructions need no
    check of their own: Unicorn ends the run on each."""
    i = 0
    while i < len(code) - 1 and code[i] in PREFIXES:
        i += 1
    if code[i] == 0xE8 or (code[i] == 0xFF and i + 1 < len(code) and (code[i + 1] >> 3) & 7 == 2):
        return CALL
    return RET if code[i] in (0xC2, 0xC3) else OTHER


def quoted(data):
    return "nothing" if data is None else scenario_table.show(data)[len("start "):]


def load_ini_library(path):
    if not os.path.exists(path):
        sys.exit(f"{path} is missing: tools/build.sh native builds it")
    ini = ctypes.CDLL(path)
    text, size = ctypes.c_char_p, ctypes.c_ulong
    ini.emulated_ini_read_text.argtypes = [text, size, text, text, text, ctypes.c_uint]
    ini.emulated_ini_read_text.restype = ctypes.c_uint
    ini.emulated_ini_read_int.argtypes = [text, size, text, text, ctypes.c_int]
    ini.emulated_ini_read_int.restype = ctypes.c_uint
    return ini


def page_align(value):
    return (value + 0xFFF) & ~0xFFF


class Image:
    """tovinel.exe parsed once and relocated to LOAD_BASE: its pages and imports."""

    def __init__(self, data):
        try:
            pe = pefile.PE(data=data)
        except pefile.PEFormatError as error:
            raise Fault(f"not a PE file: {error}")
        header = pe.OPTIONAL_HEADER
        if pe.FILE_HEADER.Machine != 0x14C or header.Magic != 0x10B:
            raise Fault("not a 32-bit x86 program")
        # Unicorn maps whole pages, each with one protection.
        if header.SectionAlignment != 0x1000:
            raise Fault(f"section alignment {header.SectionAlignment:#x}, not a page")
        self.preferred, self.base = header.ImageBase, LOAD_BASE
        if self.preferred == LOAD_BASE:
            raise Fault(f"preferred base {LOAD_BASE:#x}: loaded there, the relocations would go unused")
        self.size = page_align(header.SizeOfImage)
        self.entry = LOAD_BASE + header.AddressOfEntryPoint
        self.memory = bytearray(self.size)
        self.memory[:header.SizeOfHeaders] = data[:header.SizeOfHeaders]
        self.pages = [(0, page_align(header.SizeOfHeaders), UC_PROT_READ)]    # (RVA, length, protection)
        for section in pe.sections:
            start, virtual = section.VirtualAddress, section.Misc_VirtualSize
            raw = data[section.PointerToRawData:section.PointerToRawData + section.SizeOfRawData]
            raw = raw[:virtual] if virtual else raw
            self.memory[start:start + len(raw)] = raw
            protection = sum(prot for flag, prot in SECTION_PROTECTIONS if section.Characteristics & flag)
            self.pages.append((start, page_align(max(virtual, len(raw))), protection))
        self.relocations = self.relocate(header.DATA_DIRECTORY[5], LOAD_BASE - self.preferred)
        self.imports = [(function.address - self.preferred, entry.dll.decode("latin-1").lower(),
                         function.name.decode("latin-1") if function.name else f"#{function.ordinal}")
                        for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
                        for function in entry.imports]
        self.kinds = {}    # instruction address -> kind, shared by every run: the code never changes

    def relocate(self, directory, delta):
        if directory.Size == 0:
            raise Fault("no base relocations: the image cannot be moved from its preferred base")
        applied, block, end = 0, directory.VirtualAddress, directory.VirtualAddress + directory.Size
        while block < end:
            page, size = struct.unpack_from("<II", self.memory, block)
            if size < 8:
                raise Fault(f"relocation block at {block:#x} of {size} bytes")
            for (entry,) in struct.iter_unpack("<H", self.memory[block + 8:block + size]):
                kind, target = entry >> 12, page + (entry & 0xFFF)
                if kind == 0:    # IMAGE_REL_BASED_ABSOLUTE: padding
                    continue
                if kind != 3:    # IMAGE_REL_BASED_HIGHLOW, the only kind a 32-bit image needs
                    raise Fault(f"relocation of type {kind} at {target:#x}")
                (value,) = struct.unpack_from("<I", self.memory, target)
                struct.pack_into("<I", self.memory, target, (value + delta) & 0xFFFFFFFF)
                applied += 1
            block += size
        return applied


class Run:
    """One run of the image on a fresh CPU, its imports answered by `machine`."""

    def __init__(self, image, machine):
        self.image, self.machine = image, machine
        self.uc = uc = Uc(UC_ARCH_X86, UC_MODE_32)
        self.writable = [(STACK_BOTTOM, STACK_BOTTOM + STACK_SIZE)]
        for start, length, protection in image.pages:
            uc.mem_map(image.base + start, length, protection)
            if protection & UC_PROT_WRITE:
                self.writable.append((image.base + start, image.base + start + length))
        uc.mem_map(STACK_BOTTOM, STACK_SIZE, UC_PROT_READ | UC_PROT_WRITE)
        # A used stack holds anything but zeros: code that reads a byte it never wrote (a terminator
        # it expects behind registry data, say) must not find a NUL by luck.
        uc.mem_write(STACK_BOTTOM, b"\xA5" * STACK_SIZE)
        uc.mem_map(STUB_PAGE, 0x1000, UC_PROT_READ | UC_PROT_EXEC)
        uc.mem_write(STUB_PAGE, b"\xCC" * 0x1000)
        self.stubs, self.stub_addresses = {}, {}
        memory = bytearray(image.memory)
        for slot, dll, name in image.imports:
            struct.pack_into("<I", memory, slot, self.stub(dll, name))
        uc.mem_write(image.base, bytes(memory))
        self.entry_return = self.stub("", "(the entry point's return)")
        command = machine.command_line + b"\0"
        uc.mem_map(COMMAND_LINE, page_align(len(command)), UC_PROT_READ)
        uc.mem_write(COMMAND_LINE, command)
        self.instructions, self.calls = 0, []
        self.fault = self.exit_code = self.bad_access = None
        self.frames = []    # [return address, ESP holding it, ESP of the calls out of the activation]
        uc.hook_add(UC_HOOK_CODE, self.on_image_code, begin=image.base, end=image.base + image.size - 1)
        uc.hook_add(UC_HOOK_CODE, self.on_stub_code, begin=STUB_PAGE, end=STUB_PAGE + 0xFFF)
        uc.hook_add(UC_HOOK_MEM_INVALID, self.on_bad_access)

    def stub(self, dll, name):
        """The address of the stub of `dll`!`name`, made on first use."""
        if (dll, name) not in self.stub_addresses:
            address = STUB_PAGE + STUB_SLOT * len(self.stubs)
            count = SIGNATURES.get(dll, {}).get(name)
            self.stubs[address] = (name if count is not None else f"{dll}!{name}", count)
            self.stub_addresses[(dll, name)] = address
            self.uc.mem_write(address, struct.pack("<BH", 0xC2, 4 * count) if count else b"\xC3")
        return self.stub_addresses[(dll, name)]

    # -- the process's memory, as the stubs read and write it --

    def read(self, address, length):
        try:
            return bytes(self.uc.mem_read(address, length))
        except UcError:
            raise Fault(f"{length} bytes at {address:#x} cannot be read")

    def read_u32(self, address):
        return struct.unpack("<I", self.read(address, 4))[0]

    def text(self, address):
        """The NUL-terminated text at `address`, None for a null pointer; read a page at a time, so
        that a text that runs into an unmapped page fails."""
        if address == 0:
            return None
        out = b""
        while b"\0" not in out:
            at = address + len(out)
            out += self.read(at, 0x1000 - (at & 0xFFF))
        return out[:out.index(b"\0")]

    def check_writable(self, address, length, what):
        # Unicorn's own writes ignore page protections: the stubs must check what Windows would.
        if length and not any(start <= address and address + length <= end for start, end in self.writable):
            raise Fault(f"{what}: {length} bytes at {address:#x} are not writable memory of the process")

    def write(self, address, data, what):
        self.check_writable(address, len(data), what)
        self.uc.mem_write(address, bytes(data))

    # -- the hooks --

    def stop(self, message):
        self.fault = self.fault or message
        self.uc.emu_stop()

    def on_image_code(self, uc, address, size, _):
        try:
            self.instructions += 1
            if self.instructions > INSTRUCTION_BOUND:
                raise Fault(f"ran past the bound of {INSTRUCTION_BOUND} instructions inside the image")
            kind = self.image.kinds.get(address)
            if kind is None:
                # An invalid instruction comes with a size of billions: Unicorn fails it next.
                kind = self.image.kinds[address] = instruction_kind(self.read(address, min(size, 15)))
            if kind == OTHER:
                return
            esp = uc.reg_read(UC_X86_REG_ESP)
            if kind == CALL:
                # The build reserves the room for outgoing arguments once per frame and puts back
                # what a stdcall callee popped, so every call of one activation leaves from one
                # depth: a callee that popped another count than its caller expects moves it.
                frame = self.frames[-1]
                if frame[2] is None:
                    frame[2] = esp
                elif frame[2] != esp:
                    raise Fault(f"call at {address:#x} from ESP {esp:#x}, where this activation's "
                                f"earlier calls left from {frame[2]:#x}: the stack drifted by "
                                f"{esp - frame[2]:+d} bytes")
                self.frames.append([address + size, esp - 4, None])
            else:
                ret, depth, _ = self.frames.pop()
                found = self.read_u32(esp)
                if esp != depth or found != ret:
                    raise Fault(f"ret at {address:#x} finds {found:#x} at ESP {esp:#x}; its call pushed "
                                f"{ret:#x} at {depth:#x}")
        except Fault as fault:
            self.stop(str(fault))

    def on_stub_code(self, uc, address, size, _):
        try:
            if address == self.entry_return:
                raise Fault("the entry point returned instead of ending the process with ExitProcess")
            if address not in self.stubs:
                raise Fault(f"execution at {address:#x}, in the stub page but at no stub")
            name, count = self.stubs[address]
            if count is None:
                raise Fault(f"call of {name}, an import without a stub")
            self.calls.append(name)
            # Entered by a call or, as a tail call, by a jump: either way at the depth of a frame.
            ret, depth, _ = self.frames.pop()
            esp = uc.reg_read(UC_X86_REG_ESP)
            if esp != depth or self.read_u32(esp) != ret:
                raise Fault(f"{name} entered with ESP {esp:#x}, where its caller's return address "
                            f"{ret:#x} lies at {depth:#x}")
            arguments = struct.unpack(f"<{count}I", self.read(esp + 4, 4 * count))
            if name == "ExitProcess":
                self.exit_code = arguments[0]
                uc.emu_stop()
                return
            # The last call's failure is what GetLastError may report.
            self.machine.previous_failed, self.machine.failing = self.machine.failing, False
            uc.reg_write(UC_X86_REG_EAX, getattr(self.machine, name)(self, *arguments) & 0xFFFFFFFF)
        except Fault as fault:
            self.stop(str(fault))

    def on_bad_access(self, uc, access, address, size, value, _):
        outside = "execution outside the image's code and the stubs, at"
        what = {UC_MEM_FETCH_UNMAPPED: f"{outside} unmapped", UC_MEM_FETCH_PROT: f"{outside} non-code",
                UC_MEM_WRITE_PROT: "write to read-only", UC_MEM_READ_PROT: "read of unreadable"}.get(
                    access, "access to unmapped")
        self.bad_access = f"{what} memory at {address:#x}"
        if self.image.preferred <= address < self.image.preferred + self.image.size:
            self.bad_access += " (inside the image at its preferred base: an address left unrelocated)"
        return False

    def start(self):
        esp = STACK_BOTTOM + STACK_SIZE - 0x100
        self.uc.mem_write(esp, struct.pack("<I", self.entry_return))
        self.uc.reg_write(UC_X86_REG_ESP, esp)
        self.frames = [[self.entry_return, esp, None]]
        try:
            self.uc.emu_start(self.image.entry, 0, count=2 * INSTRUCTION_BOUND)
        except UcError as error:
            self.stop(f"{self.bad_access or error} (EIP {self.uc.reg_read(UC_X86_REG_EIP):#x})")
        if self.fault is None and self.exit_code is None:
            self.fault = f"stopped without ExitProcess after {self.instructions} instructions"


class Machine:
    """The scenario's Windows: each method answers the Win32 call of its name as Windows would, and
    fails the run where the launcher uses the call against its rules or asks what the scenario
    cannot answer."""

    def __init__(self, scenario, ini):
        fields = dict(scenario["fields"])
        unplayable = sorted({field for field, _ in scenario["fields"]} - PLAYED_FIELDS)
        if unplayable:
            raise Fault(f"the emulated runner cannot play the field {', '.join(unplayable)}")
        if fields.get("start-answer", "needs-elevation") != "needs-elevation":
            raise Fault(f"the emulated runner cannot play start-answer: {fields['start-answer']}")
        if scenario["codepage"] not in LEAD_BYTE_RANGES:
            raise Fault(f"the emulated runner has no lead bytes for code page {scenario['codepage']}")
        self.ini, self.codepage = ini, scenario["codepage"]
        self.command_line, self.module_path = scenario["command"], scenario["module"]
        self.config_path, self.ini_text = scenario["folder"] + scenario["ini_name"], scenario["ini"]
        self.registry_kind, self.registry_data = scenario["registry"]
        self.registry_view, self.windows = scenario["registry_view"], scenario["windows"]
        self.refuses_start = "start-answer" in fields
        self.programs = {program.lower() for program in scenario["programs"]}
        # The folders that hold the programs exist too: a split that tries one finds a folder.
        self.folders = {b"\\".join(parts[:n]) for parts in (p.split(b"\\") for p in self.programs)
                        for n in range(1, len(parts))}
        self.last_error, self.previous_failed, self.failing = 0, False, False
        self.open_keys, self.next_key = {}, FIRST_KEY_HANDLE
        self.started, self.handed = [], []
        self.refused, self.shell_loaded = False, False

    def failed(self, error):
        self.last_error, self.failing = error, True

    def GetCommandLineA(self, run):
        return COMMAND_LINE

    def GetModuleHandleA(self, run, name):
        if name != 0:
            raise Fault(f"GetModuleHandleA({quoted(run.text(name))}): only the program's own is modelled")
        return run.image.base

    def GetModuleFileNameA(self, run, module, buffer, size):
        if module not in (0, run.image.base):
            raise Fault(f"GetModuleFileNameA of module {module:#x}, not the program's")
        run.check_writable(buffer, size, "GetModuleFileNameA's buffer")
        if len(self.module_path) < size:
            run.write(buffer, self.module_path + b"\0", "GetModuleFileNameA's buffer")
            return len(self.module_path)
        # Since Vista a cut path is terminated, and the count is the buffer's size.
        if size:
            run.write(buffer, self.module_path[:size - 1] + b"\0", "GetModuleFileNameA's buffer")
        self.failed(ERROR_INSUFFICIENT_BUFFER)
        return size

    def GetACP(self, run):
        return self.codepage

    def GetCPInfo(self, run, codepage, info):
        if codepage not in (0, self.codepage):
            raise Fault(f"GetCPInfo({codepage}): the machine's ANSI code page is {self.codepage}")
        lead = LEAD_BYTE_RANGES[self.codepage]
        run.write(info, struct.pack("<I2s12s", 2 if lead else 1, b"?", lead), "GetCPInfo's CPINFO")
        return 1

    def profile_text(self, run, section, key, path):
        """The configuration file's bytes (None when absent) after the checks every profile read
        shares: a named file, one value asked by section and key."""
        if run.text(section) is None or run.text(key) is None:
            raise Fault("a profile read of a list of sections or keys: not modelled")
        name = run.text(path)
        if name is None:
            raise Fault("a profile read of win.ini (no file name): not modelled")
        return self.ini_text if name.lower() == self.config_path.lower() else None

    def GetPrivateProfileStringA(self, run, section, key, default, buffer, size, path):
        if run.text(default) not in (None, b""):
            raise Fault("GetPrivateProfileStringA with a default other than the empty text: not modelled")
        text = self.profile_text(run, section, key, path)
        run.check_writable(buffer, size, "GetPrivateProfileStringA's buffer")
        if size == 0:
            return 0
        value, count = ctypes.create_string_buffer(size), 0
        if text is None:
            self.failed(ERROR_FILE_NOT_FOUND)
        else:
            count = self.ini.emulated_ini_read_text(text, len(text), run.text(section), run.text(key),
                                                    value, size)
        run.write(buffer, value.raw[:count] + b"\0", "GetPrivateProfileStringA's buffer")
        return count

    def GetPrivateProfileIntA(self, run, section, key, default, path):
        text = self.profile_text(run, section, key, path)
        default = struct.unpack("<i", struct.pack("<I", default))[0]
        if text is None:
            return default
        return self.ini.emulated_ini_read_int(text, len(text), run.text(section), run.text(key), default)

    def RegOpenKeyExA(self, run, root, subkey, options, access, result):
        if root != HKEY_LOCAL_MACHINE or options != 0:
            raise Fault(f"RegOpenKeyExA below root {root:#x} with options {options:#x}: not modelled")
        if access & ~(KEY_READ | KEY_WOW64_64KEY | KEY_WOW64_32KEY):
            raise Fault(f"RegOpenKeyExA asks rights {access:#x} beyond KEY_READ: the launcher writes nothing")
        run.check_writable(result, 4, "RegOpenKeyExA's key")
        # A 32-bit program sees the 32-bit view unless it asks for the other one.
        view = 64 if access & KEY_WOW64_64KEY else 32
        path = run.text(subkey)
        if (self.registry_kind == "none" or view != self.registry_view or path is None
                or path.lower() != PRODUCT_KEY.lower()):
            return ERROR_FILE_NOT_FOUND
        handle, self.next_key = self.next_key, self.next_key + 4
        self.open_keys[handle] = path
        run.write(result, struct.pack("<I", handle), "RegOpenKeyExA's key")
        return 0

    def RegQueryValueExA(self, run, key, name, reserved, kind, data, size):
        if key not in self.open_keys or reserved != 0:
            raise Fault(f"RegQueryValueExA on {key:#x}, reserved {reserved:#x}: no open key, or not null")
        if run.text(name) not in (None, b""):
            raise Fault(f"RegQueryValueExA of value {quoted(run.text(name))}: only the default is modelled")
        if self.registry_kind == "key":
            return ERROR_FILE_NOT_FOUND
        value = self.registry_data
        if kind:
            run.write(kind, struct.pack("<I", REGISTRY_TYPES[self.registry_kind]), "RegQueryValueExA's type")
        if size == 0:
            if data:
                raise Fault("RegQueryValueExA with data but no size")
            return 0
        capacity = run.read_u32(size)
        run.write(size, struct.pack("<I", len(value)), "RegQueryValueExA's size")
        if data == 0:
            return 0
        run.check_writable(data, capacity, "RegQueryValueExA's data")
        if len(value) > capacity:
            return ERROR_MORE_DATA
        # Text stored without a terminator gets one where room is left, outside the size.
        if self.registry_kind in ("sz", "expand") and value[-1:] not in (b"", b"\0"):
            value += b"\0"[:capacity - len(value)]
        run.write(data, value, "RegQueryValueExA's data")
        return 0

    def RegCloseKey(self, run, key):
        if self.open_keys.pop(key, None) is None:
            raise Fault(f"RegCloseKey({key:#x}), which is no open key")
        return 0

    def FindWindowA(self, run, window_class, title):
        if 0 < window_class < 0x10000:
            raise Fault("FindWindowA by class atom: not modelled")
        wanted = (run.text(window_class), run.text(title))
        for window in self.windows:
            if all(want is None or want.lower() == have.lower() for want, have in zip(wanted, window)):
                return WINDOW_HANDLE
        self.failed(0)
        return 0

    def WinExec(self, run, command, show_state):
        line = run.text(command)
        if show_state != SW_SHOW:
            raise Fault(f"WinExec({quoted(line)}) with show state {show_state}, not SW_SHOW ({SW_SHOW})")
        if self.started:
            raise Fault(f"a second start, {quoted(line)}, after {quoted(self.started[0])}")
        self.started.append(line)
        if not self.refuses_start:
            return 33
        # WinExec gives 11 for an error code of 32 or more; CreateProcess's last error stays.
        self.refused = True
        self.failed(ERROR_ELEVATION_REQUIRED)
        return 11

    def GetLastError(self, run):
        if not self.previous_failed:
            previous = run.calls[-2] if len(run.calls) > 1 else "nothing"
            raise Fault(f"GetLastError after {previous}, which did not fail: its value means nothing")
        return self.last_error

    def GetFileAttributesA(self, run, path):
        name = run.text(path)
        if name is None:
            raise Fault("GetFileAttributesA(null)")
        if name.lower() in self.programs:
            return FILE_ATTRIBUTE_ARCHIVE
        if name.lower() in self.folders:
            return FILE_ATTRIBUTE_DIRECTORY
        self.failed(ERROR_FILE_NOT_FOUND)
        return INVALID_FILE_ATTRIBUTES

    def GetSystemDirectoryA(self, run, buffer, size):
        if len(SYSTEM_FOLDER) >= size:
            return len(SYSTEM_FOLDER) + 1
        run.write(buffer, SYSTEM_FOLDER + b"\0", "GetSystemDirectoryA's buffer")
        return len(SYSTEM_FOLDER)

    def LoadLibraryA(self, run, name):
        path = run.text(name)
        if path is None or path.lower() != SYSTEM_FOLDER.lower() + b"\\shell32.dll":
            raise Fault(f"LoadLibraryA({quoted(path)}): only SHELL32.DLL of the system folder may be loaded")
        if not self.refused:
            raise Fault("SHELL32 loaded although no start was refused for elevation")
        self.shell_loaded = True
        return SHELL32_HANDLE

    def GetProcAddress(self, run, module, name):
        if module != SHELL32_HANDLE or not self.shell_loaded:
            raise Fault(f"GetProcAddress in module {module:#x}, which LoadLibraryA did not give")
        if name < 0x10000:
            raise Fault(f"GetProcAddress by ordinal {name}: not modelled")
        return run.stub("shell32.dll", run.text(name).decode("latin-1"))

    def hand_over(self, run, window, verb, program, parameters, folder, show_state, via):
        if not self.refused or self.handed:
            raise Fault(f"{via} although no start was refused for elevation, or a second time")
        if window or verb or folder:
            raise Fault(f"{via}: window {window:#x}, verb {verb:#x} and folder {folder:#x} must be null")
        if show_state != SW_SHOW:
            raise Fault(f"{via}: show state {show_state}, not SW_SHOW ({SW_SHOW})")
        self.handed.append(run.text(program) + b"|" + (run.text(parameters) or b""))

    def ShellExecuteA(self, run, window, verb, program, parameters, folder, show_state):
        self.hand_over(run, window, verb, program, parameters, folder, show_state, "ShellExecuteA")
        return 42

    def ShellExecuteExA(self, run, info):
        fields = struct.unpack("<8I", run.read(info, 32))
        size, mask, window, verb, program, parameters, folder, show_state = fields
        if size != SHELLEXECUTEINFOA_SIZE or mask != SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI:
            raise Fault(f"ShellExecuteExA: cbSize {size}, fMask {mask:#x}, not {SHELLEXECUTEINFOA_SIZE}"
                        f" and SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI")
        self.hand_over(run, window, verb, program, parameters, folder, show_state, "ShellExecuteExA")
        run.write(info + 32, struct.pack("<I", 42), "SHELLEXECUTEINFOA's hInstApp")
        return 1


def skip_reason(scenario):
    how, _, why = scenario["native"]
    return why if how == "skip" else None


def play(image, scenario, ini):
    """Plays one scenario: (problems, instructions inside the image, Win32 calls)."""
    try:
        machine = Machine(scenario, ini)
    except Fault as fault:
        return [str(fault)], 0, []
    run = Run(image, machine)
    run.start()
    if run.fault is not None:
        return [run.fault], run.instructions, run.calls
    how, native_expect, _ = scenario["native"]
    expect = native_expect if how == "differs" else scenario["expect"]
    shell = dict(scenario["fields"]).get("expect-shell")
    expect_shell = scenario_table.decode(shell) if shell is not None else None
    started = machine.started[0] if machine.started else None
    handed = machine.handed[0] if machine.handed else None
    problems = []
    if run.exit_code != 0:
        problems.append(f"exit code {run.exit_code}, not 0")
    if started != expect:
        problems.append(f"expected {scenario_table.show(expect)}, got {scenario_table.show(started)}")
    if handed != expect_shell:
        problems.append(f"shell hand-over: expected {quoted(expect_shell)}, got {quoted(handed)}")
    if machine.open_keys:
        problems.append(f"{len(machine.open_keys)} registry keys left open")
    return problems, run.instructions, run.calls


def compact(calls):
    """The calls in order, each run of one name or of a pair of names folded as NAMExN or (A B)xN."""
    out, i = [], 0
    while i < len(calls):
        width, count = 1, 1
        for try_width in (1, 2):
            repeats = 1
            while calls[i + repeats * try_width:i + (repeats + 1) * try_width] == calls[i:i + try_width]:
                repeats += 1
            if repeats > 1 and repeats * try_width > width * count:
                width, count = try_width, repeats
        piece = " ".join(calls[i:i + width])
        out.append(piece if count == 1 else f"({piece})x{count}" if width == 2 else f"{piece}x{count}")
        i += width * count
    return " ".join(out)


def parse_arguments(description, *options):
    """EXE, the table and the INI library (by default those of this tree and its native build)."""
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("exe")
    parser.add_argument("--table", default=os.path.join(ROOT, "tests", "scenarios", "launcher.txt"))
    library = os.path.join(ROOT, "build", "native", "tests", "emulated", "libemulated_ini.so")
    parser.add_argument("--ini-library", default=library)
    for option, text in options:
        parser.add_argument(option, action="store_true", help=text)
    arguments = parser.parse_args()
    return arguments, scenario_table.read_table(arguments.table), load_ini_library(arguments.ini_library)


def main():
    began = time.monotonic()
    arguments, scenarios, ini = parse_arguments("Plays the scenario table against tovinel.exe in Unicorn.",
                                                ("--costs", "only the two typical runs, with their costs"))
    scenarios = scenarios[:2] if arguments.costs else scenarios
    with open(arguments.exe, "rb") as exe:
        try:
            image = Image(exe.read())
        except Fault as fault:
            print(f"{arguments.exe}: cannot be loaded: {fault}")
            return 1
    print(f"{arguments.exe}: loaded at {image.base:#x} (preferred {image.preferred:#x}), "
          f"{image.relocations} relocations applied, {len(image.imports)} imports\n")
    played = failed = instructions = calls = 0
    for scenario in scenarios:
        reason = skip_reason(scenario)
        if reason is not None:
            print(f"skip  {scenario['name']}\n      native: skip {reason}")
            continue
        problems, count, made = play(image, scenario, ini)
        played, failed = played + 1, failed + bool(problems)
        instructions, calls = instructions + count, calls + len(made)
        if arguments.costs:
            calls_line = textwrap.fill(f"{len(made)} Win32 calls: {compact(made)}", 96, subsequent_indent="  ")
            print(f"{scenario['name']}\n{textwrap.indent(calls_line, '    ')}\n"
                  f"    {count} instructions inside the image")
        else:
            print(f"{'FAIL' if problems else 'ok':5} {scenario['name']}\n      {count} instructions inside "
                  f"the image, {len(made)} Win32 calls: {compact(made)}")
        for problem in problems:
            print(f"      {problem}")
    print(f"\nemulated scenarios: {played} played, {failed} failed, {len(scenarios) - played} skipped, in "
          f"{time.monotonic() - began:.2f} s: {instructions} instructions inside the image, {calls} Win32 "
          f"calls")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
