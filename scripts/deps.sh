#!/usr/bin/env bash
# Installs the Debian packages a task needs, by group:
#   build      building and running the two programs
#   tests      the tests and the benchmarks (with build: what ./test needs)
#   packaging  checking the desktop file, AppStream data and man pages, making the .deb
#   all        every group
# Usage: scripts/deps.sh [GROUP...]   (default: build tests)
# Idempotent: apt runs only when something is missing, and refreshes its
# package index only when a package cannot be found.
set -euo pipefail

BUILD_PKGS=(build-essential cmake pkg-config qt6-base-dev libxkbcommon-dev libgl-dev)
TEST_PKGS=(
  clang-format clang-tidy
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  python3 python3-libtorrent mktorrent transmission-cli
  fonts-dejavu-core xvfb xauth
  clang libclang-rt-14-dev llvm
)
PACKAGING_PKGS=(desktop-file-utils appstream man-db groff-base dpkg-dev)

groups=("$@")
[[ ${#groups[@]} -gt 0 ]] || groups=(build tests)
PKGS=()
for group in "${groups[@]}"; do
  case $group in
    build) PKGS+=("${BUILD_PKGS[@]}") ;;
    tests) PKGS+=("${TEST_PKGS[@]}") ;;
    packaging) PKGS+=("${PACKAGING_PKGS[@]}") ;;
    all) PKGS+=("${BUILD_PKGS[@]}" "${TEST_PKGS[@]}" "${PACKAGING_PKGS[@]}") ;;
    *)
      echo "scripts/deps.sh: unknown group \"$group\" (build, tests, packaging, all)" >&2
      exit 2
      ;;
  esac
done

missing=()
for p in "${PKGS[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)
  [[ "$status" == ii* ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0
# A package named by two groups is installed once.
mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)

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
