#!/usr/bin/env bash
# End to end with the real Wine: a fresh prefix made by wineboot; values
# written by knobreg --wine-prefix and by the real program's Apply (under
# Xvfb, answering Yes to the keys the prefix lacks) read back by Wine's own
# reg and by a Windows program of ours (regdump.exe, when MinGW built it);
# values written by Wine's reg read back by knobreg; the same .reg files
# imported by both; then, with a Wine program running in the prefix, the
# program reads and writes through that Wine; and with the server's lock held
# by another program, it says so and nothing is written.
#
#   wine_e2e.sh KNOBWISE KNOBREG [REGDUMP_EXE]
#
# Exits 77 (skipped) when Wine is not installed. KEEP=1 keeps the scratch
# directory.
set -euo pipefail

knobwise=$1
knobreg=$2
regdump=${3:-}
. "$(dirname "${BASH_SOURCE[0]}")/support/e2e_lib.sh"

if ! command -v wine >/dev/null || ! command -v wineboot >/dev/null; then
    echo "SKIP: Wine is not installed"
    exit 77
fi

export HOME=$work/home XDG_DATA_HOME=$work/data
mkdir -p "$HOME"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset QT_QPA_PLATFORM WAYLAND_DISPLAY DISPLAY
trap 'wineserver -k >/dev/null 2>&1 || true; cleanup' EXIT

# Wine's own reg, with the server gone afterwards so that the files hold
# everything. Wine's messages go to wine.log in the work directory.
wreg() {
    env -u DISPLAY wine reg "$@" 2>>"$work/wine.log" | tr -d '\r'
    wineserver -w
}
# On a loaded machine Wine has been seen to show a value only when asked a
# second time: a value it does not show is asked for up to three times.
# What it does show is final.
first_shown() {
    local out
    for _ in 1 2 3; do
        out=$("$@") || true
        if [ -n "$out" ]; then
            printf '%s\n' "$out"
            return
        fi
        echo "(nothing shown; asked again: $*)" >>"$work/wine.log"
    done
}
# One value as Wine's reg shows it: "NAME    TYPE    DATA".
reg_line() {
    wreg query "$1" /v "$2" | grep -E "^    $2    " | sed 's/^    //'
}
wvalue() {
    first_shown reg_line "$1" "$2"
}
# One value as a Windows program reads it: "TYPE HEXBYTES".
regdump_line() {
    env -u DISPLAY wine "$regdump" "$1" 2>>"$work/wine.log" | tr -d '\r' | sed -n "s/^$2 //p"
    wineserver -w
}
wbytes() {
    first_shown regdump_line "$1" "$2"
}
# Every value of a key as a Windows program reads it: "NAME TYPE HEXBYTES".
regdump_all() {
    env -u DISPLAY wine "$regdump" "$1" 2>>"$work/wine.log" | tr -d '\r'
    wineserver -w
}

env -u DISPLAY wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot failed: $(tail "$work/wineboot.log")"
wineserver -w
test -s "$WINEPREFIX/system.reg" || fail "wineboot made no system.reg"

# knobreg writes, Wine reads.
clsid='HKCR\CLSID\{20D04FE0-3AEA-1069-A2D8-08002B30309D}'
"$knobreg" --wine-prefix "$WINEPREFIX" add "$clsid" /v InfoTip /d 'Caf€ by knobreg' /f >/dev/null
"$knobreg" --wine-prefix="$WINEPREFIX" add 'HKCU\Software\Knobwise Test' /v Count /t REG_DWORD /d 42 /f >/dev/null
read_as=$(wvalue 'HKCU\Software\Knobwise Test' Count)
test "$read_as" = 'Count    REG_DWORD    0x2a' || fail "Wine reads $read_as"
read_as=$(wvalue "$clsid" InfoTip)
grep -q '^InfoTip    REG_SZ    Caf. by knobreg$' <<<"$read_as" || fail "Wine reads $read_as"

# Wine writes, knobreg reads.
wreg add 'HKCU\Software\Knobwise Test' /v FromWine /t REG_SZ /d 'Wine wrote this' /f >/dev/null
"$knobreg" --wine-prefix "$WINEPREFIX" query 'HKCU\Software\Knobwise Test' /v FromWine |
    grep -q 'FromWine    REG_SZ    Wine wrote this$' || fail "knobreg does not read Wine's value"

