#!/usr/bin/python3
# Tovinel tests: the emulated runner must catch faults in the shipped bytes. Each fault is a few bytes
# changed in a copy of tovinel.exe, at a site found by pattern in objdump's disassembly (or in the
# relocations), so that the sites follow the code across rebuilds. The unchanged file must pass every
# scenario; each changed copy must fail one, and for the reason its fault should cause.
# Usage: catch_faults.py [--table FILE] [--ini-library FILE] EXE
import re
import struct
import subprocess
import sys
import time

import pefile

import run_emulated
from run_emulated import LOAD_BASE

LINE = re.compile(r"^\s*([0-9a-f]+):\t([0-9a-f ]+?)\s*(?:\t(.*))?$")


class Program:
    """The executable's bytes, with its disassembly, import slots and relocations at hand."""

    def __init__(self, path):
        with open(path, "rb") as exe:
            self.data = exe.read()
        self.pe = pefile.PE(data=self.data)
        self.base = self.pe.OPTIONAL_HEADER.ImageBase
        self.entry = self.base + self.pe.OPTIONAL_HEADER.AddressOfEntryPoint
        self.slots = {function.name.decode(): function.address for entry in self.pe.DIRECTORY_ENTRY_IMPORT
                      for function in entry.imports if function.name}
        listing = subprocess.run(["i686-w64-mingw32-objdump", "-d", "-z", path], check=True,
                                 capture_output=True, text=True).stdout
        self.code = []    # [address, bytes, text]; a long instruction's bytes go on over more lines
        for match in filter(None, map(LINE.match, listing.splitlines())):
            address, raw, text = int(match.group(1), 16), bytes.fromhex(match.group(2)), match.group(3)
            if text is None and self.code:
                self.code[-1][1] += raw
            else:
                self.code.append([address, raw, text or ""])

    def offset(self, address):
        return self.pe.get_offset_from_rva(address - self.base)

    def calls_of(self, name):
        """The indexes of the instructions that call the import `name` through its slot."""
        call = f"call   *0x{self.slots[name]:x}"
        return [i for i, (_, _, text) in enumerate(self.code) if text.startswith(call)]

    def find(self, start, step, pattern, limit):
        """The first of `limit` instructions from index `start` on, walking by `step`, like `pattern`."""
        for i in range(start, start + step * limit, step):
            if 0 <= i < len(self.code) and re.search(pattern, self.code[i][2]):
                return i
        raise LookupError(f"no instruction like {pattern!r} near {self.code[start][0]:#x}")

    def patch(self, index, old, new):
        """Changes the bytes `old` inside instruction `index` to `new`: (file offset, new bytes)."""
        address, raw, text = self.code[index]
        if old not in raw:
            raise LookupError(f"no {old.hex()} in {address:#x}: {text}")
        return self.offset(address) + raw.index(old), new


def show_state(program):
    call = program.calls_of("WinExec")[0]
    store = program.find(call - 1, -1, r"^(movl\s+\$0x5,0x4\(%esp\)|push\s+\$0x5)$", 8)
    return program.patch(store, b"\x05", b"\x00")


def elevation_test(program):
    compare = program.find(program.calls_of("GetLastError")[0] + 1, 1, r"^cmp\s+\$0x2e4,", 3)
    return program.patch(compare, b"\xe4\x02", b"\xe5\x02")


def dropped_relocation(program):
    """The relocation of the slot address in the entry's call of GetCommandLineA becomes padding."""
    address, raw, _ = program.code[program.calls_of("GetCommandLineA")[0]]
    target = address + raw.index(struct.pack("<I", program.slots["GetCommandLineA"])) - program.base
    directory = program.pe.OPTIONAL_HEADER.DATA_DIRECTORY[5]
    block = directory.VirtualAddress
    while block < directory.VirtualAddress + directory.Size:
        page, size = struct.unpack("<II", program.pe.get_data(block, 8))
        for at in range(block + 8, block + size, 2):
            if struct.unpack("<H", program.pe.get_data(at, 2))[0] == 0x3000 | (target - page):
                return program.pe.get_offset_from_rva(at), b"\x00\x00"
        block += size
    raise LookupError(f"no relocation of {target:#x}")


def extra_call_after_start(program):
    """The test of WinExec's answer sends a started program down the failure path, which asks
    GetLastError."""
    compare = program.find(program.calls_of("WinExec")[0] + 1, 1, r"^cmp\s+\$0x1f,", 4)
    branch = program.find(compare + 1, 1, r"^j", 1)
    address, raw, text = program.code[branch]
    if text.startswith("ja "):     # taken on success: never
        return program.offset(address), b"\x90" * len(raw)
    if text.startswith("jbe "):    # taken on failure: always
        return program.offset(address), (b"\xeb" if len(raw) == 2 else b"\x90\xe9")
    raise LookupError(f"no ja or jbe after cmp $0x1f at {address:#x}: {text}")


