"""Lua 5.2 binary chunks re-encoded for the width of size_t of a target.

A chunk records the sizes of the machine that wrote it in its header, and writes every string length
as a size_t. The build runs one native luac on the host; this module rewrites its output for the
engine of each target (4-byte size_t for i686, 8-byte for x86_64), so no 32-bit host program is needed.
Everything else in the format (int, Instruction, lua_Number) has the same size on every target we build.
"""
import struct

SIGNATURE = b"\x1bLua\x52\x00"
TAIL = b"\x19\x93\r\n\x1a\n"
HEADER_SIZE = 18
SIZE_T = {"i686": 4, "x86_64": 8}

TNIL, TBOOLEAN, TNUMBER, TSTRING = 0, 1, 3, 4


class ChunkError(Exception):
    pass


class _Reader:
    def __init__(self, data, size_t):
        self.data, self.pos, self.size_t = data, HEADER_SIZE, size_t

    def take(self, n):
        if n < 0 or self.pos + n > len(self.data):
            raise ChunkError("truncated chunk at byte %d" % self.pos)
        piece = self.data[self.pos:self.pos + n]
        self.pos += n
        return piece

    def int(self):
        return struct.unpack("<i", self.take(4))[0]

    def count(self):
        n = self.int()
        if n < 0:
            raise ChunkError("negative count at byte %d" % (self.pos - 4))
        return n

    def string(self):
        """The string's bytes with their terminator, or None for the absent string."""
        size = int.from_bytes(self.take(self.size_t), "little")
        return None if size == 0 else self.take(size)


class _Writer:
    def __init__(self, size_t):
        self.parts, self.size_t = [], size_t

    def raw(self, data):
        self.parts.append(data)

    def int(self, value):
        self.parts.append(struct.pack("<i", value))

    def string(self, data):
        size = 0 if data is None else len(data)
        if size >= 1 << (8 * self.size_t):
            raise ChunkError("a string of %d bytes does not fit the target's size_t" % size)
        self.parts.append(size.to_bytes(self.size_t, "little"))
        if data is not None:
            self.parts.append(data)


def header(size_t):
    return SIGNATURE + bytes([1, 4, size_t, 4, 8, 0]) + TAIL


def size_t_of(data):
    """The size_t width a chunk was written with; raises ChunkError for anything but our format."""
    if len(data) < HEADER_SIZE or data[:6] != SIGNATURE or data[12:18] != TAIL:
        raise ChunkError("not a Lua 5.2 binary chunk")
    endian, int_size, size_t, instruction, number, integral = data[6:12]
    if (endian, int_size, instruction, number, integral) != (1, 4, 4, 8, 0) or size_t not in (4, 8):
        raise ChunkError("unsupported chunk layout %s" % data[6:12].hex())
    return size_t


def _function(r, w):
    w.raw(r.take(4 + 4 + 3))  # line defined, last line defined, parameters, vararg flag, stack size
    n = r.count()
    w.int(n)
    w.raw(r.take(4 * n))  # instructions
    n = r.count()
    w.int(n)
    for _ in range(n):
        kind = r.take(1)
        w.raw(kind)
        if kind[0] == TBOOLEAN:
            w.raw(r.take(1))
        elif kind[0] == TNUMBER:
            w.raw(r.take(8))
        elif kind[0] == TSTRING:
            w.string(r.string())
        elif kind[0] != TNIL:
            raise ChunkError("unknown constant type %d at byte %d" % (kind[0], r.pos - 1))
    n = r.count()
    w.int(n)
    for _ in range(n):
        _function(r, w)
    n = r.count()
    w.int(n)
    w.raw(r.take(2 * n))  # upvalues: in-stack flag and index
    w.string(r.string())  # source name
    n = r.count()
    w.int(n)
    w.raw(r.take(4 * n))  # line info
    n = r.count()
    w.int(n)
    for _ in range(n):
        w.string(r.string())
        w.raw(r.take(8))  # first and last pc of the local
    n = r.count()
    w.int(n)
    for _ in range(n):
        w.string(r.string())


def reencode(data, target_size_t):
    """The chunk rewritten with target_size_t-byte string lengths (unchanged when it already has them)."""
    source_size_t = size_t_of(data)
    if source_size_t == target_size_t:
        return bytes(data)
    r = _Reader(bytes(data), source_size_t)
    w = _Writer(target_size_t)
    w.raw(header(target_size_t))
    _function(r, w)
    if r.pos != len(r.data):
        raise ChunkError("%d bytes after the main function" % (len(r.data) - r.pos))
    return b"".join(w.parts)


def for_arch(data, arch):
    return reencode(data, SIZE_T[arch])


def other_arch(arch):
    return "x86_64" if arch == "i686" else "i686"


def compile_for(luac, source, arch, out, strip=True):
    """Compiles source with the host luac and writes the chunk in arch's format to out."""
    import subprocess
    import tempfile
    with tempfile.TemporaryDirectory() as work:
        native = work + "/native.luac"
        command = [luac] + (["-s"] if strip else []) + ["-o", native, source]
        result = subprocess.run(command, capture_output=True, text=True)
        if result.returncode != 0:
            raise ChunkError("cannot compile %s: %s" % (source, result.stderr.strip()))
        with open(native, "rb") as f:
            data = for_arch(f.read(), arch)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    import argparse
    import sys
    parser = argparse.ArgumentParser(description="Compile a Lua 5.2 source into a target's chunk format.")
    parser.add_argument("--debug", action="store_true", help="keep the debug information")
    parser.add_argument("luac")
    parser.add_argument("arch", choices=sorted(SIZE_T))
    parser.add_argument("source")
    parser.add_argument("out")
    args = parser.parse_args()
    try:
        compile_for(args.luac, args.source, args.arch, args.out, strip=not args.debug)
    except ChunkError as error:
        sys.exit("luachunk: %s" % error)
