#!/usr/bin/env bash
# End to end on a real full disk: a machine on a small tmpfs, filled up to
# the last block. knobreg still reads it and names the cause when it cannot
# write; the real knobwise, under Xvfb, says so in a message box at start,
# shows the stored info tips, reports what Apply could not save and, once
# space is freed, saves everything on the next Apply. Then the same disk
# mounted read-only. Needs root to mount the tmpfs; elsewhere it is skipped
# (exit code 77).
#
#   full_disk_e2e.sh KNOBWISE KNOBREG
#
# KEEP=1 keeps the scratch directory (logs) for a look afterwards; the
# tmpfs itself is always unmounted.
set -euo pipefail

knobwise=$1
knobreg=$2
. "$(dirname "${BASH_SOURCE[0]}")/support/e2e_lib.sh"

disk=$work/disk
mkdir "$disk"
finish() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    if mountpoint -q "$disk"; then umount "$disk" || umount -l "$disk"; fi
    cleanup
}
trap finish EXIT
if ! mount -t tmpfs -o size=2m,mode=0755 tmpfs "$disk" 2>"$work/mount.log"; then
    echo "SKIP: cannot mount a tmpfs here ($(cat "$work/mount.log")); this test needs root"
    exit 77
fi

export XDG_DATA_HOME=$disk/data
export HOME=$work
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
hive=$XDG_DATA_HOME/knobwise/registry.db

tips=(
    'HKCR\CLSID\{20D04FE0-3AEA-1069-A2D8-08002B30309D}'
    'HKLM\Software\CLASSES\CLSID\{208D2C60-3AEA-1069-A2D7-08002B30309D}'
    'HKCR\CLSID\{85BBD920-42A0-1069-A2E4-08002B30309D}'
    'HKCR\CLSID\{3DC7A020-0ACD-11CF-A9BB-00AA004AE837}'
    'HKCR\CLSID\{450D8FBA-AD25-11D0-98A8-0800361B1103}'
    'HKCR\CLSID\{645FF040-5081-101B-9F08-00AA002F954E}'
)
tip_is() { # ROW TEXT
    "$knobreg" query "${tips[$1]}" /v InfoTip | grep -q "InfoTip    REG_SZ    $2\$"
}

# The machine (made by knobreg's first use), with tips of its own, then a
# disk with no block left.
for i in "${!tips[@]}"; do
    "$knobreg" add "${tips[$i]}" /v InfoTip /d "Stored tip $i" /f >/dev/null || fail "knobreg add"
done
dd if=/dev/zero of="$disk/filler" bs=4k >/dev/null 2>&1 || true
[ "$(df --output=avail "$disk" | tail -n1 | tr -d ' ')" = 0 ] || fail "the disk is not full: $(df "$disk")"

# knobreg reads, exports, and names the cause of a refused change.
tip_is 0 'Stored tip 0' || fail "knobreg query on a full disk: $("$knobreg" query "${tips[0]}" 2>&1)"
"$knobreg" export HKCU "$work/hkcu.reg" >/dev/null || fail "knobreg export on a full disk"
if "$knobreg" add "${tips[0]}" /v InfoTip /d 'refused' /f >/dev/null 2>"$work/add.err"; then
    fail "knobreg add succeeded on a full disk"
fi
grep -qx "ERROR: The disk holding $hive is full." "$work/add.err" || fail "knobreg add said: $(cat "$work/add.err")"

start_desktop

# The visible windows titled Knobwise other than the one given.
others() {
    xdotool search --onlyvisible --name '^Knobwise$' 2>/dev/null | grep -vx "${1:-none}"
}
# Waits for a window titled Knobwise other than $1, and prints it.
another() {
    for _ in $(seq 100); do
        others "${1:-}" | head -n1 | grep . && return 0
        sleep 0.1
    done
    return 1
}
press() { # WINDOW KEY
    xdotool windowactivate --sync "$1" key --clearmodifiers "$2"
}

"$knobwise" >"$work/knobwise.log" 2>&1 &
app=$!
pids+=($app)

# At start a message box comes first; the main window opens once it is
# answered.
box=$(another) || fail "no window at start; its output: $(cat "$work/knobwise.log")"
press "$box" Return
window=$(another "$box") || fail "no main window after the start-up message"
others "$window" && fail "more windows than the main one: the start-up message was not a box"

# Apply with a tip typed: refused, reported in a box, nothing changed.
xdotool windowactivate --sync "$window"
type_first_tip "$window" 'Typed on a full disk'
xdotool key --clearmodifiers alt+a
box=$(another "$window") || fail "Apply on a full disk told nothing"
tip_is 0 'Stored tip 0' || fail "a tip changed on a full disk"
press "$box" Return
eventually bash -c "! xdotool search --onlyvisible --name '^Knobwise\$' | grep -vx $window" ||
    fail "the report did not close"

# Space again: the next Apply saves everything, the tips it showed included.
rm "$disk/filler"
press "$window" alt+a
eventually tip_is 0 'Typed on a full disk' || fail "Apply did not save once space was freed"
for i in 1 2 3 4 5; do
    tip_is "$i" "Stored tip $i" || fail "tip $i is not the stored one: the window did not show it"
done
# Nothing to report: Cancel reaches the main window and ends the program.
press "$window" alt+c
eventually bash -c "! kill -0 $app" || fail "a message kept the program from ending"

# The same disk read-only: read, and a change refused naming the cause.
mount -o remount,ro "$disk"
tip_is 0 'Typed on a full disk' || fail "knobreg query on a read-only disk"
if "$knobreg" add "${tips[0]}" /v InfoTip /d 'refused' /f >/dev/null 2>"$work/add.err"; then
    fail "knobreg add succeeded on a read-only disk"
fi
grep -qx "ERROR: The disk holding $hive is read-only." "$work/add.err" ||
    fail "knobreg add said: $(cat "$work/add.err")"
echo "PASS"
