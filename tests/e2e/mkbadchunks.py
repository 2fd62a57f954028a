#!/usr/bin/env python3
"""Makes the damaged chunks of the test setups from a Lua source.

usage: mkbadchunks.py LUAC ARCH SOURCE.lua KIND OUT.LUAC
KIND truncated: the first half of the target's bytecode; foreign: a whole chunk in the other target's
format (the other width of size_t).
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import luachunk  # noqa: E402

luac, arch, source, kind, out = sys.argv[1:6]
if kind == "truncated":
    luachunk.compile_for(luac, source, arch, out)
    with open(out, "rb") as f:
        data = f.read()
    with open(out, "wb") as f:
        f.write(data[: len(data) // 2])
elif kind == "foreign":
    luachunk.compile_for(luac, source, luachunk.other_arch(arch), out)
else:
    sys.exit("unknown kind " + kind)
