#!/usr/bin/python3
# Tovinel fuzzing: writes the seeds of fuzz_udf_image (tests/fuzz/corpus/udf_image) from real images
# made by genisoimage -udf, mkudffs and pycdlib, in the target's layout: each sector below 1024 that is
# not all zeros (nor a copy of the anchor) as one record, its 2-byte sector number then its 2048 bytes. The tools stamp times and
# serial numbers, so a rerun writes other bytes of the same kinds; rerun after changing the layout.
# Needs genisoimage, udftools (mkudffs) and python3-pycdlib; the UDF 2.60 seed is pycdlib's bridge
# with a metadata partition, made by tests/checker/make_udf_images.py's edit.
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile

import pycdlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "checker"))
import make_udf_images  # noqa: E402
SECTOR = 2048
SECTORS_MOST = 1024


def records(image):
    """The target's input for `image`: its non-zero sectors below 1024, in order, but for the copies of
    the anchor that genisoimage pads its image with (tag 2 anywhere but at sector 256)."""
    out = b""
    for lba in range(min(len(image) // SECTOR, SECTORS_MOST)):
        sector = image[lba * SECTOR:(lba + 1) * SECTOR]
        if any(sector) and (lba == 256 or sector[:2] != b"\2\0"):
            out += struct.pack("<H", lba) + sector
    return out


def write_tree(folder):
    """A small medium: a folder, a long name, a name beyond ASCII."""
    os.makedirs(os.path.join(folder, "Driver Setup"))
    files = {"Tovinel.ini": b"[Setup]\r\nRun=Driver Setup\\setup.exe\r\n",
             "autorun.inf": b"[autorun]\r\nopen=tovinel.exe\r\n",
             "Setup Program Long Name.exe": b"MZ" + b"\0" * 62,
             "Driver Setup/setup.exe": b"MZ" + b"\0" * 62,
             "Caf\u00e9 \u30bd\u30d5\u30c8.txt": b"caf\xc3\xa9\n"}
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def genisoimage(work):
    tree = os.path.join(work, "tree")
    write_tree(tree)
    out = os.path.join(work, "genisoimage.iso")
    subprocess.run(["genisoimage", "-quiet", "-udf", "-o", out, tree], check=True)
    return open(out, "rb").read()


def mkudffs(work, revision, media="hd"):
    out = os.path.join(work, "mkudffs_%s_%s.img" % (media, revision))
    with open(out, "wb") as f:
        f.truncate(2 << 20)
    subprocess.run(["mkudffs", "--media-type=" + media, "--blocksize=2048", "--udfrev=" + revision, out],
                   check=True, stdout=subprocess.DEVNULL)
    return open(out, "rb").read()


def pycdlib_bridge():
    """pycdlib's UDF bridge: a file only UDF names, a folder, a name only Joliet holds."""
    iso = pycdlib.PyCdlib()
    iso.new(joliet=3, udf="2.60")
    iso.add_directory("/DIR", joliet_path="/Driver Setup", udf_path="/Driver Setup")
    for iso_path, joliet, udf, data in [("/TOVINEL.INI;1", "/Tovinel.ini", "/Tovinel.ini", b"[Setup]\r\nRun=x.exe\r\n"),
                                        ("/DIR/SETUP.EXE;1", "/Driver Setup/setup.exe", "/Driver Setup/setup.exe", b"MZ"),
                                        ("/UDFONLY.TXT;1", None, "/udf only.txt", b"udf\n"),
                                        ("/JOLIET.TXT;1", "/joliet only.txt", None, b"joliet\n")]:
        iso.add_fp(io.BytesIO(data), len(data), iso_path, joliet_path=joliet, udf_path=udf)
    out = io.BytesIO()
    iso.write_fp(out)
    iso.close()
    return out.getvalue()


def udf260(image):
    volume = make_udf_images.Volume(bytearray(image))
    make_udf_images.metadata_partition(volume)
    return bytes(volume.image)


def main():
    corpus = os.path.join(HERE, "corpus", "udf_image")
    os.makedirs(corpus, exist_ok=True)
    work = tempfile.mkdtemp()
    try:
        seeds = {"genisoimage_udf102_bridge": genisoimage(work),
                 "mkudffs_udf150_empty": mkudffs(work, "1.50"),
                 "mkudffs_udf201_empty": mkudffs(work, "2.01"),
                 "mkudffs_udf250_bdr_vat": mkudffs(work, "2.50", "bdr"),
                 "pycdlib_bridge": pycdlib_bridge(),
                 "pycdlib_udf260_metadata_partition": udf260(pycdlib_bridge())}
        for name, image in seeds.items():
            data = records(image)
            with open(os.path.join(corpus, name), "wb") as f:
                f.write(data)
            print("%s: %d records, %d bytes" % (name, len(data) // (SECTOR + 2), len(data)), file=sys.stderr)
    finally:
        shutil.rmtree(work)


main()
