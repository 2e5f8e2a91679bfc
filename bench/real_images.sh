#!/bin/sh
# Makes the real images the dialog benchmark's figures beside The Sleuth Kit were taken on:
#   sh bench/real_images.sh ntfs IMAGE MIB FILES [BYTES]   mkntfs, filled through ntfs-3g (FUSE)
#   sh bench/real_images.sh fat32 IMAGE MIB FILES [BYTES]  mkfs.fat, filled with mcopy
# FILES files of BYTES bytes (default 100) in folders of 100 under the root, named as the
# synthesized volumes name theirs. Then, for example:
#   bench_basicsearch.exe image /tmp/ntfs_100k.img ntfs
set -e
kind=$1 img=$2 mib=$3 files=$4 bytes=${5:-100}
src=$(mktemp -d)
rm -f "$img"
truncate -s "${mib}M" "$img"
if [ "$kind" = ntfs ]; then
  mkntfs -F -f -q "$img" >/dev/null 2>&1
  ntfs-3g -o big_writes "$img" "$src"
fi
python3 - "$src" "$files" "$bytes" <<'PY'
import os, sys
root, files, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
payload = os.urandom(size)
for i in range(files):
    folder = os.path.join(root, 'Folder %05d photos' % (i // 100))
    if i % 100 == 0:
        os.mkdir(folder)
    with open(os.path.join(folder, 'Document %07d draft.docx' % i), 'wb') as f:
        f.write(payload)
PY
if [ "$kind" = ntfs ]; then
  umount "$src"
else
  mkfs.fat -F 32 "$img" >/dev/null
  mcopy -s -i "$img" "$src"/* ::/
  rm -rf "$src"/*
fi
rmdir "$src"
