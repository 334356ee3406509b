#!/usr/bin/env python3
"""Tests of cmake/check_layers.py on small fake trees of layers."""

import shutil
import subprocess
import sys
import tempfile
import textwrap
import unittest
from pathlib import Path

CHECK = Path(__file__).resolve().parents[2] / "cmake" / "check_layers.py"

# Three layers in a column and a sibling of the middle one:
#   base <- mid <- top, and base <- side.
TABLE = """\
layer base
uses
public office/base.h
public office/base.cpp
layer mid
uses base
public office/mid/mid.h
internal office/mid/mid_impl.h
public office/mid/mid.cpp
layer side
uses base
public office/side.h
layer top
uses mid side
public office/top.cpp
"""


class CheckLayersTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.root = Path(self.folder.name)
        self.files = {
            "office/base.h": "#pragma once\n",
            "office/base.cpp": '#include "office/base.h"\n',
            "office/mid/mid.h": '#pragma once\n#include "office/base.h"\n',
            "office/mid/mid_impl.h": '#pragma once\n#include "office/mid/mid.h"\n',
            "office/mid/mid.cpp": '#include "office/mid/mid_impl.h"\n',
            "office/side.h": '#pragma once\n#include "office/base.h"\n',
            # The top reaches base through mid, and side directly.
            "office/top.cpp": '#include "office/base.h"\n#include "office/mid/mid.h"\n'
                              '#include "office/side.h"\n#include <string>\n',
        }
        self.table = TABLE

    def tearDown(self):
        self.folder.cleanup()

    def run_check(self):
        for name, text in self.files.items():
            path = self.root / name
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text)
        table = self.root / "layers.txt"
        table.write_text(self.table)
        result = subprocess.run(
            [sys.executable, str(CHECK), "--root", str(self.root), str(table)],
            capture_output=True, text=True)
        return result.returncode, result.stderr

    def expect_wrong(self, file, text, *expected):
        self.files[file] = text
        status, errors = self.run_check()
        self.assertEqual(status, 1, errors)
        for line in expected:
            self.assertIn(line, errors)
        return errors

    def test_layered_tree_passes(self):
        status, errors = self.run_check()
        self.assertEqual(status, 0, errors)
        self.assertEqual(errors, "")

    def test_include_of_a_layer_above_fails_naming_file_line_and_include(self):
        self.expect_wrong(
            "office/base.cpp", '#include "office/base.h"\n  #  include "office/mid/mid.h"\n',
            'office/base.cpp:2: includes "office/mid/mid.h", a header of layer mid, which layer '
            'base may not use (it may use: none)',
            "1 wrong include(s)")

    def test_include_of_a_sibling_fails(self):
        self.expect_wrong(
            "office/mid/mid.cpp", '#include "office/mid/mid_impl.h"\n#include "office/side.h"\n',
            'office/mid/mid.cpp:2: includes "office/side.h", a header of layer side, which layer '
            'mid may not use (it may use: base)')

    def test_internal_header_is_for_its_own_layer_only(self):
        self.expect_wrong(
            "office/top.cpp", '#include "office/mid/mid_impl.h"\n',
            'office/top.cpp:1: includes "office/mid/mid_impl.h", an internal header of layer mid')

    def test_header_of_no_layer_fails(self):
        self.expect_wrong("office/side.h", '#include "office/stray.h"\n',
                          'office/side.h:1: includes "office/stray.h", which belongs to no layer')

    def test_every_wrong_include_is_reported(self):
        errors = self.expect_wrong(
            "office/base.h", '#include "office/side.h"\n#include "office/top.cpp"\n',
            "office/base.h:1:", "office/base.h:2:", "2 wrong include(s)")
        self.assertEqual(errors.count("includes"), 2)

    def test_commented_out_and_system_includes_are_not_arrows(self):
        self.files["office/base.cpp"] = ('#include "office/base.h"\n'
                                         '// #include "office/mid/mid.h"\n'
                                         '#include <office/mid/mid.h>\n')
        status, errors = self.run_check()
        self.assertEqual(status, 0, errors)

    def test_table_naming_an_unknown_layer_is_refused(self):
        self.table = TABLE.replace("uses mid side", "uses mid sde")
        status, errors = self.run_check()
        self.assertEqual(status, 2)
        self.assertIn("layer top uses sde, which is no layer", errors)

    def test_layers_in_a_cycle_are_refused(self):
        self.table = TABLE.replace("layer base\nuses\n", "layer base\nuses top\n")
        status, errors = self.run_check()
        self.assertEqual(status, 1)
        self.assertIn("layer base uses itself through its layers below", errors)


TOOLS = all(shutil.which(tool) for tool in ("c++", "ar", "nm"))


@unittest.skipUnless(TOOLS, "needs a C++ compiler, ar and nm to make small static libraries")
class CheckLayerLibrariesTest(unittest.TestCase):
    """The symbol check, on three small static libraries: base <- mid <- top."""

    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.root = Path(self.folder.name)
        self.sources = {
            "base": "int base() { return 1; }\n",
            "mid": "#include <cstdio>\nint base();\n"
                   "int mid() { std::puts(\"mid\"); return base(); }\n",
            "top": "int mid();\nint top() { return mid(); }\n",
        }

    def tearDown(self):
        self.folder.cleanup()

    def run_check(self):
        table = ""
        uses = {"base": "", "mid": "base", "top": "mid"}
        for name, text in self.sources.items():
            source = self.root / f"{name}.cpp"
            source.write_text(text)
            subprocess.run(["c++", "-c", str(source), "-o", str(self.root / f"{name}.o")],
                           check=True)
            library = self.root / f"lib{name}.a"
            subprocess.run(["ar", "rcs", str(library), str(self.root / f"{name}.o")], check=True)
            table += f"layer {name}\nuses {uses[name]}\nlibrary {library}\n"
        (self.root / "layers.txt").write_text(table)
        result = subprocess.run(
            [sys.executable, str(CHECK), "--libraries", str(self.root / "layers.txt")],
            capture_output=True, text=True)
        return result.returncode, result.stderr

    def test_libraries_that_need_only_layers_below_and_outside_libraries_pass(self):
        status, errors = self.run_check()
        self.assertEqual(status, 0, errors)

    def test_a_call_into_a_layer_above_fails_naming_library_layer_and_symbol(self):
        self.sources["mid"] = "int top();\nint mid() { return top(); }\n"
        status, errors = self.run_check()
        self.assertEqual(status, 1, errors)
        self.assertIn("libmid.a: layer mid needs 1 symbol(s) of layer top, which it may not use",
                      errors)
        self.assertIn("top()", errors)

    def test_the_bottom_layer_may_need_no_other_layer(self):
        self.sources["base"] = "int top();\nint base() { return top(); }\n"
        status, errors = self.run_check()
        self.assertEqual(status, 1, errors)
        self.assertIn("layer base needs 1 symbol(s) of layer top", errors)
        self.assertNotIn("layer mid needs", errors)


if __name__ == "__main__":
    unittest.main(verbosity=1)
