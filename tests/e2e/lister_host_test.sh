#!/usr/bin/env bash
# The built plug-in opens the sample map in the real file manager (Double Commander, Qt 5) under
# Xvfb; the screenshot of its lister window must show the map's own colours.
# usage: lister_host_test.sh PLUGIN.wlx MAP HOST_SCRIPT
set -uo pipefail
PLUGIN=${1:?plugin}; MAP=${2:?map}; SHOT_SCRIPT=${3:?dc-lister-shot.sh}
OUT=$(mktemp -d /tmp/kestrum-e2e.XXXXXX)
trap 'rm -rf "$OUT"' EXIT

if ! bash "$SHOT_SCRIPT" "$PLUGIN" "$MAP" "$OUT/shot.png"; then
  echo "FAIL: the host did not show the map with the plug-in"
  exit 1
fi
# The sample's land (#F2EFE2) fills most of the fitted view; its river is light blue (#A0C8F0).
histogram=$(convert "$OUT/shot.png" -format %c histogram:info:-)
count() { grep -i "#$1" <<<"$histogram" | awk -F: '{s+=$1} END {print s+0}'; }
land=$(count F2EFE2); river=$(count A0C8F0)
echo "land pixels: $land, river pixels: $river"
if [ "$land" -lt 50000 ] || [ "$river" -lt 5000 ]; then
  echo "FAIL: the screenshot does not show the sample map"
  exit 1
fi
echo "PASS: the plug-in drew the map inside the host"
