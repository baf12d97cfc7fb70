#!/usr/bin/env bash
# v2 and hybrid hashing of one file in the page cache: our engine
# (bench_engine, every core) beside python3-libtorrent's create_torrent +
# set_piece_hashes, same file and piece length, and the whole
# `quorvane-cli create --format v2|hybrid` process. Prints each one's best of
# RUNS wall time and ours / libtorrent (below 1.0: we are faster).
#
# Usage: bench/engine_vs_libtorrent.sh [BENCH_ENGINE [QUORVANE_CLI]]
#   BENCH_DIR  where the 1 GiB file goes (default /tmp/quorvane-bench; kept)
#   RUNS       turns (default 5)
#   PIECE_KIB  piece length (default 1024)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
engine=${1:-$here/../build/bench/bench_engine}
cli=${2:-$here/../build/src/cli/quorvane-cli}
dir=${BENCH_DIR:-/tmp/quorvane-bench}
runs=${RUNS:-5}
kib=${PIECE_KIB:-1024}
[[ -x $engine ]] || { echo "bench_engine not found at $engine" >&2; exit 2; }
[[ -x $cli ]] || { echo "quorvane-cli not found at $cli" >&2; exit 2; }
/usr/bin/python3 -c 'import libtorrent' 2>/dev/null || "$here/../scripts/deps.sh" tests
mkdir -p "$dir"
file=$dir/big1.bin
if [[ ! -f $file || $(stat -c %s "$file") -ne $((1 << 30)) ]]; then
  head -c $((1 << 30)) /dev/urandom >"$file.tmp" && mv "$file.tmp" "$file"
fi
cat "$file" >/dev/null

echo "cores: $(nproc); load: $(cut -d' ' -f1-3 /proc/loadavg); 1 GiB, piece length $kib KiB, best of $runs"
for plan in V2 Hybrid; do
  flag=v2_only
  [[ $plan == Hybrid ]] && flag=0
  lt=$(/usr/bin/python3 - "$file" $((kib * 1024)) "$flag" "$runs" <<'PY'
import os, sys, time
import libtorrent as lt
path, plen, flag, runs = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
flags = lt.create_torrent.v2_only if flag == "v2_only" else 0
best = None
for _ in range(runs):
    fs = lt.file_storage()
    lt.add_files(fs, path)
    began = time.perf_counter()
    ct = lt.create_torrent(fs, plen, flags=flags)
    lt.set_piece_hashes(ct, os.path.dirname(path))
    ct.generate()
    took = time.perf_counter() - began
    best = took if best is None else min(best, took)
print("%.4f" % best)
PY
)
  ours=$(BENCH_FILE=$file "$engine" --benchmark_filter="Engine/$plan/$((kib * 1024))/real_time\$" \
    --benchmark_repetitions="$runs" --benchmark_format=csv 2>/dev/null |
    awk -F, '$1 ~ /\/real_time"$/ { t = $3 / 1000; if (best == "" || t < best) best = t } END { printf "%.4f", best }')
  # The whole process: the walk, hashing, the info written and the file replaced.
  format=v2
  [[ $plan == Hybrid ]] && format=hybrid
  create=
  for ((i = 0; i < runs; ++i)); do
    began=$(date +%s.%N)
    "$cli" create --format "$format" -l $((kib * 1024)) --no-date -q -f -o "$dir/bench.torrent" "$file" >/dev/null
    took=$(echo "$(date +%s.%N) - $began" | bc -l)
    if [[ -z $create ]] || (($(echo "$took < $create" | bc -l))); then create=$took; fi
  done
  printf '%-7s engine %s s  create %.4f s  libtorrent %s s  engine / libtorrent %.2f  create / libtorrent %.2f\n' \
    "$plan" "$ours" "$create" "$lt" "$(echo "$ours / $lt" | bc -l)" "$(echo "$create / $lt" | bc -l)"
done
