#!/usr/bin/env python3
"""Makes the damaged chunks of the test setups from a good compiled chunk.

usage: mkbadchunks.py LUAC SOURCE.lua KIND OUT.LUAC
KIND truncated: the first half of the bytecode; foreign64: the header of a 64-bit build (8-byte size_t).
"""
import subprocess
import sys

luac, source, kind, out = sys.argv[1:5]
subprocess.run([luac, "-s", "-o", out, source], check=True)
with open(out, "rb") as f:
    data = bytearray(f.read())
if kind == "truncated":
    data = data[: len(data) // 2]
elif kind == "foreign64":
    data[8] = 8  # sizeof(size_t)
else:
    sys.exit("unknown kind " + kind)
with open(out, "wb") as f:
    f.write(data)
