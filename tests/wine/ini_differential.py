#!/usr/bin/python3
# Tovinel Wine tests: the INI stand-in (simulated_windows/ini_reader.cpp) against Wine's own
# GetPrivateProfileStringA / GetPrivateProfileIntA, on a generated corpus of .ini files.
# Usage: ini_differential.py NATIVE_QUERY_TOOL PROFILE_READER_EXE PREFIX WORK_DIR ALLOW_LIST
# Every difference must be listed in ALLOW_LIST with its reason, and every listed one must occur.
import os
import shutil
import subprocess
import sys
import time

import wine_session

# The queries asked of every file unless a case names its own: (kind, section, key, number), where
# kind T reads text into `number` bytes and kind I reads an integer with `number` as default.
COMMON = [("T", "Setup", "Run", 260), ("T", "Setup", "WindowClass", 80), ("T", "Setup", "Run", 5),
          ("I", "Application", "Start", 0), ("T", "Application", "RegKey", 260), ("T", "setup", "run", 260)]


def starts(*values):
    """An [Application] Start= file per value, each read as an integer with two defaults."""
    return [(f"start {value!r}", b"[Application]\r\nStart=" + value + b"\r\n",
             [("I", "Application", "Start", 0), ("I", "Application", "Start", 7),
              ("T", "Application", "Start", 260)]) for value in values]


def corpus():
    """Every case as (name, file bytes or None for no file, queries or None for COMMON)."""
    long_value = b"V" * 300
    cases = [
        ("plain CRLF", b"[Setup]\r\nRun=SETUP.EXE\r\nWindowClass=W\r\n[Application]\r\nStart=1\r\n", None),
        ("LF endings", b"[Setup]\nRun=SETUP.EXE\nWindowClass=W\n[Application]\nStart=1\n", None),
        ("CR endings", b"[Setup]\rRun=SETUP.EXE\rWindowClass=W\r", None),
        ("no final line break", b"[Setup]\r\nRun=SETUP.EXE", None),
        ("mixed endings and empty lines", b"\r\n\n[Setup]\n\r\n  \r\nRun=A\r\n\nWindowClass=W", None),
        ("comments", b"; a comment\r\n[Setup]\r\n;Run=COMMENT\r\n  ; Run=X\r\nRun=A ; not a comment\r\n", None),
        ("hash is no comment", b"[Setup]\r\n#Run=HASH\r\nRun=A\r\n",
         [("T", "Setup", "#Run", 260), ("T", "Setup", "Run", 260)]),
        ("blanks and tabs around names and values",
         b" \t[ \tSetup\t ]  \r\n \t Run \t= \t SETUP.EXE \t \r\n\tWindowClass\t=\tW X\t\r\n", None),
        ("vertical tab, form feed and ^Z as blanks", b"[Setup]\r\n\x0bRun\x0c=\x1aA\x1a\x0b\r\n", None),
        ("text after the closing bracket", b"[Setup] trailing\r\nRun=A\r\n", None),
        ("header without a closing bracket", b"[Setup\r\nRun=A\r\n", None),
        ("bracket inside a section name", b"[Se]tup]\r\nRun=A\r\n[Setup]\r\nRun=B\r\n",
         [("T", "Se", "Run", 260), ("T", "Se]tup", "Run", 260), ("T", "Setup", "Run", 260)]),
        ("double quotes stripped", b"[Setup]\r\nRun=\"SETUP.EXE\"\r\nWindowClass=\" spaced \"\r\n", None),
        ("single quotes stripped", b"[Setup]\r\nRun='SETUP.EXE'\r\n", None),
        ("mismatched quotes kept", b"[Setup]\r\nRun=\"SETUP.EXE'\r\nWindowClass=\"W\r\n", None),
        ("empty quotes and a lone quote", b"[Setup]\r\nRun=\"\"\r\nWindowClass=\"\r\n", None),
        ("quote inside a value", b"[Setup]\r\nRun=a\"b\"\r\n", None),
        ("repeated section: the first counts", b"[Setup]\r\nRun=FIRST\r\n[Other]\r\n[Setup]\r\nRun=SECOND\r\nWindowClass=W\r\n", None),
        ("repeated key: the first counts", b"[Setup]\r\nRun=FIRST\r\nrun=SECOND\r\n", None),
        ("key without '=' hides a later one", b"[Setup]\r\nRun\r\nRun=LATER\r\n", None),
        ("names of mixed case", b"[sEtUp]\r\nrUN=A\r\nwINDOWcLASS=W\r\n[APPLICATION]\r\nSTART=1\r\n", None),
        ("value longer than the buffers", b"[Setup]\r\nRun=" + long_value + b"\r\nWindowClass=" + long_value + b"\r\n", None),
        ("quoted value of 259 bytes inside the quotes",
         b"[Setup]\r\nRun=\"" + b"Q" * 259 + b"\"\r\nWindowClass=\"" + b"Q" * 79 + b"\"\r\n", None),
        ("quoted value of 258 bytes inside the quotes", b"[Setup]\r\nRun=\"" + b"Q" * 258 + b"\"\r\n", None),
        ("unquoted value of exactly 259 bytes", b"[Setup]\r\nRun=" + b"U" * 259 + b"\r\n", None),
        ("long section and key names", b"[" + b"S" * 300 + b"]\r\n" + b"K" * 300 + b"=A\r\n",
         [("T", "S" * 300, "K" * 300, 260), ("T", "S" * 299, "K" * 300, 260)]),
        ("value containing '='", b"[Setup]\r\nRun=a=b\r\n", None),
        ("empty value", b"[Setup]\r\nRun=\r\nWindowClass=   \r\n[Application]\r\nStart=\r\n", None),
        ("empty file", b"", None),
        ("missing file", None, None),
        ("lines before the first header", b"Run=NOWHERE\r\n[Setup]\r\nWindowClass=W\r\n",
         [("T", "Setup", "Run", 260), ("T", "", "Run", 260)]),
        ("empty section name", b"[]\r\nRun=EMPTY\r\n", [("T", "", "Run", 260)]),
        ("empty key name", b"[Setup]\r\n=EMPTYKEY\r\n", [("T", "Setup", "", 260)]),
        ("requested names with spaces", b"[Setup]\r\nRun=A\r\n",
         [("T", " Setup ", " Run ", 260), ("T", "Setup", "Run  ", 260)]),
        ("requested names with tabs", b"[Setup]\r\nRun=A\r\n", [("T", "\tSetup", "Run\t", 260)]),
        ("NUL inside a value", b"[Setup]\r\nRun=A\x00B\r\nWindowClass=W \x00X\r\n", None),
        ("NUL inside a key name", b"[Setup]\r\nR\x00un=A\r\nRun=B\r\n", None),
        ("NUL inside a section name", b"[Set\x00up]\r\nRun=A\r\n[Setup]\r\nRun=B\r\n",
         [("T", "Set", "Run", 260), ("T", "Setup", "Run", 260)]),
        ("bytes above 0x7F in names and values", b"[S\xe9tup]\r\nR\xfcn=\xe9\xe8\r\n[Setup]\r\nRun=\xff\xfe\r\n",
         [("T", "S\xe9tup", "R\xfcn", 260), ("T", "S\xc9tup", "R\xfcn", 260), ("T", "Setup", "Run", 260)]),
        ("UTF-8 byte-order mark before a header", b"\xef\xbb\xbf[Setup]\r\nRun=A\r\n", None),
        ("UTF-8 byte-order mark before a comment", b"\xef\xbb\xbf; c\r\n[Setup]\r\nRun=A\r\n", None),
        ("UTF-16 with a byte-order mark", b"\xff\xfe" + "[Setup]\r\nRun=A\r\n".encode("utf-16-le"), None),
        ("1 MiB of comments, then a section", (b";" + b"x" * 61 + b"\r\n") * 16384
         + b"[Setup]\r\nRun=END\r\n", None),
    ]
    cases += starts(b"1", b"0", b"-1", b"+5", b"0x1F", b"0X1F", b"12abc", b"abc", b" 7", b"0o17",
                    b"0b101", b"4294967297", b"99999999999", b"-0x10", b"- 3", b"1 2", b"\"5\"",
                    b"0" * 40 + b"9", b"\t\t3")
    return cases


