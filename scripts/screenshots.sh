#!/usr/bin/env bash
# Takes a picture of each page of the main window under Xvfb and saves them
# in docs/. Needs xvfb, xauth and a font (scripts/deps.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
BUILD=${BUILD:-build}
cmake -S . -B "$BUILD" -DQUORVANE_GUI=ON >/dev/null
cmake --build "$BUILD" -j2 --target quorvane-screenshots
export XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
unset QT_QPA_PLATFORM
xvfb-run -a -s "-screen 0 1024x768x24" "$BUILD/src/app/quorvane-screenshots" docs
