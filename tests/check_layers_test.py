#!/usr/bin/env python3
"""The include checker on a small tree of its own: the includes that break the layers are the
ones it reports, each once, resolved the way the build resolves them."""
import os
import subprocess
import sys
import tempfile
import unittest

CHECKER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts", "check_layers.py")

TREE = {
    "framework/pure/cstring.h": "#include <cstdint>\n",
    "framework/afxwin.h": '#include "cstring.h"\n#include <windows.h>\n',
    "resources/resource.h": "",
    "storage/pure/le.h": "#include <cstdint>\n",
    # A bare name finds framework/pure; "le.h" is found next to the including file.
    "storage/pure/record.h": '#include "cstring.h"\n#include "le.h"\n#include <vector>\n',
    "storage/pure/bad.h": '#include <windows.h>\n#include "afxwin.h"\n#include "app/pure/texts.h"\n',
    "storage/reader.cpp": '#include "afxwin.h"\n#include "resource.h"\n#include "storage/pure/record.h"\n',
    "storage/up.cpp": '#include "look/slider.h"\n#include "missing.h"\n',
    "look/slider.h": '#include "storage/reader.h"\n',
    "storage/reader.h": "",
    "app/pure/texts.h": '#include "storage/pure/le.h"\n',
    "app/dialog.cpp": '#include "look/slider.h"\n#include "fsrecovery/scan.h"\n',
    "fsrecovery/scan.h": '#include "app/pure/texts.h"\n#include "sigrecovery/carve.h"\n',
    "sigrecovery/carve.h": '#include "app/pure/texts.h"\n',
    "tests/test_all.cpp": '#include "fsrecovery/scan.h"\n#include <gtest/gtest.h>\n',
}


def run(root, *paths):
    done = subprocess.run([sys.executable, CHECKER, "--root", root, *paths], capture_output=True, text=True)
    return done.returncode, sorted(line.split(": ", 1)[0] for line in done.stdout.splitlines())


class CheckLayers(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        for name, text in TREE.items():
            path = os.path.join(self.dir.name, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:
                f.write(text)

    def tearDown(self):
        self.dir.cleanup()

    def test_every_broken_include_is_reported_once(self):
        code, where = run(self.dir.name)
        self.assertEqual(code, 1)
        self.assertEqual(
            where,
            sorted(
                [
                    "app/dialog.cpp:2",  # app below fsrecovery
                    "fsrecovery/scan.h:2",  # sideways to sigrecovery
                    "storage/pure/bad.h:1",  # pure: a system header
                    "storage/pure/bad.h:2",  # pure: a window header
                    "storage/pure/bad.h:3",  # storage below app
                    "storage/up.cpp:1",  # storage below look
                    "storage/up.cpp:2",  # names nothing
                ]
            ),
        )

    def test_paths_limit_the_check(self):
        self.assertEqual(run(self.dir.name, "look", "framework", "app/pure"), (0, []))
        self.assertEqual(run(self.dir.name, "storage/up.cpp")[1], ["storage/up.cpp:1", "storage/up.cpp:2"])


if __name__ == "__main__":
    unittest.main()
