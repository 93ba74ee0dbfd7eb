#!/usr/bin/python3
# Tovinel tests: the UDF images of test_udf_image.cpp, made in FOLDER from the medium folder MEDIUM:
# genisoimage -udf and mkudffs through their command lines, pycdlib's UDF bridge, and each damaged or
# hostile image as a few bytes changed in the pycdlib one, with tags, CRCs and addresses kept right
# wherever the change is not the damage itself. Prints nothing unless something fails.
# Usage: make_udf_images.py FOLDER MEDIUM   (tools/dev/bench_images.py imports Volume and
# metadata_partition to make a Blu-ray image of its own)
import io
import os
import shutil
import struct
import subprocess
import sys

import pycdlib

SECTOR = 2048
FOLDER, MEDIUM = (sys.argv + ["", ""])[1:3]
LONG_NAME = "Setup Program Long Name.exe"
BEYOND_ASCII = "Caf\u00e9 \u30bd\u30d5\u30c8 \U0001F600.txt"


def path(name):
    return os.path.join(FOLDER, name)


def u16(image, at):
    return struct.unpack_from("<H", image, at)[0]


def u32(image, at):
    return struct.unpack_from("<I", image, at)[0]


def crc(data):
    """CRC-CCITT (polynomial 0x1021, from 0), as descriptor tags record it."""
    value = 0
    for byte in data:
        value ^= byte << 8
        for _ in range(8):
            value = (value << 1 ^ 0x1021 if value & 0x8000 else value << 1) & 0xFFFF
    return value


def fix_tag(image, at):
    """The descriptor at byte `at` made sound again: its body's CRC, then its tag's checksum."""
    struct.pack_into("<H", image, at + 8, crc(image[at + 16:at + 16 + u16(image, at + 10)]))
    image[at + 4] = 0
    image[at + 4] = sum(image[at:at + 16]) & 0xFF


