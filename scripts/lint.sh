#!/usr/bin/env bash
# Checks the formatting of every tracked C++ file and runs clang-tidy (.clang-tidy)
# over the program's sources in a build folder (default: build) whose
# compile_commands.json lists them: core and CLI always, the GUI when that build has it.
# Exits non-zero on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${BUILD_DIR:-build}
jobs=${LINT_JOBS:-$(nproc)}

git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

[[ -f "$dir/compile_commands.json" ]] || cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
# The GUI's moc output must exist before its sources can be parsed.
if grep -q '/src/app/' "$dir/compile_commands.json"; then
  cmake --build "$dir" -j"$jobs" --target quorvane_gui_autogen >/dev/null
fi

sources=()
while IFS= read -r file; do
  grep -qF "\"file\": \"$PWD/$file\"" "$dir/compile_commands.json" && sources+=("$file")
done < <(git ls-files -- 'src/*.cpp')
if [[ ${#sources[@]} -eq 0 ]]; then
  echo "lint: no sources of src/ in $dir/compile_commands.json" >&2
  exit 1
fi

# clang-tidy reports each run's count of warnings on stderr even with --quiet; the
# findings themselves go to stdout and turn into errors (WarningsAsErrors).
printf '%s\0' "${sources[@]}" |
  xargs -0 -P"$jobs" -n4 clang-tidy -p "$dir" --quiet 2> >(grep -v -E '^[0-9]+ (warning|error)s? generated\.$' >&2)
echo "lint: ${#sources[@]} sources clean"
