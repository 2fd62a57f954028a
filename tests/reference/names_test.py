#!/usr/bin/env python3
"""The table of names against the sources, both ways, and the reference pages against the table."""
import os
import re
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import names  # noqa: E402


def expand(entries):
    """(name, access, program) for each program an entry names."""
    return {(name, access, run.strip()) for name, access, runs in entries for run in runs.split(",")}


class TableAgainstCode(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.table = names.load_table()

    def test_actions_are_the_registered_ones_in_their_order(self):
        self.assertEqual(names.code_actions(), names.action_names(self.table))

    def test_action_traces_are_written_by_the_actions(self):
        folder = os.path.join(names.SCRIPT_ENGINE, "actions")
        literals = set()
        for path in names.sources_in(folder) + [os.path.join(names.SCRIPT_ENGINE, "actionargs.cpp")]:
            literals |= set(re.findall(r'L"((?:\\.|[^"\\])*)"', names.read_source(path)))
        missing = [(a["name"], t) for a in self.table["actions"] for t in a["traces"] if t not in literals]
        self.assertEqual(missing, [])

    def test_bridge_modules_and_their_names(self):
        modules, code = names.code_bridge()
        self.assertEqual(modules, [m["module"] for m in self.table["bridge"]])
        self.assertEqual(sorted(code), sorted(names.bridge_names(self.table)))

    def test_layout_elements_and_attributes_are_what_the_loader_reads(self):
        code = {element: sorted(read) for element, read in names.code_layout().items()}
        table = {element: sorted(read) for element, read in names.layout_elements(self.table).items()}
        self.assertEqual(code, table)
        everything = set().union(*names.layout_elements(self.table).values())
        self.assertEqual(sorted(names.code_attribute_reads() - everything), [])

    def test_unread_attributes_are_not_read(self):
        read = names.layout_elements(self.table)
        self.assertEqual([u for u in names.unread_attributes(self.table) if u[1] in read.get(u[0], ())], [])

    def test_dialogs_and_their_action_numbers(self):
        actions, shown = names.code_dialogs(self.table)
        table = {d["name"]: {a["name"]: str(a["number"]) for a in d["actions"]} for d in self.table["dialogs"]}
        self.assertEqual(actions, table)
        self.assertEqual(sorted(shown), sorted(names.shown_dialogs(self.table)))

    def test_hooks_of_each_program(self):
        table = {}
        for hook in self.table["hooks"]:
            table.setdefault(hook["run"], set()).add(hook["name"])
        self.assertEqual(names.code_hooks(), table)
        chunks = {c["name"]: set(c["hooks"]) for c in self.table["chunks"]}
        self.assertEqual(chunks["INSTSCRIPT"], table["setup"])
        self.assertEqual(chunks["UNINSTSCRIPT"], table["uninstaller"])

    def test_globals_the_engine_reads_and_writes(self):
        table = expand((g["name"], g["access"], g["by"]) for g in self.table["globals"] if "named" not in g)
        self.assertEqual(sorted(expand(names.code_globals())), sorted(table))


class ReferencePages(unittest.TestCase):
    def test_pages_are_made_from_the_table(self):
        tool = os.path.join(names.ROOT, "tools", "mkreference.py")
        result = subprocess.run([sys.executable, tool, "--check"], capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_pages_name_every_name_of_the_table(self):
        table = names.load_table()
        pages = ""
        for page in ("scripting.md", "layout.md"):
            with open(os.path.join(names.ROOT, "docs", page), encoding="utf-8") as f:
                pages += f.read()
        every = set(names.action_names(table)) | names.bridge_names(table)
        every |= {h["name"] for h in table["hooks"]} | {g["name"] for g in table["globals"]}
        every |= set().union(*names.layout_elements(table).values()) | set(names.layout_elements(table))
        self.assertEqual(sorted(n for n in every if n not in pages), [])


if __name__ == "__main__":
    unittest.main()
