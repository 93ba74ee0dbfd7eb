# Tovinel: a publisher's branding of tovinel.exe: the four open version texts, checked and written for
# the resource script, and the size budget of the linked file.
"""Usage:
  brand.py configure --version 1.0.3.0 --icon FILE --header OUT.h --record OUT.json
                     [--company T] [--description T] [--copyright T] [--product T] [--unbranded]
      Refuses texts Windows would take for an installer's, or that cannot go into the resource
      script; writes the header tovinel.rc includes and the record the resource tests read.
  brand.py budget tovinel.exe --branded RES.o --unbranded RES.o [--budget BYTES] [--record R.json]
      Refuses (and removes) a linked file larger than the budget, saying what the texts cost. The
      default budget is the size the file would have with the unbranded texts.

Exit status 0 when accepted, 1 when refused (with one message on stderr), 2 on a usage error.
"""
import argparse
import json
import os
import re
import struct
import sys

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


def configure(args):
    version_parts(args.version)
    texts = []
    for option, key, unbranded in TEXTS:
        text = unbranded if args.unbranded else getattr(args, option)
        check_text(key, text)
        texts.append((key, text))
    write_if_changed(args.header, header_text(args.version, texts, os.path.abspath(args.icon)))
    record = {"version": args.version, "icon": os.path.abspath(args.icon), "texts": dict(texts)}
    write_if_changed(args.record, json.dumps(record, indent=2, ensure_ascii=False) + "\n")


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


def budget(args):
    """Refuses a file that the branding made larger than the budget: by default, than the same build
    with the unbranded texts, so that the check follows the launcher's code as it grows."""
    size = os.path.getsize(args.exe)
    branded = object_resource_size(args.branded)
    unbranded = object_resource_size(args.unbranded)
    without_branding = size - (pages(branded) - pages(unbranded)) * PAGE
    allowed = args.budget if args.budget is not None else without_branding
    if size <= allowed:
        return
    texts = dict((key, default) for _, key, default in TEXTS)
    if args.record:
        with open(args.record, encoding="utf-8") as f:
            texts.update(json.load(f)["texts"])
    # The resources may take the pages the allowed size leaves them; the texts are what may shrink.
    room = (pages(branded) - pages(size - allowed)) * PAGE
    emptied = branded - sum(string_cost(key, text) - string_cost(key, "") for key, text in texts.items())
    if room >= emptied:
        advice = "shorten the texts by at least %d bytes (2 per character)" % (branded - room)
    else:
        advice = "even empty texts would not do"
    os.unlink(args.exe)
    raise Refused(
        "%s would be %d bytes, %d over its budget of %d (%s). The four version texts cost %d bytes "
        "(%s), %d more than the unbranded ones, and make the resources %d bytes: %d pages of %d where "
        "%d fit. To fit, %s; to accept the larger file, configure with -DTOVINEL_SIZE_BUDGET=%d. "
        "The file was removed."
        % (os.path.basename(args.exe), size, size - allowed, allowed,
           "TOVINEL_SIZE_BUDGET" if args.budget is not None else "its size without branding",
           sum(string_cost(key, text) for key, text in texts.items()),
           ", ".join("%s %d" % (key, string_cost(key, text)) for key, text in texts.items()),
           branded - unbranded, branded, pages(branded), PAGE, room // PAGE, advice, size))


def main(argv):
    parser = argparse.ArgumentParser(description="Brand tovinel.exe: version texts and size budget.")
    sub = parser.add_subparsers(dest="command", required=True)
    conf = sub.add_parser("configure")
    conf.add_argument("--version", required=True)
    conf.add_argument("--icon", required=True)
    conf.add_argument("--header", required=True)
    conf.add_argument("--record", required=True)
    for option, _, default in TEXTS:
        conf.add_argument("--" + option, default=default)
    conf.add_argument("--unbranded", action="store_true", help="ignore the texts given: Tovinel's own")
    size = sub.add_parser("budget")
    size.add_argument("exe")
    size.add_argument("--branded", required=True, help="the resource object linked into exe")
    size.add_argument("--unbranded", required=True, help="the same resources with the unbranded texts")
    size.add_argument("--budget", type=int, help="bytes; default: the size without branding")
    size.add_argument("--record")
    args = parser.parse_args(argv)
    try:
        configure(args) if args.command == "configure" else budget(args)
    except (Refused, OSError, ValueError, struct.error) as error:
        print("brand: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