def drifted_stack(program):
    """A caller puts back 4 bytes less of its argument room than the stdcall callee popped."""
    for (_, _, text), (address, raw, _) in zip(program.code, program.code[1:]):
        if text.startswith("call   *0x") and raw[:2] == b"\x83\xec" and raw[2] >= 4:    # sub $N,%esp
            return program.offset(address) + 2, bytes([raw[2] - 4])
    raise LookupError("no import call followed by sub $N,%esp")


def shell_function_without_stub(program):
    match = re.search(rb"ShellExecute(Ex)?A\0", program.data)
    if match is None:
        raise LookupError("no ShellExecuteA or ShellExecuteExA in the file")
    return match.end() - 2, b"W"


def jump_into_headers(program):
    return program.offset(program.entry), b"\xe9" + struct.pack("<i", program.base - program.entry - 5)


def endless_loop(program):
    return program.offset(program.entry), b"\xeb\xfe"


def dropped_pop(program):
    """The first epilogue's pop %ebx becomes a nop: its ret finds the saved register."""
    for i, (address, _, text) in enumerate(program.code):
        if text.startswith("pop    %ebx") and any(t.startswith("ret") for *_, t in program.code[i + 1:i + 6]):
            return program.offset(address), b"\x90"
    raise LookupError("no epilogue with pop %ebx")


# What is changed, where, and what the first scenario to fail must say.
FAULTS = [
    ("WinExec's show state SW_SHOW (5) made SW_HIDE (0)", show_state, r"WinExec\(.*\) with show state 0,"),
    ("the 740 test after GetLastError made 741", elevation_test,
     r"^shell hand-over: expected .*, got nothing$"),
    ("a base relocation dropped", dropped_relocation, r"preferred base: an address left unrelocated"),
    ("an extra import call: a started program taken for a failed one", extra_call_after_start,
     r"^GetLastError after WinExec, which did not fail"),
    ("a stack that drifts: a caller restores 4 bytes too few", drifted_stack,
     r"the stack drifted by \+4 bytes$"),
    ("a call of a SHELL32 function without a stub", shell_function_without_stub,
     r"^call of shell32.dll!ShellExecute(Ex)?W, an import without a stub$"),
    ("execution outside the code: the entry jumps into the headers", jump_into_headers,
     rf"^execution outside the image's code and the stubs, at non-code memory at {LOAD_BASE:#x} "),
    ("an endless loop at the entry point", endless_loop, r"^ran past the bound of \d+ instructions"),
    ("a pop dropped from an epilogue", dropped_pop, r"^ret at 0x[0-9a-f]+ finds 0x"),
]


def first_failure(data, scenarios, ini):
    """The first scenario that fails on `data` and its first problem, or None when all pass."""
    try:
        image = run_emulated.Image(data)
    except run_emulated.Fault as fault:
        return "(loading)", str(fault)
    for scenario in scenarios:
        if run_emulated.skip_reason(scenario) is None:
            problems, _, _ = run_emulated.play(image, scenario, ini)
            if problems:
                return scenario["name"], problems[0]
    return None


def main():
    began = time.monotonic()
    arguments, scenarios, ini = run_emulated.parse_arguments("Shows that the emulated runner catches faults.")
    program = Program(arguments.exe)
    failure = first_failure(program.data, scenarios, ini)
    print(f"unchanged: {'every scenario passes' if failure is None else 'FAILS: %s: %s' % failure}")
    missed = failure is not None
    for what, locate, reason in FAULTS:
        try:
            at, replacement = locate(program)
        except LookupError as error:
            print(f"\nNOT PLAYED: {what}: {error}")
            missed = True
            continue
        data = bytearray(program.data)
        print(f"\n{what}\n    at file offset {at:#x}: {data[at:at + len(replacement)].hex()} -> "
              f"{replacement.hex()}")
        data[at:at + len(replacement)] = replacement
        failure = first_failure(bytes(data), scenarios, ini)
        if failure is None or not re.search(reason, failure[1]):
            got = "every scenario passes" if failure is None else failure[1]
            print(f"    NOT CAUGHT as expected ({reason}): {got}")
            missed = True
        else:
            print(f"    caught by {failure[0]}:\n    {failure[1]}")
    print(f"\n{'some faults were NOT caught' if missed else 'every fault caught'}, in "
          f"{time.monotonic() - began:.1f} s")
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
