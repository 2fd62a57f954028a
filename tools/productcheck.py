"""The builder's checks of a product before anything is written: its chunks and its layout against the
table of names (docs/names.json). Each finding names its file and line and has a severity: an error stops
the build, a warning does too under --strict.
"""
import difflib
import os
import re
import subprocess
import tempfile

import names

ERROR, WARNING = "error", "warning"


class Finding:
    def __init__(self, path, line, severity, message):
        self.path, self.line, self.severity, self.message = path, line, severity, message

    def __str__(self):
        return "%s:%d: %s: %s" % (self.path, self.line, self.severity, self.message)


# ------------------------------------------------------------------ chunks

LUAC_ERROR = re.compile(r"^\S*luac\S*: (.*?):(\d+): (.*)$", re.M)
# One instruction of `luac -l`: its line, and a global read or written through _ENV.
LISTED_GLOBAL = re.compile(r'^\s*\d+\s+\[(\d+)\]\s+(GETTABUP|SETTABUP)\s.*;\s+_ENV\s+"([^"]*)"', re.M)


def utf8_finding(path, data):
    try:
        data.decode("utf-8")
        return None
    except UnicodeDecodeError as error:
        line = data[:error.start].count(b"\n") + 1
        return Finding(path, line, WARNING, "script text is not UTF-8 (byte 0x%02x): the engine reads every text "
                       "as UTF-8" % data[error.start])


def chunk_globals(luac, path):
    """(reads, writes) of the chunk's globals, each name -> first line; or a Finding for a syntax error."""
    result = subprocess.run([luac, "-p", "-l", path], capture_output=True)
    if result.returncode != 0:
        text = result.stderr.decode("utf-8", "replace").strip()
        match = LUAC_ERROR.search(text)
        if match:
            return Finding(path, int(match.group(2)), ERROR, match.group(3))
        return Finding(path, 1, ERROR, text)
    reads, writes = {}, {}
    for line, op, name in LISTED_GLOBAL.findall(result.stdout.decode("utf-8", "replace")):
        (reads if op == "GETTABUP" else writes).setdefault(name, int(line))
    return reads, writes


def check_chunks(sources, luac, table):
    """sources: chunk name -> path of its .lua (chunks given ready compiled are not looked into)."""
    findings, listed = [], {}
    for chunk, path in sources.items():
        with open(path, "rb") as f:
            bad_text = utf8_finding(path, f.read())
        if bad_text:
            findings.append(bad_text)
        got = chunk_globals(luac, path)
        if isinstance(got, Finding):
            findings.append(got)
        else:
            listed[chunk] = got
    actions = names.action_names(table)
    hooks = names.chunk_hooks(table)
    prefix = table["hook_prefix"]
    # The configuration chunk runs first in both programs: what it defines, the other two see.
    shared = set(listed.get("GLOBAL_VAR", ({}, {}))[1])
    for chunk, (reads, writes) in listed.items():
        path = sources[chunk]
        defined = set(writes) | shared
        for name, line in sorted(reads.items(), key=lambda item: item[1]):
            if name.startswith("Lua_") and name not in actions and name not in defined:
                near = difflib.get_close_matches(name, actions, 1)
                hint = "; did you mean %s?" % near[0] if near else ""
                findings.append(Finding(path, line, WARNING, "%s is not an action of the engine and the chunk does "
                                        "not define it%s" % (name, hint)))
        for name, line in sorted(writes.items(), key=lambda item: item[1]):
            if name.startswith(prefix) and name not in hooks.get(chunk, ()):
                findings.append(Finding(path, line, WARNING, "%s is named like a hook but is not one of %s's hooks "
                                        "(%s): the engine never calls it" % (name, chunk, ", ".join(sorted(hooks[chunk])))))
    return findings


# ------------------------------------------------------------------ layout

def leading_uint(value):
    match = re.match(r"\s*([+-]?)(\d+)", value)
    if not match:
        return 0
    number = int(match.group(2))
    return (-number if match.group(1) == "-" else number) & 0xFFFFFFFF


def layout_text(path, data):
    """The layout as text (the way the builder stores it), or a Finding."""
    try:
        if data.startswith(b"\xff\xfe"):
            return data[2:].decode("utf-16-le")
        return data.decode("utf-8-sig")
    except UnicodeDecodeError as error:
        line = data[:error.start].count(b"\n") + 1
        return Finding(path, line, ERROR, "the layout is neither UTF-8 nor UTF-16 text")


def parse_layout(layoutcheck, path, text):
    """The elements as (line, depth, name, [(attribute, value)]), or a Finding for a parse error."""
    encoded = text.encode("utf-8")
    with tempfile.NamedTemporaryFile(suffix=".xml", delete=False) as f:
        f.write(encoded)
        copy = f.name
    try:
        result = subprocess.run([layoutcheck, copy], capture_output=True)
    finally:
        os.remove(copy)

    def line_of(offset):
        return encoded[:max(offset, 0)].count(b"\n") + 1

    records = [line.split("\t") for line in result.stdout.decode("utf-8", "replace").splitlines()]
    if result.returncode == 1 and records and records[0][0] == "error":
        return Finding(path, line_of(int(records[0][1])), ERROR, "the layout does not parse: " + records[0][2])
    if result.returncode != 0:
        return Finding(path, 1, ERROR, "the layout checker failed: " + result.stderr.decode("utf-8", "replace").strip())
    elements = []
    for record in records:
        if record[0] == "element":
            elements.append((line_of(int(record[1])), int(record[2]), unescape(record[3]), []))
        elif record[0] == "attribute" and elements:
            elements[-1][3].append((unescape(record[1]), unescape(record[2])))
    return elements


