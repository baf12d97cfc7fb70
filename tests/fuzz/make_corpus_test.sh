#!/usr/bin/env bash
# make_corpus.sh on a copy of the committed corpus: it must make its seeds
# again and leave every other seed as it was (the hand-made http_response
# seeds, regression seeds of findings), and a tool that fails half-way must
# leave the corpus untouched.
set -euo pipefail
cli=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp -R "$here/corpus" "$work/corpus"
printf 'finding' >"$work/corpus/torrent/crash-regression"
mkdir -p "$work/corpus/new_fuzzer"
printf 'seed' >"$work/corpus/new_fuzzer/one"
cp -R "$work/corpus" "$work/before"
# The seeds the script makes, as it made them before.
for seed in torrent/quorvane-single.torrent tracker_list/two-entries.lst url/full.txt; do
  printf 'stale' >"$work/corpus/$seed"
done

fail=0
"$here/make_corpus.sh" "$cli" "$work/corpus" || { echo "make_corpus.sh failed"; fail=1; }
while IFS= read -r -d '' file; do
  seed=${file#"$work/before/"}
  [[ -f "$work/corpus/$seed" ]] || { echo "lost: $seed"; fail=1; }
done < <(find "$work/before" -type f -print0)
for seed in http_response torrent/crash-regression new_fuzzer file_tree/v2-files-key-one-tree-file.torrent; do
  diff -r "$work/before/$seed" "$work/corpus/$seed" >/dev/null || { echo "changed: $seed"; fail=1; }
done
for seed in torrent/quorvane-single.torrent tracker_list/two-entries.lst url/full.txt; do
  [[ "$(cat "$work/corpus/$seed")" != stale ]] || { echo "not made again: $seed"; fail=1; }
done

# A peer tool that fails: the script fails and nothing changes.
mkdir -p "$work/bin"
printf '#!/bin/sh\nexit 1\n' >"$work/bin/mktorrent"
chmod +x "$work/bin/mktorrent"
cp -R "$work/corpus" "$work/kept"
if PATH="$work/bin:$PATH" "$here/make_corpus.sh" "$cli" "$work/corpus" 2>/dev/null; then
  echo "a failing mktorrent went unnoticed"
  fail=1
fi
diff -r "$work/kept" "$work/corpus" >/dev/null || { echo "a failed run changed the corpus"; fail=1; }
exit $fail
