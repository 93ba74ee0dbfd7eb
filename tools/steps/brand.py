# Tovinel: a publisher's branding of tovinel.exe: the four open version texts, checked and written for
# the resource script, and the bytes they may add to the linked file.
"""Usage:
  brand.py configure --version 1.0.3.0 --icon FILE --header OUT.h --record OUT.json
                     --windres WINDRES --rc tovinel.rc [--budget BYTES] [--preview PNG]
                     [--company T] [--description T] [--copyright T] [--product T]
      Refuses texts Windows would take for an installer's, texts that cannot go into the resource
      script, and texts that would make tovinel.exe grow by more than the budget: compiles the
      resources with them and with Tovinel's own texts and compares the pages they fill. The budget
      is in bytes, empty for one page (512). Writes the header tovinel.rc includes and the record the
      resource tests read, and prints what the texts cost.
  brand.py report tovinel.exe --record R.json
      Prints the linked file's size, what the branding added and where the icon preview is.

Exit status 0 when accepted, 1 when refused (with one message on stderr), 2 on a usage error.
"""
import argparse
import json
import os
import re
import struct
import subprocess
import sys
import tempfile

# A 32-bit program without a manifest whose version texts or file name carry one of these, in any
# case and inside other words too, is taken for an installer by Windows, which then asks for
# elevation: on every insertion of the medium.
INSTALLER_WORDS = re.compile("setup|install|update|patch|upgrade", re.IGNORECASE)

# The four texts a publisher chooses: (option, version record key, unbranded text).
TEXTS = [
    ("company", "CompanyName", "Tovinel"),
    ("description", "FileDescription", "Tovinel"),
    ("copyright", "LegalCopyright", "(C) 2026 Tovinel"),
    ("product", "ProductName", "Tovinel"),
]
PAGE = 512  # file alignment: every section takes whole pages of the file
DEFAULT_BUDGET = PAGE  # one page more: room for some 250 characters beyond Tovinel's own texts


class Refused(Exception):
    pass


def installer_words(text):
    return sorted({m.group(0).lower() for m in INSTALLER_WORDS.finditer(text)})


def check_text(key, text):
    words = installer_words(text)
    if words:
        raise Refused('%s "%s" contains %s: Windows takes a program whose version texts say so for an '
                      "installer and asks for administrator rights on every insertion of the medium; "
                      "choose a text without setup, install, update, patch or upgrade (in any case, "
                      "inside words too)" % (key, text, " and ".join('"%s"' % w for w in words)))
    if any(0xD800 <= ord(c) <= 0xDFFF for c in text):
        raise Refused("%s is not UTF-8 text: give the build its options in UTF-8" % key)
    control = [c for c in text if ord(c) < 0x20 or ord(c) == 0x7F]
    if control:
        raise Refused("%s contains the control character U+%04X: a version text is one line"
                      % (key, ord(control[0])))


def rc_string(text):
    """A resource-script string literal: quotes doubled, backslashes escaped, UTF-8 as it is."""
    return '"%s"' % text.replace("\\", "\\\\").replace('"', '""')


def version_parts(version):
    match = re.fullmatch(r"(\d{1,5})\.(\d{1,5})\.(\d{1,5})\.(\d{1,5})", version)
    if not match or any(int(p) > 0xFFFF for p in match.groups()):
        raise Refused('version "%s" is not four numbers 0-65535 joined by dots' % version)
    return [int(p) for p in match.groups()]


