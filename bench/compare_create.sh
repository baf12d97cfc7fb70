#!/usr/bin/env bash
# Makes torrents of the same data with quorvane-cli (default threads and -t 1),
# mktorrent (-t 2 and -t 1) and transmission-create, data in the page cache.
# The tools take turns run after run (so a burst of other work hits them all
# alike); each tool's best wall time counts. Prints wall time, CPU time and
# ours / peer for every peer: below 1.0 we are faster. When bench_gui_create is
# built next to the CLI, the desktop program takes its turns too, a Create
# through its window driven offscreen, and gets a "window / tool" column; it
# must give the CLI's info hash.
#
# Usage: bench/compare_create.sh [QUORVANE_CLI]
#   GUI_BENCH   the window's benchmark (default build/bench/bench_gui_create);
#               its settings are kept in BENCH_DIR/gui-home, as a returning user's
#   BENCH_DIR   where the data goes (default /tmp/quorvane-bench; kept for the next run)
#   RUNS        turns per tool (default 5)
#   SETS        data sets to run (default "1g small tiny"; also "4g", and
#               "tiny30k": 30,000 tiny files)
#   PIECES      piece lengths for the big files (default "256k 1m 4m")
#   QUORVANE_SHA1  forces our SHA-1 path (portable, shani, avx2, avx512)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cli=${1:-${QUORVANE_CLI:-$here/../build/src/cli/quorvane-cli}}
dir=${BENCH_DIR:-/tmp/quorvane-bench}
runs=${RUNS:-5}
sets=${SETS:-1g small tiny}
pieces=${PIECES:-256k 1m 4m}
gui=${GUI_BENCH:-$(dirname "$cli")/../../bench/bench_gui_create}
[[ -x $gui ]] || gui=

[[ -x $cli ]] || { echo "quorvane-cli not found at $cli (give its path)" >&2; exit 2; }
for tool in mktorrent transmission-create; do
  # The peers come from mktorrent and transmission-cli, installed with the test tools.
  command -v "$tool" >/dev/null || "$here/../scripts/deps.sh" tests
  command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 2; }
done
mkdir -p "$dir/out"
export BENCH_GUI_HOME=$dir/gui-home

make_big() {  # make_big FILE GIB
  local file=$1 gib=$2
  if [[ ! -f $file || $(stat -c %s "$file") -ne $((gib << 30)) ]]; then
    echo "making $file ($gib GiB)..." >&2
    head -c $((gib << 30)) /dev/urandom > "$file.tmp" && mv "$file.tmp" "$file"
  fi
}

make_files() {  # make_files FOLDER COUNT MAX_BYTES
  local top=$1 count=$2 max=$3
  [[ -f $top.complete ]] && return
  echo "making $top ($count files of 1 to $max bytes)..." >&2
  rm -rf "$top"
  /usr/bin/python3 - "$top" "$count" "$max" <<'EOF'
import os, random, sys
top, count, biggest = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(42)
for i in range(count):
    sub = os.path.join(top, "d%03d" % (i % 100))
    os.makedirs(sub, exist_ok=True)
    with open(os.path.join(sub, "f%06d.dat" % i), "wb") as f:
        f.write(rng.randbytes(rng.randrange(1, biggest + 1)))
open(top + ".complete", "w").close()
EOF
}

