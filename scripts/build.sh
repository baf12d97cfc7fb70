#!/usr/bin/env bash
# Configures and builds into a folder (default: build). Extra arguments go to cmake.
# BUILD_TARGETS (space-separated) builds only those targets instead of everything.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${BUILD_DIR:-build}
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" "$@" >/dev/null
targets=()
for t in ${BUILD_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
