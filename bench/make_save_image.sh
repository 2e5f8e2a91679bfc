#!/bin/sh
# Makes a real volume image for bench_savetree: FILES files of 4 KiB (random bytes) in folders
# of 100, written by the file system's own tools, NTFS through mkntfs and an ntfs-3g mount (needs
# root and FUSE) or FAT32 through mkfs.fat and mcopy (no mount).
#   sh bench/make_save_image.sh ntfs|fat32 FILES IMAGE
set -e
fs=$1 files=$2 image=$3
[ -n "$image" ] || { echo "usage: $0 ntfs|fat32 FILES IMAGE" >&2; exit 2; }
work=$(mktemp -d)
trap 'umount "$work/mnt" 2>/dev/null || true; rm -rf "$work"' EXIT
# Files, their folders' entries and the file system's own metadata, with room to spare.
# FAT32 needs 65,525 clusters or more (256 MiB of 4 KiB clusters), or its tools take it for FAT16.
mib=$(( files * 6 / 1024 + 64 ))
[ "$fs" = ntfs ] || [ $mib -ge 300 ] || mib=300
rm -f "$image"
truncate -s ${mib}M "$image"
populate() {
    python3 - "$1" "$files" <<'PY'
import os, sys
root, files = sys.argv[1], int(sys.argv[2])
for n in range(files):
    folder = os.path.join(root, "Folder %05d" % (n // 100))
    if n % 100 == 0:
        os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "Document %07d.bin" % n), "wb") as f:
        f.write(os.urandom(4096))
PY
}
if [ "$fs" = ntfs ]; then
    mkntfs -F -q -f "$image" >/dev/null 2>&1
    mkdir "$work/mnt"
    ntfs-3g "$image" "$work/mnt"
    populate "$work/mnt"
    umount "$work/mnt"
else
    mkfs.fat -F 32 -s 8 "$image" >/dev/null
    mkdir "$work/tree"
    populate "$work/tree"
    MTOOLS_SKIP_CHECK=1 mcopy -s -i "$image" "$work/tree"/* ::/
fi
