#!/bin/sh
# Installs, on Debian 12, whatever the build, the tests and the demo need and is missing.
# Safe to run again: it does nothing when every package is already there.
set -e
PKGS="g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386 wine64 fonts-wine \
libxrandr2:i386 libxrender1:i386 libxi6:i386 libxcursor1:i386 libxinerama1:i386 \
libxcomposite1:i386 libxfixes3:i386 libxxf86vm1:i386 \
xvfb xauth imagemagick x11-apps \
cmake ninja-build googletest python3 bc clang libclang-rt-14-dev \
dosfstools mtools ntfs-3g fdisk gdisk fp-utils"
missing=""
for p in $PKGS; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "installing:$missing"
$SUDO dpkg --add-architecture i386
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
