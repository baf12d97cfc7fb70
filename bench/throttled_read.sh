#!/bin/bash
# Requests and time of hashing a file that is not in the page cache, on a
# device throttled to a few read requests a second (the cost model of a hard
# disk or a network share: every request is a seek or a round trip).
# Compares quorvane-cli create with dd bs=1M and mktorrent -t 2.
# Needs root and cgroup v1 blkio (or v2 io.max).
# Usage: bench/throttled_read.sh [CLI] [SIZE_MIB] [IOPS] [PIECE_KIB...]
#   FORMATS  the torrent formats to make (default "v1"; e.g. "v1 v2 hybrid")
set -euo pipefail
cli=${1:-build/src/cli/quorvane-cli}
size=${2:-512}
iops=${3:-150}
shift $(($# < 3 ? $# : 3))
pieces=(256 4096 16384)
read -r -a formats <<<"${FORMATS:-v1}"
[ $# -eq 0 ] || pieces=("$@")

work=$(mktemp -d "${TMPDIR:-/tmp}/throttled-XXXXXX")
trap 'rm -rf "$work"' EXIT
file=$work/data
head -c "${size}M" /dev/urandom >"$file"
sync
dev=$(stat -c '%d' "$file")
majmin="$((dev >> 8)):$((dev & 255))"
# A partition's throttle is set on its whole disk.
if [ -e "/sys/dev/block/$majmin/partition" ]; then
  majmin=$(cat "/sys/dev/block/$majmin/../dev")
fi

drop() {
  python3 -c 'import os,sys
fd=os.open(sys.argv[1],os.O_RDONLY); os.fsync(fd)
os.posix_fadvise(fd,0,0,os.POSIX_FADV_DONTNEED); os.close(fd)' "$file"
}

# run NAME COMMAND...: prints "NAME seconds requests".
run() {
  local name=$1
  shift
  drop
  local start end requests group
  if [ -d /sys/fs/cgroup/blkio ]; then
    group=/sys/fs/cgroup/blkio/throttled-$$-$RANDOM
    mkdir "$group"
    echo "$majmin $iops" >"$group/blkio.throttle.read_iops_device"
  else
    group=/sys/fs/cgroup/throttled-$$-$RANDOM
    mkdir "$group"
    echo "$majmin riops=$iops" >"$group/io.max"
  fi
  start=$(date +%s.%N)
  bash -c 'echo $$ >"$1/cgroup.procs"; shift; exec "$@"' _ "$group" "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  if [ -d /sys/fs/cgroup/blkio ]; then
    requests=$(awk -v d="$majmin" '$1 == d && $2 == "Read" { print $3 }' "$group/blkio.throttle.io_serviced")
  else
    requests=$(awk -v d="$majmin" '$1 == d { for (i = 2; i <= NF; i++) if ($i ~ /^rios=/) print substr($i, 6) }' "$group/io.stat")
  fi
  rmdir "$group"
  printf '%-28s %8.2f s %8s requests\n' "$name" "$(echo "$end - $start" | bc)" "${requests:-0}"
}

run "dd bs=1M" dd if="$file" of=/dev/null bs=1M
for kib in "${pieces[@]}"; do
  log2=$(awk -v k="$kib" 'BEGIN { print int(log(k * 1024) / log(2) + 0.5) }')
  for format in "${formats[@]}"; do
    run "quorvane-cli $format ${kib} KiB" "$cli" create -q -f --no-date --format "$format" \
      -l "$((kib * 1024))" -o "$work/q.torrent" "$file"
  done
  run "mktorrent -t 2 ${kib} KiB" mktorrent -t 2 -l "$log2" -o "$work/m.torrent" -a http://x/ "$file"
  rm -f "$work/m.torrent"
done
