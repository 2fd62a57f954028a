#!/usr/bin/env python3
"""Builds one setup executable from a product folder.

A product folder holds GLOBAL_VAR.lua, INSTSCRIPT.lua and UNINSTSCRIPT.lua (or ready .LUAC chunks of
the same names), LAYOUT.XML, skin/NNN.png and payload/. Several --product folders may be given: a later
one overrides an earlier one file by file, and may list names to leave out in a file named OMIT.

The chunks are compiled to stripped Lua 5.2 bytecode in the target's format (see luachunk.py), the layout is stored as UTF-16LE, the
payload becomes a 7z archive in solid blocks of about 32 MB stored with its first two bytes exchanged (resource APP.7Z of type _7Z)
with the SHA-256 of those stored bytes beside it (APP.7Z of type SHA256, 32 bytes; left out with
--without-payload-hash), and everything is linked with the engine into OUT.exe using the link description
the build writes (mksetup.env).

Before anything is written the product is checked (productcheck.py): errors stop the build, warnings
too with --strict; --no-check leaves the checks out (for products broken on purpose).
"""
import argparse
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import delayundefined  # noqa: E402
import luachunk  # noqa: E402
import productcheck  # noqa: E402

CHUNKS = ("GLOBAL_VAR", "INSTSCRIPT", "UNINSTSCRIPT")
EXECUTABLE_SUFFIXES = (".exe", ".dll", ".sys", ".ocx", ".cpl")


def fail(message):
    sys.exit("mksetup: " + message)


def read_env(path):
    env = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if "=" in line:
                key, value = line.split("=", 1)
                env[key] = value
    return env


class Product:
    """The product's files after layering and omissions."""

    def __init__(self, folders):
        self.folders = folders
        self.omitted = set()
        for folder in folders:
            omit = os.path.join(folder, "OMIT")
            if os.path.isfile(omit):
                with open(omit, encoding="utf-8") as f:
                    self.omitted |= {line.strip() for line in f if line.strip()}

    def find(self, name):
        if name in self.omitted:
            return None
        for folder in reversed(self.folders):
            path = os.path.join(folder, name)
            if os.path.exists(path):
                return path
        return None

    def skin_images(self):
        images = {}
        for folder in self.folders:
            skin = os.path.join(folder, "skin")
            if not os.path.isdir(skin):
                continue
            for entry in sorted(os.listdir(skin)):
                stem, ext = os.path.splitext(entry)
                if ext.lower() == ".png" and stem.isdigit() and "skin/" + entry not in self.omitted:
                    images[int(stem)] = os.path.join(skin, entry)
        return images


def compile_chunk(product, name, luac, arch, work):
    """Path of the chunk's bytes: a ready .LUAC as it is, or the compiled .lua; None when absent."""
    ready = product.find(name + ".LUAC")
    if ready:
        return ready
    source = product.find(name + ".lua")
    if not source:
        return None
    out = os.path.join(work, name + ".LUAC")
    try:
        luachunk.compile_for(luac, source, arch, out)
    except luachunk.ChunkError as error:
        fail(str(error))
    return out


def check(product, env, strict):
    """Reports the product's findings; fails when one of them stops the build."""
    findings = productcheck.check_product(product, CHUNKS, env["LUAC"], env["LAYOUTCHECK"])
    for finding in findings:
        print(finding, file=sys.stderr)
    errors = [f for f in findings if f.severity == productcheck.ERROR or strict]
    if errors:
        fail("%d error(s)%s, nothing written" % (len(errors), " (warnings count with --strict)" if strict else ""))


def convert_layout(product, work):
    source = product.find("LAYOUT.XML")
    if not source:
        return None
    with open(source, "rb") as f:
        data = f.read()
    if not data.startswith(b"\xff\xfe"):
        try:
            text = data.decode("utf-8-sig")
        except UnicodeDecodeError:
            text = None
        if text is not None:
            data = b"\xff\xfe" + text.encode("utf-16-le")
        # bytes that are not UTF-8 are stored unchanged: the setup reports what it cannot parse
    out = os.path.join(work, "LAYOUT.XML")
    with open(out, "wb") as f:
        f.write(data)
    return out


def empty_7z():
    """A valid 7z archive with no entries: the signature header alone."""
    tail = struct.pack("<QQI", 0, 0, 0)
    return b"7z\xbc\xaf\x27\x1c\x00\x04" + struct.pack("<I", zlib.crc32(tail) & 0xFFFFFFFF) + tail


