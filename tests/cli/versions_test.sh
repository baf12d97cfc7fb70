#!/usr/bin/env bash
# Every place that names the release names the same one: CMake's project
# version, quorvane-cli --version, the man pages, the AppStream data, the
# Debian changelog and the "Quorvane vX.Y" the window and the user agent show.
# Usage: versions_test.sh VERSION QUORVANE_CLI SOURCE_DIR BUILD_DIR
set -uo pipefail
version=$1 cli=$2 source=$3 build=$4
short=${version%.*}
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

[[ $(LC_ALL=C "$cli" --version) == "quorvane-cli $version" ]] || fail "--version says: $("$cli" --version)"

changelog=$(head -n 1 "$source/docs/changelog")
[[ $changelog == "quorvane ($version) "* ]] || fail "the changelog's last entry is: $changelog"
# The date of the changelog's last entry, as YYYY-MM-DD.
stamp=$(grep -m 1 '^ -- ' "$source/docs/changelog" | sed 's/.*>  //')
date=$(LC_ALL=C date -u -d "$stamp" +%F) || fail "the changelog's date cannot be read: $stamp"

for page in "$build"/docs/man/*.1; do
  header=$(grep -m 1 '^\.TH ' "$page")
  [[ $header == *"\"Quorvane $version\""* ]] || fail "$(basename "$page"): $header"
  [[ $header == *" ${date//-/\\-} "* ]] || fail "$(basename "$page") is not dated $date: $header"
done

appstream=$build/src/app/net.quorvane.Quorvane.metainfo.xml
if [[ -f $appstream ]]; then
  grep -q "<release version=\"$version\" date=\"$date\"/>" "$appstream" ||
    fail "the AppStream data's release is not $version of $date: $(grep '<release ' "$appstream")"
fi

names=$(grep -rhoE 'Quorvane v[0-9]+(\.[0-9]+)+' "$source/src" | sort -u)
[[ $names == "Quorvane v$short" ]] || fail "the program names these releases: $names"

((failures == 0)) || exit 1
echo "all name $version"
