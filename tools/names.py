"""The table of names (docs/names.json) and the same names as the sources define them.

The table is what the builder checks products against and what the reference is written from; the
readers below take the names out of the sources' own tables (the action table, the bridge's luaL_Reg
arrays, the layout loader's recipes, the dialogs' action enums), so that a test can hold the two
against each other.
"""
import json
import os
import re

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TABLE = os.path.join(ROOT, "docs", "names.json")
ENGINE = os.path.join("orvsetup", "orvinstaller")
SCRIPT_ENGINE = os.path.join(ENGINE, "orvscriptengine")
UNINSTALLER = os.path.join("product", "uninstall")


def load_table(path=TABLE):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


# ------------------------------------------------------------------ views of the table

def action_names(table):
    return [a["name"] for a in table["actions"]]


def chunk_hooks(table):
    """Chunk name -> the hooks it may define. The configuration chunk runs before the install chunk in
    the setup and before the uninstall chunk in the uninstaller, so it may define either's hooks."""
    hooks = {c["name"]: set(c["hooks"]) for c in table["chunks"]}
    everything = set().union(*hooks.values())
    return {name: (found or everything) for name, found in hooks.items()}


def layout_elements(table):
    """Element name -> set of the attributes the loader reads on it."""
    layout = table["layout"]
    common = {a["name"] for a in layout["common"]}
    elements = {e["name"]: common | {a["name"] for a in e["attributes"]} for e in layout["elements"]}
    elements["Front"] = {a["name"] for e in layout["elements"] if e["name"] == "Front" for a in e["attributes"]}
    elements[layout["dialog"]["element"]] = {a["name"] for a in layout["dialog"]["attributes"]}
    return elements


def unread_attributes(table):
    return {(u["element"], u["attribute"]) for u in table["layout"]["unread"]}


def image_elements(table):
    return {e["name"] for e in table["layout"]["elements"] if e.get("image")}


def shown_dialogs(table):
    return {d["name"]: {a["number"] for a in d["actions"]} for d in table["dialogs"] if d["shown"]}


def bridge_names(table):
    names = set()
    for module in table["bridge"]:
        for kind in ("functions", "methods", "metamethods"):
            names |= {entry["name"] for entry in module[kind]}
    return names


# ------------------------------------------------------------------ the sources

def read_source(relative):
    with open(os.path.join(ROOT, relative), encoding="utf-8") as f:
        return strip_comments(f.read())


def strip_comments(text):
    """C++ text with // and /* */ comments blanked out (string literals kept)."""
    pattern = re.compile(r'"(?:\\.|[^"\\])*"|//[^\n]*|/\*.*?\*/', re.S)
    return pattern.sub(lambda m: m.group(0) if m.group(0).startswith('"') else " ", text)


def sources_in(relative, suffix=".cpp"):
    folder = os.path.join(ROOT, relative)
    return [os.path.join(relative, n) for n in sorted(os.listdir(folder)) if n.endswith(suffix)]


def sources_below(relative):
    """Every .cpp below a folder, its subfolders included."""
    found = []
    for folder, _, files in os.walk(os.path.join(ROOT, relative)):
        found += [os.path.relpath(os.path.join(folder, n), ROOT) for n in sorted(files) if n.endswith(".cpp")]
    return sorted(found)


def braced_array(text, name):
    """The text between the braces of the array initialiser `name[] = { ... };`."""
    match = re.search(r"\b%s\s*\[\]\s*=\s*\{(.*?)\};" % re.escape(name), text, re.S)
    if not match:
        raise ValueError("no array %s" % name)
    return match.group(1)


def code_actions():
    """The registered actions, in the order of the action table."""
    body = braced_array(read_source(os.path.join(SCRIPT_ENGINE, "scriptactions.cpp")), "kActions")
    rows = re.findall(r'\{\s*"(\w+)"\s*,\s*(\w+)\s*\}', body)
    return [name for name, _ in rows]


def code_bridge():
    """Module names the bridge installs, and every name in the bridge's luaL_Reg arrays."""
    modules = re.findall(r'\{\s*"(\w+)"\s*,\s*Open\w+\s*\}', read_source(os.path.join(SCRIPT_ENGINE, "bridge.cpp")))
    names = set()
    for path in sources_in(os.path.join(SCRIPT_ENGINE, "bridge")):
        text = read_source(path)
        for array in re.findall(r"luaL_Reg\s+\w+\s*\[\]\s*=\s*\{(.*?)\};", text, re.S):
            names |= set(re.findall(r'\{\s*"(\w+)"\s*,', array))
        modules += re.findall(r'lua_setglobal\(\s*\w+\s*,\s*"(\w+)"\s*\)', text)
    return modules, names


READER = r"Read(?:Rect|Colour|Bool|Int|UInt|String)"


