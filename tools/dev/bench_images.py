#!/usr/bin/python3
# Tovinel: how long tovinel-check and the UDF listing take on disc-sized images, and how much of each
# image they read. Makes, as sparse files in build/bench, a 4.7 GB DVD image (genisoimage -udf: ISO
# 9660, Joliet, Rock Ridge and a UDF 1.02 bridge) and a 25 GB Blu-ray image (pycdlib's bridge made UDF
# 2.60 with a metadata partition, as Blu-ray discs record it), both holding the sample medium
# tests/checker/check_media/clean, 1000 small files in 20 folders and a few files of gigabytes. Then
# times build/native/checker/tovinel-check and build/native/tests/checker/udf_list (the UDF listing
# alone, which tovinel-check does not use yet) on each, the best of three runs, counts the bytes each
# run reads (a separate run under strace, read and pread64 summed, shared libraries included) and
# removes the images. Prints the figures; judges nothing. Needs tools/build.sh native, genisoimage,
# python3-pycdlib and strace (apt-get install strace; without it the bytes are not counted).
# Usage: tools/dev/bench_images.py [--keep]   (--keep leaves the images in build/bench)
import io
import mmap
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tests", "checker"))
import make_udf_images  # noqa: E402  (Volume and metadata_partition)
import pycdlib  # noqa: E402

BENCH = os.path.join(ROOT, "build", "bench")
CHECK = os.path.join(ROOT, "build", "native", "checker", "tovinel-check")
UDF_LIST = os.path.join(ROOT, "build", "native", "tests", "checker", "udf_list")
MEDIUM = os.path.join(ROOT, "tests", "checker", "check_media", "clean")
CHUNK = 8 << 20
ZERO = bytes(CHUNK)


class Zeros:
    """A file of `size` zero bytes that exists nowhere: pycdlib copies it without a disk read."""
    mode = "rb"  # what pycdlib asks of a file it is given

    def __init__(self, size):
        self.size, self.at = size, 0

    def read(self, count=-1):
        count = self.size - self.at if count < 0 else min(count, self.size - self.at)
        self.at += count
        return ZERO if count == CHUNK else bytes(count)

    def seek(self, offset, whence=0):
        self.at = offset if whence == 0 else self.at + offset if whence == 1 else self.size + offset
        return self.at

    def tell(self):
        return self.at


class SparseWriter:
    """A file that pycdlib writes through: runs of zeros are skipped over, so they stay holes."""

    def __init__(self, f):
        self.f, self.end = f, 0

    def write(self, data):
        if data is ZERO or data.count(0) == len(data):
            self.f.seek(len(data), 1)
        else:
            self.f.write(data)
        self.end = max(self.end, self.f.tell())
        return len(data)

    def seek(self, offset, whence=0):
        return self.f.seek(offset, whence)

    def tell(self):
        return self.f.tell()

    def finish(self):
        self.f.truncate(self.end)


def small_files():
    """1000 small files in 20 folders, as a disc's installer and documents hold: (path, bytes)."""
    return [("Data/Part%02d/File%03d.txt" % (folder, number), b"file %d of folder %d\n" % (number, folder))
            for folder in range(20) for number in range(50)]


def make_dvd(path):
    """genisoimage -udf of the medium with the small files and two files of 2.34 GB (holes)."""
    work = tempfile.mkdtemp(dir=BENCH)
    medium = os.path.join(work, "medium")
    shutil.copytree(MEDIUM, medium)
    for name, data in small_files():
        os.makedirs(os.path.dirname(os.path.join(medium, name)), exist_ok=True)
        with open(os.path.join(medium, name), "wb") as f:
            f.write(data)
    os.makedirs(os.path.join(medium, "Video"))
    for number in range(2):
        with open(os.path.join(medium, "Video", "Movie%d.vob" % number), "wb") as f:
            f.truncate(2340 * 10**6)
    maker = subprocess.Popen(["genisoimage", "-quiet", "-J", "-R", "-udf", "-o", "/dev/stdout", medium],
                             stdout=subprocess.PIPE)
    subprocess.run(["dd", "bs=1M", "conv=sparse", "status=none", "of=" + path], stdin=maker.stdout, check=True)
    if maker.wait() != 0:
        sys.exit("bench: genisoimage failed")
    shutil.rmtree(work)


