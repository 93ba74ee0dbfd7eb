#!/usr/bin/python3
# Tovinel fuzzing: writes the seed corpora in tests/fuzz/corpus, one meaningful case per file.
# Each seed is laid out as the target's comment describes; rerun after changing a layout.
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def u16(n):
    return struct.pack("<H", n)


def text(value, count=None, terminated=False):
    """A profile text answer: honest unless a count is given."""
    if count is None:
        return b"\0" + u16(len(value)) + value
    return bytes([1 | (2 if terminated else 0)]) + u16(len(value)) + value + hostile(count)


def hostile(count):
    """A hostile count: any u16 (the byte before it has bit 7 clear)."""
    return b"\0" + u16(count)


def module(path, mode=0, count=None):
    return bytes([mode]) + u16(len(path)) + path + (hostile(count) if mode == 3 else b"")


def query(data, mode=0, size=None):
    return bytes([mode]) + u16(len(data)) + data + (hostile(size) if mode & 1 else b"")


def decision(tail, *answers):
    return u16(len(tail)) + tail + b"".join(answers)


# Lead-byte layouts of the targets that take one: flags, first and last lead byte. Code page 932's
# first range, 0x81-0x9F, holds the lead bytes of the names below.
SINGLE_BYTE = b"\0\0\0"
CODE_PAGE_932 = b"\1\x81\x9f"
REGKEY = b"SOFTWARE\\Maker\\Product"
MODULE = module(b"D:\\TOVINEL.EXE")
NO_WINDOW = text(b"") + text(b"")
OPEN, NOT_OPEN, FOUND, NOT_FOUND = b"\1", b"\0", b"\1", b"\0"
# Start answers (started is what an exhausted input gives) and file lookups.
FAILED, NEEDS_ELEVATION = b"\1", b"\2"
FILE, NO_FILE = b"\1", b"\0"