def escape(text):
    data = text.encode("latin-1") if isinstance(text, str) else text
    return "".join(chr(b) if 0x20 < b < 0x7F and b != 0x25 else f"%{b:02X}" for b in data)


def main():
    native_tool, reader, prefix, work, allow_list = sys.argv[1:]
    wine_session.skip_unless_wine_runs("the INI differential test")
    began = time.monotonic()
    shutil.rmtree(work, ignore_errors=True)
    files = os.path.join(work, "files")
    os.makedirs(files)
    queries = []   # (case name, query)
    lines = []
    for number, (name, data, asked) in enumerate(corpus()):
        file_name = f"case{number:03}.ini"
        if data is not None:
            with open(os.path.join(files, file_name), "wb") as out:
                out.write(data)
        for query in asked or COMMON:
            kind, section, key, arg = query
            queries.append((name, query))
            lines.append("\t".join([kind, file_name, escape(section), escape(key), str(arg)]) + "\n")
    query_file = os.path.join(work, "queries.txt")
    with open(query_file, "w", encoding="latin-1") as out:
        out.writelines(lines)

    native_out = os.path.join(work, "native.txt")
    subprocess.run([native_tool, query_file, files, native_out], check=True)
    wine_out = os.path.join(work, "wine.txt")
    with wine_session.Session(prefix, display=False) as session:
        session.run([reader, wine_session.unix_to_windows(query_file), wine_session.unix_to_windows(files),
                     wine_session.unix_to_windows(wine_out)], check=True, timeout=120)
    with open(native_out, encoding="latin-1") as a, open(wine_out, encoding="latin-1") as b:
        native_answers, wine_answers = a.read().splitlines(), b.read().splitlines()
    if len(native_answers) != len(queries) or len(wine_answers) != len(queries):
        sys.exit(f"answers missing: {len(queries)} queries, {len(native_answers)} native, {len(wine_answers)} Wine")

    allowed = {}
    with open(allow_list, encoding="utf-8") as listing:
        for line in listing:
            if line.strip() and not line.startswith("#"):
                name, _, reason = line.rstrip("\n").partition(": ")
                allowed[name] = reason
    differing = {}
    for (name, query), mine, theirs in zip(queries, native_answers, wine_answers):
        if mine != theirs:
            kind, section, key, arg = query
            differing.setdefault(name, []).append(
                f"{kind} [{escape(section)}] {escape(key)} {arg}: stand-in {mine!r}, Wine {theirs!r}")
    failed = False
    for name, details in differing.items():
        if name in allowed:
            print(f"known  {name}: {allowed[name]}\n       " + "\n       ".join(details))
        else:
            failed = True
            print(f"DIFFER {name} (not in {os.path.basename(allow_list)})\n       " + "\n       ".join(details))
    for name in allowed:
        if name not in differing:
            failed = True
            print(f"STALE  {name}: listed as a difference, but the stand-in and Wine agree")
    shutil.rmtree(work, ignore_errors=True)
    print(f"\nINI differential: {len(queries)} reads of {len(corpus())} files, {len(differing)} files "
          f"differ ({len(allowed)} listed) in {time.monotonic() - began:.1f} s")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
