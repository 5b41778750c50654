#!/bin/sh
# The Debian package of a built tree: the tool, the plug-in and the manual page at their
# places, stripped, and a post-install note that names install-plugin.
# usage: deb_test.sh BUILD_DIR
set -eu
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/*.deb)
dpkg -c "$deb" >"$work/contents"
for f in ./usr/bin/kestrum ./usr/lib/kestrum/plugins/wlx/Kestrum/Kestrum.wlx ./usr/share/man/man1/kestrum.1.gz; do
    grep -q " $f\$" "$work/contents" || { echo "missing from $deb: $f"; cat "$work/contents"; exit 1; }
done
dpkg-deb -x "$deb" "$work/root"
for f in usr/bin/kestrum usr/lib/kestrum/plugins/wlx/Kestrum/Kestrum.wlx; do
    if readelf -S "$work/root/$f" | grep -q '\.debug_info'; then echo "not stripped: $f"; exit 1; fi
done
# The installed tool finds the installed plug-in on its own.
"$work/root/usr/bin/kestrum" install-plugin --config "$work/dc.xml" | grep -q "usr/lib/kestrum/plugins/wlx/Kestrum/Kestrum.wlx" || {
    echo "the packaged tool does not find the packaged plug-in"; exit 1; }
dpkg-deb -e "$deb" "$work/control"
grep -q "kestrum install-plugin" "$work/control/postinst" || { echo "postinst names no install-plugin"; exit 1; }
sh "$work/control/postinst" configure | grep -q "kestrum install-plugin"
dpkg-deb -f "$deb" Depends | grep -q libqt5 || { echo "no Qt dependency: $(dpkg-deb -f "$deb" Depends)"; exit 1; }
echo "ok: $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB"
