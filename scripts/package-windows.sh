#!/usr/bin/env bash
# Makes the Windows zip: the viewer and the tools (cross-built in release), the README
# and the demo level, written by the zip's own wildview-mklevel.exe under
# Wine. The result: dist/wildview-windows-x64.zip.
#   scripts/package-windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-windows-release
scripts/build-windows.sh "$build"
export WINEPREFIX="$PWD/$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

name=wildview-windows-x64
stage="$build/package/$name"
rm -rf "$build/package"
mkdir -p "$stage"
cp "$build"/wildview{,-inspect,-export,-render,-mklevel}.exe README.md "$stage/"
x86_64-w64-mingw32-strip "$stage"/*.exe
# Wine sees the path as written: relative to the stage.
(cd "$stage" && wine ./wildview-mklevel.exe demo demo </dev/null >mklevel.log 2>&1) ||
  { cat "$stage/mklevel.log" >&2; exit 1; }
rm "$stage/mklevel.log"
mkdir -p dist
rm -f "dist/$name.zip"
(cd "$build/package" && cmake -E tar cf "$OLDPWD/dist/$name.zip" --format=zip "$name")
ls -l "dist/$name.zip"
