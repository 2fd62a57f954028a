#!/usr/bin/env python3
"""Packs the archive tests' payloads with the packer's own code.

usage: mkpayload.py SEVENZIP OUT_DIR
Writes, in OUT_DIR:
- payload.7z: a folder tree with a program (so BCJ2 is used), stored as the setup stores it (first two
  bytes exchanged); readme.txt in it is read-only and has a fixed modification time;
- payload.sha256: the packer's SHA-256 of payload.7z as stored;
- empty.7z: the archive of an empty payload, stored the same way;
- damaged.7z: stored the same way, two incompressible files in one LZMA2 block with an invalid control byte
  in a chunk of the second: the first file comes out whole, the second meets a data error;
- unsafe-N.7z: plain archives whose second entry's name would leave the destination folder;
- coders-KIND.7z: plain solid archives of a 1.2 MB program and 330 KB of text with a 64 KB dictionary, one
  per kind of coder chain (BCJ2 over LZMA2, x86 branch filter over LZMA, LZMA2 alone, stored): larger than
  the decoder's buffers and its dictionary, so decoding goes round its ring many times.
The contents are made here and checked by the tests, which compute the same bytes.
"""
import os
import random
import shutil
import stat
import struct
import subprocess
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import mksetup  # noqa: E402

README_MTIME = 1577934245  # 2020-01-02 03:04:05 UTC
UNSAFE_NAMES = ["../evil.txt", "C:\\evil.txt", "\\\\evil.txt", "a\\..\\..\\e", "s/../../e", "sub/NUL.txt",
                "x.txt:alt", "... /evil"]

sevenzip, out = sys.argv[1:3]


