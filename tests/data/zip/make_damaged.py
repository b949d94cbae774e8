#!/usr/bin/env python3
"""Writes the damaged archives of this folder. Each is built by hand so that every byte is known."""
import struct
import zlib
from pathlib import Path

HERE = Path(__file__).resolve().parent


def archive(entries, comment=b""):
    """entries: (name bytes, data, method); returns the bytes of a single-volume archive."""
    out = bytearray()
    central = bytearray()
    for name, data, method in entries:
        packed = data if method != 8 else zlib.compress(data, 6)[2:-4]
        crc = zlib.crc32(data)
        offset = len(out)
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, method, 0x6000, 0x5A21, crc, len(packed),
                           len(data), len(name), 0) + name + packed
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, method, 0x6000, 0x5A21, crc,
                               len(packed), len(data), len(name), 0, 0, 0, 0, 32, offset) + name
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central), len(out),
                      len(comment)) + comment
    return bytes(out + central + end)


TEXT = ("<?xml version=\"1.0\"?>\n<forecast>" + "<row a=\"1\" b=\"2\"/>" * 40 + "</forecast>\n").encode()
CATALOGUE = []


def put(file_name, data, code, message, unzip_passes=""):
    """unzip_passes: why the component refuses an archive whose data `unzip -t` finds sound."""
    (HERE / file_name).write_bytes(data)
    CATALOGUE.append(f"{file_name}\t{code}\t{message}" + (f"\t{unzip_passes}" if unzip_passes else ""))


def central_offset(data, index=0):
    """Offset of the index-th central header of an archive built by archive()."""
    at = struct.unpack_from("<I", data, len(data) - 22 + 16)[0]
    for _ in range(index):
        at += 46 + sum(struct.unpack_from("<HHH", data, at + 28))
    return at


DAMAGED = "Файл не является zip-архивом или повреждён"

good = archive([(b"data.xml", TEXT, 0)])
put("truncated.zip", good[: len(good) // 2], 10, DAMAGED)

flipped = bytearray(good)
flipped[30 + len(b"data.xml") + 100] ^= 0x01
put("stored-flipped.zip", bytes(flipped), 11, "Контрольная сумма распакованных данных не совпадает")

UNSAFE = "name leads outside the target folder"
put("dotdot.zip", archive([(b"../evil.txt", b"evil", 0)]), 10, DAMAGED, UNSAFE)
put("absolute.zip", archive([(b"/tmp/evil", b"evil", 0)]), 10, DAMAGED, UNSAFE)
put("drive.zip", archive([(b"C:evil.txt", b"evil", 0)]), 10, DAMAGED, UNSAFE)
put("backslash-dotdot.zip", archive([(b"sub\\..\\..\\evil.txt", b"evil", 0)]), 10, DAMAGED, UNSAFE)

bzip = bytearray(archive([(b"data.xml", TEXT, 0)]))
struct.pack_into("<H", bzip, 8, 12)
struct.pack_into("<H", bzip, len(good) - 22 - 46 - len(b"data.xml") + 10, 12)
put("unknown-method.zip", bytes(bzip), 10, DAMAGED)

mismatch = bytearray(good)
mismatch[14] ^= 0xFF  # CRC in the local header only
put("local-mismatch.zip", bytes(mismatch), 10, DAMAGED)

# A deflate stream cut in half, with both headers telling the cut length: the data ends early.
packed = zlib.compress(TEXT, 6)[2:-4]
cut = bytearray(archive([(b"data.xml", TEXT, 8)]))
half = len(packed) // 2
name_end = 30 + len(b"data.xml")
cut = cut[:name_end + half] + cut[name_end + len(packed):]
struct.pack_into("<I", cut, 18, half)
central_at = name_end + half
struct.pack_into("<I", cut, central_at + 20, half)
struct.pack_into("<I", cut, len(cut) - 22 + 16, central_at)
put("cut-deflate.zip", bytes(cut), 10, DAMAGED)

garbage = bytearray(archive([(b"data.xml", TEXT, 8)]))
garbage[name_end] = 0xFF  # block type 3 does not exist
put("corrupt-deflate.zip", bytes(garbage), 6, "Сжатые данные повреждены")

# The end record promises two entries, the directory holds one.
short_dir = bytearray(good)
struct.pack_into("<HH", short_dir, len(short_dir) - 22 + 8, 2, 2)
put("short-directory.zip", bytes(short_dir), 10, DAMAGED)

# Both headers promise ten bytes more than the stored data holds.
short = bytearray(good)
struct.pack_into("<I", short, 22, len(TEXT) + 10)
struct.pack_into("<I", short, len(good) - 22 - 46 - len(b"data.xml") + 24, len(TEXT) + 10)
put("short-stored.zip", bytes(short), 10, DAMAGED)

# Sizes in a data descriptor whose CRC disagrees with the central header.
crc = zlib.crc32(TEXT)
local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 8, 0, 0x6000, 0x5A21, 0, 0, 0, 8, 0) + b"data.xml" + TEXT
descriptor = struct.pack("<IIII", 0x08074B50, crc ^ 1, len(TEXT), len(TEXT))
central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 8, 0, 0x6000, 0x5A21, crc, len(TEXT), len(TEXT), 8,
                      0, 0, 0, 0, 32, 0) + b"data.xml"
