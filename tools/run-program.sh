#!/usr/bin/env bash
# Starts one of the build's programs under Wine, as `make run` (velmora.exe)
# and `make gallery` (kitgallery.exe) do:
#   tools/run-program.sh PROGRAM.exe
# The 32-bit build where this machine runs 32-bit programs, else the 64-bit
# one (build/x64/); it says which.
# On the user's X display when there is one, with a Wine prefix of its own
# (run-prefix in the build tree: Japanese fonts set up, the user's ~/.wine
# untouched); else on a virtual display, which is said, since nobody will see
# it there.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build32=${VELMORA_BUILD_DIR:-$here/../build}
build64=${VELMORA_BUILD_DIR_64:-$build32/x64}
program=${1:?usage: $0 PROGRAM.exe}

case " $("$here/widths") " in
  *" 32 "*) width=32; export VELMORA_BUILD_DIR=$build32 ;;
  *) width=64; export VELMORA_BUILD_DIR=$build64 ;;
esac
exe=$VELMORA_BUILD_DIR/$program
[ -f "$exe" ] || { echo "run-program: $exe is missing; run make build" >&2; exit 1; }
echo "run-program: the $width-bit $program ($exe)"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  export VELMORA_WINEPREFIX=$VELMORA_BUILD_DIR/run-prefix
  export VELMORA_WINDOW_MANAGER=1
  echo "run-program: starting it on $DISPLAY."
  exec "$here/wine-run" "$exe"
fi

echo "run-program: no X display: starting it on a virtual display (Xvfb), where nothing can be seen."
echo "run-program: it runs until it is ended (Ctrl-C)."
exec "$here/with-display.sh" "$here/wine-run" "$exe"
