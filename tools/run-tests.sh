#!/usr/bin/env bash
# Runs the whole test suite (all CTest tests of a build tree) on a private
# Xvfb display with a persistent wineserver, once for each width this machine
# runs (tools/widths): the 32-bit tree $VELMORA_BUILD_DIR (default <repo>/build)
# and the 64-bit tree $VELMORA_BUILD_DIR_64 (default <that>/x64). In a tree
# of a width the machine does not run, only the example outside the tree is
# built. Exit status 0 only when every run passed.
# Extra arguments go to ctest, e.g. tools/run-tests.sh -R kit_tests -V
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build32=${VELMORA_BUILD_DIR:-$here/../build}
build64=${VELMORA_BUILD_DIR_64:-$build32/x64}

widths=$("$here/widths") || exit 1
rc=0
for width in 32 64; do
  if [ "$width" = 32 ]; then dir=$build32; else dir=$build64; fi
  case " $widths " in
    *" $width "*)
      echo "run-tests: the $width-bit suite ($dir)"
      VELMORA_BUILD_DIR=$dir "$here/with-display.sh" \
        ctest --test-dir "$dir" --output-on-failure -j2 "$@" || rc=1
      ;;
    *)
      # The tree is built all the same: its Kit package is installed and the
      # example built against it (not run), as part of the whole suite.
      if [ $# -eq 0 ] && [ -f "$dir/CTestTestfile.cmake" ]; then
        echo "run-tests: the $width-bit suite is not run here; the example is built against its Kit package, not run"
        ctest --test-dir "$dir" --output-on-failure -R '^hello_kit_example$' || rc=1
      fi
      ;;
  esac
done
exit $rc
