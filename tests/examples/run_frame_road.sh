#!/bin/sh
# Runs an example host (the command given, plus an output folder) on a private bus whose server
# D-Bus starts from the build tree, and checks the road of a frame in what it printed and wrote:
# every step in order, FormClosed answered before CloseForm returned, the two image files whole.
set -eu
config=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export DIDEV_VIRTUAL_VIDEO="Road Camera:ball:320x240@25" DIDEV_VIRTUAL_AUDIO="" QT_QPA_PLATFORM=offscreen \
    XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" DIDEV_REGISTRY_DIR="$work/registry"
mkdir "$work/out"

fail() {
    echo "FAILED: $1"
    cat "$work/log"
    exit 1
}

dbus-run-session --config-file="$config" -- "$@" "$work/out" >"$work/log" 2>&1 || fail "the host exited with $?"

cat >"$work/steps" <<'STEPS'
^instance: /org/kelvara/DidevEvivod/cDidevEvivod/[0-9]+$
^Advise: cookie [1-9][0-9]*$
^ShowForm: -1$
^TakeSnapshot: 1$
^TakeSnapshot: 2$
^TakeSnapshot: 3$
^GetSnapshotCount: 3$
^GetSnapshot 3: hPicture [1-9][0-9]*, frameID 3, frameTime [1-9][0-9]*\.[0-9]+, frameTimecode ""$
^GetPictureData: [1-9][0-9]* bytes in .*/out/frame-3\.bmp$
^SaveSnapshot JPEG: -1 .*/out/frame-3\.jpg$
^event FormClosed: capture Top=-?[0-9]+ Left=-?[0-9]+ Width=5250 Height=4320; viewer Top=-?[0-9]+ Left=-?[0-9]+ Width=[0-9]+ Height=[0-9]+$
^CloseForm: returned$
^Release: done$
STEPS
missing=$(awk 'NR == FNR { step[++n] = $0; next }
    k < n && $0 ~ step[k + 1] { k++ }
    END { if (k < n) print step[k + 1] }' "$work/steps" "$work/log")
[ -z "$missing" ] || fail "no line matching '$missing' in its place"

bitmap="$work/out/frame-3.bmp"
size=$(wc -c <"$bitmap")
grep -q "^GetPictureData: $size bytes" "$work/log" || fail "the bitmap file is not the $size bytes received"
[ "$(head -c 2 "$bitmap")" = "BM" ] || fail "the bitmap does not start with BM"
[ "$(od -An -j2 -N4 -tu4 "$bitmap" | tr -d ' ')" = "$size" ] || fail "the bitmap's header does not give its size"
[ "$(head -c 3 "$work/out/frame-3.jpg" | od -An -tx1 | tr -d ' ')" = "ffd8ff" ] || fail "the JPEG is not a JPEG"
echo "the road of a frame passed: $*"
