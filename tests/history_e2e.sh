#!/usr/bin/env bash
# End to end: the menu entry's "Undo a change", its command read from the
# built menu entry, under Xvfb and openbox with the accessibility bus. Two
# changes made with knobreg; the History window read through AT-SPI (every
# control named, the newest change first and selected); Alt+U takes it back,
# which knobreg sees; Escape ends the program.
#
#   history_e2e.sh KNOBWISE KNOBREG DESKTOP_FILE     (KEEP=1 keeps the scratch directory)
set -euo pipefail

knobwise=$1
knobreg=$2
desktop=$3
. "$(dirname "${BASH_SOURCE[0]}")/support/e2e_lib.sh"

export XDG_DATA_HOME=$work/data XDG_STATE_HOME=$work/state HOME=$work XDG_RUNTIME_DIR=$work
unset QT_QPA_PLATFORM WAYLAND_DISPLAY WINEPREFIX

key='HKCU\Software\Knobwise Test'
"$knobreg" add "$key" /v Tip /d before /f >/dev/null
"$knobreg" add "$key" /v Tip /d after /f >/dev/null

# The action's command as a launcher runs it, the program found on PATH.
command=$(sed -n '/^\[Desktop Action history\]/,/^\[/s/^Exec=//p' "$desktop")
[ "$command" = "knobwise --history" ] || fail "the menu entry's history action runs '$command'"
mkdir "$work/bin"
ln -s "$(realpath "$knobwise")" "$work/bin/knobwise"

start_desktop
start_accessibility_bus

(cd "$work" && PATH=$work/bin:$PATH QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 exec $command) \
    </dev/null >"$work/knobwise.log" 2>&1 &
app=$!
pids+=($app)

/usr/bin/python3 - <<'PY' || fail "the History window read through AT-SPI; output: $(cat "$work/knobwise.log")"
import sys
from e2e_atspi import *

win = wait_for(lambda: window("Knobwise History"), "no History window on the bus")
problems = unnamed(win)
buttons = sorted(n.name for n in nodes(win) if n.getRole() == R.ROLE_PUSH_BUTTON)
if buttons != ["Close", "Undo"]:
    problems.append(f"buttons {buttons}")
lists = [n for n in nodes(win) if n.getRole() in (R.ROLE_TABLE, R.ROLE_TREE_TABLE, R.ROLE_TREE)]
if [n.name for n in lists] != ["Changes"]:
    sys.exit(f"FAIL: lists {[n.name for n in lists]}")
table = lists[0].queryTable()
rows = [[table.getAccessibleAt(r, c).name for c in range(table.nColumns)] for r in range(table.nRows)]
newest = 'knobreg add "HKCU\\Software\\Knobwise Test" /v Tip /d after /f'
if len(rows) != 2 or rows[0][1:] != [newest, "HKEY_CURRENT_USER\\Software\\Knobwise Test (Tip)"]:
    problems.append(f"rows {rows}")
if not table.isRowSelected(0) or table.isRowSelected(1):
    problems.append("the newest change is not the one selected")
if problems:
    sys.exit("FAIL:\n  " + "\n  ".join(problems))
PY

window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Knobwise History$' | head -n1) ||
    fail "no History window; output: $(cat "$work/knobwise.log")"
focus "$window"
xdotool key --clearmodifiers alt+u
eventually bash -c "'$knobreg' query '$key' /v Tip | grep -q 'Tip    REG_SZ    before\$'" ||
    fail "Alt+U did not take the change back: $("$knobreg" query "$key" /v Tip)"
"$knobreg" history | head -n1 | grep -q 'the History window$' ||
    fail "the undo is not the newest change: $("$knobreg" history)"
xdotool key --clearmodifiers Escape
eventually bash -c "! kill -0 $app" || fail "Escape did not end the program"
wait $app || fail "the program ended with status $?: $(cat "$work/knobwise.log")"
echo "PASS"
