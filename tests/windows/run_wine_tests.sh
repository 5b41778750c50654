#!/bin/bash
# The Windows builds under Wine: both test binaries of the core (64-bit under wine64, 32-bit
# under wine), then `kestrum.exe info --json` against the Linux tool on every corpus file, the
# sample map and a copy of it under a Cyrillic name. Exit 0 only when every run passed and every
# output matched byte for byte. Wine's own messages go to files in the work folder.
#   tests/windows/run_wine_tests.sh [WORKDIR]   (default: build-wine, recreated)
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
WORK=${1:-$ROOT/build-wine}
CORPUS=$(cd "$ROOT/../shared/corpus" 2>/dev/null && pwd) || { echo "no corpus beside the source tree"; exit 1; }
T0=$(date +%s)
stamp() { echo "[$(( $(date +%s) - T0 )) s] $*"; }

# Everything it needs, installed and built; each step does nothing when already done.
make -C "$ROOT" --no-print-directory setup-windows windows >/dev/null || { echo "Windows build failed"; exit 1; }
(cd "$ROOT" && cmake --preset release >/dev/null && cmake --build --preset release --target kestrum >/dev/null) ||
  { echo "Linux build of the tool failed"; exit 1; }
stamp "built"

rm -rf "$WORK" && mkdir -p "$WORK/out"
export WINEPREFIX="$WORK/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8 # Wine reads the Unix command line and file names in the locale's charset
WINE64=/usr/lib/wine/wine64 WINE32=/usr/lib/wine/wine WINESERVER=/usr/lib/wine/wineserver
[ -x "$WINE32" ] || { echo "32-bit Wine is not installed (make setup-windows)"; exit 1; }
"$WINE64" wineboot --init >"$WORK/wineboot.log" 2>&1
"$WINESERVER" -w
stamp "fresh Wine prefix"
# One server for every run instead of one started and stopped per program.
"$WINESERVER" -p
trap '"$WINESERVER" -k >/dev/null 2>&1' EXIT

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# The core's tests. The large-file case needs a sparse file, which the Unix file system under
# Wine gives. Left out: a test of a case-sensitive file system, where "b.mId" is the only name
# of the file; on Windows "b.mid" names the same file, and the importer reports it by that name.
SKIP=MifFiles.MidIsFoundBesideItsMifInAnyCase
for arch in win64 win32; do
  wine=$WINE64; [ $arch = win32 ] && wine=$WINE32
  bin="$ROOT/build-$arch/bin/kestrum_core_tests.exe"
  KESTRUM_LARGE_FILE_TESTS=1 "$wine" "$bin" --gtest_brief=1 --gtest_filter="-$SKIP" >"$WORK/out/core_tests-$arch.txt" 2>"$WORK/out/core_tests-$arch.wine.log"
  rc=$?
  [ $rc = 0 ] || fail "kestrum_core_tests ($arch) exit $rc: $(grep -E '^\[  FAILED' "$WORK/out/core_tests-$arch.txt" | head -5)"
  stamp "kestrum_core_tests $arch: $(grep -E '^\[  PASSED|^\[  FAILED  \] [0-9]+ test' "$WORK/out/core_tests-$arch.txt" | tr '\n' ' ')"
done

# The same command through both tools, from the same folder and by the same relative names, so
# that even the messages naming a file must match. $1 folder, $2 name of the outputs, then the
# tool's arguments.
compare_run() {
  local dir=$1 key=$2
  shift 2
  (cd "$dir" && "$ROOT/build/bin/kestrum" "$@" >"$WORK/out/$key.linux.json" 2>"$WORK/out/$key.linux.err"
   echo $? >"$WORK/out/$key.linux.rc")
  for arch in win64 win32; do
    local wine=$WINE64; [ $arch = win32 ] && wine=$WINE32
    (cd "$dir" && "$wine" "$ROOT/build-$arch/bin/kestrum.exe" "$@" >"$WORK/out/$key.$arch.json" \
       2>"$WORK/out/$key.$arch.err"
     echo $? >"$WORK/out/$key.$arch.rc")
    cmp -s "$WORK/out/$key.linux.rc" "$WORK/out/$key.$arch.rc" ||
      fail "$key ($arch): exit $(cat "$WORK/out/$key.$arch.rc"), Linux $(cat "$WORK/out/$key.linux.rc")"
    cmp -s "$WORK/out/$key.linux.json" "$WORK/out/$key.$arch.json" || fail "$key ($arch): output differs (out/$key.*.json)"
    cmp -s "$WORK/out/$key.linux.err" "$WORK/out/$key.$arch.err" || fail "$key ($arch): messages differ (out/$key.*.err)"
  done
  compared=$((compared + 1))
}
# `info --json` of one file. $1 folder, $2 file.
compare() { compare_run "$1" "$(echo "$2" | tr '/' '_')" info --json "$2"; }
compared=0
for sub in mp mif mp-fixtures; do
  for f in "$CORPUS/$sub"/*; do
    case "${f,,}" in *.mp | *.mif | *.map) compare "$CORPUS" "$sub/$(basename "$f")" ;; esac
  done
done
compare "$ROOT/data" sample.map
cyrillic="$WORK/Карта Москвы"
mkdir -p "$cyrillic" && cp "$ROOT/data/sample.map" "$cyrillic/Образец.map"
compare "$cyrillic" "Образец.map"
# Imports by Cyrillic names: the MID is found beside its MIF, in its own letter case too.
cp "$CORPUS/mp/gpsyv_MapaDePrueba.mp" "$cyrillic/Проба.mp"
cp "$CORPUS/mif/gdal_win1251.mif" "$cyrillic/Реки.mif" && cp "$CORPUS/mif/gdal_win1251.mid" "$cyrillic/Реки.mid"
cp "$CORPUS/mif/rgdal_ps_cant_31.MIF" "$cyrillic/Кантоны.MIF" && cp "$CORPUS/mif/rgdal_ps_cant_31.MID" "$cyrillic/Кантоны.MID"
for f in "Проба.mp" "Реки.mif" "Кантоны.MIF"; do
  compare "$cyrillic" "$f"
  for arch in linux win64 win32; do
    [ "$(cat "$WORK/out/$f.$arch.rc")" = 0 ] && grep -q '"ObjectCount": [1-9]' "$WORK/out/$f.$arch.json" ||
      fail "$f ($arch): not read as a map with objects"
  done
done
# A convert onto its own input, under another spelling of the same name, is refused.
compare_run "$cyrillic" convert_onto_itself convert "Проба.mp" "./Проба.mp"
stamp "compared $compared files with the Linux tool"

if [ $failures = 0 ]; then echo "Windows tests passed ($(( $(date +%s) - T0 )) s)"; exit 0; fi
echo "$failures failures; outputs in $WORK/out"
exit 1
