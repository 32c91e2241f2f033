#!/usr/bin/env bash
# End to end: the menu entry's "Tweak a Wine prefix" (knobwise --wine-prefix)
# on a home with three Steam games and no ~/.wine, under Xvfb and openbox
# with the accessibility bus. The chooser's rows and buttons are read by name
# through AT-SPI; the keyboard picks a game by the first letters of its name;
# the main window's title names it, and Apply changes its prefix's user.reg.
# Then a folder that is no prefix: a message box, and exit code 1 once it is
# dismissed. Last, the menu's command where the desktop's environment holds
# a relative WINEPREFIX, standard error not a terminal: the reason in a box,
# read through AT-SPI, and exit code 2.
#
#   chooser_e2e.sh KNOBWISE KNOBREG     (KEEP=1 keeps the scratch directory)
set -euo pipefail

knobwise=$1
knobreg=$2
. "$(dirname "${BASH_SOURCE[0]}")/support/e2e_lib.sh"

export XDG_DATA_HOME=$work/data HOME=$work XDG_RUNTIME_DIR=$work
unset QT_QPA_PLATFORM WAYLAND_DISPLAY WINEPREFIX

# The Steam games' prefixes, as Proton leaves them before Wine has run.
steamapps=$work/.local/share/Steam/steamapps
for game in "570 Dota 2" "620 Portal 2" "374040 Portal Knights"; do
    id=${game%% *}
    mkdir -p "$steamapps/compatdata/$id/pfx"
    printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n' \
        >"$steamapps/compatdata/$id/pfx/system.reg"
    printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win32\n\n[Software\\\\Wine] 1700000000\n"Version"="win10"\n' \
        >"$steamapps/compatdata/$id/pfx/user.reg"
    printf '"AppState"\n{\n\t"appid"\t\t"%s"\n\t"name"\t\t"%s"\n}\n' "$id" "${game#* }" \
        >"$steamapps/appmanifest_$id.acf"
done
prefix=$steamapps/compatdata/374040/pfx
cp "$steamapps/compatdata/620/pfx/user.reg" "$work/other.before"

start_desktop
start_accessibility_bus

QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$knobwise" --wine-prefix >"$work/knobwise.log" 2>&1 &
app=$!
pids+=($app)

/usr/bin/python3 - <<'EOF' || fail "the chooser read through AT-SPI; output: $(cat "$work/knobwise.log")"
import sys
from e2e_atspi import *

win = wait_for(lambda: window("Knobwise"), "no chooser on the bus")
problems = unnamed(win)
buttons = sorted(n.name for n in nodes(win) if n.getRole() == R.ROLE_PUSH_BUTTON)
if buttons != ["Cancel", "OK", "Other folder..."]:
    problems.append(f"buttons {buttons}")
lists = [n for n in nodes(win) if n.getRole() in (R.ROLE_TABLE, R.ROLE_TREE_TABLE, R.ROLE_TREE)]
if [n.name for n in lists] != ["Wine prefixes"]:
    problems.append(f"lists {[n.name for n in lists]}")
names = {n.name for n in nodes(lists[0])} if lists else set()
for shown in ("Dota 2", "Portal 2", "Portal Knights", "Steam", "Not running"):
    if shown not in names:
        problems.append(f"no cell {shown!r} among {sorted(names)}")
if problems:
    sys.exit("FAIL:\n  " + "\n  ".join(problems))
EOF

# The keyboard: the first letters of a name, then Return.
chooser=$(new_window) || fail "no chooser; output: $(cat "$work/knobwise.log")"
xdotool windowactivate --sync "$chooser"
eventually test "$(xdotool getactivewindow)" = "$chooser" || fail "the chooser did not take the focus"
xdotool type --delay 20 'portal k'
xdotool key --clearmodifiers Return

# A fresh prefix lacks most of the settings' keys: Yes makes them.
question=$(new_window "$chooser") || fail "no question about the missing keys; output: $(cat "$work/knobwise.log")"
xdotool windowactivate --sync "$question"
xdotool key --clearmodifiers Return
window=$(prefix_window 'Portal Knights') ||
    fail "no main window titled for the game: $(xdotool search --onlyvisible --name Knobwise getwindowname %@)"
grep -q "using the Wine prefix $prefix" "$work/knobwise.log" || fail "the prefix was not named on stderr"
cp "$prefix/user.reg" "$work/user.before"
focus "$window"
# "Show Info Tips" is the user's: Apply writes it to user.reg.
type_first_tip "$window" 'Picked by name'
xdotool key --clearmodifiers alt+a
eventually bash -c "! cmp -s '$prefix/user.reg' '$work/user.before'" || fail "Apply left user.reg as it was"
xdotool key --clearmodifiers alt+c
eventually bash -c "! kill -0 $app" || fail "Cancel did not end the program"
wait $app || fail "the program ended with status $?: $(cat "$work/knobwise.log")"
"$knobreg" --wine-prefix "$prefix" query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Advanced' /v ShowInfoTip |
    grep -q 'ShowInfoTip    REG_DWORD' || fail "user.reg holds no ShowInfoTip: $(cat "$prefix/user.reg")"
"$knobreg" --wine-prefix "$prefix" query 'HKCR\CLSID\{20D04FE0-3AEA-1069-A2D8-08002B30309D}' /v InfoTip |
    grep -q 'InfoTip    REG_SZ    Picked by name' || fail "the tip typed is not in the prefix"
cmp -s "$steamapps/compatdata/620/pfx/user.reg" "$work/other.before" || fail "another game's prefix was changed"

# A folder that is no prefix: said in a box titled Knobwise; exit code 1
# once it is dismissed.
mkdir "$work/plain"
"$knobwise" --wine-prefix "$work/plain" >"$work/plain.log" 2>&1 &
app=$!
pids+=($app)
box=$(new_window) || fail "no message box; output: $(cat "$work/plain.log")"
grep -q "$work/plain is not a Wine prefix" "$work/plain.log" || fail "stderr said: $(cat "$work/plain.log")"
xdotool windowactivate --sync "$box"
xdotool key --clearmodifiers Return
eventually bash -c "! kill -0 $app" || fail "the program stayed after the box"
status=0
wait $app || status=$?
[ "$status" = 1 ] || fail "the program ended with status $status"

# The menu's command with a relative WINEPREFIX: Wine refuses it, and so
# does Knobwise, in a box too since no one reads its standard error.
WINEPREFIX=games/wine QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$knobwise" --wine-prefix \
    </dev/null >"$work/relative.log" 2>&1 &
app=$!
pids+=($app)
box=$(new_window) || fail "no message box; output: $(cat "$work/relative.log")"
grep -q 'WINEPREFIX is set to games/wine, which is not an absolute path' "$work/relative.log" ||
    fail "stderr said: $(cat "$work/relative.log")"
/usr/bin/python3 - <<'EOF2' || fail "the box read through AT-SPI; output: $(cat "$work/relative.log")"
import sys
from e2e_atspi import *

texts = wait_for(lambda: [t for t in labels() if "WINEPREFIX" in t], "no box on the bus")
text = next(t for t in texts if "WINEPREFIX" in t)
for words in ("Knobwise cannot start", "games/wine", "not an absolute path", "full path"):
    if words not in text:
        sys.exit(f"FAIL: the box says {text!r}, without {words!r}")
EOF2
xdotool windowactivate --sync "$box"
xdotool key --clearmodifiers Return
eventually bash -c "! kill -0 $app" || fail "the program stayed after the box"
status=0
wait $app || status=$?
[ "$status" = 2 ] || fail "the program ended with status $status"
echo "PASS"
