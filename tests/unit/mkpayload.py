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
- coders-KIND.7z: plain archives of a 1.2 MB program and 330 KB of text in two solid blocks (dict4g: in one)
  with a 64 KB dictionary, one
  per kind of coder chain (BCJ2 over LZMA2, x86 branch filter over LZMA, LZMA2 alone, stored, PPMd, and
  each other branch filter and delta over LZMA2; LZMA2 declaring a 4 GB dictionary): larger than the decoder's buffers and its dictionary, so
  decoding goes round its ring many times; also the same files coded with methods the setup cannot decode;
- noname.7z: an archive whose header has no names;
- oversize.7z: a good file, then a folder declaring far more bytes than its packed data can hold;
- ppmdmodel.7z: a PPMd coder asking for a 4 GB model for a few kilobytes;
- clash-N.7z: two entries that Windows takes for one file (letter case, a trailing dot, an 8.3 alias);
- blocks.7z: six incompressible files in three LZMA2 solid blocks of two, with their contents in blocks/;
  blocks-damaged.7z: the same, the second block's stream made invalid at its first chunk;
- oneblock.7z: eight text files of 5 MB each in one LZMA2 block with a 1 MB dictionary; twoblocks.7z: the
  same files in two blocks of 20 MB, the second decoded ahead of the writer.
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

FILTERS = ["ARM64", "ARMT", "ARM", "PPC", "SPARC", "IA64", "RISCV"]

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


def pack_files(path, work, files, switches=("-m0=copy",)):
    """An archive with an uncompressed header of `files` ((name, bytes) pairs, in that order)."""
    tree = os.path.join(work, "crafted-tree")
    shutil.rmtree(tree, ignore_errors=True)
    for file_name, content in files:
        os.makedirs(os.path.dirname(os.path.join(tree, file_name)), exist_ok=True)
        with open(os.path.join(tree, file_name), "wb") as f:
            f.write(content)
    if os.path.exists(path):
        os.remove(path)
    subprocess.run([sevenzip, "a", "-t7z", "-bd", "-mhc=off"] + list(switches) + [path] +
                   [name for name, _ in files], cwd=tree, check=True, capture_output=True)


def edit_header(path, edit):
    """Changes bytes of the archive's header in place (edit(bytearray) keeps its length) and makes the
    header's checksums right again."""
    data = bytearray(open(path, "rb").read())
    offset, size = struct.unpack_from("<QQ", data, 12)
    header = 32 + offset
    body = bytearray(data[header:header + size])
    edit(body)
    data[header:header + size] = body
    struct.pack_into("<I", data, 28, zlib.crc32(bytes(body)) & 0xFFFFFFFF)
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


def lzma2_end(data, at):
    """The offset just past the LZMA2 stream starting at `at` (its chunks and its end byte)."""
    while data[at] != 0:
        control = data[at]
        if control < 0x80:
            at += 3 + (data[at + 1] << 8 | data[at + 2]) + 1
        else:
            at += 6 + (data[at + 3] << 8 | data[at + 4]) + (1 if control >= 0xC0 else 0)
    return at + 1


def block_archives(out):
    tree = os.path.join(out, "blocks")
    shutil.rmtree(tree, ignore_errors=True)
    os.makedirs(tree)
    noise = random.Random(11)
    names = ["part%d.bin" % k for k in range(6)]
    for name in names:
        with open(os.path.join(tree, name), "wb") as f:
            f.write(noise.randbytes(150000))
    path = os.path.join(out, "blocks.7z")
    if os.path.exists(path):
        os.remove(path)
    subprocess.run([sevenzip, "a", "-t7z", "-bd", "-ms=300k", "-mf=off", "-m0=lzma2", "-mmt=1", path] + names,
                   cwd=tree, check=True, capture_output=True)
    listing = subprocess.run([sevenzip, "l", "-slt", path], check=True, capture_output=True, text=True).stdout
    assert "Blocks = 3" in listing, listing
    data = bytearray(open(path, "rb").read())
    second = lzma2_end(data, 32)
    assert data[second] in (1, 2), "the second block does not start with a plain chunk"
    data[second] = 0x7F  # no chunk kind
    open(os.path.join(out, "blocks-damaged.7z"), "wb").write(bytes(data))


def one_block_archive(out, work):
    tree = os.path.join(work, "oneblock-tree")
    shutil.rmtree(tree, ignore_errors=True)
    os.makedirs(tree)
    names = ["text%d.txt" % k for k in range(8)]
    for k, name in enumerate(names):
        with open(os.path.join(tree, name), "wb") as f:
            f.write(b"".join(b"line %d of file %d\r\n" % (i, k) for i in range(200000))[:5 << 20])
    for name, solid in (("oneblock.7z", "-ms=on"), ("twoblocks.7z", "-ms=20m")):
        path = os.path.join(out, name)
        if os.path.exists(path):
            os.remove(path)
        subprocess.run([sevenzip, "a", "-t7z", "-bd", solid, "-m0=lzma2:d=1m", "-mx=1", "-mmt=1", path] + names,
                       cwd=tree, check=True, capture_output=True)