body = local + descriptor
put("descriptor-mismatch.zip", body + central + struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(central),
                                                             len(body), 0), 10, DAMAGED,
    "unzip does not read data descriptors")

# Entry a's stored data holds entry b's local header and data: b's bytes are unpacked twice.
local_b = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 0, 0x6000, 0x5A21, crc, len(TEXT), len(TEXT), 5, 0) + b"b.xml" \
    + TEXT
crc_a = zlib.crc32(local_b)
local_a = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 0, 0x6000, 0x5A21, crc_a, len(local_b), len(local_b), 5, 0) \
    + b"a.xml"
central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 0, 0x6000, 0x5A21, crc_a, len(local_b),
                      len(local_b), 5, 0, 0, 0, 0, 32, 0) + b"a.xml" \
    + struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 0, 0x6000, 0x5A21, crc, len(TEXT), len(TEXT), 5, 0, 0,
                  0, 0, 32, len(local_a)) + b"b.xml"
body = local_a + local_b
put("overlap-quoted.zip", body + central + struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 2, 2, len(central), len(body),
                                                        0), 10, DAMAGED)

# Two central headers naming one local header.
one = central_offset(good)
twice = good[:one] + good[one:-22] * 2 + struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 2, 2, 2 * (len(good) - 22 - one),
                                                      one, 0)
put("overlap-shared.zip", twice, 10, DAMAGED)

# Sizes 0xFFFFFFFF in both headers: zip64 markers, with no zip64 record behind them.
marker = bytearray(good)
struct.pack_into("<II", marker, 18, 0xFFFFFFFF, 0xFFFFFFFF)
struct.pack_into("<II", marker, central_offset(good) + 20, 0xFFFFFFFF, 0xFFFFFFFF)
put("zip64-sizes.zip", bytes(marker), 10, DAMAGED)


def deflated(packed, size, crc, name=b"data.xml"):
    """One deflated entry with the given stream and the declared size and CRC."""
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0x6000, 0x5A21, crc, len(packed), size, len(name), 0) \
        + name + packed
    central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, 0x6000, 0x5A21, crc, len(packed), size,
                          len(name), 0, 0, 0, 0, 32, 0) + name
    return local + central + struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(central), len(local), 0)


# The stream ends eight bytes before the compressed size; and one whose data goes on past the size
# (found only after its folder was made, which must go again).
put("deflate-trailing.zip", deflated(packed + b"TRAILING", len(TEXT), zlib.crc32(TEXT)), 10, DAMAGED,
    "unzip stops at the end of the stream")
put("deflate-longer.zip", deflated(packed, len(TEXT) // 2, zlib.crc32(TEXT[:len(TEXT) // 2]), b"sub/data.xml"), 10,
    DAMAGED)


def utf8_flagged(name):
    data = bytearray(archive([(name, TEXT, 0)]))
    struct.pack_into("<H", data, 6, 0x800)
    struct.pack_into("<H", data, central_offset(data) + 8, 0x800)
    return bytes(data)


put("utf8-invalid.zip", utf8_flagged(b"\xff\xfedata.xml"), 10, DAMAGED, "unzip tests data, not names")
put("utf8-control.zip", utf8_flagged(b"data\x1b[2J.xml"), 10, DAMAGED, "unzip tests data, not names")
put("cp866-control.zip", archive([(b"data\n.xml", TEXT, 0)]), 10, DAMAGED, "unzip tests data, not names")

# Local and central names of the same length that differ.
renamed = bytearray(good)
renamed[30:30 + len(b"data.xml")] = b"evil.xml"
put("local-name.zip", bytes(renamed), 10, DAMAGED)

# The central header points far beyond the end of the file.
far = bytearray(good)
struct.pack_into("<I", far, central_offset(good) + 42, 0x7FFFFFF0)
put("offset-past-data.zip", bytes(far), 10, DAMAGED)

(HERE / "catalogue.txt").write_text("\n".join(CATALOGUE) + "\n", encoding="utf-8")
