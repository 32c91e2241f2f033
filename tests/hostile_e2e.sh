#!/usr/bin/env bash
# End to end on a hostile machine: the real knobwise, offscreen, started on a
# machine whose info tips are a megabyte each, whose other settings all have
# the wrong type, and whose Startup folder holds 10,000 files, some with names
# that are not UTF-8. It must reach its first frame (the benchmark hook
# KNOBWISE_EXIT_AFTER_FIRST_FRAME=1 tells when, then ends it) and leave the
# registry exactly as it was.
#
# Then a hostile home: other programs' files that are FIFOs, links to
# /dev/zero, gigantic or nested without end, names with terminal escapes, a
# running Lutris's WAL database, and (run as root) Wine server folders made
# by another account, one with a FIFO for its lock, one with its lock held;
# and a .reg file of junk. Each command ends (a guard of 20 s against
# hanging) within bounded memory, prints no control character, and leaves
# the other programs' files as they were, with nothing new beside them.
#
#   hostile_e2e.sh KNOBWISE KNOBREG
set -euo pipefail

knobwise=$1
knobreg=$2
. "$(dirname "${BASH_SOURCE[0]}")/support/e2e_lib.sh"

export XDG_DATA_HOME=$work/data HOME=$work QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY

start() {
    KNOBWISE_EXIT_AFTER_FIRST_FRAME=1 timeout 120 "$knobwise" 2>"$work/knobwise.err"
}

# The first start makes the machine.
start >/dev/null || fail "no first start: $(cat "$work/knobwise.err")"

# A megabyte of text for each info tip, imported as a REGEDIT4 file.
tip=$(head -c 1048576 /dev/zero | tr '\0' 'x')
{
    printf 'REGEDIT4\r\n\r\n'
    for clsid in 20D04FE0-3AEA-1069-A2D8-08002B30309D 85BBD920-42A0-1069-A2E4-08002B30309D \
                 3DC7A020-0ACD-11CF-A9BB-00AA004AE837 450D8FBA-AD25-11D0-98A8-0800361B1103 \
                 645FF040-5081-101B-9F08-00AA002F954E; do
        printf '[HKEY_CLASSES_ROOT\\CLSID\\{%s}]\r\n"InfoTip"="%s"\r\n\r\n' "$clsid" "$tip"
    done
    printf '[HKEY_LOCAL_MACHINE\\Software\\CLASSES\\CLSID\\{208D2C60-3AEA-1069-A2D7-08002B30309D}]\r\n'
    printf '"InfoTip"="%s"\r\n' "$tip"
} >"$work/tips.reg"
"$knobreg" import "$work/tips.reg" >/dev/null || fail "the tips were not imported"

# Every other setting of the wrong type.
add() { "$knobreg" add "$@" /f >/dev/null || fail "knobreg add $*"; }
add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Advanced' /v ShowInfoTip /d 'not a number'
add 'HKCU\Software\Microsoft\Internet Explorer\Toolbar' /v BackBitmap /t REG_BINARY /d 433a5c
add 'HKLM\Software\Microsoft\Windows\CurrentVersion\WinLogon' /v DefaultUserName /t REG_MULTI_SZ /d 'a\0b'
add 'HKLM\Software\Microsoft\Windows\CurrentVersion\WinLogon' /v AutoAdminLogon /t REG_DWORD /d 1

# A crowded Startup folder.
startup="$XDG_DATA_HOME/knobwise/drive_c/WINDOWS/Start Menu/Programs/StartUp"
(cd "$startup" && seq -f 'Program %05g.lnk' 0 9999 | xargs -d '\n' touch)
touch "$startup/$(printf 'Caf\xe9.lnk')" "$startup/$(printf '\xff\xfe.lnk')"

"$knobreg" export HKLM "$work/hklm-before.reg" >/dev/null
"$knobreg" export HKCU "$work/hkcu-before.reg" >/dev/null

start >"$work/frame" || fail "knobwise did not start: $(cat "$work/knobwise.err")"
grep -q '^first-frame-ns [0-9]* widgets [0-9]*$' "$work/frame" || fail "no first frame: $(cat "$work/frame")"

