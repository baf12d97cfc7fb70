#!/usr/bin/env bash
# Checks what an install puts on the system: the desktop file, the AppStream
# data and the man pages validate, and the Debian package made with cpack
# installs with apt and runs. The package is removed again at the end.
# Builds in its own folder (default: build-package).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build packaging
SUDO=""
[[ $(id -u) -eq 0 ]] || SUDO="sudo"
dir=${BUILD_DIR:-build-package}

fail() {
  echo "check_packaging: $*" >&2
  exit 1
}

echo "== desktop file"
desktop-file-validate src/app/data/quorvane.desktop

echo "== build ($dir: Release, no tests, no benchmarks, prefix /usr)"
BUILD_DIR=$dir BUILD_TYPE=Release scripts/build.sh \
  -DQUORVANE_GUI=ON -DQUORVANE_TESTS=OFF -DQUORVANE_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr

echo "== AppStream metainfo"
appstreamcli validate --no-net "$dir/src/app/net.quorvane.Quorvane.metainfo.xml"

echo "== man pages"
for page in quorvane quorvane-cli; do
  warnings=$(MANWIDTH=80 man --warnings -l "$dir/docs/man/$page.1" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "$page.1 renders with warnings:"$'\n'"$warnings"
done

echo "== Debian package"
rm -f "$dir"/quorvane_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
debs=("$dir"/quorvane_*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "cpack made no single quorvane_*.deb"
deb=$(realpath "${debs[0]}")
contents=$(dpkg -c "$deb" | awk '{print $6}')
for path in ./usr/bin/quorvane ./usr/bin/quorvane-cli \
  ./usr/share/applications/quorvane.desktop \
  ./usr/share/metainfo/net.quorvane.Quorvane.metainfo.xml \
  ./usr/share/man/man1/quorvane.1.gz ./usr/share/man/man1/quorvane-cli.1.gz \
  ./usr/share/bash-completion/completions/quorvane-cli \
  ./usr/share/quorvane/trackers.lst ./usr/share/doc/quorvane/copyright \
  ./usr/share/doc/quorvane/changelog.gz; do
  grep -qxF "$path" <<<"$contents" || fail "$path is missing from $deb"
done
if grep -E '(^|/)(test_|bench_)[^/]*$' <<<"$contents"; then
  fail "tests or benchmarks are in $deb"
fi
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "Depends does not name the Qt libraries"
dpkg-deb -f "$deb" Recommends | grep -qw bash-completion || fail "Recommends does not name bash-completion"
zcat "$dir/docs/changelog.gz" | dpkg-parsechangelog -l- -S Version >/dev/null || fail "the changelog does not parse"

echo "== hardening"
for program in "$dir/src/app/quorvane" "$dir/src/cli/quorvane-cli"; do
  readelf -d "$program" | grep -qE 'BIND_NOW|FLAGS.*\bNOW\b' || fail "$program is not linked with -z now"
  readelf -lW "$program" | grep -q GNU_RELRO || fail "$program has no RELRO segment"
  # Read whole first: grep -q stops early, and readelf's broken pipe would fail the pipeline.
  symbols=$(readelf --dyn-syms -W "$program")
  grep -qE ' __[a-z0-9_]+_chk(@|$)' <<<"$symbols" || fail "$program calls no checked (fortified) functions"
  grep -q ' __stack_chk_fail' <<<"$symbols" || fail "$program has no stack protector"
done

echo "== install $deb"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get install -y "$deb"
trap '$SUDO apt-get remove -y quorvane' EXIT
expected=$("$dir/src/cli/quorvane-cli" --version)
installed=$(/usr/bin/quorvane-cli --version)
[[ $installed == "$expected" ]] || fail "installed quorvane-cli --version says \"$installed\", not \"$expected\""
echo "installed: $installed"
