#!/usr/bin/env bash
# Makes a torrent of the same data with quorvane-cli, mktorrent (1 and 2
# threads) and transmission-create, and prints wall time, MB/s and each
# tool's time relative to ours. Two data sets, both in the page cache:
# one 2 GiB file, and a folder of 10,000 small files.
#
# Usage: bench/compare_create.sh [QUORVANE_CLI]
#   BENCH_DIR   where the data goes (default /tmp/quorvane-bench; kept for the next run)
#   RUNS        runs per tool, the best one counts (default 3)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cli=${1:-${QUORVANE_CLI:-$here/../build/src/cli/quorvane-cli}}
dir=${BENCH_DIR:-/tmp/quorvane-bench}
runs=${RUNS:-3}

[[ -x $cli ]] || { echo "quorvane-cli not found at $cli (give its path)" >&2; exit 2; }
for tool in mktorrent transmission-create; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/deps.sh installs it)" >&2; exit 2; }
done
mkdir -p "$dir/out"

big=$dir/big.bin
if [[ ! -f $big || $(stat -c %s "$big") -ne $((2 << 30)) ]]; then
  echo "making $big (2 GiB)..." >&2
  head -c $((2 << 30)) /dev/urandom > "$big.tmp" && mv "$big.tmp" "$big"
fi
small=$dir/small
if [[ ! -f $small.complete ]]; then
  echo "making $small (10,000 files)..." >&2
  rm -rf "$small"
  /usr/bin/python3 - "$small" <<'EOF'
import os, random, sys
top = sys.argv[1]
rng = random.Random(42)
for i in range(10000):
    sub = os.path.join(top, "d%02d" % (i % 50))
    os.makedirs(sub, exist_ok=True)
    with open(os.path.join(sub, "f%05d.dat" % i), "wb") as f:
        f.write(rng.randbytes(rng.randrange(1, 20000)))
open(top + ".complete", "w").close()
EOF
fi

# "WALL CPU" seconds of the run with the best wall time, out of $runs runs.
# CPU (user + sys, all threads) tells the tools apart when other work shares the machine.
best_time() {
  local best="" cpu="" t
  for ((i = 0; i < runs; i++)); do
    rm -f "$dir"/out/*
    /usr/bin/time -f "%e %U %S" -o "$dir/time.txt" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
    read -r t u s < "$dir/time.txt"
    if [[ -z $best ]] || (($(echo "$t < $best" | bc -l))); then
      best=$t
      cpu=$(echo "$u + $s" | bc -l)
    fi
  done
  echo "$best $cpu"
}

# data_set NAME PATH BYTES LOG2_PIECE
data_set() {
  local name=$1 path=$2 bytes=$3 log2=$4
  local kib=$(((1 << log2) / 1024))
  echo "== $name: $(echo "scale=1; $bytes / 1048576" | bc) MiB, piece length $kib KiB, best of $runs"
  # Into the page cache first, so every tool reads from memory.
  find "$path" -type f -exec cat {} + > /dev/null

  local -a names=(quorvane-cli "mktorrent -t 1" "mktorrent -t 2" transmission-create)
  local -a times=()
  local piece_opt
  case $kib in 128) piece_opt=128k ;; 256) piece_opt=256k ;; 512) piece_opt=512k ;; *) piece_opt=$((kib / 1024))m ;; esac
  times+=("$(best_time "$cli" create -q -f --keep-thumbs -l "$piece_opt" -o "$dir/out/q.torrent" "$path")")
  times+=("$(best_time mktorrent -t 1 -l "$log2" -o "$dir/out/m1.torrent" "$path")")
  times+=("$(best_time mktorrent -t 2 -l "$log2" -o "$dir/out/m2.torrent" "$path")")
  times+=("$(best_time transmission-create -s "$kib" -o "$dir/out/t.torrent" "$path")")

  local ours=${times[0]% *}
  printf "  %-22s %8s %8s %12s %8s\n" tool "wall s" "MB/s" "wall / ours" "cpu s"
  for i in "${!names[@]}"; do
    local wall=${times[$i]% *} cpu=${times[$i]#* }
    printf "  %-22s %8.3f %8.1f %12.2f %8.2f\n" "${names[$i]}" "$wall" \
      "$(echo "$bytes / $wall / 1000000" | bc -l)" "$(echo "$wall / $ours" | bc -l)" "$cpu"
  done
}

echo "sha_ni: $(grep -q sha_ni /proc/cpuinfo && echo yes || echo no); cores: $(nproc); load: $(cut -d' ' -f1-3 /proc/loadavg)"
data_set "one 2 GiB file" "$big" $((2 << 30)) 21
small_bytes=$(find "$small" -type f -name '*.dat' -printf '%s\n' | awk '{s += $1} END {print s}')
data_set "10,000 small files" "$small" "$small_bytes" 18