"$knobreg" export HKLM "$work/hklm-after.reg" >/dev/null
"$knobreg" export HKCU "$work/hkcu-after.reg" >/dev/null
cmp -s "$work/hklm-before.reg" "$work/hklm-after.reg" || fail "starting changed HKLM"
cmp -s "$work/hkcu-before.reg" "$work/hkcu-after.reg" || fail "starting changed HKCU"
[ "$(ls "$startup" | wc -l)" -eq 10002 ] || fail "the Startup folder changed"

# Runs a command, its output into $work/out and $work/err, and returns its
# exit status; fails when it runs 20 s (it hangs) or its memory passes
# 300 MB at its peak (tens of MB in fact; the sanitized build needs more).
run() {
    local status=0
    /usr/bin/python3 -c '
import resource, subprocess, sys
out, err = (open(sys.argv[1] + f, "wb") for f in ("/out", "/err"))
try:
    status = subprocess.run(sys.argv[2:], stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                            timeout=20).returncode
except subprocess.TimeoutExpired:
    print("hung", file=sys.stderr)
    sys.exit(99)
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss // 1024
if peak > 300:
    print(f"{peak} MB at its peak", file=sys.stderr)
    sys.exit(99)
sys.exit(status)' "$work" "$@" || status=$?
    [ "$status" != 99 ] || fail "$*: see above; it said: $(head -c 500 "$work/err")"
    return "$status"
}
# Nothing but printable UTF-8, tabs and line ends in the output.
printable() {
    for f in "$work/out" "$work/err"; do
        if tr -d '\t\n' <"$f" | LC_ALL=C grep -aq '[[:cntrl:]]' ||
            LC_ALL=C grep -aq $'\xc2[\x80-\x9f]' "$f"; then
            fail "$1 printed control characters: $(cat -v "$f" | head -c 500)"
        fi
    done
}
prefix() {
    mkdir -p "$1/drive_c/windows/system" "$1/dosdevices"
    ln -s ../drive_c "$1/dosdevices/c:"
    printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n' >"$1/system.reg"
    printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win32\n' >"$1/user.reg"
}
esc=$'\e[2J\e]52;c;aGFja2Vk\a'  # clears the screen, then writes the clipboard

# ~/.wine: its wineserver file a FIFO, its icon files a FIFO and /dev/zero.
prefix "$HOME/.wine"
mkfifo "$HOME/.wine/wineserver" "$HOME/.wine/drive_c/windows/explorer.exe"
ln -s /dev/zero "$HOME/.wine/drive_c/windows/system/shell32.dll"
# Steam: the list of libraries is /dev/zero; a game named with escapes whose
# prefix's wineserver file is /dev/zero; a game whose manifest is a FIFO and
# whose wineserver file names a folder of /tmp (as Debian's Wine writes it).
steamapps=$HOME/.local/share/Steam/steamapps
prefix "$steamapps/compatdata/100/pfx"
ln -s /dev/zero "$steamapps/libraryfolders.vdf"
ln -s /dev/zero "$steamapps/compatdata/100/pfx/wineserver"
printf '"AppState"\n{\n\t"appid"\t"100"\n\t"name"\t"Evil%s Game"\n}\n' "$esc" >"$steamapps/appmanifest_100.acf"
prefix "$steamapps/compatdata/200/pfx"
echo wine-elsewhere >"$steamapps/compatdata/200/pfx/wineserver"
mkfifo "$steamapps/appmanifest_200.acf"
# Lutris runs: its database in WAL mode, held open; a game named with
# escapes; a file of 4 MiB of unclosed [ and one of 200 KiB.
lutris=$HOME/.local/share/lutris
mkdir -p "$lutris/games"
prefix "$HOME/Games/evil"
printf 'game:\n  prefix: %s\n' "$HOME/Games/evil" >"$lutris/games/evil-1700000000.yml"
head -c 4194304 /dev/zero | tr '\0' '[' >"$lutris/games/deep-1700000001.yml"
head -c 204800 /dev/zero | tr '\0' '[' >"$lutris/games/deeper-1700000002.yml"
/usr/bin/python3 -c '
import sqlite3, sys, time
db = sqlite3.connect(sys.argv[1], isolation_level=None)
db.execute("PRAGMA journal_mode = WAL")
db.execute("PRAGMA wal_autocheckpoint = 0")
db.execute("CREATE TABLE games (id INTEGER PRIMARY KEY, name TEXT, configpath TEXT)")
db.execute("INSERT INTO games (name, configpath) VALUES (?, ?)", (sys.argv[2], "evil-1700000000"))
open(sys.argv[1] + ".ready", "w").close()
time.sleep(300)' "$lutris/pga.db" "Lutris$esc" &
pids+=($!)
eventually test -e "$lutris/pga.db.ready" || fail "no Lutris database"
rm "$lutris/pga.db.ready"
# Bottles: a bottle's folder and name with escapes, C1 controls, newlines.
bottle=$HOME/.local/share/bottles/bottles/Bottle$esc
prefix "$bottle"
printf 'Name: "Red\\e[31m\\u009b2J\\nline"\n' >"$bottle/bottle.yml"
# Heroic: a game's settings are a FIFO.
mkdir -p "$HOME/.config/heroic/GamesConfig"
mkfifo "$HOME/.config/heroic/GamesConfig/fifo.json"

