#!/bin/sh
# The Debian package as a studio gets it: made by cpack from the build tree, it holds the programs,
# the activation file, the desktop entry, icon, metainfo and manual pages, depends on what the
# module loads at run time, and its files pass their validators. Unpacked into a scratch root and
# laid over /usr/bin in a mount namespace of its own, its activation file starts its own server on
# a private bus, for its own didev-host.
set -eu
cpack_config=$1
bus_template=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAILED: $1"
    [ $# -lt 2 ] || cat "$2"
    exit 1
}

cpack -G DEB --config "$cpack_config" -B "$work/cpack" >"$work/cpack.log" 2>&1 || fail "cpack exited with $?" "$work/cpack.log"
deb=$(ls "$work"/cpack/didev-evivod_*.deb)
echo "package: $(basename "$deb"), $(wc -c <"$deb") bytes"

dpkg-deb -f "$deb" Depends >"$work/depends"
for package in libqt6widgets6 libqt6dbus6 libgstreamer1.0-0 libturbojpeg0 libudev1 gstreamer1.0-plugins-good \
    gstreamer1.0-plugins-base gstreamer1.0-x dbus-session-bus; do
    grep -q "$package" "$work/depends" || fail "Depends lacks $package" "$work/depends"
done

root="$work/root"
dpkg -x "$deb" "$root"
for file in bin/didev-evivod bin/didev-host share/dbus-1/services/org.kelvara.DidevEvivod.service \
    share/dbus-1/interfaces/org.kelvara.DidevEvivod.xml share/applications/org.kelvara.DidevEvivod.desktop \
    share/icons/hicolor/scalable/apps/org.kelvara.DidevEvivod.svg share/metainfo/org.kelvara.DidevEvivod.metainfo.xml \
    share/man/man1/didev-evivod.1.gz share/man/man1/didev-host.1.gz share/doc/didev-evivod/copyright; do
    test -s "$root/usr/$file" || fail "the package has no /usr/$file"
done
grep -qx 'Exec=/usr/bin/didev-evivod --dbus' "$root/usr/share/dbus-1/services/org.kelvara.DidevEvivod.service" \
    || fail "the activation file does not name the installed server" "$root/usr/share/dbus-1/services/org.kelvara.DidevEvivod.service"

desktop-file-validate "$root/usr/share/applications/org.kelvara.DidevEvivod.desktop" >"$work/desktop.log" 2>&1 \
    || fail "desktop-file-validate" "$work/desktop.log"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.kelvara.DidevEvivod.metainfo.xml" >"$work/metainfo.log" 2>&1 \
    || fail "appstreamcli validate" "$work/metainfo.log"
for page in didev-evivod didev-host; do
    MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" >/dev/null 2>"$work/man.log"
    [ ! -s "$work/man.log" ] || fail "man warns about $page.1" "$work/man.log"
done

# The installed programs where the package puts them, on a bus whose only services are the package's.
sed "s|@DIDEV_SERVICE_DIR@|$root/usr/share/dbus-1/services|" "$bus_template" >"$work/bus.conf"
mkdir "$work/out"
cat >"$work/installed.sh" <<INSTALLED
set -eu
mount -t overlay overlay -o "lowerdir=$root/usr/bin:/usr/bin" /usr/bin
cd "$work/out"
dbus-run-session --config-file="$work/bus.conf" -- /usr/bin/didev-host show snap count save 1 frame.jpg 3 close
INSTALLED
if [ "$(id -u)" = 0 ]; then namespace="unshare --mount"; else namespace="unshare --mount --map-root-user"; fi
if ! $namespace true 2>/dev/null; then
    echo "SKIPPED: no mount namespace here to lay the package over /usr/bin"
    exit 77
fi
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen DIDEV_VIRTUAL_VIDEO="Cam:smpte:320x240@25" \
    DIDEV_VIRTUAL_AUDIO="" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" DIDEV_REGISTRY_DIR="$work/registry" \
    $namespace sh "$work/installed.sh" >"$work/installed.log" 2>&1 || fail "the installed host exited with $?" "$work/installed.log"
for line in "show: True" "snap: 1" "count: 1" "save 1: True" "event FormClosed:" "close: done"; do
    grep -qF "$line" "$work/installed.log" || fail "no line with '$line' from the installed programs" "$work/installed.log"
done
[ "$(head -c 3 "$work/out/frame.jpg" | od -An -tx1 | tr -d ' ')" = "ffd8ff" ] || fail "the installed server wrote no JPEG"
echo "package: installed files valid, service activated from /usr/bin/didev-evivod"