SHORT_NAME_CHARS = set("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789$%'-_@~`!(){}^#&")


def windows_fold(name):
    """The name as Windows compares it: each component without its trailing dots and spaces, letter case
    folded (one character for one, as the system's own table does)."""
    parts = [part.rstrip(". ") for part in name.replace("\\", "/").split("/")]
    return "\\".join("".join(c.upper() if len(c.upper()) == 1 else c for c in part) for part in parts if part)


def fits_short_name(part):
    base, dot, ext = part.partition(".")
    return 0 < len(base) <= 8 and len(ext) <= 3 and "." not in ext and set(base + ext) <= SHORT_NAME_CHARS


def may_be_alias_of(alias, name):
    """Whether `alias` has the shape of an 8.3 alias the system may give the long name `name`."""
    base = alias.partition(".")[0]
    tilde = base.rfind("~")
    if not fits_short_name(alias) or tilde <= 0 or not base[tilde + 1:].isdigit() or fits_short_name(name):
        return False
    first = name.lstrip(". ")[:1]
    return bool(first) and (first not in SHORT_NAME_CHARS or alias[0] == "_" or alias[0].upper() == first.upper())


def check_payload_names(payload):
    """Fails when two payload entries would be one file or folder on Windows."""
    seen = {}
    children = {}
    for root, folders, names in os.walk(payload):
        for name in folders + names:
            relative = os.path.relpath(os.path.join(root, name), payload)
            key = windows_fold(relative)
            if key in seen:
                fail("payload entries %s and %s are the same file on Windows" % (seen[key], relative))
            seen[key] = relative
            children.setdefault(windows_fold(os.path.dirname(relative)), []).append(
                (name.rstrip(". "), relative))
    for entries in children.values():
        for alias, alias_path in entries:
            for name, path in entries:
                if may_be_alias_of(alias, name):
                    fail("payload entry %s may be the short name of %s on Windows" % (alias_path, path))


SOLID_BLOCK_MB = 32
DICTIONARY_MB = 6


def solid_block_mb(files):
    """The solid block size for a payload: 32 MB, or half the payload when that is less (at least 1 MB)."""
    total = sum(os.path.getsize(f) for f in files)
    half_mb = (total + (2 << 20) - 1) // (2 << 20)
    return max(1, min(SOLID_BLOCK_MB, half_mb))


def pack_payload(payload, sevenzip, work):
    out = os.path.join(work, "APP.7Z")
    if os.path.exists(out):
        os.remove(out)
    files = []
    if payload and os.path.isdir(payload):
        for root, _, names in os.walk(payload):
            files += [os.path.join(root, n) for n in names]
    if files:
        check_payload_names(payload)
    if not files:
        data = empty_7z()
    else:
        # Solid blocks of at most 32 MB, each decoded on a thread of its own, as many at once as the machine
        # has processors. Blocks of that size cost about 2 % in size against one block (16 MB: 9 %, 8 MB:
        # 26 % on a payload of programs and data); a payload of less than two such blocks is cut in two, so
        # that a small one is decoded by two threads as well. Each decoder holds its dictionary: 6 MB costs
        # a further half percent.
        command = [sevenzip, "a", "-t7z", "-bd", "-y", "-ms=%dm" % solid_block_mb(files),
                   "-m0=lzma2:d=%dm" % DICTIONARY_MB, "-mx=9", "-mmt=2"]
        if any(f.lower().endswith(EXECUTABLE_SUFFIXES) for f in files):
            command.append("-mf=BCJ2")
        command += [out, "."]
        result = subprocess.run(command, cwd=payload, capture_output=True, text=True)
        if result.returncode != 0:
            fail("7z failed: " + (result.stderr or result.stdout).strip())
        with open(out, "rb") as f:
            data = f.read()
    return write_exchanged(data, out)


def write_exchanged(data, out):
    """Writes the archive as the setup stores it: bytes 0 and 1 exchanged."""
    with open(out, "wb") as f:
        f.write(data[1:2] + data[0:1])
        f.write(memoryview(data)[2:])
    return out


def store_archive(path, work):
    with open(path, "rb") as f:
        data = f.read()
    if not data.startswith(b"7z\xbc\xaf\x27\x1c"):
        fail("%s is not a 7z archive" % path)
    return write_exchanged(data, os.path.join(work, "APP.7Z"))


