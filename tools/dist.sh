#!/usr/bin/env bash
# Makes the release in dist/ from the two build trees (make dist):
#   velmora-V-win32.zip, velmora-V-win64.zip   velmora.exe, velmora.html and
#                                             a Japanese readme.txt
#   kit-V-mingw.zip      the installed Kit package of each width (win32/,
#                        win64/), the example examples/hello-kit, readme.txt
#   velmora-V-setup.exe  the installer (NSIS), tested by tools/dist-check.sh
# V is the number in the file VERSION. The zips are reproducible: the same
# commit gives the same bytes (the programs carry no link time, every file
# has the last commit's time, stored as UTC, entries are in byte order, and
# no owner or extra time fields are stored). The trees are
# $VELMORA_BUILD_DIR (32-bit, default <repo>/build) and $VELMORA_BUILD_DIR_64.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
build32=$(cd "${VELMORA_BUILD_DIR:-$root/build}" && pwd)
build64=$(cd "${VELMORA_BUILD_DIR_64:-$build32/x64}" && pwd)
out=$root/dist
version=$(head -n 1 "$root/VERSION")
# 1.02 -> 1.0.2.0, as in the program's version resource.
version_rc=$(echo "$version" | sed -E 's/^([0-9]+)\.([0-9])([0-9])$/\1.\2.\3.0/')
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || stat -c %Y "$root/VERSION")}
# strip writes this time, not the present one, into a program's header.
export SOURCE_DATE_EPOCH=$epoch

stage=$build32/dist-stage
rm -rf "$stage"
mkdir -p "$stage" "$out"

# Text for Windows: CRLF line ends and a UTF-8 signature, which Notepad of
# every Windows version reads as UTF-8.
windows_text() {
  { printf '\357\273\277'; sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$1"; } >"$2"
}

# Zips a folder's files in byte order of their names, with fixed times and
# modes, no directory entries and no extra fields (uid/gid, Unix times).
reproducible_zip() {
  local dir=$1 zipfile=$2
  find "$dir" -type d -exec chmod 755 {} + -o -type f -exec chmod 644 {} +
  find "$dir" -exec touch -h -d "@$epoch" {} +
  rm -f "$zipfile"
  (cd "$dir" && find . -type f | sed 's|^\./||' | LC_ALL=C sort |
    TZ=UTC zip -q -X -D -9 "$zipfile" -@)
}

# The programs, stripped of their symbol tables (the build's carry them).
for width in 32 64; do
  if [ $width = 32 ]; then tree=$build32 triple=i686-w64-mingw32; else tree=$build64 triple=x86_64-w64-mingw32; fi
  dir=$stage/velmora-win$width
  mkdir -p "$dir"
  "$triple-strip" -o "$dir/velmora.exe" "$tree/velmora.exe"
  cp "$tree/velmora.html" "$dir/velmora.html"
  windows_text "$here/dist/readme-velmora.txt" "$dir/readme.txt"
  reproducible_zip "$dir" "$out/velmora-$version-win$width.zip"
done

kit=$stage/kit/kit-$version-mingw
mkdir -p "$kit/examples"
cmake --install "$build32" --prefix "$kit/win32" >/dev/null
cmake --install "$build64" --prefix "$kit/win64" >/dev/null
cp -r "$root/examples/hello-kit" "$kit/examples/"
windows_text "$here/dist/readme-kit.txt" "$kit/readme.txt"
reproducible_zip "$stage/kit" "$out/kit-$version-mingw.zip"

# The installer carries both programs and picks one when it runs.
setup=$stage/setup
mkdir -p "$setup/win32" "$setup/win64"
cp "$stage/velmora-win32/velmora.exe" "$setup/win32/"
cp "$stage/velmora-win64/velmora.exe" "$setup/win64/"
cp "$stage/velmora-win32/velmora.html" "$stage/velmora-win32/readme.txt" "$setup/"
# The installer keeps each file's time, to give it to the installed copy.
find "$setup" -exec touch -h -d "@$epoch" {} +
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DVERSION_RC="$version_rc" \
  -DSTAGE="$setup" -DICON="$root/app/velmora.ico" -DOUTFILE="$out/velmora-$version-setup.exe" \
  "$here/dist/velmora.nsi"

echo "dist: made in $out:"
(cd "$out" && sha256sum "velmora-$version-win32.zip" "velmora-$version-win64.zip" \
  "kit-$version-mingw.zip" "velmora-$version-setup.exe")

"$here/dist-check.sh" "$out/velmora-$version-setup.exe" "$stage"
