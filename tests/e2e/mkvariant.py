#!/usr/bin/env python3
"""Writes a configuration chunk's source with some assignments replaced: a product variant for the tests.

usage: mkvariant.py SOURCE.lua OUT.lua NAME=LUA_VALUE...
Each NAME must be assigned in SOURCE (one assignment per line); its value is replaced as written.
"""
import re
import sys


def main():
    source, out, *changes = sys.argv[1:]
    text = open(source, encoding="utf-8").read()
    for change in changes:
        name, value = change.split("=", 1)
        pattern = re.compile(r"^(%s\s*=\s*).*$" % re.escape(name), re.M)
        text, count = pattern.subn(lambda m: m.group(1) + value, text)
        if count != 1:
            sys.exit("mkvariant: %s is assigned %d times in %s" % (name, count, source))
    with open(out, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
