#!/usr/bin/env python3
"""Writes docs/scripting.md and docs/layout.md from the table of names (docs/names.json).

  mkreference.py            rewrite both pages
  mkreference.py --check    exit 1, naming the page, when a page is not what the table makes
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import names  # noqa: E402

HEADER = "<!-- Written by tools/mkreference.py from docs/names.json: edit those, then run it. -->\n\n"


def sentence(text):
    return text[:1].upper() + text[1:]


def code(text):
    return "`%s`" % text if text != "" else "(empty)"


def table_rows(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(str(cell).replace("|", "\\|") for cell in row) + " |" for row in rows]
    return "\n".join(lines) + "\n"


def scripting(table):
    out = [HEADER, "# Scripting reference\n\n",
           "A product's logic is three Lua 5.2 chunks that `./run.sh setup` compiles into the setup. They share "
           "one script state: globals one chunk sets are seen by the chunks after it.\n\n"]
    out.append("## Chunks and the run sequence\n\n")
    out.append(table_rows(["chunk", "role", "hooks it may define"],
                          [(code(c["name"] + ".lua"), c["role"], ", ".join(code(h) for h in c["hooks"]) or "none")
                           for c in table["chunks"]]))
    out.append("\nThe setup loads `GLOBAL_VAR`, then `INSTSCRIPT`, checks its payload, makes sure it runs once, "
               "then calls the hooks below in this order; a hook a chunk does not define is skipped. A runtime "
               "error anywhere shows a message box with the error and its call stack and ends the run with 0.\n\n")
    out.append(table_rows(["hook", "program", "called"],
                          [(code(h["name"]), h["run"], h["when"]) for h in table["hooks"]]))
    out.append("\n### Exit codes\n\n")
    out.append(table_rows(["program", "code", "when"],
                          [(e["program"], e["code"], e["when"]) for e in table["exit_codes"]]))
    out.append("\n## Globals the engine reads and writes\n\n"
               "Reading: text is Lua's string conversion (nil, booleans and tables read as empty), a flag is Lua "
               "truth, an integer is the 32-bit conversion (non-numbers read as 0).\n\n")
    out.append(table_rows(["global", "engine", "as", "program", "meaning"],
                          [(code(g["name"]) if "named" not in g else g["name"], g["access"], g["as"], g["by"],
                            g["meaning"]) for g in table["globals"]]))
    out.append("\n## Actions\n\nRegistered as globals in this order. Arguments are read by position; a missing one "
               "reads as nil (text: empty, number: 0, flag: false). Text is UTF-8 both ways; an expanded path has "
               "its `%VARIABLE%`s replaced. No action raises an error for bad arguments: each reports failure by "
               "its result and a trace line (`Fun:NAME, Description:...`).\n\n")
    for action in table["actions"]:
        out.append("### %s\n\n" % code(action["name"]))
        out.append("- arguments: %s\n- result: %s\n- %s\n" % (action["args"], action["result"], action["role"]))
        if action["traces"]:
            out.append("- traces: %s\n" % ", ".join(code(t) for t in action["traces"]))
        out.append("\n```lua\n%s\n```\n\n" % action["example"])
    out.append("## Callbacks\n\n")
    out.append(table_rows(["callback", "of", "what it does"],
                          [(code(c["name"]), code(c["of"]), c["doc"]) for c in table["callbacks"]]))
    out.append("\n## The bridge: calling DLLs\n\n")
    for module in table["bridge"]:
        out.append("### %s\n\n%s.\n\n" % (code(module["module"]), sentence(module["about"])))
        rows = [(code("%s.%s" % (module["module"], f["name"])), f["args"], f["result"]) for f in module["functions"]]
        rows += [(code("obj:%s" % m["name"]), m["args"], m["result"]) for m in module["methods"]]
        if rows:
            out.append(table_rows(["call", "arguments", "result"], rows) + "\n")
        if module["metamethods"]:
            out.append(table_rows(["metamethod", "what it does"],
                                  [(code(m["name"]), m["doc"]) for m in module["metamethods"]]) + "\n")
    out.append("```lua\nlocal kernel = DllManager.Load(\"kernel32.dll\")\nlocal sleep = kernel:Get(\"Sleep\", \"int\")\n"
               "sleep(100)\nlocal pid = GLibTab.Kernel32:Get(\"GetCurrentProcessId\", \"int\")()\n```\n\n")
    out.append("## The install log\n\nEvery diagnostic, and every `Lua_Logout` line, is one debug-output line that "
               "starts with `qz `. `./run.sh trace Setup.exe` runs a setup and prints its lines as they come; a "
               "failed system call adds three lines naming the source file, line and error code.\n")
    return "".join(out)


def layout(table):
    lay = table["layout"]
    out = [HEADER, "# Layout reference\n\n",
           "`LAYOUT.XML` (UTF-8 or UTF-16) describes each dialog as a tree of elements; `skin/NNN.png` are its "
           "images, named by number. Root: %s.\n\n" % lay["root"]]
    out.append("## Value syntax\n\n")
    out.append(table_rows(["syntax", "written", "read as"], [(s["name"], code(s["text"]), s["doc"]) for s in lay["syntax"]]))
    dialog = lay["dialog"]
    out.append("\n## %s\n\n%s.\n\n" % (code("<%s>" % dialog["element"]), sentence(dialog["doc"])))
    out.append(table_rows(["attribute", "syntax", "default", "meaning"],
                          [(code(a["name"]), a["syntax"], code(a["default"]), a["doc"]) for a in dialog["attributes"]]))
    out.append("\n## Attributes of every element\n\n")
    out.append(table_rows(["attribute", "syntax", "default", "meaning"],
                          [(code(a["name"]), a["syntax"], code(a["default"]), a["doc"]) for a in lay["common"]]))
    out.append("\n## Elements\n\nAn element the loader does not know is skipped with its subtree; a control's "
               "children are never read.\n\n")
    for element in lay["elements"]:
        where = " (inside %s)" % code("<%s>" % element["parent"]) if "parent" in element else ""
        out.append("### %s%s\n\n%s." % (code("<%s>" % element["name"]), where, sentence(element["doc"])))
        if element.get("children"):
            out.append(" Holds other elements.")
        out.append(" %s\n\n" % ("Its image is `resId`/`type`." if element.get("image") else "It has no image."))
        if element.get("frames"):
            out.append("Image strip: the frames side by side, %s.\n\n" % element["frames"])
        if element["attributes"]:
            out.append(table_rows(["attribute", "syntax", "default", "meaning"],
                                  [(code(a["name"]), a["syntax"], code(a["default"]), a["doc"])
                                   for a in element["attributes"]]) + "\n")
    out.append("## Attributes the loader does not read\n\n")
    out.append(table_rows(["element", "attribute", "why it may be there"],
                          [(code("<%s>" % u["element"]), code(u["attribute"]), u["doc"]) for u in lay["unread"]]))
    out.append("\n## Dialogs and their action numbers\n\nA control's `action` N reaches its dialog as message "
               "`WM_USER` + N; a number the dialog does not handle does nothing.\n\n")
    for dialog in table["dialogs"]:
        out.append("### %s\n\n%s%s.\n\n" % (code(dialog["name"]), sentence(dialog["doc"]),
                                            ", shown by the setup" if dialog["shown"] else ""))
        if dialog["actions"]:
            out.append(table_rows(["action", "what it does"], [(a["number"], a["doc"]) for a in dialog["actions"]]) + "\n")
        else:
            out.append("It handles no action numbers.\n\n")
    out.append("## Placeholders\n\n%s\n" % table["placeholders"])
    return "".join(out)


PAGES = {"scripting.md": scripting, "layout.md": layout}


def main():
    check = sys.argv[1:] == ["--check"]
    table = names.load_table()
    stale = []
    for page, make in PAGES.items():
        path = os.path.join(names.ROOT, "docs", page)
        text = make(table)
        if check:
            current = open(path, encoding="utf-8").read() if os.path.exists(path) else None
            if current != text:
                stale.append(page)
        else:
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
    for page in stale:
        print("docs/%s is not what docs/names.json makes: run tools/mkreference.py" % page)
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main())
