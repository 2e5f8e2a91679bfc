#!/bin/sh
# check_images.sh BUILD [--record]
# With --record, writes BUILD/images/IMAGES.sha256 for every image there. Without, fails if
# any image differs from what was recorded: nothing may ever write to the test media. A failed
# check also drops the stamp, so that the next setup makes the images afresh.
set -eu
IMG=$1/images
cd "$IMG"

# openssl uses the CPU's SHA instructions (four times faster than coreutils here).
hash_all() {
  if command -v openssl >/dev/null 2>&1; then
    xargs -d '\n' -P 8 -n 1 openssl dgst -sha256 -r
  else
    xargs -d '\n' -P 8 -n 1 sha256sum -b
  fi | sed 's/ \*/  /' | sort -k 2
}

if [ "${2:-}" = --record ]; then
  ls *.img | hash_all >IMAGES.sha256.new
  mv IMAGES.sha256.new IMAGES.sha256
  exit 0
fi

[ -s IMAGES.sha256 ] || { echo "check_images: no IMAGES.sha256 in $IMG" >&2; exit 1; }
now=$(sed 's/^[0-9a-f]*  //' IMAGES.sha256 | hash_all)
if [ "$now" != "$(cat IMAGES.sha256)" ]; then
  echo "check_images: images changed since they were made:" >&2
  echo "$now" | diff IMAGES.sha256 - | sed -n 's/^> [0-9a-f]*  /  /p' >&2
  rm -f .stamp
  exit 1
fi