# As root: server folders another account made for this user, in a TMPDIR
# of the test's own (Knobwise looks there as well as in /tmp).
if [ "$(id -u)" = 0 ]; then
    other=(setpriv --reuid=4242 --regid=4242 --clear-groups)
    chmod 755 "$work"
    mkdir -m 1777 "$work/tmp"
    export TMPDIR=$work/tmp
    leaf() { printf 'server-%x-%x' "$(stat -c %d "$1")" "$(stat -c %i "$1")"; }
    # Upstream Wine's folder for ~/.wine, with a FIFO for the lock.
    "${other[@]}" mkdir -m 700 "$TMPDIR/.wine-0" "$TMPDIR/.wine-0/$(leaf "$HOME/.wine")"
    "${other[@]}" mkfifo "$TMPDIR/.wine-0/$(leaf "$HOME/.wine")/lock"
    # Debian's for game 200, its lock held.
    held=$TMPDIR/wine-elsewhere/$(leaf "$steamapps/compatdata/200/pfx")
    "${other[@]}" mkdir -m 700 "$TMPDIR/wine-elsewhere" "$held"
    "${other[@]}" /usr/bin/python3 -c '
import fcntl, sys, time
lock = open(sys.argv[1] + "/lock", "w")
fcntl.lockf(lock, fcntl.LOCK_EX)
open(sys.argv[1] + "/held", "w").close()
time.sleep(300)' "$held" &
    pids+=($!)
    eventually test -e "$held/held" || fail "the other account's lock is not held"
fi

# The other programs' files: names, kinds and sizes, and the bytes of each
# regular one (their prefixes apart, which knobreg may change).
others() {
    local dirs=(.local/share/Steam .local/share/lutris .local/share/bottles .config/heroic)
    (cd "$HOME" && find "${dirs[@]}" -path '*/compatdata' -prune -o -printf '%p %y %s\n' | sort &&
        find "${dirs[@]}" -path '*/compatdata' -prune -o -type f -exec sha256sum {} + | sort)
}
others >"$work/others.before"

run "$knobreg" --list-prefixes || fail "--list-prefixes failed: $(cat "$work/err")"
printable "--list-prefixes"
[ "$(wc -l <"$work/out")" = 5 ] || fail "--list-prefixes listed: $(cat -v "$work/out")"
grep -q $'\tSteam\tEvil\\\\x1b\\[2J\\\\x1b]52;c;aGFja2Vk\\\\x07 Game$' "$work/out" ||
    fail "the Steam game's name: $(cat -v "$work/out")"
grep -q $'\tLutris\tLutris\\\\x1b' "$work/out" || fail "Lutris's name from the -wal: $(cat -v "$work/out")"
grep -q $'\tBottles\tRed\\\\x1b\\[31m\\\\xc2\\\\x9b2J\\\\x0aline$' "$work/out" ||
    fail "the bottle's name: $(cat -v "$work/out")"
shown=$(grep $'\tBottles\t' "$work/out" | cut -f1)
[ "$(printf '%b' "$shown")" = "$bottle" ] || fail "the bottle's folder is not had back from $shown"
for skipped in libraryfolders.vdf appmanifest_200.acf deep-1700000001.yml deeper-1700000002.yml \
    fifo.json; do
    grep -q "$skipped.*skipped" "$work/err" || fail "nothing said of $skipped: $(cat "$work/err")"
done

