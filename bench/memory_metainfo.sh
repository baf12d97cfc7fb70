#!/usr/bin/env bash
# Peak memory of quorvane-cli show / show --json / edit on a torrent of
# 200,000 files (the layout bench_metainfo loads), from /usr/bin/time -v.
#
# Usage: bench/memory_metainfo.sh [QUORVANE_CLI]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cli=${1:-${QUORVANE_CLI:-$here/../build/src/cli/quorvane-cli}}
[[ -x $cli ]] || { echo "quorvane-cli not found at $cli (give its path)" >&2; exit 2; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

/usr/bin/python3 - "$dir/many.torrent" <<'PY'
import sys
def s(b): return b"%d:%s" % (len(b), b)
parts, total = [b"l"], 0
for i in range(200000):
    length = 1000 + i % 4096
    total += length
    parts.append(b"d6:lengthi%de4:pathl" % length + s(b"dir%d" % (i // 1000)) +
                 s(b"sub%d" % (i // 100 % 10)) + s(b"file%d.bin" % i) + b"ee")
parts.append(b"e")
piece = 1 << 20
hashes = b"h" * ((total + piece - 1) // piece * 20)
open(sys.argv[1], "wb").write(
    b"d8:announce" + s(b"http://tracker.example/announce") + b"13:creation datei1700000000e4:infod5:files" +
    b"".join(parts) + b"4:name4:many12:piece lengthi%de6:pieces" % piece + s(hashes) + b"7:privatei1eee")
PY

peak() {  # peak LABEL COMMAND...
  local label=$1
  shift
  /usr/bin/time -f "%M %e" -o "$dir/time.txt" "$@" > /dev/null 2>&1
  read -r kib secs < "$dir/time.txt"
  printf "  %-34s %8.1f MiB %7.2f s\n" "$label" "$(echo "$kib / 1024" | bc -l)" "$secs"
}
echo "== 200,000 files, $(($(stat -c %s "$dir/many.torrent") / 1024)) KiB: peak resident memory"
peak "show" "$cli" show "$dir/many.torrent"
peak "show --json" "$cli" show --json "$dir/many.torrent"
peak "edit --comment (info kept)" "$cli" edit "$dir/many.torrent" -o "$dir/a.torrent" --comment x
peak "edit --rename (info rebuilt)" "$cli" edit "$dir/many.torrent" -o "$dir/b.torrent" --rename 5=x/y.bin
