#!/usr/bin/env python3
"""The builder's product checks: each finding with its file, line and severity, on the sample product with
one file changed. Arguments: the host luac and the host layout checker."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools")
sys.path.insert(0, TOOLS)
import mksetup  # noqa: E402
import productcheck  # noqa: E402

SAMPLE = os.path.join(TOOLS, "..", "orvsetup", "resources")
LUAC = LAYOUTCHECK = None


def sample_file(name):
    with open(os.path.join(SAMPLE, name), "rb") as f:
        return f.read()


class ProductChecks(unittest.TestCase):
    def setUp(self):
        self.layer = tempfile.mkdtemp(prefix="productcheck-")
        self.addCleanup(shutil.rmtree, self.layer)

    def findings(self, name, data):
        """Findings for the sample with `name` replaced by `data`, as 'FILE:LINE: severity: message'."""
        with open(os.path.join(self.layer, name), "wb") as f:
            f.write(data)
        product = mksetup.Product([os.path.abspath(SAMPLE), self.layer])
        found = productcheck.check_product(product, mksetup.CHUNKS, LUAC, LAYOUTCHECK)
        return [str(f).replace(self.layer + os.sep, "") for f in found]

    def script(self, text):
        return self.findings("INSTSCRIPT.lua", sample_file("INSTSCRIPT.lua") + text.encode("utf-8"))

    def layout(self, old, new):
        text = sample_file("LAYOUT.XML").decode("utf-8")
        self.assertIn(old, text)
        return self.findings("LAYOUT.XML", text.replace(old, new, 1).encode("utf-8"))

    def sample_lines(self, name):
        return sample_file(name).count(b"\n")

    def test_the_sample_has_no_findings(self):
        self.assertEqual(self.findings("OMIT", b""), [])

    def test_lua_syntax_error(self):
        line = self.sample_lines("INSTSCRIPT.lua") + 1
        self.assertEqual(self.script("local = 1\n"),
                         ["INSTSCRIPT.lua:%d: error: <name> expected near '='" % line])

    def test_misspelt_action(self):
        line = self.sample_lines("INSTSCRIPT.lua") + 2
        self.assertEqual(self.script("local function f()\n  Lua_UnCompres7z(\"App.7z\", \"C:\\\\x\")\nend\n"),
                         ["INSTSCRIPT.lua:%d: warning: Lua_UnCompres7z is not an action of the engine and the chunk "
                          "does not define it; did you mean Lua_UnCompress7z?" % line])

    def test_global_named_like_a_hook_of_the_other_chunk(self):
        line = self.sample_lines("INSTSCRIPT.lua") + 1
        found = self.script("function ORVSE_OnUninstall() end\n")
        self.assertEqual(len(found), 1)
        self.assertTrue(found[0].startswith("INSTSCRIPT.lua:%d: warning: ORVSE_OnUninstall is named like a hook but "
                                            "is not one of INSTSCRIPT's hooks" % line), found)

    def test_script_text_that_is_not_utf8(self):
        line = self.sample_lines("INSTSCRIPT.lua") + 1
        found = self.findings("INSTSCRIPT.lua", sample_file("INSTSCRIPT.lua") + b"Lua_Logout(\"\xb0\xb2\")\n")
        self.assertEqual(found, ["INSTSCRIPT.lua:%d: warning: script text is not UTF-8 (byte 0xb0): the engine reads "
                                 "every text as UTF-8" % line])

    def test_layout_that_does_not_parse(self):
        self.assertEqual(self.layout("</Dlg>\n  <Dlg name=\"InstallDlg\"", "</Dl>\n  <Dlg name=\"InstallDlg\""),
                         ["LAYOUT.XML:22: error: the layout does not parse: Start-end tags mismatch"])

    def test_image_without_its_png(self):
        self.assertEqual(self.layout('resId="302"', 'resId="999"'),
                         ["LAYOUT.XML:6: error: resId 999 of <Button> has no skin/999.png"])

    def test_missing_shown_dialog(self):
        self.assertEqual(self.layout('<Dlg name="CompleteDlg"', '<Dlg name="FinishDlg"'),
                         ['LAYOUT.XML:1: error: no <Dlg name="CompleteDlg">: the engine shows that dialog'])

    def test_element_and_attribute_the_loader_does_not_read(self):
        found = self.layout('<Button name="CloseBtn" rect="560,15,580,35"',
                            '<Image name="Logo"/><Button name="CloseBtn" hover="1" rect="560,15,580,35"')
        self.assertEqual(found, ["LAYOUT.XML:6: warning: element <Image> is not read by the loader",
                                 "LAYOUT.XML:6: warning: attribute hover of <Button> is not read by the loader"])

    def test_action_no_dialog_handles(self):
        self.assertEqual(self.layout('action="101"', 'action="109"'),
                         ["LAYOUT.XML:15: warning: action 109 of <Button> is handled by no dialog: InitDlg handles "
                          "100, 101, 102, 103, 104, 105, 106, 107, 108"])

    def test_strict_build_stops_on_a_warning_before_writing(self):
        with open(os.path.join(self.layer, "INSTSCRIPT.lua"), "wb") as f:
            f.write(sample_file("INSTSCRIPT.lua") + b"Lua_Nothing()\n")
        env = os.path.join(self.layer, "mksetup.env")
        with open(env, "w", encoding="utf-8") as f:
            f.write("LUAC=%s\nLAYOUTCHECK=%s\n" % (LUAC, LAYOUTCHECK))
        out = os.path.join(self.layer, "out", "Setup.exe")
        result = subprocess.run([sys.executable, os.path.join(TOOLS, "mksetup.py"), "--env", env, "--strict",
                                 "--product", SAMPLE, "--product", self.layer, out], capture_output=True, text=True)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("mksetup: 1 error(s) (warnings count with --strict), nothing written", result.stderr)
        self.assertFalse(os.path.exists(os.path.dirname(out)))


class PayloadBlocks(unittest.TestCase):
    def test_a_payload_under_two_blocks_is_cut_in_two(self):
        work = tempfile.mkdtemp(prefix="packer-")
        self.addCleanup(shutil.rmtree, work)
        tree = os.path.join(work, "tree")
        os.makedirs(tree)
        for k in range(3):
            with open(os.path.join(tree, "part%d.bin" % k), "wb") as f:
                f.write(os.urandom(1536 * 1024))
        with open(mksetup.pack_payload(tree, "7zz", work), "rb") as f:
            archive = bytearray(f.read())
        archive[0], archive[1] = archive[1], archive[0]  # stored exchanged
        plain = os.path.join(work, "plain.7z")
        with open(plain, "wb") as f:
            f.write(bytes(archive))
        listing = subprocess.run(["7zz", "l", "-slt", plain], check=True, capture_output=True, text=True).stdout
        self.assertIn("Blocks = 2", listing)


if __name__ == "__main__":
    LUAC, LAYOUTCHECK = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1] + sys.argv[3:])
