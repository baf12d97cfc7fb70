#!/usr/bin/env bash
# Peak memory of a v2 and a hybrid create of sparse files of 1 GiB and 16 GiB
# (automatic piece length), from /usr/bin/time. A run should keep its piece
# layers (32 bytes a piece) and little else: the 16 GiB peak stays within a
# few MiB of the 1 GiB one.
#
# Usage: bench/memory_v2_create.sh [QUORVANE_CLI]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cli=${1:-${QUORVANE_CLI:-$here/../build/src/cli/quorvane-cli}}
[[ -x $cli ]] || { echo "quorvane-cli not found at $cli (give its path)" >&2; exit 2; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

for format in v2 hybrid; do
  for size in 1G 16G; do
    truncate -s "$size" "$dir/sparse-$size"
    /usr/bin/time -f "%M %e" -o "$dir/time.txt" \
      "$cli" create --format "$format" -o "$dir/out.torrent" -f "$dir/sparse-$size" > /dev/null 2>&1
    read -r kib secs < <(tail -n 1 "$dir/time.txt")
    printf "  %-7s %4s  %8.1f MiB %7.2f s\n" "$format" "$size" "$(echo "$kib / 1024" | bc -l)" "$secs"
    rm -f "$dir/sparse-$size"
  done
done
