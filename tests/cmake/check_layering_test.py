#!/usr/bin/env python3
"""The layering check on small trees of its own: it passes a tree whose link lines follow the
includes and names each kind of fault."""

import os
import subprocess
import sys
import tempfile
import unittest

CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_layering.py")

# base <- mid <- app: mid's header includes base's, app includes mid's header only.
FILES = {
    "base/b.h": "#pragma once\n#include <QString>\n",
    "base/b.cpp": '#include "base/b.h"\n',
    "base/flags.h": "#pragma once\n",
    "mid/m.h": '#pragma once\n#include "base/b.h"\n',
    "mid/m.cpp": '#include "mid/m.h"\n#include <vector>\n',
    "app/main.cpp": '#include "mid/m.h"\n',
    "tests/helper.h": '#pragma once\n#include "base/flags.h"\n',
    "qt/QtCore/QString": "",
    "qt/QtWidgets/QWidget": "",
}
# name -> (type, folder, sources, links, passed on)
TARGETS = {
    "pd_base": ("STATIC_LIBRARY", "base", ["b.cpp"], ["Qt6::Core"], ["Qt6::Core"]),
    "pd_mid": ("STATIC_LIBRARY", "mid", ["m.cpp"], ["pd::base"], ["pd::base"]),
    "app": ("EXECUTABLE", "app", ["main.cpp"], ["pd_options", "pd::mid"], []),
}


def run_check(files, targets):
    with tempfile.TemporaryDirectory() as root:
        for name, text in files.items():
            path = os.path.join(root, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="utf-8") as out:
                out.write(text)
        lines = [
            f"include\tQt6::Core\t{root}/qt/QtCore|{root}/qt",
            f"include\tQt6::Widgets\t{root}/qt/QtWidgets|{root}/qt",
        ]
        for name, (kind, folder, sources, links, interface) in targets.items():
            lines.append(
                "\t".join(
                    ["target", name, kind, os.path.join(root, folder), "|".join(sources), "|".join(links), "|".join(interface)]
                )
            )
        listing = os.path.join(root, "targets.txt")
        with open(listing, "w", encoding="utf-8") as out:
            out.write("\n".join(lines) + "\n")
        result = subprocess.run([sys.executable, CHECK, listing, root], capture_output=True, text=True)
        return result.returncode, result.stdout.replace(root, "ROOT")


class LayeringCheckTest(unittest.TestCase):
    def test_clean_tree_passes(self):
        status, output = run_check(FILES, TARGETS)
        self.assertEqual(status, 0, output)

    def test_each_fault_is_named(self):
        cases = [
            (
                "a consumer includes a library it does not link",
                {"app/main.cpp": '#include "mid/m.h"\n#include "base/b.h"\n'},
                {},
                "app includes headers of pd_base but does not link it",
            ),
            (
                "a header's dependency linked PRIVATE",
                {},
                {"pd_mid": ("STATIC_LIBRARY", "mid", ["m.cpp"], ["pd::base"], ["$<LINK_ONLY:pd_base>"])},
                "pd_mid: its headers include pd_base, so it must link pd_base PUBLIC",
            ),
            (
                "a PUBLIC link no header needs",
                {"mid/m.h": "#pragma once\n", "mid/m.cpp": '#include "mid/m.h"\n#include "base/b.h"\n'},
                {},
                "pd_mid links pd_base PUBLIC, but none of its headers includes it",
            ),
            (
                "a header without a .cpp belongs to its folder's first library",
                {"app/main.cpp": '#include "mid/m.h"\n#include "base/flags.h"\n'},
                {},
                "app includes headers of pd_base but does not link it",
            ),
            (
                "a test's header-only helper counts as part of its includer",
                {"app/main.cpp": '#include "mid/m.h"\n#include "tests/helper.h"\n'},
                {},
                "app includes headers of pd_base but does not link it",
            ),
            (
                "a Qt module found by its header folder",
                {"base/b.cpp": '#include "base/b.h"\n#include <QWidget>\n'},
                {},
                "pd_base includes headers of Qt6::Widgets but does not link it",
            ),
        ]
        for name, files, targets, expected in cases:
            with self.subTest(name):
                status, output = run_check({**FILES, **files}, {**TARGETS, **targets})
                self.assertEqual(status, 1, output)
                self.assertIn(expected, output.splitlines())

    def test_unreadable_target_list_is_an_error(self):
        result = subprocess.run(
            [sys.executable, CHECK, "/nonexistent/targets.txt", "/"], capture_output=True, text=True
        )
        self.assertEqual(result.returncode, 2)
        self.assertIn("cannot read the target list", result.stderr)


if __name__ == "__main__":
    unittest.main()
