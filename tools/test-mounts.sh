#!/usr/bin/env bash
# Small file systems for the tests that need a disk that fills up or a folder
# that cannot be written to; CTest runs this before and after app_tests:
#   tools/test-mounts.sh setup DIR      mounts DIR/full (a 1 MB tmpfs) and
#                                       DIR/readonly (an empty read-only tmpfs)
#   tools/test-mounts.sh teardown DIR   unmounts them and removes DIR
# Mounting takes root (CAP_SYS_ADMIN). Where it is not allowed, setup writes
# the reason to DIR/unavailable and still succeeds: the tests that need the
# mounts skip, saying why, and the rest of the suite runs as ever.
set -uo pipefail

action=${1:-}
dir=${2:-}
if [ -z "$dir" ] || { [ "$action" != setup ] && [ "$action" != teardown ]; }; then
  echo "usage: $0 setup|teardown DIR" >&2
  exit 2
fi

unmount_all() {
  local m
  for m in "$dir/full" "$dir/readonly"; do
    if mountpoint -q "$m" 2>/dev/null; then
      # Lazily when busy: a test program killed half-way may still hold a file.
      umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true
    fi
  done
}

# Mounts a tmpfs; on failure writes why to DIR/unavailable.
mount_tmpfs() {
  local where=$1 options=$2 out
  mkdir -p "$where"
  if ! out=$(mount -t tmpfs -o "$options" velmora-test "$where" 2>&1); then
    printf 'mounting a small file system failed (%s)\n' "${out:-mount refused}" >"$dir/unavailable"
    return 1
  fi
}

case "$action" in
  setup)
    unmount_all
    rm -rf "$dir"
    mkdir -p "$dir"
    if [ "$(id -u)" != 0 ]; then
      echo "mounting a small file system needs root; the tests run as $(id -un)" >"$dir/unavailable"
      exit 0
    fi
    # Room for a few small pictures; the hidden attribute lives in an
    # extended attribute, which tmpfs keeps.
    mount_tmpfs "$dir/full" size=1m,mode=0777 || { unmount_all; exit 0; }
    mount_tmpfs "$dir/readonly" ro,size=64k,mode=0555 || { unmount_all; exit 0; }
    ;;
  teardown)
    unmount_all
    rm -rf "$dir"
    ;;
esac
exit 0
