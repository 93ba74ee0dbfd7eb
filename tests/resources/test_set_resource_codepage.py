# Tovinel: checks of tools/steps/set_resource_codepage.py on good and broken executables.
# Builds each case from a linked exe (argv[1]), runs the tool on it and reads the result with pefile.
"""Usage: /usr/bin/python3 tests/resources/test_set_resource_codepage.py path/to/linked.exe"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

import pefile

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir, "tools", "steps", "set_resource_codepage.py")


def layout(data):
    """Offsets of the fields the cases touch, found by pefile, not by the tool under test."""
    pe = pefile.PE(data=data)
    rsrc = pe.OPTIONAL_HEADER.DATA_DIRECTORY[2].VirtualAddress
    root = pe.get_offset_from_rva(rsrc)
    leaves = [lang for t in pe.DIRECTORY_ENTRY_RESOURCE.entries for n in t.directory.entries
              for lang in n.directory.entries]
    return {
        "pe": pe, "root": root,
        "checksum": pe.OPTIONAL_HEADER.get_file_offset() + 64,
        "resource_dir": pe.OPTIONAL_HEADER.DATA_DIRECTORY[2].get_file_offset(),
        "codepages": [lang.data.struct.get_file_offset() + 8 for lang in leaves],
        "first_leaf": leaves[0].data.struct.get_file_offset(),
        # the first type's subdirectory pointer, and the first language entry's pointer
        "type_pointer": root + 16 + 4,
        "language_pointer": pe.get_offset_from_rva(
            rsrc + (pe.DIRECTORY_ENTRY_RESOURCE.entries[0].directory.entries[0].struct.OffsetToData
                    & 0x7FFFFFFF)) + 16 + 4,
    }


def put(data, offset, value, fmt="<I"):
    out = bytearray(data)
    struct.pack_into(fmt, out, offset, value)
    return bytes(out)


def run(args):
    done = subprocess.run([sys.executable, TOOL] + args, capture_output=True, text=True)
    return done.returncode, done.stdout + done.stderr


def checksum_of(data):
    return struct.unpack_from("<I", data, layout(data)["checksum"])[0]


def changed_offsets(a, b):
    return [i for i, (x, y) in enumerate(zip(a, b)) if x != y] if len(a) == len(b) else "sizes differ"


def main(argv):
    with open(argv[0], "rb") as f:
        built = f.read()
    at = layout(built)
    # What the linker hands over: code pages 0, checksum valid (ld writes one).
    linked = built
    for offset in at["codepages"]:
        linked = put(linked, offset, 0)
    linked = put(linked, at["checksum"], pefile.PE(data=linked).generate_checksum())
    without_checksum = put(linked, at["checksum"], 0)
    allowed = sorted({i for o in at["codepages"] + [at["checksum"]] for i in range(o, o + 4)})

    work = tempfile.mkdtemp(prefix="tovinel-codepage-")
    facts = []
    try:
        def case(name, data, out=None):
            path = os.path.join(work, name.replace(" ", "_") + ".exe")
            with open(path, "wb") as f:
                f.write(data)
            args = [path] + ([os.path.join(work, out)] if out else [])
            status, message = run(args)
            result = None
            if os.path.exists(args[-1]):
                with open(args[-1], "rb") as f:
                    result = f.read()
            with open(path, "rb") as f:
                source = f.read()
            return status, message, source, result

        # Good inputs: as linked, without a checksum, and already patched.
        for name, data in [("linked", linked), ("checksum zero", without_checksum), ("patched", built)]:
            status, message, _, result = case(name, data)
            facts.append((name + ": exit status", 0, status))
            if status != 0:
                print(message, end="")
                continue
            pe = pefile.PE(data=result)
            codepages = [struct.unpack_from("<I", result, o)[0] for o in at["codepages"]]
            facts.append((name + ": every code page 1252", [1252] * len(codepages), codepages))
            facts.append((name + ": only code pages and checksum changed", True,
                          set(changed_offsets(data, result)) <= set(allowed)))
            expected_sum = pe.generate_checksum() if checksum_of(data) else 0
            facts.append((name + ": checksum valid, or zero when it was", expected_sum, checksum_of(result)))
        facts.append(("already patched input comes out unchanged", built, case("again", built)[3]))
        status, _, source, result = case("to new file", linked, out="new.exe")
        facts.append(("to a new file: input untouched", (0, linked), (status, source)))
        facts.append(("to a new file: same output as in place", case("in place", linked)[3], result))

        # Broken inputs: the tool must refuse, say why, and leave the file as it was.
        truncated_at = at["pe"].get_offset_from_rva(at["pe"].OPTIONAL_HEADER.DATA_DIRECTORY[2].VirtualAddress) + 100
        broken = [
            ("empty file", b"", "truncated"),
            ("text file", b"MZ is not enough" * 2, "truncated"),
            ("no MZ", b"ZM" + linked[2:], "no MZ"),
            ("PE header offset past the end", put(linked, 0x3C, len(linked) + 8), "truncated"),
            ("no PE signature", put(linked, struct.unpack_from("<I", linked, 0x3C)[0], 0), "no PE signature"),
            ("no resource directory", put(linked, at["resource_dir"], 0), "no resource directory"),
            ("resource directory in no section", put(linked, at["resource_dir"], 0x7FFF0000), "no section"),
            ("cut inside the resource section", linked[:truncated_at], "truncated"),
            ("subdirectory outside the section", put(linked, at["type_pointer"], 0x8FFFFF00), "outside"),
            ("entry count past the section", put(linked, at["root"] + 14, 0xFFFF, "<H"), "outside"),
            ("loop back to the root", put(linked, at["type_pointer"], 0x80000000), "loop"),
            ("language level points to a directory", put(linked, at["language_pointer"], 0x80000000),
             "deeper"),
            ("data outside the section", put(linked, at["first_leaf"], 0x7FFF0000), "outside"),
        ]
        for name, data, reason in broken:
            status, message, source, _ = case(name, data)
            facts.append((name + ": refused with a reason", (1, True, True),
                          (status, "error" in message, reason in message)))
            facts.append((name + ": file untouched", data, source))
        facts.append(("no temporary files left behind", [],
                      [n for n in os.listdir(work) if n.startswith(".")]))
    finally:
        shutil.rmtree(work)

    failed = 0
    for name, expected, actual in facts:
        if expected != actual:
            failed += 1
            shown = [v if not isinstance(v, bytes) else "<%d bytes>" % len(v) for v in (expected, actual)]
            print("FAIL %s\n  expected: %r\n  actual:   %r" % (name, shown[0], shown[1]))
    print("%d passed, %d failed" % (len(facts) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1:]))