def write_payload_hash(archive, work):
    """The SHA-256 of the archive as stored, which the setup checks its payload against at start."""
    digest = hashlib.sha256()
    with open(archive, "rb") as f:
        for piece in iter(lambda: f.read(1 << 20), b""):
            digest.update(piece)
    out = os.path.join(work, "APP.SHA256")
    with open(out, "wb") as f:
        f.write(digest.digest())
    return out


def rc_path(path):
    return '"' + os.path.abspath(path).replace("\\", "/") + '"'


def write_rc(work, engine_rc, chunks, layout, images, archive, archive_hash):
    # One resource script: the linker keeps only one resource section intact.
    lines = ["// generated by mksetup.py", '#include "%s"' % os.path.abspath(engine_rc).replace("\\", "/")]
    for name, path in chunks.items():
        if path:
            lines.append("%s.LUAC LUA %s" % (name, rc_path(path)))
    if layout:
        lines.append("LAYOUT.XML XML %s" % rc_path(layout))
    for number, path in sorted(images.items()):
        lines.append("%d PNG %s" % (number & 0xFFFF, rc_path(path)))
    lines.append("APP.7Z _7Z %s" % rc_path(archive))
    if archive_hash:
        lines.append("APP.7Z SHA256 %s" % rc_path(archive_hash))
    rc = os.path.join(work, "product.rc")
    with open(rc, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    return rc


def delay_load_flags(env):
    """Linker flags that keep the delay-load stubs of the functions the program calls."""
    defs = [d for d in env.get("DELAY_DEFS", "").split(";") if d]
    if not defs:
        return []
    with open(env["LINK_RSP"], encoding="utf-8") as f:
        inputs = [line.strip() for line in f if line.strip() and os.path.isfile(line.strip())]
    return delayundefined.undefined_flags(env["NM"], env["ARCH"], defs, inputs)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--env", required=True, help="link description written by the build (mksetup.env)")
    parser.add_argument("--product", action="append", required=True, help="product folder (repeatable)")
    parser.add_argument("--payload", help="payload folder (default: the product's payload/)")
    parser.add_argument("--archive", help="a ready 7z archive to embed as the payload instead of packing a folder")
    parser.add_argument("--without-payload-hash", action="store_true",
                        help="store no SHA-256 of the payload (the setup then does not check it)")
    parser.add_argument("--work", help="folder for intermediate files (default: a temporary one)")
    parser.add_argument("--strict", action="store_true", help="warnings of the product's checks stop the build too")
    parser.add_argument("--no-check", action="store_true",
                        help="leave the product's checks out (for products broken on purpose)")
    parser.add_argument("out", help="setup executable to write")
    args = parser.parse_args()

    env = read_env(args.env)
    product = Product([os.path.abspath(p) for p in args.product])
    if not args.no_check:
        check(product, env, args.strict)
    work = args.work or tempfile.mkdtemp(prefix="mksetup-")
    os.makedirs(work, exist_ok=True)
    try:
        chunks = {name: compile_chunk(product, name, env["LUAC"], env["ARCH"], work) for name in CHUNKS}
        layout = convert_layout(product, work)
        if args.archive:
            archive = store_archive(args.archive, work)
        else:
            payload = args.payload or product.find("payload")
            archive = pack_payload(payload, env.get("SEVENZIP", "7zz"), work)
        archive_hash = None if args.without_payload_hash else write_payload_hash(archive, work)
        rc = write_rc(work, env["ENGINE_RC"], chunks, layout, product.skin_images(), archive, archive_hash)
        res = os.path.join(work, "product.res.o")
        rc_dir = os.path.dirname(os.path.abspath(env["ENGINE_RC"]))
        subprocess.run([env["WINDRES"], "-I", rc_dir, "-I", env["RC_INCLUDE"], "-O", "coff", rc, "-o", res],
                       check=True)
        out = os.path.abspath(args.out)
        os.makedirs(os.path.dirname(out), exist_ok=True)
        link = [env["CXX"]] + env["LDFLAGS"].split() + delay_load_flags(env)
        link += ["-o", out, res, "@" + env["LINK_RSP"]]
        subprocess.run(link, check=True)
    except subprocess.CalledProcessError as error:
        fail("command failed: %s" % " ".join(error.cmd))
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
