#!/usr/bin/env bash
# Installs what building and testing needs on a Debian 12 machine, as root.
# Idempotent and quick when everything is present: packages are checked with
# dpkg-query, and apt-get (with its update) runs only when something is missing.
set -euo pipefail

PACKAGES=(
  make
  cmake
  ninja-build
  g++-mingw-w64-i686-posix
  googletest
  wine
  wine32:i386
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

if [ "$(id -u)" -ne 0 ]; then
  echo "setup.sh: must run as root (try: sudo $0)" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi

missing=()
for p in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)
  [ "${status:0:2}" = "ii" ] || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup.sh: installing ${missing[*]}"
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Wine derives the ANSI code page from the locale: without ja_JP.UTF-8 it
# silently falls back to code page 1252.
have_locale() { locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'; }
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
