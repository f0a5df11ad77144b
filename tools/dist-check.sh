#!/usr/bin/env bash
# Tests the installer that tools/dist.sh made, silently under Wine, in fresh
# prefixes of both widths:
#   tools/dist-check.sh SETUP.exe STAGE
# (STAGE: dist.sh's staging folder, holding velmora-win32/ and velmora-win64/).
# 64-bit Windows: `SETUP /S` puts the 64-bit program, the help, the readme
# and the uninstaller in %LOCALAPPDATA%\Programs\Velmora, a Start-menu entry
# and an entry in the list of installed programs; with the installed program
# running, `uninstall /S` ends it (closed as by its exit command), removes all
# of that and keeps the settings. 32-bit Windows: the 32-bit program, and
# `uninstall /S /REMOVESETTINGS` removes the settings too.
# The installer is a 32-bit program (it must start on 32-bit Windows): on a
# machine that runs no 32-bit programs it cannot run, and that is said.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
setup=$(realpath "${1:?usage: $0 SETUP.exe STAGE}")
stage=$(realpath "${2:?usage: $0 SETUP.exe STAGE}")
version=$(head -n 1 "$root/VERSION")
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora'
settings_key='HKCU\Software\Dovrane\Velmora'

if [ "${3:-}" = --in-display ]; then
  width=$4
  fail() { echo "dist-check: FAILED on $width-bit Windows: $*" >&2; exit 1; }
  wine() { "$here/wine-run" "$@"; }
  value() { wine reg query "$1" /v "$2" 2>/dev/null | sed -n "s/^ *$2 *REG_[A-Z_]* *//p" | tr -d '\r'; }
  prefix=$(wine --prefix)

  wine "$setup" /S || fail "the installer ended with status $?"
  location=$(value "$uninstall_key" InstallLocation)
  [ -n "$location" ] || fail "no entry in the list of installed programs"
  inst=$(realpath "$(wine winepath -u "$location" | tr -d '\r')")
  case "$location" in *'\AppData\Local\Programs\Velmora') ;; *) fail "installed in $location" ;; esac
  for f in velmora.exe velmora.html readme.txt uninstall.exe; do
    [ -f "$inst/$f" ] || fail "$f is missing in $location"
  done
  cmp -s "$inst/velmora.exe" "$stage/velmora-win$width/velmora.exe" ||
    fail "velmora.exe is not the $width-bit program"
  profile=${inst%/AppData/Local/Programs/Velmora}
  shortcut="$profile/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Velmora.lnk"
  [ -f "$shortcut" ] || fail "no Start-menu entry"
  [ "$(value "$uninstall_key" DisplayVersion)" = "$version" ] || fail "the installed programs list another version"
  echo "dist-check: $width-bit Windows: installed"
  (cd "$prefix/drive_c" && find "${inst#$prefix/drive_c/}" "${shortcut#$prefix/drive_c/}" -type f -printf '  C:/%p  %s bytes\n')
  wine reg query "$uninstall_key" | tr -d '\r' | sed -n 's/^/  /p'

  # Settings as the program keeps them, and a save folder.
  mkdir -p "$prefix/drive_c/velmora-saved"
  wine reg add "$settings_key" /v SaveDir /d 'C:\velmora-saved' /f >/dev/null
  wine reg add "$settings_key" /v Prefix /d WALL /f >/dev/null
  wine reg add "$settings_key" /v Beep /t REG_DWORD /d 0 /f >/dev/null
  uninstaller=$prefix/drive_c/velmora-uninstall.exe
  # Run from a copy, it removes the installed uninstaller too and returns
  # when it is done (the installed one hands over to a copy of its own and
  # returns at once).
  cp "$inst/uninstall.exe" "$uninstaller"
  if [ "$width" = 64 ]; then
    # The folder the program watches, so that it starts without a message.
    mkdir -p "$profile/AppData/Roaming/Microsoft/Internet Explorer"
    wine "$location\\velmora.exe" &
    program=$!
    # Its settings window, hidden, is there once it runs (Wine makes an
    # unmapped X window for it).
    timeout 60 xdotool search --sync --name '^Velmoraの設定$' >/dev/null ||
      fail "the installed program did not start"
    wine 'C:\velmora-uninstall.exe' /S "_?=$location" || fail "the uninstaller ended with status $?"
    status=0
    wait "$program" || status=$?
    [ "$status" = 0 ] || fail "the running program was not closed (status $status)"
    echo "dist-check: $width-bit Windows: the running program was closed by the uninstaller"
  else
    wine 'C:\velmora-uninstall.exe' /S /REMOVESETTINGS "_?=$location" || fail "the uninstaller ended with status $?"
  fi
  [ ! -e "$inst" ] || fail "left behind: $(ls -A "$inst")"
  [ ! -e "$shortcut" ] || fail "the Start-menu entry is left"
  ! wine reg query "$uninstall_key" >/dev/null 2>&1 || fail "the installed programs list still has Velmora"
  if [ "$width" = 64 ]; then
    [ "$(value "$settings_key" SaveDir)" = 'C:\velmora-saved' ] || fail "the silent uninstall removed the settings"
    echo "dist-check: $width-bit Windows: uninstalled silently, settings kept"
  else
    ! wine reg query 'HKCU\Software\Dovrane' >/dev/null 2>&1 || fail "/REMOVESETTINGS left the settings"
    echo "dist-check: $width-bit Windows: uninstalled silently with /REMOVESETTINGS, settings removed"
  fi
  exit 0
fi

case " $("$here/widths" 2>/dev/null) " in
  *" 32 "*) ;;
  *) echo "dist-check: the installer is a 32-bit program and this machine runs none: it is not run here"
     exit 0 ;;
esac
work=$(dirname "$stage")/dist-check
rm -rf "$work"
for width in 64 32; do
  mkdir -p "$work/win$width"
  echo "$width" >"$work/win$width/velmora-width"
  VELMORA_BUILD_DIR=$work/win$width "$here/with-display.sh" "$0" "$setup" "$stage" --in-display "$width"
done
rm -rf "$work"
echo "dist-check: the installer and the uninstaller passed on 64-bit and 32-bit Windows"
