#!/usr/bin/env bash
# Runs every benchmark program once under Wine, for each width this machine
# runs (tools/widths), on a private display (as `make bench` does); each
# figure is headed by the width it is from. Stops at the first benchmark that
# fails. The trees are $VELMORA_BUILD_DIR (32-bit) and $VELMORA_BUILD_DIR_64.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build32=${VELMORA_BUILD_DIR:-$here/../build}
build64=${VELMORA_BUILD_DIR_64:-$build32/x64}

if [ "${1:-}" = --in-display ]; then
  list=$VELMORA_BUILD_DIR/bench/benchmarks.txt
  width=$(cat "$VELMORA_BUILD_DIR/velmora-width")
  if [ ! -s "$list" ]; then
    echo "run-benchmarks: no benchmarks (bench/*.cpp) in this build"
    exit 0
  fi
  while IFS= read -r exe; do
    [ -n "$exe" ] || continue
    echo "== $(basename "$exe") ($width-bit)"
    (cd "$(dirname "$exe")" && "$here/wine-run" "$exe" </dev/null)
  done <"$list"
  exit 0
fi

for width in $("$here/widths"); do
  if [ "$width" = 32 ]; then dir=$build32; else dir=$build64; fi
  VELMORA_BUILD_DIR=$dir "$here/with-display.sh" "$here/run-benchmarks.sh" --in-display
done
