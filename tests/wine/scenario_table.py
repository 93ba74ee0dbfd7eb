# Tovinel tests: reader of the scenario table (tests/scenarios/launcher.txt) for the Python runners.
# The native runner reads the same file with its own reader in tests/launcher/test_scenarios.cpp.
import re

FIELDS = {"scenario", "codepage", "folder", "exe", "command", "ini-name", "ini", "ini-lf", "ini-bytes",
          "ini-repeat", "ini-random", "ini-utf16", "registry", "registry-view", "window", "program",
          "expect", "start-answer", "expect-shell", "wine", "wine-why", "native", "native-why"}
CODE_PAGES = {"1252", "932"}
REGISTRY_KINDS = ("none", "key", "sz", "expand", "binary", "dword")
INI_FIELDS = ("ini", "ini-lf", "ini-bytes", "ini-repeat", "ini-random", "ini-utf16")
LINE = re.compile(r"^([a-z0-9-]+):(?: (.*))?$")


class TableError(Exception):
    pass


def decode(text):
    """The bytes a table value stands for: %XX is one byte, %{N,TEXT} is TEXT N times."""
    out = bytearray()
    i = 0
    while i < len(text):
        if text[i] != "%":
            out += text[i].encode("latin-1")
            i += 1
        elif text.startswith("%{", i):
            end = text.index("}", i)
            count, _, repeated = text[i + 2:end].partition(",")
            out += repeated.encode("latin-1") * int(count)
            i = end + 1
        else:
            out.append(int(text[i + 1:i + 3], 16))
            i += 3
    return bytes(out)


def xorshift_bytes(seed, count):
    x = seed & 0xFFFFFFFF
    out = bytearray()
    for _ in range(count):
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        out.append(x & 0xFF)
    return bytes(out)


def ini_bytes(scenario):
    """The configuration file's bytes, or None when the scenario has no file."""
    pieces = [(f, v) for f, v in scenario["fields"] if f in INI_FIELDS]
    if not pieces:
        return None
    out = bytearray()
    utf16 = False
    for field, value in pieces:
        if field == "ini":
            out += decode(value) + b"\r\n"
        elif field == "ini-lf":
            out += decode(value) + b"\n"
        elif field == "ini-bytes":
            out += decode(value)
        elif field == "ini-repeat":
            count, _, text = value.partition(" ")
            out += decode(text) * int(count)
        elif field == "ini-random":
            seed, count = value.split()
            out += xorshift_bytes(int(seed), int(count))
        elif field == "ini-utf16":
            utf16 = value == "yes"
    if utf16:
        return b"\xff\xfe" + bytes(out).decode("latin-1").encode("utf-16-le")
    return bytes(out)


def parse_expectation(value, where):
    if value == "nothing":
        return None
    if value.startswith("start "):
        return decode(value[len("start "):])
    raise TableError(f"{where}: expected 'nothing' or 'start ...', got {value!r}")


def read_table(path):
    """Every scenario as a dict: name, fields (in order), and the decoded single fields."""
    scenarios = []
    with open(path, encoding="latin-1", newline="") as table:
        for number, raw in enumerate(table, 1):
            line = raw.rstrip("\n")
            where = f"{path}:{number}"
            if line.endswith("\r") or line.endswith(" ") or line.endswith("\t"):
                raise TableError(f"{where}: the line ends in a blank; write %20 or %09")
            if not line or line.startswith("#"):
                continue
            match = LINE.match(line)
            if not match or match.group(1) not in FIELDS:
                raise TableError(f"{where}: not a known field: {line!r}")
            field, value = match.group(1), match.group(2) or ""
            if field == "scenario":
                # Names are for people: the file is UTF-8 there, while values are exact bytes.
                name = value.encode("latin-1").decode("utf-8", "replace")
                scenarios.append({"name": name, "fields": [], "line": number})
            elif not scenarios:
                raise TableError(f"{where}: field before the first scenario")
            else:
                scenarios[-1]["fields"].append((field, value))
    for scenario in scenarios:
        finish(scenario, f"{path}:{scenario['line']}")
    return scenarios


def finish(scenario, where):
    single = {}
    for field, value in scenario["fields"]:
        if field in ("ini", "ini-lf", "ini-bytes", "ini-repeat", "ini-random", "window", "program"):
            continue
        if field in single:
            raise TableError(f"{where}: {field} given twice")
        single[field] = value
    if "expect" not in single:
        raise TableError(f"{where}: no expect")
    codepage = single.get("codepage", "1252")
    if codepage not in CODE_PAGES:
        raise TableError(f"{where}: codepage must be one of {sorted(CODE_PAGES)}")
    scenario["codepage"] = int(codepage)
    scenario["folder"] = decode(single.get("folder", "D:\\"))
    scenario["exe"] = decode(single.get("exe", "tovinel.exe"))
    scenario["module"] = scenario["folder"] + scenario["exe"]
    scenario["command"] = decode(single["command"]) if "command" in single else scenario["module"]
    scenario["ini_name"] = decode(single.get("ini-name", "Tovinel.ini"))
    scenario["ini"] = ini_bytes(scenario)
    registry = single.get("registry", "none")
    kind, _, data = registry.partition(" ")
    if kind not in REGISTRY_KINDS or (kind == "dword" and len(decode(data)) != 4):
        raise TableError(f"{where}: bad registry {registry!r}")
    scenario["registry"] = (kind, decode(data))
    view = single.get("registry-view", "32")
    if view not in ("32", "64"):
        raise TableError(f"{where}: registry-view must be 32 or 64")
    scenario["registry_view"] = int(view)
    scenario["windows"] = [tuple(decode(part) for part in v.split("|", 1))
                           for f, v in scenario["fields"] if f == "window"]
    scenario["programs"] = [decode(v) for f, v in scenario["fields"] if f == "program"]
    scenario["expect"] = parse_expectation(single["expect"], where)
    # A refused start is played by the native runner only: Wine never refuses one for elevation.
    if "start-answer" in single and not single.get("wine", "").startswith("skip "):
        raise TableError(f"{where}: start-answer needs 'wine: skip REASON'")
    for runner in ("wine", "native"):
        scenario[runner] = ("same", None, None)
        value = single.get(runner)
        if value is None:
            continue
        why = single.get(runner + "-why")
        if value.startswith("skip "):
            scenario[runner] = ("skip", None, value[len("skip "):])
        elif value.startswith("expect ") and why:
            scenario[runner] = ("differs", parse_expectation(value[len("expect "):], where), why)
        else:
            raise TableError(f"{where}: {runner}: needs 'skip REASON' or 'expect ...' with {runner}-why")


def show(command):
    """A command line for a message: printable ASCII as is, other bytes as %XX."""
    if command is None:
        return "nothing"
    return "start '" + "".join(chr(b) if 0x20 <= b < 0x7F and b != 0x25 else f"%{b:02X}" for b in command) + "'"
