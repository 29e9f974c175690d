#!/usr/bin/env bash
# The Windows programs under Wine and the Linux ones write the same bytes:
# the levels mklevel makes, the inspector's scene report and raw heights,
# and the glTF export (with and without the ground), for the demo and the
# asymmetric level. Also, on Windows: an LZ-compressed scene file (made by
# mscompress) reads as its plain file does, and a folder with letters outside
# ASCII and spaces serves for reading a level and writing an export.
#   cross_system_bytes.sh WINDOWS_BUILD LINUX_BUILD
set -euo pipefail
win=$1
linux=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Paths relative to here: the Windows programs see them as they are.
cd "$work"
status=0

# Windows programs' output lands in files: Wine's pipes can hang a reader.
wine_run() {
    local out=$1
    shift
    if ! wine "$@" </dev/null >"$out" 2>"$out.err"; then
        echo "FAIL: wine $* exited with $?: $(cat "$out.err")" >&2
        status=1
    fi
}
same() {
    if cmp -s "$1" "$2"; then
        echo "same: $3"
    else
        echo "FAIL: $3 differs ($(cmp "$1" "$2" 2>&1 | head -1))" >&2
        status=1
    fi
}

for level in demo skew; do
    "$linux/wildview-mklevel" "$level" "linux/$level" >/dev/null
    wine_run "mk.txt" "$win/wildview-mklevel.exe" "$level" "windows/$level"
    for f in "$level.grf" "$level-130.pid" "$level-130.swp"; do
        same "linux/$level/$f" "windows/$level/$f" "mklevel $level: $f"
    done
    swp=linux/$level/$level-130.swp
    "$linux/wildview-inspect" scene "$swp" --json | grep -v '"Level load time' >"scene-linux.json"
    wine_run "scene-windows.raw" "$win/wildview-inspect.exe" scene "$swp" --json
    grep -v '"Level load time' "scene-windows.raw" >"scene-windows.json" || true
    same "scene-linux.json" "scene-windows.json" "inspect scene --json $level"
    "$linux/wildview-inspect" heights "$swp" --raw "heights-linux.raw" >/dev/null
    wine_run "h.txt" "$win/wildview-inspect.exe" heights "$swp" --raw "heights-windows.raw"
    same "heights-linux.raw" "heights-windows.raw" "inspect heights --raw $level"
    for ground in "" --terrain; do
        "$linux/wildview-export" "$swp" "linux.glb" $ground >/dev/null
        wine_run "e.txt" "$win/wildview-export.exe" "$swp" "windows.glb" $ground
        same "linux.glb" "windows.glb" "export $level $ground"
        rm -f "linux.glb" "windows.glb"
    done
done

# The scene file compressed as the game's installer ships some: Windows
# expands it through lz32 and reports the same scene.
lz=lz
mkdir -p "$lz"
cp "linux/skew/"* "$lz/"
mscompress "$lz/skew.grf" && mv "$lz/skew.grf_" "$lz/skew.grf"
wine_run "scene-lz.raw" "$win/wildview-inspect.exe" scene "$lz/skew-130.swp" --json
grep -v '"Level load time' "scene-lz.raw" | sed 's#lz/#linux/skew/#g' >"scene-lz.json" || true
"$linux/wildview-inspect" scene "linux/skew/skew-130.swp" --json | grep -v '"Level load time' >"scene-plain.json"
same "scene-plain.json" "scene-lz.json" "an LZ-compressed scene file on Windows"

# Letters outside ASCII and spaces in the folder, read and written.
wide="Lévels ä ö/日本 1"
mkdir -p "$wide"
cp "linux/skew/"* "$wide/"
wine_run "wide.txt" "$win/wildview-export.exe" "$wide/skew-130.swp" "$wide/Ausfahrt é.glb"
"$linux/wildview-export" "linux/skew/skew-130.swp" "plain.glb" >/dev/null
same "plain.glb" "$wide/Ausfahrt é.glb" "an export read from and written to a folder named outside ASCII"

exit $status