def code_layout():
    """Element name -> attributes the loader reads on it, from the factory's recipes and what the run
    sequence reads of a <Dlg>."""
    text = read_source(os.path.join("orvsetup", "ui", "uiobjectfactory.cpp"))
    common_body = re.search(r"struct Common \{(.*?)\n\};", text, re.S).group(1)
    common = set(re.findall(READER + r'\(\s*element\s*,\s*L"(\w+)"', common_body))
    accessors = dict(re.findall(r"\b(\w+)\(\) const \{ return " + READER + r'\(\s*node\s*,\s*L"(\w+)"', common_body))
    recipes = re.findall(r'\{\s*L"(\w+)"\s*,\s*(Build\w+)\s*\}', braced_array(text, "kRecipes"))
    elements = {}
    for element, builder in recipes:
        body = re.search(r"\b%s\(ContainerUIObjectImpl& parent, const Common& c\) \{(.*?)\n\}" % builder, text, re.S)
        body = body.group(1)
        read = set(common)
        read |= set(re.findall(READER + r'\(\s*c\.node\s*,\s*L"(\w+)"', body))
        read |= {accessors[m] for m in re.findall(r"\bc\.(\w+)\(\)", body) if m in accessors}
        elements[element] = read
        for variable, child in re.findall(r'pugi::xml_node (\w+) = c\.node\.child\(L"(\w+)"\)', body):
            elements[child] = set(re.findall(READER + r'\(\s*%s\s*,\s*L"(\w+)"' % variable, body))
    host = read_source(os.path.join(ENGINE, "dialoghost.cpp"))
    sequence = read_source(os.path.join(ENGINE, "dialogsequence.cpp"))
    dialog = set(re.findall(READER + r'\(\s*node_\s*,\s*L"(\w+)"', host))
    dialog |= set(re.findall(r'node\.attribute\(L"(\w+)"\)', sequence))
    dialog_element = re.search(r'child\(L"(\w+)"\)', sequence).group(1)
    elements[dialog_element] = dialog
    return elements


def code_attribute_reads():
    """Every attribute name any layout reader anywhere in the engine asks for."""
    names = set()
    for path in sources_below("orvsetup"):
        text = read_source(path)
        names |= set(re.findall(READER + r'\(\s*[\w.]+\s*,\s*L"(\w+)"', text))
        names |= set(re.findall(r'\.attribute\(L"(\w+)"\)', text))
    return names


def code_dialogs(table):
    """Dialog name -> action numbers of its Action enum; and the dialogs the sequence shows."""
    actions = {}
    for dialog in table["dialogs"]:
        text = read_source(dialog["source"])
        enum = re.search(r"enum Action\s*:\s*UINT\s*\{(.*?)\};", text, re.S)
        actions[dialog["name"]] = dict(re.findall(r"(\w+)\s*=\s*(\d+)", enum.group(1))) if enum else {}
    shown = re.findall(r'FindDialogNode\(\s*document\s*,\s*L"(\w+)"\s*\)', read_source(os.path.join(ENGINE, "dialogsequence.cpp")))
    return actions, shown


def code_hooks():
    """Run ('setup' or 'uninstaller') -> the hooks it calls."""
    found = {}
    for run, folder in (("setup", ENGINE), ("uninstaller", UNINSTALLER)):
        names = set()
        for path in sources_below(folder):
            text = read_source(path)
            names |= set(re.findall(r'CallHook\(\s*\w+\s*,\s*"(\w+)"\s*\)', text))
            names |= set(re.findall(r'lua_getglobal\(\s*\w+\s*,\s*"(ORVSE_\w+)"\s*\)', text))
        found[run] = names
    return found


GLOBAL_CALL = re.compile(r'\b(Get|Set|Raw)Global(?:Text|Flag|Integer|Number)\(\s*[\w:]+(?:\(\))?\s*,\s*"(\w+)"')
SET_GLOBAL = re.compile(r'lua_setglobal\(\s*\w+(?:\(\))?\s*,\s*"(\w+)"\s*\)')
# A global's name pushed as a key the engine keeps for its own raw writes.
GLOBAL_KEY = re.compile(r'lua_pushstring\(\s*\w+(?:\(\))?\s*,\s*"(global_\w+)"\s*\)')


def code_globals():
    """(name, 'read' or 'write', runs) for every global the engine and the uninstaller name literally."""
    found = set()
    for path in sources_below(ENGINE) + sources_below(UNINSTALLER):
        # The script engine serves both programs.
        run = ("uninstaller" if path.startswith(UNINSTALLER) else
               "setup, uninstaller" if path.startswith(SCRIPT_ENGINE) else "setup")
        text = read_source(path)
        for kind, name in GLOBAL_CALL.findall(text):
            found.add((name, "write" if kind == "Set" else "read", run))
        found |= {(name, "write", run) for name in SET_GLOBAL.findall(text) + GLOBAL_KEY.findall(text)}
    return found