def string_cost(key, text):
    """Bytes of one String entry of a version record: header, UTF-16 key and value, 32-bit padding."""
    def padded(n):
        return (n + 3) & ~3
    key_end = padded(6 + 2 * (len(key) + 1))
    return padded(key_end + 2 * (len(text.encode("utf-16-le")) // 2 + 1))


def header_text(version, texts, icon):
    numbers = ", ".join(str(p) for p in version_parts(version))
    lines = ["// Tovinel: the branding tovinel.rc compiles, written by tools/steps/brand.py from the build's",
             "// options. Regenerated on every configure; do not edit.",
             "#define TOVINEL_VERSION_NUMBERS %s" % numbers,
             "#define TOVINEL_VERSION_TEXT %s" % rc_string(numbers),
             "#define TOVINEL_ICON_FILE %s" % rc_string(icon)]
    lines += ["#define TOVINEL_%s %s" % (re.sub("(?<!^)([A-Z])", r"_\1", key).upper(), rc_string(text))
              for key, text in texts]
    return "\n".join(lines) + "\n"


def write_if_changed(path, data):
    """Leaves an unchanged file alone, so that its time stamp does not rebuild the resources."""
    try:
        with open(path, encoding="utf-8") as f:
            if f.read() == data:
                return
    except OSError:
        pass
    with open(path, "w", encoding="utf-8") as f:
        f.write(data)


def pages(size):
    return (size + PAGE - 1) // PAGE


def object_resource_size(path):
    """Bytes of the .rsrc section of a COFF object as windres writes it: what the linked file's .rsrc
    section will hold, since the launcher links no other resources."""
    with open(path, "rb") as f:
        data = f.read()
    count, optional_size = struct.unpack_from("<2xH12xH", data)
    for i in range(count):
        name, raw_size = struct.unpack_from("<8s8xI", data, 20 + optional_size + 40 * i)
        if name.rstrip(b"\0") == b".rsrc":
            return raw_size
    raise Refused("%s has no .rsrc section" % path)


def resource_size(windres, rc, header):
    """Bytes of the resources tovinel.rc makes with the branding `header`, compiled as the build does."""
    with tempfile.TemporaryDirectory(prefix="tovinel-brand-") as work:
        with open(os.path.join(work, "tovinel_brand.h"), "w", encoding="utf-8") as f:
            f.write(header)
        run = subprocess.run([windres, "--input-format=rc", "--output-format=coff", "--include-dir=" + work,
                              "--include-dir=" + os.path.dirname(os.path.abspath(rc)), rc,
                              os.path.join(work, "resources.o")], capture_output=True, text=True)
        if run.returncode:
            raise Refused("%s cannot compile %s with these texts: %s" % (windres, rc, run.stderr.strip()))
        return object_resource_size(os.path.join(work, "resources.o"))


def parse_budget(text):
    if text == "":
        return DEFAULT_BUDGET
    if not re.fullmatch(r"[0-9]{1,9}", text):
        raise Refused("TOVINEL_SIZE_BUDGET is the number of bytes the branding may add to tovinel.exe, or "
                      "empty for one page (%d); not '%s'" % (DEFAULT_BUDGET, text))
    return int(text)


def texts_cost(texts):
    return sum(string_cost(key, text) for key, text in texts)


def configure(args):
    version_parts(args.version)
    texts = []
    for option, key, _ in TEXTS:
        check_text(key, getattr(args, option))
        texts.append((key, getattr(args, option)))
    budget = parse_budget(args.budget)
    own = [(key, text) for _, key, text in TEXTS]
    icon = os.path.abspath(args.icon)
    header = header_text(args.version, texts, icon)
    branded = resource_size(args.windres, args.rc, header)
    unbranded = resource_size(args.windres, args.rc, header_text(
        args.version, own, os.path.join(os.path.dirname(os.path.abspath(args.rc)), "tovinel.ico")))
    growth = (pages(branded) - pages(unbranded)) * PAGE
    cost = "the four version texts cost %d bytes of resources, %d more than Tovinel's own" % (
        texts_cost(texts), texts_cost(texts) - texts_cost(own))
    pages_said = "the resources take %d pages of %d bytes, Tovinel's own %d" % (
        pages(branded), PAGE, pages(unbranded))
    budget_said = "%d (%s)" % (budget, "TOVINEL_SIZE_BUDGET" if args.budget else "the default: one page")
    if growth > budget:
        # Whole pages of the budget are what the resources may grow into; the texts are what may shrink.
        shorten = branded - (pages(unbranded) + budget // PAGE) * PAGE
        raise Refused("%s (%s), and would make tovinel.exe %d bytes larger (%s), more than the budget of "
                      "%s. To fit, shorten the texts by at least %d bytes (2 per character); to accept "
                      "the larger file, configure with -DTOVINEL_SIZE_BUDGET=%d."
                      % (cost, ", ".join("%s %d" % (key, string_cost(key, text)) for key, text in texts),
                         growth, pages_said, budget_said, shorten, growth))
    write_if_changed(args.header, header)
    record = {"version": args.version, "icon": icon, "texts": dict(texts), "growth": growth,
              "budget": budget, "preview": os.path.abspath(args.preview) if args.preview else None}
    write_if_changed(args.record, json.dumps(record, indent=2, ensure_ascii=False) + "\n")
    print("Branding: %s: tovinel.exe grows by %d bytes (%s), within the budget of %s"
          % (cost, growth, pages_said, budget_said))


def report(args):
    with open(args.record, encoding="utf-8") as f:
        record = json.load(f)
    line = "%s: %d bytes" % (os.path.basename(args.exe), os.path.getsize(args.exe))
    if record["growth"]:
        line += ", %d more than with Tovinel's own texts (budget %d)" % (record["growth"], record["budget"])
    if record["preview"]:
        # As the publisher names it from the project's folder, where tools/build.sh builds.
        root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
        inside = os.path.commonpath([root, record["preview"]]) == root
        line += "; the icon's preview: %s" % (os.path.relpath(record["preview"], root) if inside
                                              else record["preview"])
    print(line)


def main(argv):
    parser = argparse.ArgumentParser(description="Brand tovinel.exe: version texts and size budget.")
    sub = parser.add_subparsers(dest="command", required=True)
    conf = sub.add_parser("configure")
    conf.add_argument("--version", required=True)
    conf.add_argument("--icon", required=True)
    conf.add_argument("--header", required=True)
    conf.add_argument("--record", required=True)
    conf.add_argument("--windres", required=True, help="the resource compiler of the build")
    conf.add_argument("--rc", required=True, help="resources/tovinel.rc")
    conf.add_argument("--budget", default="", help="bytes the branding may add; empty: one page")
    conf.add_argument("--preview", default="", help="the icon's preview PNG, for the record")
    for option, _, default in TEXTS:
        conf.add_argument("--" + option, default=default)
    linked = sub.add_parser("report")
    linked.add_argument("exe")
    linked.add_argument("--record", required=True)
    args = parser.parse_args(argv)
    try:
        configure(args) if args.command == "configure" else report(args)
    except (Refused, OSError, ValueError, KeyError, struct.error) as error:
        print("brand: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
