#!/usr/bin/env bash
# The example outside the tree, used as a programmer uses Kit: installs the
# package of one build tree into a folder of its own, configures and builds
# examples/hello-kit against that folder alone, and runs the program once
# (it shows its window, drops a file on itself, sees its folder change and
# ends itself with status 0).
#   tools/test-example.sh BUILD_DIR
# CTest runs it in each width's tree (hello_kit_example). On a machine that
# runs no programs of the tree's width the example is built, not run, and
# the exit status is 77 (CTest reports the test as skipped).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
width=$(cat "$build/velmora-width")
case "$width" in
  32) toolchain=$root/cmake/mingw-i686.cmake ;;
  64) toolchain=$root/cmake/mingw-x86_64.cmake ;;
  *) echo "test-example: $build/velmora-width says '$width'" >&2; exit 2 ;;
esac

work=$build/testrun/hello-kit
rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$work/kit"
cmake -S "$root/examples/hello-kit" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$work/kit"
cmake --build "$work/build"

case " $("$here/widths" 2>/dev/null) " in
  *" $width "*) ;;
  *) echo "test-example: built; not run: this machine runs no $width-bit programs"; exit 77 ;;
esac
VELMORA_BUILD_DIR=$build "$here/wine-run" "$work/build/hello-kit.exe" --self-test
echo "test-example: the $width-bit hello-kit.exe ran and ended itself"
