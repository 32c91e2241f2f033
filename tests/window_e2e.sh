#!/usr/bin/env bash
# End to end: starts the real knobwise under Xvfb, with openbox so that its
# window takes the keyboard focus, on a throw-away machine; types a new info
# tip into the first box and presses Apply as a person would; checks the
# hive with knobreg; opens the folder picker with the keyboard and makes a
# folder with Return; then leaves with Cancel.
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

start_desktop

key='HKCR\CLSID\{20D04FE0-3AEA-1069-A2D8-08002B30309D}'
# Started in the work directory, where the folder picker opens.
(cd "$work" && exec "$knobwise") >"$work/knobwise.log" 2>&1 &
app=$!
pids+=($app)
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Knobwise$' | head -n1) ||
    fail "no Knobwise window; its output: $(cat "$work/knobwise.log")"
focus "$window"

type_first_tip "$window" 'Typed by a person'
xdotool key --clearmodifiers alt+a

has_tip() {
    "$knobreg" query "$key" /v InfoTip | grep -q 'InfoTip    REG_SZ    Typed by a person$'
}
eventually has_tip || fail "the tip was not applied: $("$knobreg" query "$key" /v InfoTip)"

# Page "System Folders" (the fourth tab, 74 pixels wide each), then Tab from
# the tab row to Apply and on to the first "Create as file": Return presses
# it. The folder picker opens off the taskbar with the focus on OK, so
# Return makes the Control Panel folder where the program started.
xdotool mousemove --window "$window" 259 10 click 1
xdotool key --clearmodifiers Tab Tab Return
dialog=$(timeout 20 xdotool search --sync --onlyvisible --name '^Dialog Caption$' | head -n1) ||
    fail "Return on \"Create as file\" opened no folder picker"
xprop -id "$dialog" _NET_WM_STATE | grep -q '_NET_WM_STATE_SKIP_TASKBAR' ||
    fail "the folder picker has a taskbar entry: $(xprop -id "$dialog" _NET_WM_STATE)"
eventually test "$(xdotool getactivewindow)" = "$dialog" || fail "the folder picker did not take the focus"
xdotool key --clearmodifiers Return
eventually test -d "$work/Control Panel.{21EC2020-3AEA-1069-A2DD-08002B30309D}" ||
    fail "Return in the folder picker made no folder: $(ls "$work")"

# Cancel ends the program and keeps what Apply wrote.
eventually test "$(xdotool getactivewindow)" = "$window" || fail "the window did not take the focus back"
xdotool key --clearmodifiers alt+c
eventually bash -c "! kill -0 $app" || fail "Cancel did not end the program"
has_tip || fail "the applied tip is gone after Cancel"
echo "PASS"
