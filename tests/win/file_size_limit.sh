#!/bin/sh
# file_size_limit.sh WINE_RUN PREFIX BYTES PROGRAM [ARG...]
# Runs a test program under Wine with a file-size limit of BYTES: the system refuses every byte
# that a file would get past it (EFBIG, with the signal that would end the process ignored), as
# it refuses them on a full disk. The Wine server is started first, without the limit, so that
# only the program's own files meet it. The program learns the limit from ZR_FILE_SIZE_LIMIT.
set -eu
run=$1 prefix=$2 bytes=$3
shift 3
WINEPREFIX=$prefix wineserver -p 10 </dev/null >/dev/null 2>&1 || true
trap '' XFSZ
ZR_FILE_SIZE_LIMIT=$bytes
export ZR_FILE_SIZE_LIMIT
exec prlimit --fsize="$bytes" "$run" "$@"
