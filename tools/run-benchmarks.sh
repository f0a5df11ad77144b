#!/usr/bin/env bash
# Runs every benchmark program of the build tree once, under Wine; meant to
# run inside tools/with-display.sh (as `make bench` does). Stops at the
# first benchmark that fails.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${VELMORA_BUILD_DIR:-$here/../build}
list=$build/bench/benchmarks.txt
if [ ! -s "$list" ]; then
  echo "run-benchmarks: no benchmarks (bench/*.cpp) in this build"
  exit 0
fi
while IFS= read -r exe; do
  [ -n "$exe" ] || continue
  echo "== $(basename "$exe")"
  (cd "$(dirname "$exe")" && "$here/wine-run" "$exe" </dev/null)
done <"$list"
