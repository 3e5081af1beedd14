#!/bin/sh
# The run command as a host, three times without a display: the first run grabs, saves a JPEG and a
# bitmap and keeps the geometry FormClosed delivered; the second opens the window with it; the
# third finds a number it cannot read and opens at the design size.
set -eu
bin="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export XDG_STATE_HOME="$work/state" DIDEV_VIRTUAL_VIDEO="Cam:ball:320x240@25" DIDEV_VIRTUAL_AUDIO=Mic
settings="$work/state/didev-evivod/show-form-settings"

fail() {
    echo "FAILED: $1"
    cat "$2"
    exit 1
}
expect() {
    grep -q -- "$1" "$2" || fail "no line matching '$1'" "$2"
}

"$bin" --no-system-devices --seconds 2 --screenshot "$work/run1.png" --output "$work/frames" >"$work/run1.log" 2>&1 \
    || fail "first run exited with $?" "$work/run1.log"
expect '3 capture left: (empty)' "$work/run1.log"
expect 'TakeSnapshot: frame 1, 1 frame(s) stored' "$work/run1.log"
expect 'SaveSnapshot JPEG: -1' "$work/run1.log"
expect 'SaveSnapshot bitmap: -1' "$work/run1.log"
expect 'FormClosed, subscripts 0 to 20' "$work/run1.log"
[ "$(head -c 2 "$work/frames/frame-1.bmp")" = "BM" ] || fail "the bitmap does not start with BM" "$work/run1.log"
[ "$(head -c 3 "$work/frames/frame-1.jpg" | od -An -tx1 | tr -d ' ')" = "ffd8ff" ] || fail "not a JPEG" "$work/run1.log"
test -s "$work/run1.png" || fail "no screenshot" "$work/run1.log"
[ "$(sed -n 4p "$settings")" = "5250" ] || fail "the width was not kept in entry 4" "$work/run1.log"

# The host changes what it keeps; the next run opens the window there. Its screenshot goes with
# the frames, whatever the working folder.
printf 'Y\n600\n900\n6000\n4500\n\n\n\n\n' >"$settings"
(cd "$work/state" && "$bin" --no-system-devices --seconds 1 --output "$work/frames") >"$work/run2.log" 2>&1 \
    || fail "second run exited with $?" "$work/run2.log"
test -s "$work/frames/didev-evivod.png" || fail "no screenshot in the output folder" "$work/run2.log"
test ! -e "$work/state/didev-evivod.png" || fail "a screenshot in the working folder" "$work/run2.log"
expect '3 capture width: 6000' "$work/run2.log"
expect '3 capture left: 900' "$work/run2.log"
[ "$(sed -n 5p "$settings")" = "4500" ] || fail "the height was not kept in entry 5" "$work/run2.log"

# A kept number no Long holds fails ShowForm; the host falls back to the design size.
printf 'Y\n99999999999\n900\n6000\n4500\n\n\n\n\n' >"$settings"
"$bin" --no-system-devices --seconds 1 --screenshot "$work/run3.png" --output "$work/frames" >"$work/run3.log" 2>&1 \
    || fail "third run exited with $?" "$work/run3.log"
expect 'ShowForm: error 6' "$work/run3.log"
expect '3 capture width: 5250' "$work/run3.log"
echo "standalone host: 3 runs passed"
