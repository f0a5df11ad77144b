#!/usr/bin/env bash
# Runs the whole test suite (all CTest tests of the build tree) on a private
# Xvfb display with a persistent wineserver; exit status = ctest's.
# Extra arguments go to ctest, e.g. tools/run-tests.sh -R kit_tests -V
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export VELMORA_BUILD_DIR=${VELMORA_BUILD_DIR:-$here/../build}
exec "$here/with-display.sh" ctest --test-dir "$VELMORA_BUILD_DIR" --output-on-failure -j2 "$@"
