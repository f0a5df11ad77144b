#!/usr/bin/env bash
# Installs what building and testing needs on a Debian 12 machine; with
# --dist, what making the release needs too.
# Idempotent and quick when everything is present: packages are checked with
# dpkg-query, and apt-get (with its update) runs only when something is
# missing. Only then does it need root; run by another user it uses sudo.
#
# Both widths are always built, so both cross compilers are installed, and
# Wine's 64-bit loader. Wine's 32-bit loader (wine32:i386, with the i386
# architecture) is installed only where the machine runs 32-bit programs
# (tools/widths): elsewhere it could never start, and without it Wine has no
# 32-bit loader to try while it makes or uses the 64-bit prefix.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

PACKAGES=(
  make
  cmake
  ninja-build
  g++-mingw-w64-i686-posix
  g++-mingw-w64-x86-64-posix
  googletest
  wine
  wine64
  xvfb
  xauth
  x11-utils
  xdotool
  imagemagick
  locales
  fonts-ipafont-gothic
  fonts-wine
)
LOCALE=ja_JP.UTF-8

# `tools/setup.sh --dist` (make dist) also installs what the release needs:
# zip for the archives, NSIS (makensis) for the installer.
if [ "${1:-}" = --dist ]; then
  PACKAGES+=(zip nsis)
fi

widths=$("$here/widths" 2>/dev/null)
with32=0
case " $widths " in *" 32 "*) with32=1 ;; esac
if [ $with32 = 1 ]; then
  PACKAGES+=(wine32:i386)
fi

have_locale() { locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'; }

missing=()
if [ $with32 = 1 ]; then
  dpkg --print-foreign-architectures | grep -qx i386 || missing+=(i386-architecture)
fi
for p in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)
  [ "${status:0:2}" = "ii" ] || missing+=("$p")
done
have_locale || missing+=("$LOCALE-locale")
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup.sh: missing ${missing[*]}; run me as root" >&2; exit 1; }
  exec sudo env VELMORA_WIDTHS="$widths" "$0" "$@"
fi
export DEBIAN_FRONTEND=noninteractive

if [ $with32 = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
packages=()
for p in "${missing[@]}"; do
  case "$p" in *-architecture|*-locale) ;; *) packages+=("$p") ;; esac
done
if [ ${#packages[@]} -gt 0 ]; then
  echo "setup.sh: installing ${packages[*]}"
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${packages[@]}"
fi

# Wine derives the ANSI code page from the locale: without ja_JP.UTF-8 it
# silently falls back to code page 1252.
if ! have_locale; then
  echo "setup.sh: generating $LOCALE"
  if [ -f /etc/locale.gen ] && command -v locale-gen >/dev/null; then
    # Enable it in locale.gen too, so a later locale-gen keeps it.
    if grep -q "^# *$LOCALE UTF-8" /etc/locale.gen; then
      sed -i "s/^# *\($LOCALE UTF-8\)/\1/" /etc/locale.gen
    elif ! grep -q "^$LOCALE UTF-8" /etc/locale.gen; then
      echo "$LOCALE UTF-8" >> /etc/locale.gen
    fi
    locale-gen
  else
    localedef -i ja_JP -c -f UTF-8 -A /usr/share/locale/locale.alias "$LOCALE"
  fi
  have_locale || { echo "setup.sh: could not generate $LOCALE" >&2; exit 1; }
fi