class Volume:
    """Just enough of a pycdlib volume to find and change its folders, names and file entries: one
    partition, file entries with short allocation descriptors, names in 8- or 16-bit CS0."""

    def __init__(self, image):
        self.image = image
        anchor = 256 * SECTOR
        main_length, main_at = u32(image, anchor + 16), u32(image, anchor + 20)
        for lba in range(main_at, main_at + main_length // SECTOR):
            if u16(image, lba * SECTOR) == 5:
                self.partition = u32(image, lba * SECTOR + 188)
            if u16(image, lba * SECTOR) == 6:
                file_set = u32(image, lba * SECTOR + 248 + 4)
        self.root = self.partition + u32(image, (self.partition + file_set) * SECTOR + 400 + 4)

    def data(self, entry):
        """The first extent of the file entry at sector `entry`: its first sector, its length."""
        at = entry * SECTOR + 176 + u32(self.image, entry * SECTOR + 168)
        return self.partition + u32(self.image, at + 4), u32(self.image, at) & 0x3FFFFFFF

    def names(self, folder):
        """The file identifiers of the folder whose file entry is at sector `folder`: name, offset."""
        first, length = self.data(folder)
        at, end = first * SECTOR, first * SECTOR + length
        while at < end:
            name_length, use_length = self.image[at + 19], u16(self.image, at + 36)
            raw = bytes(self.image[at + 38 + use_length:at + 38 + use_length + name_length])
            name = raw[1:].decode("latin-1" if raw[:1] == b"\x08" else "utf-16-be") if raw else ""
            yield name, at
            at += (38 + name_length + use_length + 3) // 4 * 4

    def find(self, folder, name):
        return next(at for found, at in self.names(folder) if found == name)

    def entry_of(self, identifier):
        return self.partition + u32(self.image, identifier + 24)

    def append(self, data):
        """Puts `data` at the end, from a new sector; its sector."""
        lba = (len(self.image) + SECTOR - 1) // SECTOR
        self.image += bytes(lba * SECTOR - len(self.image)) + data + bytes(-len(data) % SECTOR)
        return lba

    def identifier(self, lba, name, entry, folder=False, parent=False):
        """A file identifier at sector `lba` (its tag's location) naming `name` for the entry at `entry`."""
        raw = b"\x08" + name.encode("latin-1") if name else b""
        record = bytearray(38 + len(raw) + (-(38 + len(raw)) % 4))
        struct.pack_into("<HH", record, 0, 257, 2)
        struct.pack_into("<HH", record, 10, len(record) - 16, 0)
        struct.pack_into("<I", record, 12, lba - self.partition)
        struct.pack_into("<HBB", record, 16, 1, (2 if folder else 0) | (8 if parent else 0), len(raw))
        struct.pack_into("<IIH", record, 20, SECTOR, entry - self.partition, 0)
        record[38:38 + len(raw)] = raw
        fix_tag(record, 0)
        return bytes(record)

    def give_folder(self, entry, identifiers, parent):
        """Makes the folder at sector `entry` hold `identifiers` ((name, entry, is folder)), written at the end."""
        lba = (len(self.image) + SECTOR - 1) // SECTOR
        data = self.identifier(lba, "", parent, folder=True, parent=True)
        for name, target, folder in identifiers:
            data += self.identifier(lba + len(data) // SECTOR, name, target, folder)
        self.append(data)
        self.point(entry, lba, len(data))

    def point(self, entry, lba, length):
        """The file entry at sector `entry`: its data `length` bytes from sector `lba`."""
        at = entry * SECTOR
        descriptor = at + 176 + u32(self.image, at + 168)
        struct.pack_into("<II", self.image, descriptor, length, lba - self.partition)
        struct.pack_into("<Q", self.image, at + 56, length)
        fix_tag(self.image, at)

    def copy_entry(self, entry):
        """A copy of the file entry at sector `entry` at the end, its tag's location its own; its sector."""
        block = bytearray(self.image[entry * SECTOR:(entry + 1) * SECTOR])
        lba = (len(self.image) + SECTOR - 1) // SECTOR
        struct.pack_into("<I", block, 12, lba - self.partition)
        fix_tag(block, 0)
        return self.append(bytes(block))


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)


def genisoimage_bridge():
    """genisoimage's UDF 1.02 bridge, without Joliet, of the medium with a long name added."""
    medium = path("genisoimage_medium")
    shutil.rmtree(medium, ignore_errors=True)
    shutil.copytree(MEDIUM, medium)
    with open(os.path.join(medium, LONG_NAME), "wb") as f:
        f.write(b"MZ long name\n")
    # Another Tovinel.ini than pycdlib's, of another size.
    with open(os.path.join(medium, "Tovinel.ini"), "ab") as f:
        f.write(b"; made by genisoimage\r\n")
    run("genisoimage", "-quiet", "-udf", "-o", path("genisoimage_bridge.iso"), medium)


def mkudffs(name, media, revision, block_size=2048):
    with open(path(name), "wb") as f:
        f.truncate(4 << 20)
    run("mkudffs", "--media-type=" + media, "--blocksize=%d" % block_size, "--udfrev=" + revision,
        "--vid=Rev " + revision, path(name))


def pycdlib_bridge():
    """The medium's files in both trees, a file in each tree alone, a name beyond ASCII, a folder to
    loop and one to fill. pycdlib calls its UDF 2.60; it declares 1.02."""
    iso = pycdlib.PyCdlib()
    iso.new(joliet=3, udf="2.60")
    iso.add_directory("/DRIVER", joliet_path="/Driver Setup", udf_path="/Driver Setup")
    iso.add_directory(udf_path="/Loop")
    iso.add_directory(udf_path="/Many")
    files = [("Tovinel.ini", "/TOVINEL.INI;1", "/Tovinel.ini", "/Tovinel.ini"),
             ("Driver Setup/setup.exe", "/DRIVER/SETUP.EXE;1", "/Driver Setup/setup.exe", "/Driver Setup/setup.exe")]
    for name, iso_path, joliet, udf in files:
        with open(os.path.join(MEDIUM, name), "rb") as f:
            data = f.read()
        iso.add_fp(io.BytesIO(data), len(data), iso_path, joliet_path=joliet, udf_path=udf)
    for iso_path, joliet, udf, data in [("/UDFONLY.TXT;1", None, "/udf only.txt", b"only in UDF\n"),
                                        ("/JOLIET.TXT;1", "/joliet only.txt", None, b"only in Joliet\n"),
                                        ("/CAFE.TXT;1", None, "/" + BEYOND_ASCII, b"caf\xc3\xa9\n"),
                                        ("/LAST.TXT;1", None, "/last.txt", b"the last file's data\n" * 200)]:
        iso.add_fp(io.BytesIO(data), len(data), iso_path, joliet_path=joliet, udf_path=udf)
    iso.write(path("pycdlib_bridge.iso"))
    iso.close()


def metadata_partition(volume, metadata_lba=None):
    """UDF 2.60 as Blu-ray discs record it: a metadata partition (a virtual one, whose blocks a
    metadata file maps) holds the file set, and readers of 2.50 may read it. The metadata file here
    spans the whole physical partition, so every address stays; only the file set is reached through it.
    Its entry goes at sector `metadata_lba`, which must be free, or at the end."""
    image = volume.image
    # The metadata file's entry (an extended file entry of type 250, one short extent from block 0).
    entry = bytearray(SECTOR)
    struct.pack_into("<HH", entry, 0, 266, 3)
    struct.pack_into("<HBH", entry, 16 + 4, 4, 0, 0)
    entry[16 + 11] = 250
    struct.pack_into("<Q", entry, 56, 0x3FFFF800)
    struct.pack_into("<II", entry, 208, 0, 8)
    struct.pack_into("<II", entry, 216, 0x3FFFF800, 0)
    struct.pack_into("<H", entry, 10, 216 + 8 - 16)
    if metadata_lba is None:
        metadata_lba = (len(image) + SECTOR - 1) // SECTOR
        volume.append(bytes(SECTOR))
    struct.pack_into("<I", entry, 12, metadata_lba - volume.partition)
    fix_tag(entry, 0)
    image[metadata_lba * SECTOR:(metadata_lba + 1) * SECTOR] = entry
    for sequence_lba in [lba for lba in range(32, 256) if u16(volume.image, lba * SECTOR) == 6]:
        at = sequence_lba * SECTOR
        block = volume.image
        struct.pack_into("<H", block, at + 216 + 24, 0x0260)         # the domain's revision
        struct.pack_into("<H", block, at + 248 + 8, 1)               # the file set, in partition 1
        map_length = u32(block, at + 264)
        metadata_map = bytearray(64)
        metadata_map[0:2] = b"\x02\x40"
        metadata_map[5:5 + 23] = b"*UDF Metadata Partition"
        struct.pack_into("<H", metadata_map, 4 + 24, 0x0250)
        struct.pack_into("<HHIIIIH", metadata_map, 36, 1, 0, metadata_lba - volume.partition,
                         metadata_lba - volume.partition, 0xFFFFFFFF, 32, 1)
        block[at + 440 + map_length:at + 440 + map_length + 64] = metadata_map
        struct.pack_into("<II", block, at + 264, map_length + 64, 2)
        struct.pack_into("<H", block, at + 10, 440 + map_length + 64 - 16)
        fix_tag(block, at)
    # The integrity descriptor's revisions: minimum read, minimum and maximum write.
    for lba in range(32, 256):
        if u16(image, lba * SECTOR) == 9:
            at = lba * SECTOR
            use = at + 80 + 8 * u32(image, at + 72)
            struct.pack_into("<HHH", image, use + 40, 0x0250, 0x0260, 0x0260)
            fix_tag(image, at)


def edited(name, change):
    """pycdlib_bridge.iso changed by change(volume), written as `name`."""
    with open(path("pycdlib_bridge.iso"), "rb") as f:
        volume = Volume(bytearray(f.read()))
    change(volume)
    with open(path(name), "wb") as f:
        f.write(volume.image)


def point_identifier(volume, name, entry):
    """The root's name `name` points at the file entry at sector `entry`."""
    at = volume.find(volume.root, name)
    struct.pack_into("<I", volume.image, at + 24, entry - volume.partition)
    fix_tag(volume.image, at)


def rename(volume, name, new_name):
    at = volume.find(volume.root, name)
    use_length = u16(volume.image, at + 36)
    volume.image[at + 39 + use_length:at + 39 + use_length + len(new_name)] = new_name.encode("latin-1")
    fix_tag(volume.image, at)


def fill_many(volume, count):
    """Many holds `count` files, each a name of Tovinel.ini's entry."""
    many = volume.entry_of(volume.find(volume.root, "Many"))
    ini = volume.entry_of(volume.find(volume.root, "Tovinel.ini"))
    volume.give_folder(many, [("f%05d.txt" % i, ini, False) for i in range(count)], volume.root)


def many_folders(volume):
    """61 folders of 1000 files each, 61061 entries, more than a listing keeps: each folder a copy of
    Many's entry, all of them holding the same 1000 names."""
    fill_many(volume, 1000)
    many = volume.entry_of(volume.find(volume.root, "Many"))
    copies = [volume.copy_entry(many) for _ in range(61)]
    volume.give_folder(volume.root, [("folder%02d" % i, entry, True) for i, entry in enumerate(copies)], volume.root)


def chain_extents(volume, entry, count, loop=False):
    """The file entry at sector `entry` finds its data through a chain of `count` allocation extent
    descriptors written at the end, each one block holding the data's extent again and a pointer to
    the next; with `loop`, the last points at the first."""
    data, length = volume.data(entry)
    first = (len(volume.image) + SECTOR - 1) // SECTOR
    chain = b""
    for k in range(count):
        following = first + k + 1 if k + 1 < count else first if loop else None
        descriptors = struct.pack("<II", length, data - volume.partition)
        if following is not None:
            descriptors += struct.pack("<II", SECTOR | 3 << 30, following - volume.partition)
        block = bytearray(SECTOR)
        struct.pack_into("<HHI", block, 0, 258, 2, 0)
        struct.pack_into("<HHI", block, 10, 8 + len(descriptors), 0, first + k - volume.partition)
        struct.pack_into("<I", block, 20, len(descriptors))
        block[24:24 + len(descriptors)] = descriptors
        fix_tag(block, 0)
        chain += bytes(block)
    volume.append(chain)
    at = entry * SECTOR
    extended_attributes = u32(volume.image, at + 168)
    struct.pack_into("<I", volume.image, at + 172, 8)
    struct.pack_into("<II", volume.image, at + 176 + extended_attributes, SECTOR | 3 << 30, first - volume.partition)
    struct.pack_into("<H", volume.image, at + 10, 176 + extended_attributes + 8 - 16)
    fix_tag(volume.image, at)


def costly_entries(volume):
    """Many holds 1500 names of Tovinel.ini, whose entry chains 64 allocation extents: 65 blocks a
    name, more than a listing reads in all."""
    chain_extents(volume, volume.entry_of(volume.find(volume.root, "Tovinel.ini")), 64)
    fill_many(volume, 1500)


def data_like_entry(volume):
    """last.txt begins with the bytes of a folder's file entry that claims 1 GiB: data, to be read as
    it is, never taken for a structure."""
    folder = driver_setup(volume)
    block = bytearray(volume.image[folder * SECTOR:(folder + 1) * SECTOR])
    at = 176 + u32(block, 168)
    struct.pack_into("<I", block, at, 0x3FFFF800)
    fix_tag(block, 0)
    data, _ = volume.data(volume.entry_of(volume.find(volume.root, "last.txt")))
    volume.image[data * SECTOR:(data + 1) * SECTOR] = block


def folder_in_pieces(volume):
    """Many's 100 names recorded in two extents, its first block and the rest."""
    fill_many(volume, 100)
    many = volume.entry_of(volume.find(volume.root, "Many"))
    data, length = volume.data(many)
    at = many * SECTOR
    extended_attributes = u32(volume.image, at + 168)
    struct.pack_into("<IIII", volume.image, at + 176 + extended_attributes, SECTOR, data - volume.partition,
                     length - SECTOR, data + 1 - volume.partition)
    struct.pack_into("<I", volume.image, at + 172, 16)
    struct.pack_into("<H", volume.image, at + 10, 176 + extended_attributes + 16 - 16)
    fix_tag(volume.image, at)


def through_extent(volume):
    """Many's 100 names found through an allocation extent, the folder's entry holding only its pointer."""
    fill_many(volume, 100)
    chain_extents(volume, volume.entry_of(volume.find(volume.root, "Many")), 1)


def absurd_through_extent(volume):
    """As through_extent, but the allocation extent gives Many 1 GiB."""
    through_extent(volume)
    many = volume.entry_of(volume.find(volume.root, "Many"))
    extent = volume.partition + u32(volume.image, many * SECTOR + 176 + u32(volume.image, many * SECTOR + 168) + 4)
    struct.pack_into("<I", volume.image, extent * SECTOR + 24, 0x3FFFF800)
    fix_tag(volume.image, extent * SECTOR)


def volume_descriptors(volume):
    """The sectors of the logical volume descriptors, of both sequences."""
    return [lba for lba in range(32, 256) if u16(volume.image, lba * SECTOR) == 6]


def change_volume(volume, at, data):
    """Writes `data` at byte `at` of each logical volume descriptor, its tag made right again."""
    for lba in volume_descriptors(volume):
        volume.image[lba * SECTOR + at:lba * SECTOR + at + len(data)] = data
        fix_tag(volume.image, lba * SECTOR)


def flip(volume, at):
    """Inverts the byte at `at`, leaving the tag as it was: the damage."""
    volume.image[at] ^= 0xFF


def pointer_loop(volume):
    """The main descriptor sequence begins with a pointer to itself (plain libudfread 1.1.2 hangs)."""
    anchor = 256 * SECTOR
    length, first = u32(volume.image, anchor + 16), u32(volume.image, anchor + 20)
    block = bytearray(SECTOR)
    struct.pack_into("<HHIHHI", block, 0, 3, 2, 0, 0, 28 - 16, first)
    struct.pack_into("<II", block, 20, length, first)
    fix_tag(block, 0)
    volume.image[first * SECTOR:(first + 1) * SECTOR] = block


def no_file_set(volume):
    change_volume(volume, 248, struct.pack("<I", 0))


def cut(name, sectors):
    with open(path("pycdlib_bridge.iso"), "rb") as f:
        image = f.read()
    with open(path(name), "wb") as f:
        f.write(image[:sectors * SECTOR])


def medium_files():
    """The medium's files, as (path below its root with '/', bytes)."""
    files = []
    for folder, _, names in sorted(os.walk(MEDIUM)):
        for name in sorted(names):
            full = os.path.join(folder, name)
            with open(full, "rb") as f:
                files.append((os.path.relpath(full, MEDIUM).replace(os.sep, "/"), f.read()))
    return files


def check_bridge(name, udf_lacks=()):
    """A UDF bridge of the whole medium, for the checker: every file in every tree (ISO 9660 names
    numbered, Joliet and UDF names as written) but those of `udf_lacks`, missing from the UDF tree."""
    iso = pycdlib.PyCdlib()
    iso.new(joliet=3, udf="2.60")
    folders = {}
    for number, (name_path, data) in enumerate(medium_files()):
        if len(os.path.basename(name_path)) > 64:
            continue  # longer than a Joliet name can be: no part of what these images show
        folder = os.path.dirname(name_path)
        if folder and folder not in folders:
            folders[folder] = "/F%d" % len(folders)
            iso.add_directory(folders[folder], joliet_path="/" + folder, udf_path="/" + folder)
        iso_path = (folders[folder] if folder else "") + "/N%d.;1" % number
        iso.add_fp(io.BytesIO(data), len(data), iso_path, joliet_path="/" + name_path,
                   udf_path=None if name_path in udf_lacks else "/" + name_path)
    iso.write(path(name))
    iso.close()


def without_iso9660(name, source):
    """`source` with its ISO 9660 volume descriptors gone: UDF alone, as mkudffs writes a disc."""
    with open(path(source), "rb") as f:
        image = bytearray(f.read())
    recognition = [lba for lba in range(16, 32) if image[lba * SECTOR + 1:lba * SECTOR + 6] in (b"BEA01", b"TEA01")
                   or image[lba * SECTOR + 1:lba * SECTOR + 4] == b"NSR"]
    sequence = [bytes(image[lba * SECTOR:(lba + 1) * SECTOR]) for lba in recognition]
    image[16 * SECTOR:32 * SECTOR] = bytes(16 * SECTOR)
    for i, sector in enumerate(sequence):
        image[(16 + i) * SECTOR:(17 + i) * SECTOR] = sector
    with open(path(name), "wb") as f:
        f.write(image)


def check_images():
    """The images the checker's table plays: trees that differ, UDF alone, and UDF 2.60 as on a
    Blu-ray, which only Windows Vista and later read."""
    check_bridge("check_trees_differ.iso", udf_lacks=("Driver Setup/setup.exe",))
    check_bridge("check_bridge.iso")
    without_iso9660("check_udf_only.iso", "check_bridge.iso")
    with open(path("check_bridge.iso"), "rb") as f:
        volume = Volume(bytearray(f.read()))
    metadata_partition(volume)
    with open(path("check_bluray.iso"), "wb") as f:
        f.write(volume.image)


def driver_setup(volume):
    return volume.entry_of(volume.find(volume.root, "Driver Setup"))


def main():
    genisoimage_bridge()
    for revision in ["1.02", "1.50", "2.00", "2.01"]:
        mkudffs("mkudffs_%s.img" % revision, "hd", revision)
    mkudffs("mkudffs_bdr_2.50.img", "bdr", "2.50")
    mkudffs("mkudffs_512.img", "hd", "2.01", 512)
    mkudffs("mkudffs_dvdrw.img", "dvdrw", "2.01")
    pycdlib_bridge()
    with open(path("pycdlib_bridge.iso"), "rb") as f:
        volume = Volume(bytearray(f.read()))
    last_data, _ = volume.data(volume.entry_of(volume.find(volume.root, "last.txt")))
    folder_data, _ = volume.data(driver_setup(volume))
    edited("metadata_2.60.iso", metadata_partition)
    cut("cut_descriptors.iso", 200)
    cut("cut_folders.iso", folder_data)
    cut("cut_data.iso", last_data + 2)  # the last of last.txt's three blocks, and all after
    edited("loop.iso", lambda v: point_identifier(v, "Loop", v.root))
    edited("second_name.iso", lambda v: point_identifier(v, "Loop", driver_setup(v)))
    edited("bad_volume_tag.iso", lambda v: [flip(v, lba * SECTOR + 4) for lba in volume_descriptors(v)])
    edited("bad_folder_tag.iso", lambda v: flip(v, driver_setup(v) * SECTOR + 4))
    edited("absurd_folder.iso", lambda v: v.point(driver_setup(v), v.data(driver_setup(v))[0], 0x3FFFF800))
    edited("absurd_entry.iso", lambda v: (struct.pack_into("<I", v.image, v.find(v.root, "udf only.txt") + 20, 0x3FFFF800),
                                          fix_tag(v.image, v.find(v.root, "udf only.txt"))))
    edited("backslash_name.iso", lambda v: rename(v, "udf only.txt", "udf\\only.txt"))
    edited("nul_name.iso", lambda v: rename(v, "udf only.txt", "udf\0only.txt"))
    edited("twice.iso", lambda v: rename(v, "Loop", "Many"))
    edited("no_file_set.iso", no_file_set)
    edited("pointer_loop.iso", pointer_loop)
    edited("extent_loop.iso", lambda v: chain_extents(v, v.entry_of(v.find(v.root, "udf only.txt")), 1, loop=True))
    edited("costly_entries.iso", costly_entries)
    edited("folder_in_pieces.iso", folder_in_pieces)
    edited("through_extent.iso", through_extent)
    edited("other_domain.iso", lambda v: change_volume(v, 217 + 6, b"X"))
    edited("other_block_size.iso", lambda v: change_volume(v, 212, struct.pack("<I", 4096)))
    edited("absurd_through_extent.iso", absurd_through_extent)
    # BEA01, BOOT2, TEA01: an extended area, but no NSR descriptor in it.
    edited("no_nsr.iso", lambda v: [v.image.__setitem__(slice(lba * SECTOR + 1, lba * SECTOR + 6), b"BOOT2")
                                    for lba in range(16, 32) if v.image[lba * SECTOR + 1:lba * SECTOR + 4] == b"NSR"])
    edited("long_chain.iso", lambda v: chain_extents(v, v.entry_of(v.find(v.root, "last.txt")), 65))
    edited("bad_volume_crc.iso", lambda v: [flip(v, lba * SECTOR + 100) for lba in volume_descriptors(v)])
    edited("data_like_entry.iso", data_like_entry)
    edited("full_folder.iso", lambda v: fill_many(v, 10001))
    edited("too_many.iso", many_folders)
    shutil.copy(path("pycdlib_bridge.iso"), path("huge_sparse.iso"))
    os.truncate(path("huge_sparse.iso"), 25 * 10**9)
    deep = pycdlib.PyCdlib()
    deep.new(udf="2.60")
    for depth in range(1, 71):
        deep.add_directory(udf_path="/d" * depth)
    deep.add_fp(io.BytesIO(b"deep\n"), 5, udf_path="/d" * 70 + "/note.txt")
    deep.write(path("deep.iso"))
    check_images()


if __name__ == "__main__":
    main()
