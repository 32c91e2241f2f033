#!/usr/bin/env bash
# End to end: every setting the program writes lands under its own key and
# value name. On a new machine the real knobwise, under Xvfb and openbox, is
# used as a person would: a text typed into each info-tip box, every box
# ticked, a background chosen, Hearts, Apply. knobreg then exports the keys of
# settings_e2e.reg, which must read exactly as that file, written by hand.
#
# The values the seed already holds and the program writes are removed
# first, so that each one in the export is there because the program wrote
# it, under the name as the program spells it.
#
#   settings_e2e.sh KNOBWISE KNOBREG GOLDEN_REG
#
# KEEP=1 keeps the scratch directory (machine, exports, logs).
set -euo pipefail

knobwise=$1
knobreg=$2
golden=$3
. "$(dirname "${BASH_SOURCE[0]}")/support/e2e_lib.sh"

export XDG_DATA_HOME=$work/data HOME=$work
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

# knobreg makes the machine.
while read -r key name; do
    "$knobreg" delete "$key" /v "$name" /f >/dev/null || fail "cannot delete $key $name"
done <<'KEYS'
HKCR\CLSID\{20D04FE0-3AEA-1069-A2D8-08002B30309D} InfoTip
HKLM\Software\Classes\CLSID\{208D2C60-3AEA-1069-A2D7-08002B30309D} InfoTip
HKCR\CLSID\{85BBD920-42A0-1069-A2E4-08002B30309D} InfoTip
HKCR\CLSID\{3DC7A020-0ACD-11CF-A9BB-00AA004AE837} InfoTip
HKCR\CLSID\{450D8FBA-AD25-11D0-98A8-0800361B1103} InfoTip
HKCR\CLSID\{645FF040-5081-101B-9F08-00AA002F954E} InfoTip
HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Advanced ShowInfoTip
HKCR\lnkfile IsShortcut
HKCR\piffile IsShortcut
KEYS
# A bitmap of one blue pixel on drive C.
{
    printf 'BM\x3a\0\0\0\0\0\0\0\x36\0\0\0'       # file header: 58 bytes, pixels at 54
    printf '\x28\0\0\0\1\0\0\0\1\0\0\0\1\0\x18\0' # bitmap header: 1 x 1, 24 bits,
    head -c 24 /dev/zero                         # uncompressed, the rest left out
    printf '\xff\0\0\0'                          # blue, green, red, padding
} >"$XDG_DATA_HOME/knobwise/drive_c/WINDOWS/Clouds.bmp"

# Whether a pop-up (a window the window manager does not manage, larger than
# its own 1 x 1 one) shows.
completion_shown() {
    local w info
    for w in $(xwininfo -root -children | awk '/^ +0x/ {print $1}'); do
        info=$(xwininfo -id "$w" 2>/dev/null) || continue
        case $info in *IsViewable*"Override Redirect State: yes"*) ;; *) continue ;; esac
        case $info in *"Width: 1"$'\n'*"Height: 1"$'\n'*) continue ;; esac
        return 0
    done
    return 1
}
export -f completion_shown

start_desktop
# Started in C:\WINDOWS, where the file dialog opens.
(cd "$XDG_DATA_HOME/knobwise/drive_c/WINDOWS" && exec "$knobwise") >"$work/knobwise.log" 2>&1 &
pids+=($!)
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Knobwise$' | head -n1) ||
    fail "no Knobwise window; its output: $(cat "$work/knobwise.log")"
focus "$window"

# Positions in pixels of the client area (15 twips each). "Info Tips": the
# six boxes 48 pixels apart, and "Show Info Tips" below them.
for n in 1 2 3 4 5 6; do
    xdotool mousemove --window "$window" 120 $((46 + 48 * (n - 1))) click 1 type "Tip $n"
done
xdotool mousemove --window "$window" 23 336 click 1
# "Internet Explorer" (the tabs are 74 pixels wide): Browse, and in the file
# dialog the bitmap's name.
xdotool mousemove --window "$window" 111 10 click 1 key --clearmodifiers alt+b
dialog=$(timeout 20 xdotool search --sync --onlyvisible --name '^Open$' | head -n1) ||
    fail "no file dialog"
xdotool windowactivate --sync "$dialog"
xdotool type Clouds.bmp
# The name's completion list pops up once the dialog has read the folder,
# and holds the pointer while it shows: Return waits for it, and the next
# click for it to be gone, or that click only closes it.
eventually completion_shown || fail "the file dialog offered no completion"
xdotool key Return
eventually bash -c "! xdotool search --onlyvisible --name '^Open$'" || fail "the file dialog stayed open"
eventually bash -c "! completion_shown" || fail "the completion list stayed open"
xdotool windowactivate --sync "$window"
# "Misc": the three boxes by their access keys, Hearts by its place, Apply.
xdotool mousemove --window "$window" 333 10 click 1 key --clearmodifiers alt+u alt+f alt+d
xdotool mousemove --window "$window" 96 228 click 1 key --clearmodifiers alt+a

# The keys of the golden file as knobreg exports them, under one header.
written_as_golden() {
    {
        printf 'REGEDIT4\n\n'
        sed -n 's/^\[\(.*\)\]$/\1/p' "$golden" | while read -r key; do
            "$knobreg" export "$key" "$work/key.reg" /a /y >/dev/null || echo "(no key $key)"
            tail -n +3 "$work/key.reg" | tr -d '\r'
        done
    } >"$work/written.reg"
    grep -v '^;' "$golden" | cmp -s - "$work/written.reg"
}
eventually written_as_golden ||
    fail "the settings written are not those of $(basename "$golden"):
$(grep -v '^;' "$golden" | diff - "$work/written.reg")"
echo "PASS"