def replace_once(body, old, new):
    at = body.find(old)
    assert at >= 0 and body.find(old, at + 1) < 0 and len(old) == len(new)
    body[at:at + len(old)] = new


def unsafe_archive(name, path, work):
    """An archive of two files whose second name is `name`: packed with a placeholder of the same length,
    then renamed in place."""
    placeholder = "z" * len(name)
    pack_files(path, work, [("a_good.txt", b"good"), (placeholder, b"evil")])
    edit_header(path, lambda body: replace_once(body, placeholder.encode("utf-16-le"), name.encode("utf-16-le")))


def crafted_archives(work):
    def drop_names(body):  # the names property becomes one the reader passes over
        at = body.find("a_good.txt\0".encode("utf-16-le"))
        assert body[at - 1] == 0 and body[at - 3] == 0x11
        body[at - 3] = 0x19

    path = os.path.join(out, "noname.7z")
    pack_files(path, work, [("a_good.txt", b"good"), ("other.txt", b"other")])
    edit_header(path, drop_names)
    # 3,000,000 bytes of zeros pack into a few hundred; the header claims 2**28 - 1 of them instead.
    path = os.path.join(out, "oversize.7z")
    pack_files(path, work, [("a_good.txt", b"good"), ("big.bin", bytes(3000000))], ["-ms=off", "-m0=lzma"])
    edit_header(path, lambda body: replace_once(body, b"\xe0\xc0\xc6\x2d", b"\xef\xff\xff\xff"))
    # A PPMd coder whose properties ask for the largest model there is, for 3,000 bytes.
    def huge_model(body):
        at = body.find(b"\x23\x03\x04\x01\x05")
        assert at >= 0
        body[at + 6:at + 10] = struct.pack("<I", 0xFFFFFFDB)

    path = os.path.join(out, "ppmdmodel.7z")
    pack_files(path, work, [("a.txt", b"abc" * 1000)], ["-m0=PPMd"])
    edit_header(path, huge_model)
    for number, names in enumerate((("Dup.txt", "dup.TXT"), ("same.txt", "same.txt."),
                                    ("Program Files/a.txt", "PROGRA~1/b.txt"))):
        pack_files(os.path.join(out, "clash-%d.7z" % number), work, [(name, b"x") for name in names])


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
    kinds = [("bcj2", ["-mf=BCJ2", "-m0=lzma2:d=64k"]), ("x86", ["-mf=BCJ", "-m0=lzma:d=64k"]),
             ("lzma2", ["-mf=off", "-m0=lzma2:d=64k"]), ("copy", ["-mf=off", "-m0=copy"]),
             ("ppmd", ["-mf=off", "-m0=PPMd"]), ("delta", ["-mf=Delta:4", "-m0=lzma2:d=64k"]),
             ("bzip2", ["-mf=off", "-m0=BZip2"]), ("deflate", ["-mf=off", "-m0=Deflate"]),
             ("dict4g", ["-mf=off", "-m0=lzma2:d=64k", "-mhc=off", "-ms=on"])]
    kinds += [(f.lower(), ["-mf=" + f, "-m0=lzma2:d=64k"]) for f in FILTERS]
    for kind, switches in kinds:
        path = os.path.join(out, "coders-%s.7z" % kind)
        if os.path.exists(path):
            os.remove(path)
        # Two solid blocks, the program in one and the text in the other: the block after the first one
        # is decoded ahead, whole, while the first one's file is written.
        subprocess.run([sevenzip, "a", "-t7z", "-bd", "-ms=1m"] + switches + [path, "bin", "data"], cwd=tree,
                       check=True, capture_output=True)
    # The LZMA2 coder's dictionary property made 40, a dictionary of 4 GB.
    edit_header(os.path.join(out, "coders-dict4g.7z"),
                lambda body: replace_once(body, b"\x21\x21\x01\x08", b"\x21\x21\x01\x28"))


work = os.path.join(out, "payload-work")
os.makedirs(work, exist_ok=True)
tree = os.path.join(out, "payload-tree")
make_tree(tree)
shutil.copyfile(mksetup.pack_payload(tree, sevenzip, work), os.path.join(out, "payload.7z"))
shutil.copyfile(mksetup.write_payload_hash(os.path.join(out, "payload.7z"), work), os.path.join(out, "payload.sha256"))
shutil.copyfile(mksetup.pack_payload(None, sevenzip, work), os.path.join(out, "empty.7z"))
damaged_archive(os.path.join(out, "damaged.7z"), work)
block_archives(out)
one_block_archive(out, work)
coder_archives(work)
crafted_archives(work)
for number, name in enumerate(UNSAFE_NAMES):
    unsafe_archive(name, os.path.join(out, "unsafe-%d.7z" % number), work)
