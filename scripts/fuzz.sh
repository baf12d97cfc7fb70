#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, ASan + UBSan) into build-fuzz and runs
# every one of them for SECONDS (default 30) on a scratch copy of its seeds in
# tests/fuzz/corpus/NAME; what the fuzzer finds is never written into the
# repository. Fails on the first crash, leak, timeout or broken property and
# keeps the input that caused it in build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
dir=${FUZZ_BUILD_DIR:-build-fuzz}
scripts/deps.sh

cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DQUORVANE_FUZZ=ON -DQUORVANE_TESTS=OFF -DQUORVANE_BENCH=OFF -DQUORVANE_GUI=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)" --target quorvane_fuzzers

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$dir/findings"

shopt -s nullglob
targets=("$dir"/tests/fuzz/fuzz_*)
[[ ${#targets[@]} -gt 0 ]] || { echo "fuzz.sh: no fuzz targets in $dir/tests/fuzz" >&2; exit 1; }
failed=()
for target in "${targets[@]}"; do
  [[ -x "$target" && -f "$target" ]] || continue
  name=${target##*/fuzz_}
  corpus="$scratch/$name"
  mkdir -p "$corpus"
  [[ -d tests/fuzz/corpus/$name ]] && cp -R tests/fuzz/corpus/"$name"/. "$corpus"/
  options=()
  [[ -f tests/fuzz/$name.dict ]] && options+=(-dict="tests/fuzz/$name.dict")
  echo "== fuzz_$name: ${seconds}s on $(ls "$corpus" | wc -l) seeds"
  if ! "$target" "${options[@]}" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$dir/findings/${name}-" "$corpus" >"$scratch/$name.log" 2>&1; then
    tail -n 60 "$scratch/$name.log" >&2
    failed+=("fuzz_$name")
  else
    grep -E "^stat::number_of_executed_units|^Done" "$scratch/$name.log" || true
  fi
done
if [[ ${#failed[@]} -gt 0 ]]; then
  echo "fuzz.sh: failed: ${failed[*]} (inputs in $dir/findings/)" >&2
  exit 1
fi
