#!/usr/bin/env python3
"""Checks the include directions of the program's layers.

Layers, bottom to top: framework (with framework/pure), storage, look, app, then fsrecovery and
sigrecovery side by side. A file may include its own layer and the layers below it, and
resources/ from anywhere; fsrecovery and sigrecovery never include each other. A file under any
pure/ folder includes only standard headers and files under pure/ folders. tests/, bench/ and
fuzz/ may include anything, and so may the program's entry (app/main.cpp), which wires the
searches in: the launcher itself names none of them.

Includes are resolved the way the build resolves them: a quoted name next to the including file
first, then under the repository root, framework/, framework/pure and resources/.

Usage: check_layers.py [--root DIR] [PATH ...]
  PATH limits the check to the files under those folders (or to those files); by default every
  source file of the repository is checked. Prints each violation as file:line: reason and exits
  1 when there is any, 0 otherwise.
"""
import argparse
import os
import re
import sys

LAYERS = {
    "framework": 0,
    "storage": 1,
    "look": 2,
    "app": 3,
    "fsrecovery": 4,
    "sigrecovery": 4,
}
# Includable from every layer.
SHARED = {"resources"}
# May include anything; not checked.
FREE = {"tests", "bench", "fuzz"}
ENTRY = "app/main.cpp"
INCLUDE_DIRS = ["", "framework", "framework/pure", "resources"]
SOURCE_SUFFIXES = (".cpp", ".cc", ".c", ".h", ".hpp", ".inl")
SKIP_DIRS = {".git", "build", "build-native"}

# The C and C++ standard library headers: all a pure file may take in angle brackets.
STANDARD_HEADERS = set(
    """
    algorithm any array atomic barrier bit bitset cassert ccomplex cctype cerrno cfenv cfloat charconv
    chrono cinttypes ciso646 climits clocale cmath codecvt compare complex concepts condition_variable
    coroutine csetjmp csignal cstdalign cstdarg cstdbool cstddef cstdint cstdio cstdlib cstring ctgmath
    ctime cuchar cwchar cwctype deque exception execution expected filesystem format forward_list
    fstream functional future initializer_list iomanip ios iosfwd iostream istream iterator latch
    limits list locale map memory memory_resource mutex new numbers numeric optional ostream queue
    random ranges ratio regex scoped_allocator semaphore set shared_mutex source_location span
    sstream stack stdexcept stop_token streambuf string string_view syncstream system_error thread
    tuple type_traits typeindex typeinfo unordered_map unordered_set utility valarray variant vector
    version
    assert.h ctype.h errno.h fenv.h float.h inttypes.h iso646.h limits.h locale.h math.h setjmp.h
    signal.h stdalign.h stdarg.h stdbool.h stddef.h stdint.h stdio.h stdlib.h string.h tgmath.h
    time.h uchar.h wchar.h wctype.h
    """.split()
)

INCLUDE_RE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def rel(path, root):
    return os.path.relpath(path, root).replace(os.sep, "/")


def top_folder(relpath):
    return relpath.split("/", 1)[0] if "/" in relpath else ""


def is_pure(relpath):
    return "pure" in relpath.split("/")[:-1]


def resolve(root, including, name):
    """The repository-relative path the quoted include names, or None outside the repository."""
    candidates = [os.path.join(os.path.dirname(including), name)]
    candidates += [os.path.join(root, d, name) for d in INCLUDE_DIRS]
    for c in candidates:
        if os.path.isfile(c):
            return rel(os.path.normpath(c), root)
    return None


def layer_name(relpath):
    top = top_folder(relpath)
    return top if top in LAYERS else None


def check_include(root, path, kind, name):
    """The reason this include breaks a rule, or None."""
    relpath = rel(path, root)
    pure = is_pure(relpath)
    if kind == "<":
        if pure and name not in STANDARD_HEADERS:
            return "pure code includes the non-standard header <%s>" % name
        return None
    target = resolve(root, path, name)
    if target is None:
        return '"%s" names no file of the repository' % name
    if pure and not is_pure(target):
        return 'pure code includes "%s", which is not pure (%s)' % (name, target)
    own, other = layer_name(relpath), top_folder(target)
    if own is None or other in SHARED:
        return None
    if other not in LAYERS:
        return '"%s" lies outside the layers (%s)' % (name, target)
    if LAYERS[other] > LAYERS[own]:
        return '%s includes "%s" of %s, a layer above it' % (own, name, other)
    if LAYERS[other] == LAYERS[own] and other != own:
        return '%s includes "%s" of %s, which stands beside it' % (own, name, other)
    return None


def source_files(root, paths):
    starts = [os.path.join(root, p) for p in paths] if paths else [root]
    for start in starts:
        if os.path.isfile(start):
            yield start
            continue
        for folder, dirs, files in os.walk(start):
            dirs[:] = sorted(d for d in dirs if d not in SKIP_DIRS and not d.startswith("build"))
            for f in sorted(files):
                if f.endswith(SOURCE_SUFFIXES):
                    yield os.path.join(folder, f)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--root", default=os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    parser.add_argument("paths", nargs="*")
    args = parser.parse_args(argv)
    root = os.path.abspath(args.root)
    violations = 0
    for path in source_files(root, args.paths):
        relpath = rel(path, root)
        if top_folder(relpath) in FREE or relpath == ENTRY:
            continue
        with open(path, encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                m = INCLUDE_RE.match(line)
                if not m:
                    continue
                reason = check_include(root, path, m.group(1), m.group(2).strip())
                if reason:
                    print("%s:%d: %s" % (relpath, number, reason))
                    violations += 1
    if violations:
        print("%d include(s) break the layers" % violations, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
