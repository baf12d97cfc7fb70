#!/usr/bin/env bash
# Drives the bash completion of quorvane-cli the way bash does (COMP_WORDS and
# COMP_CWORD) and checks what it offers.
# Usage: completion_test.sh COMPLETION_FILE QUORVANE_CLI TRACKERS_LST
set -uo pipefail
completion=$(realpath "$1") cli=$(realpath "$2") trackers=$(realpath "$3")

fixture=$(mktemp -d)
trap 'rm -rf "$fixture"' EXIT
# A folder with torrents, other files, sub-folders and names that need quoting.
mkdir -p "$fixture/work/Shows" "$fixture/work/My Folder" "$fixture/home"
touch "$fixture/work/a.txt" "$fixture/work/b.torrent" "$fixture/work/C.TORRENT" "$fixture/work/-odd"
# The tracker names come from the program's cache.
export XDG_CACHE_HOME=$fixture/cache XDG_CONFIG_HOME=$fixture/config HOME=$fixture/home
mkdir -p "$XDG_CACHE_HOME/quorvane"
cp "$trackers" "$XDG_CACHE_HOME/quorvane/trackers.lst"
cd "$fixture/work" || exit 1

# shellcheck source=/dev/null
source "$completion" || exit 1
[[ $(complete -p quorvane-cli) == *"-F _quorvane_cli quorvane-cli" ]] || {
  echo "FAIL: quorvane-cli has no completion function"
  exit 1
}

failures=0
# check EXPECTED WORD...: the last WORD is the one being completed; EXPECTED
# lists the offers, sorted bytewise and separated by "|".
check() {
  local expected=$1
  shift
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _quorvane_cli 2>/dev/null
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd'|')
  if [[ $got != "$expected" ]]; then
    echo "FAIL: [$*] offered [$got], expected [$expected]"
    failures=$((failures + 1))
  fi
}

# Commands.
check "--help|--version|-V|create|edit|help|show|trackers|verify" "$cli" ""
check "create" "$cli" "cr"
check "help" "$cli" "he"
check "--help|--version" "$cli" "--"
# Options of each command.
check "--piece-length" "$cli" create --pi
check "--json" "$cli" show --j
check "--refresh" "$cli" trackers --re
check "--no-backup|--no-source|--no-web-seeds" "$cli" edit b.torrent --no
check "--no-date|--no-tracker" "$cli" create --no
check "off|on" "$cli" edit b.torrent --private ""
check "" "$cli" edit b.torrent --replace-tracker old ""
check "C.TORRENT|My Folder|Shows|b.torrent" "$cli" verify ""
check "-odd|C.TORRENT|My Folder|Shows|a.txt|b.torrent" "$cli" verify b.torrent ""
check "--exclude|--exclude-ci|--exclude-hidden" "$cli" create --excl
check "--max-piece-length" "$cli" create --max
check "--format" "$cli" create --form
# "help COMMAND" completes the command, and nothing after it.
check "show" "$cli" help sh
check "" "$cli" help show ""
# Option values.
check "128k|16k|16m|1m" "$cli" create -l 1
check "32k|32m" "$cli" create -l 3
check "64k|64m" "$cli" create -l 6
check "128k|16k|16m|1m" "$cli" create --max-piece-length 1
check "32k|32m" "$cli" create --max-piece-length 3
check "" "$cli" create --exclude-ci ""
check "hybrid|v1|v2" "$cli" create --format ""
check "none|now" "$cli" edit b.torrent --date n
check "" "$cli" create -c ""
check "" "$cli" trackers --url ""
# A PATH to create from is any file or folder; --each wants a folder.
check "-odd|C.TORRENT|My Folder|Shows|a.txt|b.torrent" "$cli" create ""
check "My Folder" "$cli" create --each My
check "My Folder|Shows" "$cli" create --each ""
# "--output=" is split by bash at "=".
check "C.TORRENT|My Folder|Shows|b.torrent" "$cli" create --output = ""
check "b.torrent" "$cli" create --output = b
# After "--" even a name starting with "-" is a PATH.
check "-odd" "$cli" create -- -
# show and edit take a .torrent: torrents and folders, other files only when no torrent matches.
check "C.TORRENT|My Folder|Shows|b.torrent" "$cli" show ""
check "a.txt" "$cli" show a
check "C.TORRENT" "$cli" edit C
# Tracker names from the list, quoted where they hold spaces.
check 'OpenTrackr|OpenTrackr\ \(HTTP\)' "$cli" create -a OpenT
check 'Open\ BitTorrent' "$cli" create --backup 'Open\ B'
check 'OpenTrackr|OpenTrackr\ \(HTTP\)' "$cli" edit b.torrent --announce OpenT
check 'OpenTrackr|OpenTrackr\ \(HTTP\)' "$cli" edit b.torrent --backup OpenT
check 'OpenTrackr|OpenTrackr\ \(HTTP\)' "$cli" edit b.torrent --add-tracker OpenT
check "" "$cli" edit b.torrent --remove-tracker OpenT
check "" "$cli" create --date ""

# Each command offers exactly the options its --help names (and --help itself).
for command in create edit show verify trackers; do
  COMP_WORDS=("$cli" "$command" -)
  COMP_CWORD=2
  COMPREPLY=()
  _quorvane_cli 2>/dev/null
  offered=$(printf '%s\n' "${COMPREPLY[@]}" --help | LC_ALL=C sort -u | paste -sd' ')
  documented=$("$cli" "$command" --help | grep -oE -- '(^|[][ ,(])--?[a-z][a-z-]*' |
    sed 's/^[][ ,(]//' | { cat; echo --help; } | LC_ALL=C sort -u | paste -sd' ')
  if [[ $offered != "$documented" ]]; then
    echo "FAIL: $command offers [$offered], its --help names [$documented]"
    failures=$((failures + 1))
  fi
done

if ((failures > 0)); then
  echo "$failures completion check(s) failed"
  exit 1
fi
echo "all completion checks passed"
