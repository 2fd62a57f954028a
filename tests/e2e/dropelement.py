#!/usr/bin/env python3
"""Writes a layout document with one named element of one dialog left out: a skin variant for the tests.

usage: dropelement.py LAYOUT.XML OUT.XML DIALOG ELEMENT_NAME
The text is edited as text, so everything else stays byte for byte as it was.
"""
import re
import sys


def main():
    source, out, dialog, name = sys.argv[1:]
    text = open(source, encoding="utf-8").read()
    dlg = re.search(r'<Dlg name="%s".*?</Dlg>' % re.escape(dialog), text, re.S)
    if not dlg:
        sys.exit("dropelement: no <Dlg name=\"%s\"> in %s" % (dialog, source))
    element = re.compile(r'[ \t]*<(\w+) name="%s"(?:[^>]*/>|.*?</\1>)[ \t]*\n?' % re.escape(name), re.S)
    body, count = element.subn("", dlg.group(0), count=1)
    if count != 1:
        sys.exit("dropelement: no %s in <Dlg name=\"%s\"> of %s" % (name, dialog, source))
    with open(out, "w", encoding="utf-8") as f:
        f.write(text[:dlg.start()] + body + text[dlg.end():])


if __name__ == "__main__":
    main()
