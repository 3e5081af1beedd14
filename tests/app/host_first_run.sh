#!/bin/sh
# didev-host as a new user meets it, with nothing installed: on a bus where D-Bus knows no server
# it says what to do; with --private-bus the README's first example runs as written; a call that
# waits on the module's message box says so, and its timeout names --timeout.
set -eu
host=$1
no_service_bus=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset DISPLAY WAYLAND_DISPLAY DIDEV_VIRTUAL_VIDEO
export DIDEV_VIRTUAL_AUDIO="" QT_QPA_PLATFORM=offscreen \
    XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" DIDEV_REGISTRY_DIR="$work/registry"
cd "$work"

fail() {
    echo "FAILED: $1"
    cat "$2" "$3"
    exit 1
}
expect() {
    grep -qF -- "$1" "$2" || fail "no line with '$1'" "$2" "$3"
}

status=0
dbus-run-session --config-file="$no_service_bus" -- "$host" show >out1 2>err1 || status=$?
[ "$status" = 1 ] || fail "exit status $status on a bus without the service" out1 err1
expect "didev-host --private-bus" err1 out1

"$host" --private-bus show snap snap count get 2 save 2 frame.jpg 3 close >out2 2>err2 \
    || fail "the README's example exited with $?" out2 err2
for line in "show: True (instance /org/kelvara/DidevEvivod/cDidevEvivod/" "snap: 2" "count: 2" "get 2: hPicture=" \
    "save 2: True $work/frame.jpg" "event FormClosed: capture Top=" "close: done"; do
    expect "$line" out2 err2
done
[ "$(head -c 3 frame.jpg | od -An -tx1 | tr -d ' ')" = "ffd8ff" ] || fail "frame.jpg is no JPEG" out2 err2

status=0
"$host" --private-bus --timeout 2 get 5 >out3 2>err3 || status=$?
[ "$status" = 1 ] || fail "exit status $status for a call that timed out" out3 err3
expect "get 5: no frame 5 (0 stored): the module shows a message box" out3 err3
expect "get 5: no answer within 2 s" err3 out3
expect "--timeout SECONDS" err3 out3
echo "didev-host first run: passed"
