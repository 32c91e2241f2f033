#!/usr/bin/env bash
# End to end: starts the real knobwise under Xvfb, with openbox so that its
# window takes the keyboard focus, on a throw-away machine; types a new info
# tip into the first box and presses Apply as a person would; checks the
# hive with knobreg; then leaves with Cancel.
#
#   window_e2e.sh KNOBWISE KNOBREG
#
# KEEP=1 keeps the scratch directory (machine, logs) for a look afterwards.
set -euo pipefail

knobwise=$1
knobreg=$2
. "$(dirname "${BASH_SOURCE[0]}")/support/e2e_lib.sh"

export XDG_DATA_HOME=$work/data
export HOME=$work
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
eventually test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=:$(head -n1 "$work/display")

# openbox runs its start-up command once it manages windows.
openbox --startup "touch $work/wm-ready" >"$work/openbox.log" 2>&1 &
pids+=($!)
eventually test -e "$work/wm-ready" || fail "openbox did not start"

key='HKCR\CLSID\{20D04FE0-3AEA-1069-A2D8-08002B30309D}'
"$knobwise" >"$work/knobwise.log" 2>&1 &
app=$!
pids+=($app)
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Knobwise$' | head -n1) ||
    fail "no Knobwise window; its output: $(cat "$work/knobwise.log")"
xdotool windowactivate --sync "$window"
eventually test "$(xdotool getactivewindow)" = "$window" || fail "the window did not take the focus"

# The first info tip's box: 960 twips from the left and 600 from the top of
# the window's client area (64, 40 pixels); click a little inside it.
xdotool mousemove --window "$window" 120 46 click 1
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 20 'Typed by a person'
xdotool key --clearmodifiers alt+a

has_tip() {
    "$knobreg" query "$key" /v InfoTip | grep -q 'InfoTip    REG_SZ    Typed by a person$'
}
eventually has_tip || fail "the tip was not applied: $("$knobreg" query "$key" /v InfoTip)"

# Cancel ends the program and keeps what Apply wrote.
xdotool key --clearmodifiers alt+c
eventually bash -c "! kill -0 $app" || fail "Cancel did not end the program"
has_tip || fail "the applied tip is gone after Cancel"
echo "PASS"
