#!/usr/bin/env bash
# Peak memory of quorvane-cli show / show --json / edit on a torrent of
# 200,000 files (the layout bench_metainfo loads), and of show / edit / verify
# on a torrent of a 200 MB "pieces" string (ten million hashes), of show on
# a torrent of 1,000,000 and 2,000,000 files (the documented limit) and on one
# that is a 250 MiB comment, from /usr/bin/time.
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
  # A refusal (verify without the data) still shows what the load cost.
  /usr/bin/time -f "%M %e" -o "$dir/time.txt" "$@" > /dev/null 2>&1 || true
  read -r kib secs < <(tail -n 1 "$dir/time.txt")
  printf "  %-34s %8.1f MiB %7.2f s\n" "$label" "$(echo "$kib / 1024" | bc -l)" "$secs"
}
echo "== 200,000 files, $(($(stat -c %s "$dir/many.torrent") / 1024)) KiB: peak resident memory"
peak "show" "$cli" show "$dir/many.torrent"
peak "show --json" "$cli" show --json "$dir/many.torrent"
peak "edit --comment (info kept)" "$cli" edit "$dir/many.torrent" -o "$dir/a.torrent" --comment x
peak "edit --private off (flag changed)" "$cli" edit "$dir/many.torrent" -o "$dir/p.torrent" --private off
peak "edit --private on (flag changed)" "$cli" edit "$dir/p.torrent" -o "$dir/q.torrent" --private on
peak "edit --rename (info rebuilt)" "$cli" edit "$dir/many.torrent" -o "$dir/b.torrent" --rename 5=x/y.bin

/usr/bin/python3 - "$dir/pieces.torrent" <<'PY'
import sys
def s(b): return b"%d:%s" % (len(b), b)
count, piece = 10_000_000, 16384
with open(sys.argv[1], "wb") as f:
    f.write(b"d8:announce" + s(b"http://tracker.example/announce") + b"4:infod6:lengthi%de4:name3:big"
            % (count * piece) + b"12:piece lengthi%de6:pieces%d:" % (piece, count * 20))
    f.write(bytes(range(20)) * count)
    f.write(b"ee")
PY
size=$(stat -c %s "$dir/pieces.torrent")
echo "== a 200 MB pieces string, $((size / 1024 / 1024)) MiB: peak resident memory (limit 2.5x: $((size * 5 / 2 / 1024 / 1024)) MiB)"
peak "show" "$cli" show "$dir/pieces.torrent"
peak "edit --comment (info kept)" "$cli" edit "$dir/pieces.torrent" -o "$dir/c.torrent" --comment x
peak "edit --private on (info rebuilt)" "$cli" edit "$dir/pieces.torrent" -o "$dir/d.torrent" --private on
peak "verify (no data)" "$cli" verify "$dir/pieces.torrent" "$dir/none"
peak "verify --json (no data)" "$cli" verify --json "$dir/pieces.torrent" "$dir/none"
peak "show --json" "$cli" show --json "$dir/pieces.torrent"

/usr/bin/python3 - "$dir" <<'PY'
import sys
def s(b): return b"%d:%s" % (len(b), b)
for count in (1_000_000, 2_000_000):
    parts, total = [], 0
    for i in range(count):
        length = 1000 + i % 4096
        total += length
        parts.append(b"d6:lengthi%de4:pathl" % length + s(b"dir%d" % (i // 1000)) +
                     s(b"sub%d" % (i // 100 % 10)) + s(b"file%d.bin" % i) + b"ee")
    piece = 1 << 22
    hashes = b"h" * ((total + piece - 1) // piece * 20)
    open("%s/files%d.torrent" % (sys.argv[1], count), "wb").write(
        b"d8:announce" + s(b"http://t/a") + b"4:infod5:filesl" + b"".join(parts) +
        b"e4:name4:many12:piece lengthi%de6:pieces" % piece + s(hashes) + b"ee")
comment = 250 << 20
with open(sys.argv[1] + "/comment.torrent", "wb") as f:
    f.write(b"d8:announce" + s(b"http://t/a") + b"7:comment%d:" % comment)
    f.write(b"x" * comment)
    f.write(b"4:infod6:lengthi5e4:name1:x12:piece lengthi16384e6:pieces20:" + b"h" * 20 + b"ee")
PY
for count in 1000000 2000000; do
  echo "== $count files, $(($(stat -c %s "$dir/files$count.torrent") / 1024 / 1024)) MiB"
  peak "show" "$cli" show "$dir/files$count.torrent"
done
echo "== a 250 MiB comment, $(($(stat -c %s "$dir/comment.torrent") / 1024 / 1024)) MiB"
peak "show" "$cli" show "$dir/comment.torrent"
