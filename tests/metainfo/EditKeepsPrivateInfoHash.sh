#!/usr/bin/env bash
# A private torrent made by mktorrent, given a new announce URL by
# `quorvane-cli edit`, must keep its info hash as libtorrent reads it, and the
# keys the edit does not know (web seeds, source).
set -euo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/data/sub"
head -c 70000 /dev/urandom >"$work/data/one.bin"
head -c 1234 /dev/urandom >"$work/data/sub/two.bin"
mktorrent -p -l 15 -s quorvane-test -w http://seed.example/files/ -a http://old.example/announce \
  -c "made by mktorrent" -o "$work/in.torrent" "$work/data" >/dev/null

info() {
  /usr/bin/python3 - "$1" <<'PY'
import sys, libtorrent as lt
ti = lt.torrent_info(sys.argv[1])
print(str(ti.info_hash()), ti.priv(), len(ti.web_seeds()), ([t.url for t in ti.trackers()] + [""])[0])
PY
}

read -r hash_before priv_before seeds_before url_before < <(info "$work/in.torrent")
printed=$("$cli" edit "$work/in.torrent" -o "$work/out.torrent" --announce http://new.example/announce)
read -r hash_after priv_after seeds_after url_after < <(info "$work/out.torrent")

fail=0
[[ "$priv_before" == True && "$priv_after" == True ]] || { echo "private flag lost: $priv_before -> $priv_after"; fail=1; }
[[ "$seeds_before" == 1 && "$seeds_after" == 1 ]] || { echo "web seed lost: $seeds_before -> $seeds_after"; fail=1; }
[[ "$hash_after" == "$hash_before" ]] || { echo "info hash changed: $hash_before -> $hash_after"; fail=1; }
[[ "$printed" == "$hash_after" ]] || { echo "printed $printed, libtorrent reads $hash_after"; fail=1; }
[[ "$url_before" == http://old.example/announce && "$url_after" == http://new.example/announce ]] ||
  { echo "announce: $url_before -> $url_after"; fail=1; }
[[ $fail == 0 ]] && echo "info hash $hash_after kept, private flag kept, announce changed"
exit $fail