# data_set NAME PATH LOG2_PIECE [nomk]
data_set() {
  local name=$1 path=$2 log2=$3 nomk=${4:-}
  local bytes kib opt
  bytes=$(du -sb --apparent-size "$path" | cut -f1)
  kib=$(((1 << log2) / 1024))
  case $kib in 128 | 256 | 512) opt=${kib}k ;; *) opt=$((kib / 1024))m ;; esac
  # Into the page cache first, so every tool reads from memory.
  find "$path" -type f -print0 | xargs -0 cat > /dev/null

  local -a names=("quorvane-cli" "quorvane-cli -t 1" "mktorrent -t 2" "mktorrent -t 1" "transmission-create")
  local -a cmds=(
    "$cli create -q -f --keep-thumbs -l $opt -o $dir/out/q.torrent $path"
    "$cli create -q -f --keep-thumbs -t 1 -l $opt -o $dir/out/q.torrent $path"
    "mktorrent -t 2 -l $log2 -o $dir/out/m.torrent $path"
    "mktorrent -t 1 -l $log2 -o $dir/out/m.torrent $path"
    "transmission-create -s $kib -o $dir/out/t.torrent $path")
  if [[ $nomk ]]; then  # mktorrent takes about a minute a run on 100,000 files
    names=("${names[0]}" "${names[1]}" "${names[4]}")
    cmds=("${cmds[0]}" "${cmds[1]}" "${cmds[4]}")
  fi
  local win=-1
  if [[ $gui ]]; then
    # The same torrent from the window as from the CLI, before any timing.
    local cliHash guiHash
    cliHash=$($cli create -f --keep-thumbs -l $opt -o "$dir/out/q.torrent" "$path" | cut -d' ' -f1)
    guiHash=$("$gui" --check "$path" "$dir/out/w.torrent" $opt 2> /dev/null) || { echo "failed: $gui $path" >&2; return 1; }
    [[ $cliHash == "$guiHash" ]] || { echo "info hash: window $guiHash, CLI $cliHash" >&2; return 1; }
    win=${#cmds[@]}
    names+=("quorvane (window)")
    cmds+=("$gui $path $dir/out/w.torrent $opt")
  fi
  local -a best=() cpu=()
  local r i t u s c click=
  for ((r = 0; r < runs; r++)); do
    for i in "${!cmds[@]}"; do
      rm -f "$dir"/out/*
      # Wall time from the shell's microsecond clock (time's own has 10 ms steps).
      local began=$EPOCHREALTIME
      # shellcheck disable=SC2086
      /usr/bin/time -f "%U %S" -o "$dir/time.txt" ${cmds[$i]} > /dev/null 2> "$dir/err.txt" || { echo "failed: ${cmds[$i]}" >&2; return 1; }
      t=$(echo "$EPOCHREALTIME - $began" | bc -l)
      read -r u s < "$dir/time.txt"
      if ((i == win)); then  # the window's own clock: from the click to the written torrent
        c=$(sed -n 's/^create through the window: \([0-9.]*\) s$/\1/p' "$dir/err.txt")
        if [[ $c ]] && { [[ -z $click ]] || (($(echo "$c < $click" | bc -l))); }; then click=$c; fi
      fi
      if [[ -z ${best[$i]:-} ]] || (($(echo "$t < ${best[$i]}" | bc -l))); then
        best[i]=$t
        cpu[i]=$(echo "$u + $s" | bc -l)
      fi
    done
  done

  echo "== $name: $(echo "scale=1; $bytes / 1048576" | bc) MiB, piece length $kib KiB, best of $runs"
  printf "  %-22s %8s %8s %8s %12s" tool "wall s" "cpu s" "MB/s" "ours / tool"
  ((win < 0)) || printf " %14s" "window / tool"
  printf "\n"
  for i in "${!names[@]}"; do
    printf "  %-22s %8.3f %8.2f %8.1f %12.2f" "${names[$i]}" "${best[$i]}" "${cpu[$i]}" \
      "$(echo "$bytes / ${best[$i]} / 1000000" | bc -l)" "$(echo "${best[0]} / ${best[$i]}" | bc -l)"
    ((win < 0)) || printf " %14.2f" "$(echo "${best[$win]} / ${best[$i]}" | bc -l)"
    printf "\n"
  done
  if [[ $gui ]]; then
    echo "  (window and CLI: info hash $guiHash)"
    # The rows time whole processes, so the window's include Qt's start-up; a
    # user with the window open waits from the click only.
    local fastest=
    for i in "${!names[@]}"; do
      [[ ${names[$i]} == quorvane* ]] && continue
      if [[ -z $fastest ]] || (($(echo "${best[$i]} < $fastest" | bc -l))); then fastest=${best[$i]}; fi
    done
    [[ $click ]] && printf "  (window from the click: %.3f s, %.2f of the fastest peer)\n" "$click" \
      "$(echo "$click / $fastest" | bc -l)"
  fi
  return 0
}

echo "cpu: $(grep -o -w -e sha_ni -e avx512f -e avx2 /proc/cpuinfo | sort -u | tr '\n' ' ')cores: $(nproc); load: $(cut -d' ' -f1-3 /proc/loadavg)"
for set in $sets; do
  case $set in
    1g | 4g)
      gib=${set%g}
      make_big "$dir/big$gib.bin" "$gib"
      for p in $pieces; do
        case $p in 256k) log2=18 ;; 1m) log2=20 ;; 4m) log2=22 ;; *) echo "piece length $p?" >&2; exit 2 ;; esac
        data_set "one $gib GiB file" "$dir/big$gib.bin" $log2
      done
      ;;
    small)
      make_files "$dir/small" 10000 20000
      data_set "10,000 small files (1 B to 20 KB)" "$dir/small" 18
      ;;
    tiny)
      make_files "$dir/tiny" 100000 64
      data_set "100,000 tiny files (1 to 64 B)" "$dir/tiny" 18 nomk
      ;;
    tiny30k)
      make_files "$dir/tiny30k" 30000 64
      data_set "30,000 tiny files (1 to 64 B)" "$dir/tiny30k" 18 nomk
      ;;
    *) echo "unknown data set $set" >&2; exit 2 ;;
  esac
done
