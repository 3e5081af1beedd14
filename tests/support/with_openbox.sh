#!/bin/sh
# Runs a command on the X display in $DISPLAY with openbox managing its windows: starts openbox,
# waits until it announces itself on the root window (_NET_SUPPORTING_WM_CHECK), runs the
# command and stops openbox again. The command's exit status is this script's.
set -u
here=$(dirname "$0")

openbox --sm-disable --config-file "$here/openbox-rc.xml" &
wm=$!
tries=0
until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
    if ! kill -0 "$wm" 2>/dev/null || [ "$tries" -ge 600 ]; then
        echo "with_openbox: openbox did not take the display $DISPLAY" >&2
        kill "$wm" 2>/dev/null
        exit 1
    fi
    tries=$((tries + 1))
    sleep 0.05
done

"$@"
status=$?
kill "$wm" 2>/dev/null
wait "$wm" 2>/dev/null
exit "$status"
