#!/usr/bin/env bash
# Runs a command with a private X display and a running Wine server:
#   tools/with-display.sh COMMAND [ARGS...]
# Starts Xvfb (1280x1024x24, or $VELMORA_SCREEN such as 2560x1600x24) on the
# first free display from :90 up and exports
# DISPLAY, so test windows never reach the developer's screen; makes sure the
# build tree's Wine prefix exists (tools/wine-run --init) and keeps a
# persistent wineserver on it, so programs don't each pay for Wine's start-up.
# On exit, failure or Ctrl-C it stops only what it started. Exit status = the
# command's. The build tree is $VELMORA_BUILD_DIR, default <repo>/build.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export VELMORA_BUILD_DIR=${VELMORA_BUILD_DIR:-$here/../build}
mkdir -p "$VELMORA_BUILD_DIR"
VELMORA_BUILD_DIR=$(cd "$VELMORA_BUILD_DIR" && pwd)
wine_run=$here/wine-run

xvfb_pid=
xvfb_log=$VELMORA_BUILD_DIR/xvfb.log
fifo=
prefix=
own_server=
child=

cleanup() {
  # A Windows program under Wine does not end on SIGTERM: on our own server
  # every program of the prefix is ended with it; elsewhere the command is
  # killed.
  if [ -n "$child" ]; then
    kill -TERM "$child" 2>/dev/null
    [ -n "$own_server" ] || kill -KILL "$child" 2>/dev/null
  fi
  if [ -n "$own_server" ]; then
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
    WINEPREFIX=$prefix timeout 30 wineserver -w >/dev/null 2>&1
  fi
  [ -n "$child" ] && wait "$child" 2>/dev/null
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  [ -n "$fifo" ] && rm -f "$fifo"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }

# Xvfb writes its display number to -displayfd once it accepts clients, so
# there is nothing to poll; a display taken in the meantime makes it exit
# without writing, and the next number is tried.
start_xvfb() {
  local n d
  fifo=$(mktemp -u /tmp/velmora-xvfb.XXXXXX)
  mkfifo "$fifo"
  for n in $(seq 90 189); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 "${VELMORA_SCREEN:-1280x1024x24}" -nolisten tcp -displayfd 3 3>"$fifo" >>"$xvfb_log" 2>&1 &
    xvfb_pid=$!
    d=
    read -r -t 30 d <"$fifo"
    if [ "$d" = "$n" ] && xdpyinfo -display ":$n" >/dev/null 2>&1; then
      export DISPLAY=:$n
      return 0
    fi
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=
  done
  echo "with-display: could not start Xvfb (see $xvfb_log)" >&2
  return 1
}

start_xvfb || exit 1
"$wine_run" --init || exit 1
prefix=$("$wine_run" --prefix)
# Exit status 2: a server already runs on this prefix; it is not ours to stop.
if WINEPREFIX=$prefix wineserver -p >/dev/null 2>&1; then
  own_server=1
fi
# Start Wine's resident processes (services, the explorer desktop) now, with
# no terminal or pipe of ours: started by the first test program, they would
# inherit its stdout/stderr and ctest would wait on that pipe until timeout.
# rundll32 opens a window, which brings up the desktop process.
"$wine_run" rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1

# The command runs in the background so that a signal is acted on at once
# (bash runs traps only between foreground commands); it keeps our stdin.
exec {stdin_copy}<&0
"$@" <&"$stdin_copy" &
child=$!
exec {stdin_copy}<&-
wait "$child"
rc=$?
child=
exit $rc
