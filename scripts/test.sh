#!/bin/sh
# Installs what is missing, builds both configurations and runs every test:
#   1. native (clang, ASan + UBSan): the pure code's unit tests and each fuzz target for a bounded time;
#   2. Windows (mingw-w64, i686): every test executable under Wine, inside one Xvfb display.
set -e
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=$(nproc)
sh scripts/install-deps.sh

# The layers' include directions: the first include that runs upward fails the run before
# anything is built.
echo "== include directions of the layers"
python3 scripts/check_layers.py

CC=clang CXX=clang++ cmake -S . -B build-native -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-native -j"$JOBS"
cmake -S . -B build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$JOBS"

echo "== native tests (sanitizers, fuzzers)"
(cd build-native && ctest --output-on-failure -j"$JOBS")

echo "== Windows tests under Wine"
# A wine command run without a display leaves daemons up that break window tests started
# right after; make sure none are left from earlier steps before Xvfb starts.
WINEPREFIX="$ROOT/build/wineprefix" wineserver -k 2>/dev/null || true
cd build
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure
