#!/bin/sh
# setup_images.sh SRC BUILD
# (In a native build folder, without wine-run.sh, only the images are made.)
# Makes the test media in BUILD/images (again only when the scripts that make them changed, or
# an image is missing) and shows them to the build's Wine prefix as drives and disks:
#   \\.\X: fat32.img (X:\ itself is an empty folder)   \\.\Y: ntfs.img
#   \\.\W: fat16.img (W:\ an empty folder)   \\.\V: ntfs512.img
#   \\.\PhysicalDrive1 gpt.img   \\.\PhysicalDrive2 mbr.img   \\.\PhysicalDrive3 carve.img
#   \\.\R: fatloop.img   \\.\S: fatzero.img   \\.\T: ntfsbad.img   \\.\U: fatnames.img
#   \\.\L: fatlone.img
#   \\.\PhysicalDrive19 spilldisk.img   \\.\PhysicalDrive14 deepntfsdisk.img
#   \\.\PhysicalDrive25 ntfscomp.img (an NTFS partition with a compressed folder)
#   \\.\PhysicalDrive17 ntfsext.img (an NTFS partition whose files spread over extension records)
#   \\.\N: nomft/nomft.img (made on every run, below)
#   \\.\PhysicalDrive23 a file every read of which fails (below)
# Wine finds these as links in the prefix's dosdevices folder; their names must be lower case.
set -eu
SRC=$1
BUILD=$(cd "$2" && pwd)
IMG=$BUILD/images
PREFIX=${ZR_WINEPREFIX:-$BUILD/wineprefix}

stamp=$(cat "$SRC/fixtures/mkimages.sh" "$SRC/fixtures/samples.py" "$SRC/fixtures/truth.py" \
  "$SRC/fixtures/broken.py" \
  "$SRC/tests/check_images.sh" | sha256sum | cut -c1-64)
# The carving medium follows its script and the signature files its truth is computed from.
stamp=$( (echo "$stamp"; cat "$SRC/fixtures/carvemedia.py" "$SRC"/resources/signatures/*.dll) | sha256sum | cut -c1-64)
fresh=yes
if [ "$(cat "$IMG/.stamp" 2>/dev/null)" = "$stamp" ] && [ -s "$IMG/IMAGES.sha256" ]; then
  for f in $(sed 's/^[0-9a-f]*  //' "$IMG/IMAGES.sha256"); do
    [ -f "$IMG/$f" ] || fresh=no
  done
else
  fresh=no
fi
# The images and the Wine prefix take seconds each and do not depend on each other.
mk=
log=$BUILD/mkimages.log
trap '[ -z "$mk" ] || kill "$mk" 2>/dev/null || true' EXIT
if [ $fresh = no ]; then
  rm -f "$IMG/.stamp"
  bash "$SRC/fixtures/mkimages.sh" "$IMG" >"$log" 2>&1 &
  mk=$!
fi
# The native build has no Wine prefix: it only needs the images.
WINE=no
[ -x "$BUILD/wine-run.sh" ] && WINE=yes
[ $WINE = no ] || ZR_PREFIX_ONLY=1 "$BUILD/wine-run.sh"
if [ -n "$mk" ]; then
  pid=$mk
  mk=
  if ! wait "$pid"; then
    cat "$log" >&2
    exit 1
  fi
  grep '^mkimages: note:' "$log" >&2 || true
  sh "$SRC/tests/check_images.sh" "$BUILD" --record
  echo "$stamp" >"$IMG/.stamp"
fi

[ $WINE = yes ] || exit 0
D=$PREFIX/dosdevices
mkdir -p "$IMG/xroot"
ln -sfn "$IMG/xroot" "$D/x:"
ln -sfn "$IMG/fat32.img" "$D/x::"
ln -sfn "$IMG/ntfs.img" "$D/y::"
mkdir -p "$IMG/yroot"
ln -sfn "$IMG/yroot" "$D/y:"
mkdir -p "$IMG/wroot"
ln -sfn "$IMG/wroot" "$D/w:"
ln -sfn "$IMG/fat16.img" "$D/w::"
ln -sfn "$IMG/ntfs512.img" "$D/v::"
ln -sfn "$IMG/gpt.img" "$D/physicaldrive1"
ln -sfn "$IMG/mbr.img" "$D/physicaldrive2"
ln -sfn "$IMG/carve.img" "$D/physicaldrive3"
# The volumes broken on purpose, as drive letters (each shows as an empty folder).
mkdir -p "$IMG/brokenroot"
for pair in r:fatloop s:fatzero t:ntfsbad u:fatnames l:fatlone; do
  ln -sfn "$IMG/brokenroot" "$D/${pair%%:*}:"
  ln -sfn "$IMG/${pair#*:}.img" "$D/${pair%%:*}::"
done
# A folder whose a.txt is a full disk: every byte written to it is refused with "no space"
# (ENOSPC), as a full destination refuses it.
mkdir -p "$IMG/fulldisk"
ln -sfn /dev/full "$IMG/fulldisk/a.txt"
# The disk whose files point outside their volumes.
ln -sfn "$IMG/spilldisk.img" "$D/physicaldrive19"
# The disk whose NTFS partition keeps a folder's files compressed.
ln -sfn "$IMG/ntfscomp.img" "$D/physicaldrive25"
# The disk whose NTFS files no longer fit their base file records.
ln -sfn "$IMG/ntfsext.img" "$D/physicaldrive17"
# \\.\K: fatpast.img: a FAT volume without FATs whose drive goes on past it (K:\ an empty folder).
ln -sfn "$IMG/brokenroot" "$D/k:"
ln -sfn "$IMG/fatpast.img" "$D/k::"
# The carving searches' medium as a disk and as a drive letter (M:\ itself an empty folder).
mkdir -p "$IMG/mroot"
ln -sfn "$IMG/carvemedia.img" "$D/physicaldrive6"
ln -sfn "$IMG/mroot" "$D/m:"
ln -sfn "$IMG/carvemedia.img" "$D/m::"
# C:\zrlink_m: a folder of drive C that is a symbolic link to M:\, as a destination that leads
# onto the letter being read.
ln -sfn "$IMG/mroot" "$PREFIX/drive_c/zrlink_m"

# Deep Search media: \\.\PhysicalDrive4 deepdisk.img (its MBR wiped), \\.\O: deepfat32.img (no
# boot sector, no FATs), \\.\P: deepntfs.img (no boot sector); O:\ and P:\ are an empty folder.
mkdir -p "$IMG/deeproot"
ln -sfn "$IMG/deepdisk.img" "$D/physicaldrive4"
for pair in o:deepfat32 p:deepntfs; do
  ln -sfn "$IMG/deeproot" "$D/${pair%%:*}:"
  ln -sfn "$IMG/${pair#*:}.img" "$D/${pair%%:*}::"
done
# \\.\PhysicalDrive14 deepntfsdisk.img: three NTFS volumes behind a zeroed MBR, their boot
# sectors zeroed but for one damaged backup.
ln -sfn "$IMG/deepntfsdisk.img" "$D/physicaldrive14"

# \\.\N: an NTFS volume whose $MFT cannot be read: made here on every run with mkntfs, then the
# first record of its $MFT zeroed and the $MFTMirr's copy of it torn (its second sector's
# update-sequence tail changed; both boot sectors intact), so that its check passes on the
# mirror's record and its scan finds no whole record 0 to start from. N:\ is an empty folder. It
# lives outside the images the check compares, as mkntfs gives every volume a serial of its own.
NOMFT=$IMG/nomft
mkdir -p "$NOMFT/root"
rm -f "$NOMFT/nomft.img"
truncate -s 8M "$NOMFT/nomft.img"
mkntfs -F -Q -q -L ZR_NOMFT -s 512 -c 4096 -H 255 -S 63 "$NOMFT/nomft.img" >/dev/null
PY=/usr/bin/python3
[ -x "$PY" ] || PY=python3
"$PY" - "$NOMFT/nomft.img" <<'PY'
import struct, sys
with open(sys.argv[1], "r+b") as f:
    boot = f.read(512)
    spc = boot[0x0D]
    mft, mirr = struct.unpack_from("<QQ", boot, 0x30)
    f.seek(mft * spc * 512)
    f.write(bytes(1024))
    tail = mirr * spc * 512 + 1022
    f.seek(tail)
    torn = bytes([f.read(1)[0] ^ 0xFF])
    f.seek(tail)
    f.write(torn)
PY
ln -sfn "$NOMFT/root" "$D/n:"
ln -sfn "$NOMFT/nomft.img" "$D/n::"

# \\.\PhysicalDrive23: a disk that opens and tells its size but whose every read fails, as a
# disk with a damaged first sector: a file the system sizes but refuses to read (the loopback
# network device's link speed). Not linked where no such file is found.
UNREADABLE=/sys/class/net/lo/speed
if [ -r "$UNREADABLE" ] && ! cat "$UNREADABLE" >/dev/null 2>&1; then
  ln -sfn "$UNREADABLE" "$D/physicaldrive23"
else
  rm -f "$D/physicaldrive23"
fi

# ---- The demo disk of scripts/run.sh: \\.\PhysicalDrive16 ----------------------------------------
# The disk the README's first pick names, made as scripts/run.sh makes it, in a folder of its own
# (it is none of the test images above, and is remade only when its scripts change).
DEMO=$IMG/demo
demostamp=$(cat "$SRC/fixtures/mkimages.sh" "$SRC/fixtures/samples.py" "$SRC/fixtures/truth.py" | sha256sum | cut -c1-64)
if [ "$(cat "$DEMO/.stamp" 2>/dev/null)" != "$demostamp" ] || [ ! -s "$DEMO/demo.img" ]; then
  rm -f "$DEMO/.stamp"
  if ! bash "$SRC/fixtures/mkimages.sh" "$DEMO" demo >"$BUILD/mkdemo.log" 2>&1; then
    cat "$BUILD/mkdemo.log" >&2
    exit 1
  fi
  echo "$demostamp" >"$DEMO/.stamp"
fi
ln -sfn "$DEMO/demo.img" "$D/physicaldrive16"
