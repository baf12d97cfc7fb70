#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the lint and the benchmarks need.
# Idempotent: apt runs only when something is missing.
set -euo pipefail

PKGS=(
  build-essential cmake pkg-config clang-format clang-tidy
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  python3 python3-libtorrent mktorrent transmission-cli
  qt6-base-dev libxkbcommon-dev libgl-dev
  fonts-dejavu-core xvfb xauth
)

missing=()
for p in "${PKGS[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)
  [[ "$status" == ii* ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing missing packages: ${missing[*]}" >&2
SUDO=""
[[ $(id -u) -eq 0 ]] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
# An empty or stale package index cannot find some packages: refresh it first.
for p in "${missing[@]}"; do
  if ! apt-cache show "$p" >/dev/null 2>&1; then
    $SUDO apt-get update -qq
    break
  fi
done
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