# The same .reg files imported by Wine's reg and by knobreg: the same
# values, byte for byte (comments, continued hex values, terminators,
# headers and encodings, lines reg.exe skips).
if [ -n "$regdump" ]; then
    imported='HKCU\Software\Knobwise Import'
    key='[HKEY_CURRENT_USER\Software\Knobwise Import]'
    mkdir "$work/imports"
    printf '%s\r\n' REGEDIT4 '' "$key" '"Comment"="Value1"  ;comment' '"Dword"=dword:  00000008 ;c' \
        '"Hex"=hex:63,6f,6e,\;comment' ';whole line' '' '  74,65' '"Path"=hex(2):25,50,41,54,48,25' \
        '"Multi"=hex(7):61,00,62' '"Bad"=dword:12345678abc' '"Slash"=hex:11,2\' '2,33' \
        '"Open"=hex(2):4c,69,6e,65,20,\' '' '@="Default value 4"' '"Escape"="C:\WINDOWS\n"' \
        '#"Hash"="x"' '[HKEY_CURRENT_USERS\Software\Knobwise Import]' '"Lost"="x"' "$key" \
        '"Last"=hex:01,02,\' >"$work/imports/regedit4.reg"
    { printf '\xff\xfe'; printf '%s\r\n' REGEDIT4 "$key" '"Text"="Caf€"' '"Expand"=hex(2):41,00,42,00' \
        '"Sz"=hex(1):43,00' '"Name"hex:01' '"Type"=hex(0x2):41' | iconv -f UTF-8 -t UTF-16LE; } \
        >"$work/imports/utf16.reg"
    printf '%s\r\n' '  Windows Registry Editor Version 5.00' "$key" $'"Caf\xe9"=hex(2):41,00,42,00' \
        '"Bytes"=hex:1ff' '"Empty"=hex(7):' >"$work/imports/ansi5.reg"
    for file in "$work"/imports/*.reg; do
        wreg delete "$imported" /f >/dev/null || true
        wreg import "$file" >/dev/null || fail "Wine's reg does not import $file"
        by_wine=$(first_shown regdump_all "$imported" | sort)
        wreg delete "$imported" /f >/dev/null
        "$knobreg" --wine-prefix "$WINEPREFIX" import "$file" >/dev/null 2>>"$work/imports.log" ||
            fail "knobreg does not import $file: $(cat "$work/imports.log")"
        by_knobreg=$(first_shown regdump_all "$imported" | sort)
        test -n "$by_wine" && test "$by_wine" = "$by_knobreg" ||
            fail "$file: Wine imports [$by_wine], knobreg [$by_knobreg]"
    done
    grep -q 'regedit4.reg:12: skipped: "dword:12345678abc" is not a number' "$work/imports.log" ||
        fail "no warning for the skipped line: $(cat "$work/imports.log")"
fi

# The real program, No to the missing keys: a Briefcase tip typed for the
# key the prefix lacks is named as not saved, and why, in the box Apply
# shows (read through AT-SPI), and nothing is made.
start_desktop
start_accessibility_bus
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$knobwise" --wine-prefix "$WINEPREFIX" >"$work/knobwise-no.log" 2>&1 &
app=$!
pids+=($app)
question=$(new_window) || fail "no question about the missing keys; output: $(cat "$work/knobwise-no.log")"
focus "$question"
xdotool key --clearmodifiers Escape
window=$(prefix_window prefix) || fail "no main window; output: $(cat "$work/knobwise-no.log")"
focus "$window"
# The third tip's box, 720 twips (48 pixels) a row below the first.
xdotool mousemove --window "$window" 120 142 click 1
xdotool type --delay 20 'Briefcase tip'
xdotool key --clearmodifiers alt+a
told=$(new_window "$window") || fail "Apply did not tell what was not saved"
/usr/bin/python3 - <<'EOF' || fail "the box read through AT-SPI; output: $(cat "$work/knobwise-no.log")"
import sys
from e2e_atspi import *

said = wait_for(lambda: [t for t in labels() if "were not saved" in t],
                "no box naming what was not saved")
for want in ("\n\nBriefcase info tip\n\n", "does not exist in this Windows",
             "answer Yes to create it"):
    if want not in said[0]:
        sys.exit(f"FAIL: the box says {said[0]!r}")
EOF
focus "$told"
xdotool key --clearmodifiers Return
focus "$window"
xdotool key --clearmodifiers alt+c
eventually bash -c "! kill -0 $app" || fail "Cancel did not end the program"
briefcase='HKCR\CLSID\{85BBD920-42A0-1069-A2E4-08002B30309D}'
if "$knobreg" --wine-prefix "$WINEPREFIX" query "$briefcase" >/dev/null 2>&1; then
    fail "the Briefcase key was made after No"
fi

# The real program: Yes to the missing keys, a changed info tip, Hearts, Apply.
"$knobwise" --wine-prefix "$WINEPREFIX" >"$work/knobwise.log" 2>&1 &
app=$!
pids+=($app)
question=$(new_window) || fail "no question about the missing keys; output: $(cat "$work/knobwise.log")"
grep -q "using the Wine prefix $WINEPREFIX" "$work/knobwise.log" || fail "the prefix was not named on stderr"
xdotool windowactivate --sync "$question"
xdotool key --clearmodifiers Return
window=$(prefix_window prefix) || fail "no main window; output: $(cat "$work/knobwise.log")"
focus "$window"
type_first_tip "$window" 'Typed in Wine'
# Misc, the fifth tab, and its Hearts button.
xdotool mousemove --window "$window" 335 10 click 1
xdotool mousemove --window "$window" 96 228 click 1
xdotool key --clearmodifiers alt+a
sleep 1
xdotool key --clearmodifiers alt+c
eventually bash -c "! kill -0 $app" || fail "Cancel did not end the program"

advanced='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Advanced'
read_as=$(wvalue "$clsid" InfoTip)
test "$read_as" = 'InfoTip    REG_SZ    Typed in Wine' || fail "Wine reads the tip as: $read_as"
read_as=$(wvalue 'HKCU\Software\Microsoft\Windows\CurrentVersion\Applets\Hearts' ZB)
test "$read_as" = 'ZB    REG_SZ    86' || fail "Wine reads Hearts as: $read_as"
read_as=$(wvalue "$advanced" ShowInfoTip)
test "$read_as" = 'ShowInfoTip    REG_DWORD    0x0' || fail "Wine reads ShowInfoTip as: $read_as"
if [ -n "$regdump" ]; then
    # Text as Wine stores what the A functions are given: UTF-16 with its
    # terminating NUL.
    read_as=$(wbytes "$clsid" InfoTip)
    test "$read_as" = '1 54,00,79,00,70,00,65,00,64,00,20,00,69,00,6e,00,20,00,57,00,69,00,6e,00,65,00,00,00' ||
        fail "a Windows program reads the tip as: $read_as"
fi
# Wine's regedit exports what the program wrote whole, and imports it back.
hearts='HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Applets\Hearts'
env -u DISPLAY wine regedit /E "$work/hearts.reg" "$hearts" </dev/null >>"$work/wine.log" 2>&1
wineserver -w
iconv -f UTF-16 -t UTF-8 "$work/hearts.reg" | tr -d '\r' | grep -qx '"ZB"="86"' ||
    fail "regedit exports Hearts as: $(iconv -f UTF-16 -t UTF-8 "$work/hearts.reg")"
wreg delete "$hearts" /v ZB /f >/dev/null
env -u DISPLAY wine regedit /S "$work/hearts.reg" </dev/null >>"$work/wine.log" 2>&1
wineserver -w
read_as=$(wvalue "$hearts" ZB)
test "$read_as" = 'ZB    REG_SZ    86' || fail "Hearts imported back by regedit reads as: $read_as"

# With a Wine program of ours running in the prefix (regdump --wait): the
# program reads and writes through that Wine. Values set there just before
# (not yet in the files) are shown, as Apply writes back what it shows; the
# changes are seen at once by a program in that Wine, and are in the files
# once the server has ended.
if [ -n "$regdump" ]; then
    wine "$regdump" --wait </dev/null >>"$work/wine.log" 2>&1 &
    pids+=($!)
    server_dir=/tmp/$(cat "$WINEPREFIX/wineserver")/$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))
    eventually test -S "$server_dir/socket" || fail "the Wine server did not start"
    live() { env -u DISPLAY wine "$@" </dev/null 2>>"$work/wine.log" | tr -d '\r'; }
    live_bytes() { live "$regdump" "$1" | sed -n "s/^$2 //p"; }
    other='HKCR\CLSID\{645FF040-5081-101B-9F08-00AA002F954E}'
    live reg add "$other" /v InfoTip /d 'Set live' /f >/dev/null
    live reg add "$advanced" /v ShowInfoTip /t REG_DWORD /d 1 /f >/dev/null
    # A key of the settings gone from the running Wine: the question is
    # asked, and Yes makes the key there.
    live reg delete "$hearts" /f >/dev/null
    "$knobwise" --wine-prefix "$WINEPREFIX" >"$work/knobwise-live.log" 2>&1 &
    app=$!
    pids+=($app)
    question=$(new_window) || fail "no question about the missing key; output: $(cat "$work/knobwise-live.log")"
    xdotool windowactivate --sync "$question"
    xdotool key --clearmodifiers Return
    window=$(prefix_window prefix) || fail "no main window; output: $(cat "$work/knobwise-live.log")"
    focus "$window"
    type_first_tip "$window" 'Typed live'
    xdotool mousemove --window "$window" 23 336 click 1
    xdotool mousemove --window "$window" 335 10 click 1
    xdotool mousemove --window "$window" 96 228 click 1
    xdotool key --clearmodifiers alt+a
    sleep 1
    xdotool key --clearmodifiers alt+c
    eventually bash -c "! kill -0 $app" || fail "Cancel did not end the program: $(cat "$work/knobwise-live.log")"
    typed='1 54,00,79,00,70,00,65,00,64,00,20,00,6c,00,69,00,76,00,65,00,00,00'
    read_as=$(live_bytes "$clsid" InfoTip)
    test "$read_as" = "$typed" || fail "Wine reads the tip as: $read_as; $(cat "$work/knobwise-live.log")"
    read_as=$(live_bytes "$other" InfoTip)
    test "$read_as" = '1 53,00,65,00,74,00,20,00,6c,00,69,00,76,00,65,00,00,00' ||
        fail "the value set in Wine was not shown; Apply wrote: $read_as"
    read_as=$(live_bytes 'HKCU\Software\Microsoft\Windows\CurrentVersion\Applets\Hearts' ZB)
    test "$read_as" = '1 38,00,36,00,00,00' || fail "Wine reads Hearts as: $read_as"
    read_as=$(live_bytes "$advanced" ShowInfoTip)
    test "$read_as" = '4 00,00,00,00' || fail "Wine reads ShowInfoTip as: $read_as"
    # That Apply, the newest change, taken back through the running Wine
    # (what it replaced was read through it), then made again by taking
    # back the undo.
    "$knobreg" --wine-prefix "$WINEPREFIX" history | head -n1 | grep -q '^1    .*    Apply$' ||
        fail "the Apply is not the newest change: $("$knobreg" --wine-prefix "$WINEPREFIX" history)"
    "$knobreg" --wine-prefix "$WINEPREFIX" undo >"$work/undo.log" 2>&1 || fail "undo: $(cat "$work/undo.log")"
    read_as=$(live_bytes "$clsid" InfoTip)
    test "$read_as" = '1 54,00,79,00,70,00,65,00,64,00,20,00,69,00,6e,00,20,00,57,00,69,00,6e,00,65,00,00,00' ||
        fail "after the undo Wine reads the tip as: $read_as"
    "$knobreg" --wine-prefix "$WINEPREFIX" undo >"$work/undo.log" 2>&1 || fail "redo: $(cat "$work/undo.log")"
    read_as=$(live_bytes "$clsid" InfoTip)
    test "$read_as" = "$typed" || fail "after undoing the undo Wine reads the tip as: $read_as"
    "$knobreg" --wine-prefix "$WINEPREFIX" add "$other" /v InfoTip /d 'By knobreg' /f >/dev/null ||
        fail "knobreg could not write through the running Wine"
    read_as=$(live_bytes "$other" InfoTip)
    test "$read_as" = '1 42,00,79,00,20,00,6b,00,6e,00,6f,00,62,00,72,00,65,00,67,00,00,00' ||
        fail "Wine reads knobreg's tip as: $read_as"
    # knobreg reads its own write at once, through that Wine, long before
    # the server saves the files.
    "$knobreg" --wine-prefix "$WINEPREFIX" query "$other" /v InfoTip | grep -q 'InfoTip    REG_SZ    By knobreg$' ||
        fail "knobreg query does not show its own write: $("$knobreg" --wine-prefix "$WINEPREFIX" query "$other" 2>&1)"
    "$knobreg" --wine-prefix "$WINEPREFIX" export "$other" "$work/live.reg" /y >/dev/null
    iconv -f UTF-16 -t UTF-8 "$work/live.reg" | tr -d '\r' | grep -qx '"InfoTip"="By knobreg"' ||
        fail "knobreg export does not hold its own write: $(iconv -f UTF-16 -t UTF-8 "$work/live.reg")"
    wineserver -k
    wineserver -w
    query() { "$knobreg" --wine-prefix "$WINEPREFIX" query "$1" /v "$2" | tr -d '\r' | grep -E "^    $2    "; }
    test "$(query "$clsid" InfoTip)" = '    InfoTip    REG_SZ    Typed live' ||
        fail "the files hold the tip as: $(query "$clsid" InfoTip)"
    test "$(query "$hearts" ZB)" = '    ZB    REG_SZ    86' || fail "the files hold Hearts as: $(query "$hearts" ZB)"
fi

# With the server's lock held by a program that is not a Wine server: told
# at start, nothing written by Apply or by knobreg.
server_dir=/tmp/$(cat "$WINEPREFIX/wineserver")/$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))
mkdir -p "$server_dir"
touch "$server_dir/lock"
python3 -c 'import fcntl, sys, time
f = open(sys.argv[1], "r+"); fcntl.lockf(f, fcntl.LOCK_EX); print("held", flush=True); time.sleep(600)' \
    "$server_dir/lock" >"$work/holder.log" 2>&1 &
pids+=($!)
eventually grep -q held "$work/holder.log" || fail "the lock holder did not start"
cp "$WINEPREFIX/system.reg" "$work/system.before"
cp "$WINEPREFIX/user.reg" "$work/user.before"
if "$knobreg" --wine-prefix "$WINEPREFIX" add "$clsid" /v InfoTip /d 'Refused' /f >"$work/knobreg.log" 2>&1; then
    fail "knobreg wrote while Wine ran"
fi
grep -q "Wine is running in $WINEPREFIX, but the lock of its server is held by .*python.*, which is not a Wine server" \
    "$work/knobreg.log" || fail "knobreg said: $(cat "$work/knobreg.log")"

"$knobwise" --wine-prefix "$WINEPREFIX" >"$work/knobwise2.log" 2>&1 &
app=$!
pids+=($app)
notice=$(new_window) || fail "no notice that Wine runs"
grep -q "Wine is running in $WINEPREFIX" "$work/knobwise2.log" || fail "not told that Wine runs: $(cat "$work/knobwise2.log")"
xdotool windowactivate --sync "$notice"
xdotool key --clearmodifiers Return
window=$(prefix_window prefix) || fail "no main window"
focus "$window"
xdotool mousemove --window "$window" 120 46 click 1
xdotool type --delay 20 ' refused'
xdotool key --clearmodifiers alt+a
told=$(new_window "$window") || fail "Apply did not tell what was not saved"
kill -0 $app || fail "the program ended"
cmp -s "$WINEPREFIX/system.reg" "$work/system.before" || fail "system.reg changed while Wine ran"
cmp -s "$WINEPREFIX/user.reg" "$work/user.before" || fail "user.reg changed while Wine ran"
kill $app
kill "${pids[-2]}"

# A server (of a Proton-like build: files/bin/wineserver) whose wine beside
# it hangs: the change is given up after a few seconds, said, and nothing
# is written.
mkdir -p "$work/proton/files/bin"
cp "$(readlink -f /usr/bin/python3)" "$work/proton/files/bin/wineserver"
printf '#!/bin/sh\nsleep 60\n' >"$work/proton/files/bin/wine"
chmod +x "$work/proton/files/bin/wine"
PYTHONHOME=/usr "$work/proton/files/bin/wineserver" -c 'import fcntl, sys, time
f = open(sys.argv[1], "r+"); fcntl.lockf(f, fcntl.LOCK_EX); print("held", flush=True); time.sleep(600)' \
    "$server_dir/lock" >"$work/hung.log" 2>&1 &
pids+=($!)
eventually grep -q held "$work/hung.log" || fail "the hung server did not start"
if "$knobreg" --wine-prefix "$WINEPREFIX" add "$clsid" /v InfoTip /d 'Hung' /f >"$work/knobreg.log" 2>&1; then
    fail "knobreg said a hung Wine wrote"
fi
grep -q "Wine did not finish reading the registry within 5 seconds" "$work/knobreg.log" ||
    fail "knobreg said: $(cat "$work/knobreg.log")"
cmp -s "$WINEPREFIX/system.reg" "$work/system.before" || fail "system.reg changed beside a hung Wine"
echo "PASS"