# Changes where the other account's server folders are: no server of this
# user can be there, so they are written.
add() { run "$knobreg" --wine-prefix "$1" add 'HKCU\Software\Hostile' /v x /d y /f; }
add "$steamapps/compatdata/200/pfx" || fail "knobreg add beside a held lock: $(cat "$work/err")"
printable "knobreg add"
# A Wine that lies: the lock of a prefix's server (in a folder of this user's,
# as Wine makes it) held by a program named wineserver64, with a wine64
# beside it that exits 0 and does nothing. What a change would replace
# cannot be read through it, so nothing is changed and nothing is said to
# be: knobreg fails, and the prefix's files stay as they were.
prefix "$work/lying"
liar=knobwise-lying-$$
echo "$liar" >"$work/lying/wineserver"
server=${TMPDIR:-/tmp}/$liar/$(printf 'server-%x-%x' "$(stat -c %d "$work/lying")" "$(stat -c %i "$work/lying")")
mkdir -p -m 700 "${TMPDIR:-/tmp}/$liar" "$server"
trap 'rm -rf "${TMPDIR:-/tmp}/$liar"; cleanup' EXIT
mkdir "$work/liar"
cp "$(readlink -f /usr/bin/python3)" "$work/liar/wineserver64"
printf '#!/bin/sh\nexit 0\n' >"$work/liar/wine64"
chmod +x "$work/liar/wine64"
PYTHONHOME=/usr "$work/liar/wineserver64" -c 'import fcntl, sys, time
f = open(sys.argv[1], "w"); fcntl.lockf(f, fcntl.LOCK_EX); print("held", flush=True); time.sleep(300)' \
    "$server/lock" >"$work/liar.log" 2>&1 &
pids+=($!)
eventually grep -q held "$work/liar.log" || fail "the lying server did not start"
cp "$work/lying/user.reg" "$work/lying.before"
! run "$knobreg" --wine-prefix "$work/lying" add 'HKCU\Software\Lie' /v x /d y /f ||
    fail "knobreg believed a Wine that does nothing: $(cat "$work/out")"
grep -q 'Nothing was changed' "$work/err" || fail "knobreg said: $(cat "$work/err")"
! grep -q 'completed successfully' "$work/out" || fail "a change through the lying Wine was reported"
cmp -s "$work/lying/user.reg" "$work/lying.before" || fail "the lying Wine's prefix was written"
kill "${pids[-1]}"

# The settings' keys, from a fresh machine, so that no question is asked.
for root in HKLM HKCU; do
    XDG_DATA_HOME=$work/fresh "$knobreg" export $root "$work/fresh.reg" /y >/dev/null
    run "$knobreg" --wine-prefix "$HOME/.wine" import "$work/fresh.reg" ||
        fail "knobreg import into ~/.wine: $(cat "$work/err")"
done
# The window on ~/.wine, its icon files a FIFO and /dev/zero.
run env KNOBWISE_EXIT_AFTER_FIRST_FRAME=1 "$knobwise" --wine-prefix "$HOME/.wine" ||
    fail "knobwise on ~/.wine: $(cat "$work/err")"
grep -q '^first-frame-ns' "$work/out" || fail "no first frame on ~/.wine: $(cat "$work/err")"
printable "knobwise"
others >"$work/others.after"
diff "$work/others.before" "$work/others.after" >&2 || fail "other programs' files changed"

# A .reg file of junk, 16 MiB with an escape on each line: the first 100
# warnings, escaped, and their count; and /dev/zero, refused.
{ printf 'REGEDIT4\r\n'; head -c 16777216 < <(yes "x$esc"); } >"$work/junk.reg"
run "$knobreg" import "$work/junk.reg" || fail "the junk was not imported: $(tail -n1 "$work/err")"
printable "knobreg import"
[ "$(wc -l <"$work/err")" = 101 ] || fail "$(wc -l <"$work/err") lines of warnings"
tail -n1 "$work/err" | grep -q ' more warnings, not shown$' || fail "$(tail -n1 "$work/err")"
ln -s /dev/zero "$work/zero.reg"
! run "$knobreg" import "$work/zero.reg" || fail "/dev/zero was imported"
grep -q 'is a device' "$work/err" || fail "knobreg import /dev/zero said: $(cat "$work/err")"

# Where no display can be opened: one sentence, exit code 1.
status=0
env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY "$knobwise" >"$work/out" 2>"$work/err" || status=$?
[ "$status" = 1 ] && [ "$(wc -l <"$work/err")" = 1 ] && grep -q 'graphical desktop' "$work/err" ||
    fail "without a display: status $status, $(cat "$work/err")"
echo "PASS"
