#!/usr/bin/env python3
"""Counts the program's mutable process-wide state: `extern` declarations of objects that are
not const, in the headers of the program folders (tests, benchmarks and fuzz targets left out).

What is counted: each header line that begins with `extern`, is not an `extern "C"` block, and
declares no const or constexpr object. Functions declared extern are skipped (a `(` before the
first `;` that is not part of an array size). One declaration per line is assumed, as the code
is written. Atomic ones (std::atomic<...>) are counted apart as well.

    python3 scripts/count_globals.py [--list]
"""
import os
import re
import sys

FOLDERS = ["framework", "storage", "look", "app", "fsrecovery", "sigrecovery"]
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
EXTERN = re.compile(r"^\s*extern\s+(?!\"C\")(.*)$")


def declarations():
    for folder in FOLDERS:
        for base, _, files in os.walk(os.path.join(ROOT, folder)):
            for name in sorted(files):
                if not name.endswith((".h", ".hpp")):
                    continue
                path = os.path.join(base, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = EXTERN.match(line)
                        if not m:
                            continue
                        text = m.group(1).split("//")[0]
                        if re.search(r"\bconst(expr)?\b", text):
                            continue
                        if "(" in text.split("[")[0]:
                            continue  # a function
                        yield os.path.relpath(path, ROOT), number, text.strip()


def main():
    found = list(declarations())
    atomic = [d for d in found if "std::atomic" in d[2]]
    if "--list" in sys.argv:
        for path, number, text in found:
            print(f"{path}:{number}: {text}")
    print(f"mutable extern globals: {len(found)} ({len(atomic)} atomic)")


if __name__ == "__main__":
    main()