def make_tree(tree):
    shutil.rmtree(tree, ignore_errors=True)
    os.makedirs(os.path.join(tree, "bin"))
    os.makedirs(os.path.join(tree, "文档", "sub"))
    os.makedirs(os.path.join(tree, "emptydir"))
    readme = os.path.join(tree, "readme.txt")
    with open(readme, "wb") as f:
        f.write("奎比 readme\r\n".encode("utf-8") * 100)
    os.utime(readme, (README_MTIME, README_MTIME))
    os.chmod(readme, stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
    with open(os.path.join(tree, "bin", "tool.exe"), "wb") as f:
        f.write(b"MZ" + bytes(i * 7 % 256 for i in range(70000)))
    with open(os.path.join(tree, "文档", "sub", "说明.txt"), "wb") as f:
        f.write("说明".encode("utf-8"))
    open(os.path.join(tree, "empty.dat"), "wb").close()


def unsafe_archive(name, path, work):
    """An archive of two files whose second name is `name`: packed with a placeholder of the same length
    and an uncompressed header, then renamed in place with the header's checksums made right again."""
    placeholder = "z" * len(name)
    tree = os.path.join(work, "unsafe-tree")
    shutil.rmtree(tree, ignore_errors=True)
    os.makedirs(tree)
    for file_name, text in (("a_good.txt", b"good"), (placeholder, b"evil")):
        with open(os.path.join(tree, file_name), "wb") as f:
            f.write(text)
    if os.path.exists(path):
        os.remove(path)
    subprocess.run([sevenzip, "a", "-t7z", "-bd", "-mhc=off", "-m0=copy", path, "a_good.txt", placeholder],
                   cwd=tree, check=True, capture_output=True)
    data = bytearray(open(path, "rb").read())
    offset, size = struct.unpack_from("<QQ", data, 12)
    header = 32 + offset
    at = data.find(placeholder.encode("utf-16-le"), header)
    assert at > 0
    data[at:at + 2 * len(name)] = name.encode("utf-16-le")
    struct.pack_into("<I", data, 28, zlib.crc32(bytes(data[header:header + size])) & 0xFFFFFFFF)
    struct.pack_into("<I", data, 8, zlib.crc32(bytes(data[12:32])) & 0xFFFFFFFF)
    open(path, "wb").write(bytes(data))


def damaged_archive(path, work):
    tree = os.path.join(work, "damaged-tree")
    shutil.rmtree(tree, ignore_errors=True)
    os.makedirs(tree)
    noise = random.Random(7)
    for name, size in (("a.bin", 4096), ("b.bin", 1000000)):
        with open(os.path.join(tree, name), "wb") as f:
            f.write(noise.randbytes(size))
    packed = os.path.join(work, "damaged.7z")
    if os.path.exists(packed):
        os.remove(packed)
    subprocess.run([sevenzip, "a", "-t7z", "-bd", "-ms=on", "-mf=off", "-m0=lzma2", "-mmt=1", packed, "a.bin", "b.bin"],
                   cwd=tree, check=True, capture_output=True)
    data = bytearray(open(packed, "rb").read())
    # LZMA2 stores what it cannot compress as plain chunks: a control byte (1 with a dictionary reset, 2
    # without), the size less one in two bytes, the bytes. The damaged chunk starts past the first of the
    # decoder's 512 KB output slots, so a.bin is handed over before the error.
    at, unpacked = 32, 0
    while unpacked < 600000:
        assert data[at] in (1, 2), "chunk at %d is not a plain one" % at
        size = (data[at + 1] << 8 | data[at + 2]) + 1
        at += 3 + size
        unpacked += size
    assert data[at] == 2, "chunk at %d is not a plain one" % at
    data[at] = 0x7F  # no chunk kind
    mksetup.write_exchanged(bytes(data), path)


def program_bytes(n):
    """Code-like bytes with many call and jump opcodes; archive_test.cpp computes the same."""
    out = bytearray(n)
    x = 12345
    for i in range(n):
        x = (x * 1103515245 + 12345) & 0x7FFFFFFF
        m = i % 13
        if m == 0:
            b = 0xE8
        elif m == 8:
            b = 0xE9
        elif m in (1, 9):
            b = (i >> 4) & 0xFF
        elif m in (2, 10):
            b = (i >> 12) & 0xFF
        elif m in (3, 4):
            b = 0x00  # near calls and jumps, as the branch filters look for
        elif m in (11, 12):
            b = 0xFF
        elif m == 5:
            b = (x >> 16) & 0xFF
        else:
            b = (0x8B, 0x45, 0x89, 0x4D)[m & 3]
        out[i] = b
    return bytes(out)


def coder_archives(work):
    tree = os.path.join(work, "coders-tree")
    shutil.rmtree(tree, ignore_errors=True)
    os.makedirs(os.path.join(tree, "bin"))
    os.makedirs(os.path.join(tree, "data"))
    with open(os.path.join(tree, "bin", "big.exe"), "wb") as f:
        f.write(b"MZ" + program_bytes(1200000))
    with open(os.path.join(tree, "data", "notes.txt"), "wb") as f:
        f.write(b"line 7 of the notes\r\n" * 15000)
    for kind, switches in (("bcj2", ["-mf=BCJ2", "-m0=lzma2:d=64k"]), ("x86", ["-mf=BCJ", "-m0=lzma:d=64k"]),
                           ("lzma2", ["-mf=off", "-m0=lzma2:d=64k"]), ("copy", ["-mf=off", "-m0=copy"])):
        path = os.path.join(out, "coders-%s.7z" % kind)
        if os.path.exists(path):
            os.remove(path)
        subprocess.run([sevenzip, "a", "-t7z", "-bd", "-ms=on"] + switches + [path, "bin", "data"], cwd=tree,
                       check=True, capture_output=True)


work = os.path.join(out, "payload-work")
os.makedirs(work, exist_ok=True)
tree = os.path.join(out, "payload-tree")
make_tree(tree)
shutil.copyfile(mksetup.pack_payload(tree, sevenzip, work), os.path.join(out, "payload.7z"))
shutil.copyfile(mksetup.write_payload_hash(os.path.join(out, "payload.7z"), work), os.path.join(out, "payload.sha256"))
shutil.copyfile(mksetup.pack_payload(None, sevenzip, work), os.path.join(out, "empty.7z"))
damaged_archive(os.path.join(out, "damaged.7z"), work)
coder_archives(work)
for number, name in enumerate(UNSAFE_NAMES):
    unsafe_archive(name, os.path.join(out, "unsafe-%d.7z" % number), work)