SEEDS = {
    "command_line_tail": {
        "plain": b"\0\0\0D:\\TOVINEL.EXE /x",
        "quoted_with_blanks": b"\0\0\0\"D:\\My Disc\\TOVINEL.EXE\"   a b",
        "lead_byte_takes_quote": b"\1\x81\x9f\"D:\\\x81\"X.EXE\" tail",
        "lead_byte_before_end": b"\1\x81\x9f\"D:\\X\x81",
        "unclosed_quote": b"\0\0\0\"D:\\A B.EXE x",
        "control_bytes": b"\0\0\0L.EXE\t\x01\x1f a\tb",
        "leading_blank": b"\0\0\0 D:\\L.EXE /x",
    },
    "launcher_folder": {
        "drive_root": SINGLE_BYTE + module(b"D:\\TOVINEL.EXE"),
        "subfolder": SINGLE_BYTE + module(b"D:\\SUB\\DIR\\TOVINEL.EXE"),
        "network": SINGLE_BYTE + module(b"\\\\server\\share\\dir\\TOVINEL.EXE"),
        "no_backslash": SINGLE_BYTE + module(b"TOVINEL.EXE"),
        "no_name": SINGLE_BYTE + module(b"", mode=2),
        "folder_248_fits": SINGLE_BYTE + module(b"D:\\" + b"d" * 244 + b"\\L.EXE"),
        "folder_249_too_long": SINGLE_BYTE + module(b"D:\\" + b"d" * 245 + b"\\L.EXE"),
        "cut_terminated": SINGLE_BYTE + module(b"D:\\" + b"n" * 300),
        "cut_unterminated": SINGLE_BYTE + module(b"D:\\" + b"n" * 300, mode=1),
        "count_short_of_text": SINGLE_BYTE + module(b"D:\\DIR\\L.EXE", mode=3, count=4),
        "count_past_text": SINGLE_BYTE + module(b"D:\\L.EXE\0\\X\\", mode=3, count=12),
        "code_page_932_name": CODE_PAGE_932 + module(b"D:\\DISC\\\x83\x5c.exe"),
        "code_page_932_folder": CODE_PAGE_932 + module(b"D:\\\x95\x5c\x8e\xa6\\tovinel.exe"),
        "code_page_932_lead_byte_at_end": CODE_PAGE_932 + module(b"D:\\X\x81"),
    },
    "ini_reader": {
        "medium_run": u16(260) + b"\2" + open(os.path.join(HERE, "../../examples/medium/Tovinel.ini"), "rb").read(),
        "crlf_quotes_comments": u16(260) + b"\2" +
            b"; comment\r\n[ setup ]\r\n  run = \"SETUP.EXE /s\" \r\n[Setup]\r\nRun=second\r\n",
        "cut_quoted_value": u16(5) + b"\2" + b"[Setup]\nRun='abcdefgh'\n",
        "nul_in_name_and_value": u16(260) + b"\2" + b"[Setup]\nR\0x=1\nRun=SET\0UP.EXE\n",
        "line_across_read_pieces": u16(1000) + b"\2" + b"[Setup]\n" + b" " * 4090 + b"Run=" + b"v" * 300 + b"\n",
        "header_without_bracket": u16(80) + b"\3" + b"[Setup\rWindowClass=W\r",
        "integer_hex": u16(30) + b"\1" + b"[Application]\nStart=-0x1F\n",
        "key_without_equals": u16(260) + b"\2" + b"[Setup]\nRun\nRun=hidden\n",
        "own_names": u16(16) + b"\xc0\x02ab\x03 c " + b"[ab]\nc=value\n",
        "capacity_zero": u16(0) + b"\2" + b"[Setup]\nRun=x\n",
    },
    "launch_decision": {
        "setup": decision(b"", MODULE, text(b""), NO_WINDOW, text(b"SETUP.EXE")),
        "setup_window_open": decision(b"", MODULE, text(REGKEY), NOT_OPEN, text(b"SetupWnd"), text(b""),
                                      FOUND),
        "setup_window_closed": decision(b"-q", MODULE, text(b""), text(b"SetupWnd"), text(b"Setup"),
                                        NOT_FOUND, text(b"SETUP\\SETUP.EXE /s")),
        "setup_from_share_root": decision(b"", module(b"\\\\server\\share\\dir\\T.EXE"), text(b""), NO_WINDOW,
                                          text(b"\\SETUP.EXE")),
        "setup_from_drive_root": decision(b"/x", module(b"D:\\DISC1\\T.EXE"), text(b""), NO_WINDOW,
                                          text(b"\\SETUP.EXE")),
        "installed_start": decision(b"/cd", MODULE, text(REGKEY), OPEN, b"\1", query(b"C:\\APP\\APP.EXE\0")),
        "installed_no_start": decision(b"", MODULE, text(REGKEY), OPEN, b"\0"),
        "installed_no_value": decision(b"", MODULE, text(REGKEY), OPEN, b"\1", query(b"", mode=2)),
        "installed_binary_260": decision(b"", MODULE, text(REGKEY), OPEN, b"\1", query(b"B" * 260)),
        "installed_size_lies": decision(b"", MODULE, text(REGKEY), OPEN, b"\1",
                                        query(b"C:\\A.EXE", mode=3, size=20)),
        "installed_size_past_buffer": decision(b"", MODULE, text(REGKEY), OPEN, b"\1",
                                               query(b"C:\\" + b"A" * 300, mode=3, size=261)),
        "regkey_count_lies": decision(b"", MODULE, text(b"", count=5, terminated=True), NO_WINDOW,
                                      text(b"SETUP.EXE")),
        "run_count_lies": decision(b"", MODULE, text(b""), NO_WINDOW, text(b"", count=9)),
        "command_259": decision(b"t" * (259 - 3 - 9 - 1), MODULE, text(b""), NO_WINDOW, text(b"SETUP.EXE")),
        "command_260": decision(b"t" * (260 - 3 - 9 - 1), MODULE, text(b""), NO_WINDOW, text(b"SETUP.EXE")),
        "cut_module_path": decision(b"", module(b"D:\\" + b"n" * 300, mode=1)),
        "setup_needs_elevation": decision(b"/x", module(b"D:\\My Disc\\T.EXE"), text(b""), NO_WINDOW,
                                          text(b"SETUP.EXE"), NEEDS_ELEVATION, NO_FILE, FILE),
        "setup_fails": decision(b"/x", MODULE, text(b""), NO_WINDOW, text(b"SETUP.EXE"), FAILED),
        "installed_needs_elevation": decision(b"-x", MODULE, text(REGKEY), OPEN, b"\1",
                                              query(b"\"C:\\My App\\APP.EXE\" /r\0"), NEEDS_ELEVATION),
    },
}

for target, seeds in SEEDS.items():
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
