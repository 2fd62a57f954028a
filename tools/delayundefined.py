#!/usr/bin/env python3
"""Linker flags that keep the delay-load stubs of the functions a program calls.

The linker drops an import stub's code when only its __imp_ pointer is referenced, which leaves a
delay-loaded pointer empty; naming each called function as undefined keeps its stub.

usage: delayundefined.py --nm NM --arch i686|x86_64 --def LIB.def... --out FLAGS.rsp INPUT...
The inputs are the objects and static libraries being linked; the output holds one flag per line.
"""
import argparse
import subprocess


def undefined_flags(nm, arch, defs, inputs):
    delayed = set()
    for path in defs:
        with open(path, encoding="utf-8") as f:
            delayed |= {line.strip() for line in f if "@" in line or line.strip().isidentifier()}
    if not delayed or not inputs:
        return []
    result = subprocess.run([nm, "-u"] + list(inputs), capture_output=True, text=True, check=True)
    # 32-bit C symbols carry a leading underscore, 64-bit ones do not.
    underscore = "_" if arch == "i686" else ""
    imp = "__imp_" + underscore
    wanted = set()
    for line in result.stdout.split("\n"):
        parts = line.split()
        if parts and parts[-1].startswith(imp) and parts[-1][len(imp):] in delayed:
            wanted.add(parts[-1][len(imp):])
    return ["-Wl,--undefined=" + underscore + name for name in sorted(wanted)]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--nm", required=True)
    parser.add_argument("--arch", required=True)
    parser.add_argument("--def", dest="defs", action="append", default=[])
    parser.add_argument("--out", required=True)
    parser.add_argument("inputs", nargs="*")
    args = parser.parse_args()
    flags = undefined_flags(args.nm, args.arch, args.defs, args.inputs)
    with open(args.out, "w", encoding="utf-8") as f:
        f.write("".join(flag + "\n" for flag in flags))


if __name__ == "__main__":
    main()
