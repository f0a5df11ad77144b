#!/usr/bin/env bash
# Runs the whole test suite (all CTest tests of a build tree) on a private
# Xvfb display with a persistent wineserver, once for each width this machine
# runs (tools/widths): the 32-bit tree $VELMORA_BUILD_DIR (default <repo>/build)
# and the 64-bit tree $VELMORA_BUILD_DIR_64 (default <that>/x64). Exit status
# 0 only when every run passed.
# Extra arguments go to ctest, e.g. tools/run-tests.sh -R kit_tests -V
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build32=${VELMORA_BUILD_DIR:-$here/../build}
build64=${VELMORA_BUILD_DIR_64:-$build32/x64}

widths=$("$here/widths") || exit 1
rc=0
for width in $widths; do
  if [ "$width" = 32 ]; then dir=$build32; else dir=$build64; fi
  echo "run-tests: the $width-bit suite ($dir)"
  VELMORA_BUILD_DIR=$dir "$here/with-display.sh" \
    ctest --test-dir "$dir" --output-on-failure -j2 "$@" || rc=1
done
exit $rc
