#!/usr/bin/env bash
# Starts Velmora under Wine, as `make run` does: the 32-bit build
# (build/velmora.exe) where this machine runs 32-bit programs, else the 64-bit
# one (build/x64/velmora.exe); it says which.
# On the user's X display when there is one, with a Wine prefix of its own
# (run-prefix in the build tree: Japanese fonts set up, the user's ~/.wine
# untouched); else on a virtual display, which is said, since nobody will see
# the tray.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build32=${VELMORA_BUILD_DIR:-$here/../build}
build64=${VELMORA_BUILD_DIR_64:-$build32/x64}

case " $("$here/widths") " in
  *" 32 "*) width=32; export VELMORA_BUILD_DIR=$build32 ;;
  *) width=64; export VELMORA_BUILD_DIR=$build64 ;;
esac
exe=$VELMORA_BUILD_DIR/velmora.exe
[ -f "$exe" ] || { echo "run-velmora: $exe is missing; run make build" >&2; exit 1; }
echo "run-velmora: the $width-bit Velmora ($exe)"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  export VELMORA_WINEPREFIX=$VELMORA_BUILD_DIR/run-prefix
  export VELMORA_WINDOW_MANAGER=1
  echo "run-velmora: starting Velmora on $DISPLAY; its icon is in the notification area (Wine's system tray)."
  exec "$here/wine-run" "$exe"
fi

echo "run-velmora: no X display: starting Velmora on a virtual display (Xvfb), where nothing can be seen."
echo "run-velmora: it runs until it is ended (Ctrl-C)."
exec "$here/with-display.sh" "$here/wine-run" "$exe"
