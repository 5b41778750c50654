#!/usr/bin/env bash
# The built plug-in in the real file manager (Double Commander, Qt 5) under Xvfb, in one session
# of the host (each start costs seconds): the lister shows the sample map fitted to the window
# it finally has, keys reach the map after any number of next/previous steps (map to map, map to
# a file of the host's own viewer and back), Find centres a street, the view copies to the
# clipboard, Esc closes the viewer, and quick view leaves the keys with the file panel.
# usage: lister_host_test.sh PLUGIN.wlx MAP
set -uo pipefail
PLUGIN=$(readlink -f "${1:?plugin}"); MAP=$(readlink -f "${2:?map}")
for tool in doublecmd Xvfb xdotool import compare xclip; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (make setup installs it)"; exit 1; }
done

RUN=$(mktemp -d /tmp/kestrum-e2e.XXXXXX); mkdir -p "$RUN/cfg" "$RUN/files"
XVFB_PID=""; DC_PID=""
cleanup() {
  [ -n "$DC_PID" ] && kill "$DC_PID" 2>/dev/null
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  [ -n "${KESTRUM_E2E_KEEP:-}" ] && echo "kept $RUN" || rm -rf "$RUN"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# Files in the panel's order: two maps, a text file the host's own viewer shows, a third map.
F="$RUN/files"
cp "$MAP" "$F/a.map"; cp "$MAP" "$F/b.map"; echo "not a map" >"$F/c.txt"; cp "$MAP" "$F/d.map"
cat >"$RUN/cfg/doublecmd.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<doublecmd DCVersion="1.0.10" ConfigVersion="13">
  <Plugins><WlxPlugins>
    <WlxPlugin Enabled="True"><Name>Kestrum</Name><Path>$PLUGIN</Path>
      <DetectString>EXT="MAP" | EXT="MP" | EXT="MIF"</DetectString></WlxPlugin>
  </WlxPlugins></Plugins>
</doublecmd>
XML

for n in $(seq 90 140); do [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || { DISP=:$n; break; }; done
Xvfb "$DISP" -screen 0 1280x800x24 -nolisten tcp >"$RUN/xvfb.log" 2>&1 & XVFB_PID=$!
export DISPLAY=$DISP
for _ in $(seq 1 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.2; done
doublecmd --no-splash --config-dir="$RUN/cfg" -L "$F/a.map" -R "$F" -P L >"$RUN/dc.log" 2>&1 & DC_PID=$!
W=""
for _ in $(seq 1 60); do
  W=$(xdotool search --onlyvisible --name '^Double Commander' 2>/dev/null | head -1); [ -n "$W" ] && break; sleep 0.5
done
[ -n "$W" ] || { echo "FAIL: the host's main window did not appear"; tail -5 "$RUN/dc.log"; exit 1; }
sleep 2

viewer() { xdotool search --onlyvisible --name "files/$1\$" 2>/dev/null | head -1; }
wait_viewer() { # NAME: the viewer window showing that file, once it does
  local v=""; for _ in $(seq 1 20); do v=$(viewer "$1"); [ -n "$v" ] && break; sleep 0.3; done; echo "$v"
}
shot() { import -window "$V" "$RUN/$1.png" 2>/dev/null; }
# Pixels that differ between two shots of the map area (the status line below is left out).
differ() { compare -metric AE -crop 980x600+10+30 "$RUN/$1.png" "$RUN/$2.png" null: 2>&1 | cut -d' ' -f1; }
colour() { # SHOT RRGGBB: pixels of that colour
  [ -s "$RUN/$1.png" ] || { echo 0; return; }
  convert "$RUN/$1.png" -format %c histogram:info:- | grep -i "#$2" | awk -F: '{s+=$1} END {print s+0}'
}
# A key goes to the map: the view must change.
key_moves_map() { # WHAT
  shot before; xdotool key Right; sleep 0.8; shot after
  local d; d=$(differ before after)
  [ "${d%%.*}" -gt 2000 ] && pass "$1: Right moved the map ($d pixels)" || fail "$1: Right did not reach the map ($d pixels)"
}

V=""
for _ in 1 2 3; do
  xdotool mousemove --window "$W" 150 435 click 1; sleep 0.5; xdotool key F3
  V=$(wait_viewer a.map); [ -n "$V" ] && break
done
[ -n "$V" ] || { echo "FAIL: the viewer did not open"; grep -E 'WLX' "$RUN/dc.log" | tail -5; exit 1; }
# The load happened at the lister's first size; the window grows afterwards.
xdotool windowmove --sync "$V" 0 0; xdotool windowsize --sync "$V" 1000 700; sleep 1.5
shot open
# The sample's land (#F2EFE2) fills most of the fitted view; its river is light blue (#A0C8F0).
land=$(colour open F2EFE2); river=$(colour open A0C8F0)
[ "$land" -gt 250000 ] && [ "$river" -gt 20000 ] \
  && pass "the map fills the grown window (land $land, river $river pixels)" \
  || fail "the map does not fill the window it was given (land $land, river $river pixels)"
# Without a window manager keys arrive only after a real click; a click in the middle of the map.
xdotool mousemove --window "$V" 500 330 click 1; sleep 0.3
key_moves_map "a.map"

xdotool key n; V=$(wait_viewer b.map); sleep 1
[ -n "$V" ] && key_moves_map "next map (b.map)" || fail "N did not show b.map"
xdotool key n; V=$(wait_viewer c.txt); sleep 0.8
[ -n "$V" ] || fail "N did not show c.txt in the host's own viewer"
xdotool key n; V=$(wait_viewer d.map); sleep 1
[ -n "$V" ] && key_moves_map "a map after the host's viewer (d.map)" || fail "N did not show d.map"
xdotool key p; V=$(wait_viewer c.txt); sleep 0.8
xdotool key p; V=$(wait_viewer b.map); sleep 1
[ -n "$V" ] && key_moves_map "back to b.map with P" || fail "P did not show b.map"

# The host's Find ("f", its dialog, Enter) reaches ListSearchText: the view moves to the street.
shot before_find; xdotool key f
D=""; for _ in $(seq 1 15); do D=$(xdotool search --onlyvisible --name '^Find$' 2>/dev/null | head -1); [ -n "$D" ] && break; sleep 0.3; done
if [ -n "$D" ]; then
  xdotool windowmove --sync "$D" 900 100; xdotool mousemove --window "$D" 100 15 click 1; sleep 0.3
  xdotool type --delay 20 'набережная'; xdotool key Return; sleep 1.2; shot found
  d=$(differ before_find found)
  [ "${d%%.*}" -gt 2000 ] && pass "Find moved the view to the match ($d pixels)" || fail "Find did not move the view ($d pixels)"
else
  fail "the host's Find dialog did not open"
fi
# The host's copy (Ctrl+C) puts the view on the clipboard as a picture.
xdotool mousemove --window "$V" 500 330 click 1; sleep 0.3
xdotool key ctrl+c; sleep 0.5
xclip -selection clipboard -t image/png -o >"$RUN/clip.png" 2>/dev/null
size=$(identify -format '%wx%h' "$RUN/clip.png" 2>/dev/null)
[ "$(colour clip F2EFE2)" -gt 50000 ] && pass "Ctrl+C copied the view ($size)" || fail "the clipboard holds no picture of the map ($size)"

# Esc closes the viewer from the map; the host lives on.
xdotool key Escape; sleep 1.5
[ -z "$(viewer b.map)" ] && pass "Esc closed the viewer" || fail "Esc did not close the viewer"
# Quick view beside the panel: the map shows there, and the keys stay with the panel (the map
# must not take them): two Downs move on to the text file, whose view has no map colours.
xdotool mousemove --window "$W" 150 435 click 1; sleep 0.3
xdotool key Home Down; sleep 0.3; xdotool key ctrl+q; sleep 2.5
import -window root "$RUN/quick_map.png" 2>/dev/null
xdotool key Down Down; sleep 2
import -window root "$RUN/quick_text.png" 2>/dev/null
qm=$(colour quick_map F2EFE2); qt=$(colour quick_text F2EFE2)
[ "$qm" -gt 20000 ] && [ "$qt" -lt 1000 ] \
  && pass "quick view showed the map and the panel kept its keys ($qm, then $qt land pixels)" \
  || fail "quick view: map $qm, after two Downs $qt land pixels (expected a map, then none)"
xdotool key ctrl+q; sleep 0.5
kill -0 "$DC_PID" 2>/dev/null && pass "the host is alive" || fail "the host process ended"
grep -q 'WLX: Load - OK' "$RUN/dc.log" && pass "the host loaded the plug-in" || fail "the host did not load the plug-in"

if [ "$failures" -gt 0 ]; then
  echo "host log:"; grep -E 'WLX|rror' "$RUN/dc.log" | tail -10
  echo "FAIL: $failures check(s) failed"; exit 1
fi
echo "PASS: the plug-in works in the real host"
