#!/bin/sh
# Installs what is missing, builds the program (with its help file beside it), makes a demo disk
# image (an MBR disk with a FAT32 and an NTFS partition, deleted files in both), attaches it to the
# program's Wine prefix as \\.\PhysicalDrive1, and starts the program. Without a display it runs
# under Xvfb and saves a screenshot to build/screenshot.png after ZR_RUN_SECONDS (8); with ZR_VNC=1
# it stays open and its screen is shared on localhost:5900 (x11vnc).
#
# The program has a Wine prefix of its own, build/run-wineprefix: the tests attach their disks and
# drive letters to the build's prefix (build/wineprefix), and the program would list them all.
# Disk images of one's own are attached there too (see the README).
set -e
cd "$(dirname "$0")/.."
ROOT=$PWD
PREFIX=$ROOT/build/run-wineprefix
ZR_WINEPREFIX=$PREFIX
export ZR_WINEPREFIX
sh scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target ZembrolixRecovery -j"$(nproc)"

DEMO=$ROOT/build/demo
if ! grep -q DEMO_NTFS "$DEMO/demo.img.layout.tsv" 2>/dev/null; then
  echo "making the demo disk image"
  bash fixtures/mkimages.sh "$DEMO" demo
fi
ZR_PREFIX_ONLY=1 build/wine-run.sh
# Only as a disk: Wine reports the file system of an image-backed drive letter wrongly, so a
# letter would lead nowhere.
ln -sfn "$DEMO/demo.img" "$PREFIX/dosdevices/physicaldrive1"

EXE="$ROOT/build/ZembrolixRecovery.exe"
if [ -n "${DISPLAY:-}" ]; then
  exec build/wine-run.sh "$EXE"
fi
if [ "${ZR_VNC:-}" = 1 ]; then
  # Kept open under Xvfb and shared with x11vnc on this machine's port 5900 until the program ends.
  if ! command -v x11vnc >/dev/null 2>&1; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends x11vnc >/dev/null
  fi
  echo "no display: the program runs under Xvfb; connect a VNC viewer to localhost:5900 (it ends with the program)"
  WINEPREFIX="$PREFIX" wineserver -k 2>/dev/null || true
  exec xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
    x11vnc -display "$DISPLAY" -localhost -forever -nopw -quiet -rfbport 5900 >/dev/null 2>&1 &
    vnc=$!
    WINEPREFIX="$3" WINEDEBUG=-all wine "$2" >/dev/null 2>&1
    kill "$vnc" 2>/dev/null
    WINEPREFIX="$3" wineserver -k' sh "$ROOT" "$EXE" "$PREFIX"
fi
echo "no display: running under Xvfb, screenshot in build/screenshot.png"
WINEPREFIX="$PREFIX" wineserver -k 2>/dev/null || true
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
  WINEPREFIX="$3" WINEDEBUG=-all wine "$2" >/dev/null 2>&1 &
  sleep "${ZR_RUN_SECONDS:-8}"
  /usr/bin/import -window root "$1/build/screenshot.png" 2>/dev/null || xwd -root -silent | /usr/bin/convert xwd:- "png:$1/build/screenshot.png"
  WINEPREFIX="$3" wineserver -k' sh "$ROOT" "$EXE" "$PREFIX"
echo "screenshot: build/screenshot.png"