def make_bluray(path):
    """pycdlib's bridge of the medium, the small files and six files of 4.15 GB, then UDF 2.60 with a
    metadata partition whose file entry goes in one sector added at the end."""
    iso = pycdlib.PyCdlib()
    iso.new(joliet=3, udf="2.60", vol_ident="BENCH_BD")
    folders = set()

    def add(name, fp, length):
        parts = name.split("/")
        for depth in range(1, len(parts)):
            folder = "/".join(parts[:depth])
            if folder not in folders:
                folders.add(folder)
                iso.add_directory("/D%04d" % len(folders), joliet_path="/" + folder, udf_path="/" + folder)
        iso.add_fp(fp, length, "/F%05d.;1" % add.count, joliet_path="/" + name, udf_path="/" + name)
        add.count += 1
    add.count = 0
    for name in sorted(os.listdir(MEDIUM)):
        with open(os.path.join(MEDIUM, name), "rb") as f:
            data = f.read()
        add(name, io.BytesIO(data), len(data))
    for name, data in small_files():
        add(name, io.BytesIO(data), len(data))
    for number in range(6):
        add("BDMV/STREAM/%05d.m2ts" % number, Zeros(4150 * 10**6), 4150 * 10**6)
    with open(path, "wb") as f:
        writer = SparseWriter(f)
        iso.write_fp(writer, blocksize=CHUNK)
        writer.finish()
        sectors = (writer.end + make_udf_images.SECTOR - 1) // make_udf_images.SECTOR
        f.truncate((sectors + 1) * make_udf_images.SECTOR)
    iso.close()
    # The structures lie in the first megabytes; the edit maps the file rather than reading it.
    with open(path, "r+b") as f, mmap.mmap(f.fileno(), 0) as image:
        make_udf_images.metadata_partition(make_udf_images.Volume(image), sectors)


def seconds_of(command):
    """The best of three runs, and the first line it printed."""
    best, first_line = None, ""
    for _ in range(3):
        start = time.perf_counter()
        run = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        took = time.perf_counter() - start
        best = took if best is None else min(best, took)
        first_line = (run.stdout.splitlines() or [""])[0]
    return best, first_line


def bytes_read(command, image):
    """What the command's reads returned, in bytes, from strace's record: of the image alone (read and
    pread64 on a descriptor open on it), and of all files, shared libraries included."""
    if shutil.which("strace") is None:
        return None, None
    with tempfile.NamedTemporaryFile(dir=BENCH, suffix=".strace") as record:
        subprocess.run(["strace", "-f", "-qq", "-e", "trace=openat,close,read,pread64", "-o", record.name] + command,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(record.name, errors="replace") as f:
            lines = f.read().splitlines()
    on_image, from_image, in_all = set(), 0, 0
    call = re.compile(r"^(\d+)\s+(?:<\.\.\. )?(\w+)(?:\(| resumed>)(.*)= (-?\d+)")
    for line in lines:
        found = call.match(line)
        if found is None:
            continue
        pid, name, arguments, result = found.group(1), found.group(2), found.group(3), int(found.group(4))
        if name == "openat" and result >= 0 and '"%s"' % image in arguments:
            on_image.add((pid, result))
        elif name == "close":
            on_image.discard((pid, int(arguments.split(")")[0] or -1)))
        elif name in ("read", "pread64") and result > 0:
            in_all += result
            if (pid, int(arguments.split(",")[0] or -1)) in on_image:
                from_image += result
    return from_image, in_all


def main():
    for tool in (CHECK, UDF_LIST):
        if not os.access(tool, os.X_OK):
            sys.exit("bench: %s is not built; run tools/build.sh native" % tool)
    if shutil.which("strace") is None:
        print("bench: strace is missing (apt-get install strace): bytes read are not counted")
    os.makedirs(BENCH, exist_ok=True)
    images = [("DVD, genisoimage -udf", os.path.join(BENCH, "dvd.iso"), make_dvd),
              ("Blu-ray, UDF 2.60", os.path.join(BENCH, "bluray.iso"), make_bluray)]
    try:
        for title, path, make in images:
            start = time.perf_counter()
            make(path)
            size, on_disk = os.path.getsize(path), os.stat(path).st_blocks * 512
            print("%s: %s, %.2f GB (%.1f MB on disk), made in %.1f s" % (
                title, os.path.relpath(path, ROOT), size / 1e9, on_disk / 1e6, time.perf_counter() - start))
            for name, command in (("tovinel-check", [CHECK, path]), ("udf_list", [UDF_LIST, path])):
                took, line = seconds_of(command)
                from_image, in_all = bytes_read(command, path)
                print("  %-13s %6.3f s  %12s bytes of the image read (%s in all)  | %s" % (
                    name, took, "?" if from_image is None else format(from_image, ","),
                    "?" if in_all is None else format(in_all, ","), line[:100]))
    finally:
        if "--keep" not in sys.argv:
            for _, path, _ in images:
                if os.path.exists(path):
                    os.remove(path)


main()