ESCAPES = {"t": "\t", "n": "\n", "r": "\r"}


def unescape(value):
    """A field of the checker's output as it was in the document."""
    return re.sub(r"\\(.)", lambda m: ESCAPES.get(m.group(1), m.group(1)), value)


def as_tree(elements):
    """Nested (line, name, attributes, children) from the flat listing."""
    root = (0, None, [], [])
    stack = [root]
    for line, depth, name, attributes in elements:
        node = (line, name, attributes, [])
        del stack[depth + 1:]
        stack[-1][3].append(node)
        stack.append(node)
    return root[3]


class LayoutCheck:
    def __init__(self, table, path, images):
        self.table, self.path, self.images = table, path, images
        self.read = names.layout_elements(table)
        self.unread = names.unread_attributes(table)
        self.with_image = names.image_elements(table)
        self.containers = {e["name"] for e in table["layout"]["elements"] if e.get("children")}
        self.shown = names.shown_dialogs(table)
        self.findings = []

    def add(self, line, severity, message):
        self.findings.append(Finding(self.path, line, severity, message))

    def not_read(self, line, name):
        self.add(line, WARNING, "element <%s> is not read by the loader" % name)

    def attributes(self, node, dialog):
        line, name, attributes, _ = node
        values = dict(attributes)
        for attribute, _ in attributes:
            if attribute not in self.read[name] and (name, attribute) not in self.unread:
                self.add(line, WARNING, "attribute %s of <%s> is not read by the loader" % (attribute, name))
        image = leading_uint(values.get("resId", ""))
        if name in self.with_image and image and values.get("type") and image not in self.images:
            self.add(line, ERROR, "resId %d of <%s> has no skin/%d.png" % (image, name, image))
        action = leading_uint(values.get("action", "")) if "action" in self.read[name] else 0
        if action and dialog in self.shown and action not in self.shown[dialog]:
            handled = ", ".join(str(n) for n in sorted(self.shown[dialog])) or "none"
            self.add(line, WARNING, "action %d of <%s> is handled by no dialog: %s handles %s" %
                     (action, name, dialog, handled))

    def tree(self, node, dialog):
        """A container and what the loader builds below it."""
        self.attributes(node, dialog)
        for child in node[3]:
            name = child[1]
            if name not in self.read or name in ("Front", self.table["layout"]["dialog"]["element"]):
                self.not_read(child[0], name)
            elif name in self.containers:
                self.tree(child, dialog)
            else:
                self.control(child, dialog)

    def control(self, node, dialog):
        self.attributes(node, dialog)
        fronts = 0
        for child in node[3]:
            if node[1] == "Progress" and child[1] == "Front" and fronts == 0:
                fronts += 1
                self.attributes(child, dialog)
            else:
                self.not_read(child[0], child[1])

    def document(self, top):
        dialog_element = self.table["layout"]["dialog"]["element"]
        found = set()
        roots = top[:1]
        for extra in top[1:]:
            self.not_read(extra[0], extra[1])
        for root in roots:
            for dlg in root[3]:
                if dlg[1] != dialog_element:
                    self.not_read(dlg[0], dlg[1])
                    continue
                self.attributes(dlg, None)
                name = dict(dlg[2]).get("name", "")
                found.add(name)
                trees = [c for c in dlg[3] if c[1] == "Container"]
                for child in dlg[3]:
                    if not trees or child is not trees[0]:
                        self.not_read(child[0], child[1])
                if trees:
                    self.tree(trees[0], name)
        for dialog in self.table["dialogs"]:
            if dialog["shown"] and dialog["name"] not in found:
                self.add(1, ERROR, "no <%s name=\"%s\">: the engine shows that dialog" % (dialog_element, dialog["name"]))


def check_layout(path, images, layoutcheck, table):
    with open(path, "rb") as f:
        text = layout_text(path, f.read())
    if isinstance(text, Finding):
        return [text]
    elements = parse_layout(layoutcheck, path, text)
    if isinstance(elements, Finding):
        return [elements]
    check = LayoutCheck(table, path, images)
    check.document(as_tree(elements))
    return check.findings


def check_product(product, chunk_names, luac, layoutcheck, table=None):
    """Findings for a product (mksetup's Product), errors and warnings in file order."""
    table = table or names.load_table()
    sources = {}
    for chunk in chunk_names:
        if not product.find(chunk + ".LUAC") and product.find(chunk + ".lua"):
            sources[chunk] = product.find(chunk + ".lua")
    findings = check_chunks(sources, luac, table)
    layout = product.find("LAYOUT.XML")
    if layout:
        findings += check_layout(layout, product.skin_images(), layoutcheck, table)
    else:
        shown = ", ".join(d["name"] for d in table["dialogs"] if d["shown"])
        findings.append(Finding(product.folders[-1], 0, ERROR, "no LAYOUT.XML: the engine shows %s" % shown))
    return findings
