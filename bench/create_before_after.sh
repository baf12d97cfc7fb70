#!/usr/bin/env bash
# Two builds of quorvane-cli make the same torrents in turns, data in the page
# cache: 10,000 small files in 100 folders, and one 1 GiB file. Prints each
# build's min/median/max whole-process wall time and the median ratio B/A
# (below 1.0: B is faster). For a change that must not make create slower.
#
# Usage: bench/create_before_after.sh CLI_A CLI_B
#   BENCH_DIR  where the data goes (default /tmp/quorvane-bench-ab; kept for the next run)
#   RUNS       turns per build and data set (default 9)
set -euo pipefail

[[ $# -eq 2 && -x $1 && -x $2 ]] || { echo "usage: $0 CLI_A CLI_B" >&2; exit 2; }
dir=${BENCH_DIR:-/tmp/quorvane-bench-ab}
runs=${RUNS:-9}
mkdir -p "$dir/out"

if [[ ! -d $dir/small ]]; then
  echo "making $dir/small (10,000 files)..." >&2
  for d in $(seq -w 0 99); do
    mkdir -p "$dir/small.tmp/d$d"
    for f in $(seq -w 0 99); do head -c $((1000 + (10#$d * 100 + 10#$f) % 3000)) /dev/urandom >"$dir/small.tmp/d$d/f$f"; done
  done
  mv "$dir/small.tmp" "$dir/small"
fi
if [[ ! -f $dir/big.bin || $(stat -c %s "$dir/big.bin") -ne $((1 << 30)) ]]; then
  echo "making $dir/big.bin (1 GiB)..." >&2
  head -c $((1 << 30)) /dev/urandom >"$dir/big.bin"
fi

wall() {  # wall CLI DATA OUT: seconds of one whole run
  local start end
  start=$(date +%s%N)
  "$1" create -q -f --no-date -o "$3" "$2" >/dev/null
  end=$(date +%s%N)
  echo "scale=4; ($end - $start) / 1000000000" | bc
}

stats() {  # stats VALUES...: min median max
  printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {printf "%.3f %.3f %.3f", v[1], v[int((NR + 1) / 2)], v[NR]}'
}

for set in small big.bin; do
  cat "$dir/$set" >/dev/null 2>&1 || find "$dir/$set" -type f -exec cat {} + >/dev/null
  wall "$1" "$dir/$set" "$dir/out/a.torrent" >/dev/null  # warm-up
  a=() b=()
  for _ in $(seq "$runs"); do
    a+=("$(wall "$1" "$dir/$set" "$dir/out/a.torrent")")
    b+=("$(wall "$2" "$dir/$set" "$dir/out/b.torrent")")
  done
  cmp -s "$dir/out/a.torrent" "$dir/out/b.torrent" || echo "$set: the two builds made different torrents" >&2
  read -r amin amed amax <<<"$(stats "${a[@]}")"
  read -r bmin bmed bmax <<<"$(stats "${b[@]}")"
  printf '%-8s A %s/%s/%s s  B %s/%s/%s s  (min/median/max)  B/A %.2f\n' "$set" \
    "$amin" "$amed" "$amax" "$bmin" "$bmed" "$bmax" "$(echo "scale=4; $bmed / $amed" | bc)"
done
