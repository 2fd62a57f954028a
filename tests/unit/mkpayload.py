#!/usr/bin/env python3
"""Packs the packer's test payloads with the packer's own code.

usage: mkpayload.py SEVENZIP OUT_DIR
Writes OUT_DIR/payload.7z (a folder tree with a program, so BCJ2 is used) and OUT_DIR/empty.7z (no files),
both as the setup stores them: first two bytes exchanged. The contents are made here and checked by
packer_test.cpp, which computes the same bytes.
"""
import os
import shutil
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import mksetup  # noqa: E402

sevenzip, out = sys.argv[1:3]
tree = os.path.join(out, "payload-tree")
shutil.rmtree(tree, ignore_errors=True)
os.makedirs(os.path.join(tree, "bin"))
os.makedirs(os.path.join(tree, "文档", "sub"))
os.makedirs(os.path.join(tree, "emptydir"))
with open(os.path.join(tree, "readme.txt"), "wb") as f:
    f.write("奎比 readme\r\n".encode("utf-8") * 100)
with open(os.path.join(tree, "bin", "tool.exe"), "wb") as f:
    f.write(b"MZ" + bytes(i * 7 % 256 for i in range(70000)))
with open(os.path.join(tree, "文档", "sub", "说明.txt"), "wb") as f:
    f.write("说明".encode("utf-8"))
open(os.path.join(tree, "empty.dat"), "wb").close()

work = os.path.join(out, "payload-work")
os.makedirs(work, exist_ok=True)
shutil.copyfile(mksetup.pack_payload(tree, sevenzip, work), os.path.join(out, "payload.7z"))
shutil.copyfile(mksetup.pack_payload(None, sevenzip, work), os.path.join(out, "empty.7z"))
