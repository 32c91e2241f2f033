#!/usr/bin/env bash
# The installed program: installs the build into a throw-away prefix, starts
# it the way the menu entry does (its Exec command through PATH, so through
# the bin/ link) under Xvfb and openbox on a throw-away machine, and checks
# that it finds what it ships: its help page beside the real executable, the
# seed registry and drive C's icon files in share/knobwise. The prefix's seed
# gets a marker key and drive C a marker file first, so that a machine seeded
# from anywhere else (an installed copy in /usr, the build tree) is caught.
#
#   install_test.sh CMAKE BUILD_DIR APP_ID
#
# KEEP=1 keeps the scratch directory (prefix, machine, logs) for a look
# afterwards.
set -euo pipefail
unset DESTDIR

cmake=$1
build=$2
app_id=$3
. "$(dirname "${BASH_SOURCE[0]}")/support/e2e_lib.sh"
prefix=$work/prefix

"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" ||
    fail "cmake --install failed: $(cat "$work/install.log")"

# The layout a desktop expects.
program=$prefix/lib/knobwise/knobwise
{ [ -x "$program" ] && [ ! -L "$program" ]; } || fail "no program in lib/knobwise"
[ -f "$prefix/lib/knobwise/help.htm" ] || fail "no help.htm beside the program"
[ -L "$prefix/bin/knobwise" ] || fail "bin/knobwise is not a link"
[ "$(readlink "$prefix/bin/knobwise")" = ../lib/knobwise/knobwise ] ||
    fail "bin/knobwise points at $(readlink "$prefix/bin/knobwise"), not at a relative ../lib/knobwise/knobwise"
[ -x "$prefix/bin/knobreg" ] || fail "no bin/knobreg"
data=$prefix/share/knobwise
shipped=(WINDOWS/explorer.exe WINDOWS/SYSTEM/shell32.dll WINDOWS/SYSTEM/syncui.dll
    WINDOWS/SYSTEM/mshtml.dll WINDOWS/SYSTEM/mydocs.dll)
[ -f "$data/default.reg" ] || fail "no share/knobwise/default.reg"
for f in "${shipped[@]}"; do [ -s "$data/drive_c/$f" ] || fail "no share/knobwise/drive_c/$f"; done
desktop=$prefix/share/applications/$app_id.desktop
[ -f "$desktop" ] || fail "no menu entry $app_id.desktop"
[ -f "$prefix/share/metainfo/$app_id.metainfo.xml" ] || fail "no AppStream metadata"
for size in 16 22 24 32 48 64 128 256; do
    icon=$prefix/share/icons/hicolor/${size}x$size/apps/$app_id.png
    # A PNG's width and height are the big-endian words at bytes 16 and 20.
    [ "$(od -An -tx1 -j16 -N8 "$icon" 2>/dev/null | tr -d ' \n')" = "$(printf '%08x%08x' "$size" "$size")" ] ||
        fail "no ${size}x$size application icon"
done
[ -f "$prefix/share/icons/hicolor/scalable/apps/$app_id.svg" ] || fail "no scalable application icon"
grep -q '^License: Expat$' "$prefix/share/doc/knobwise/copyright" 2>/dev/null ||
    fail "no licence in share/doc/knobwise/copyright"
# The manual pages and the changelog, compressed, each naming what it is of.
for page in knobwise knobreg; do
    { gzip -dc "$prefix/share/man/man1/$page.1.gz" >"$work/$page.1" &&
        grep -q "^\.TH ${page^^} 1 " "$work/$page.1"; } 2>/dev/null ||
        fail "no manual page share/man/man1/$page.1.gz"
done
{ gzip -dc "$prefix/share/doc/knobwise/changelog.gz" >"$work/changelog" &&
    grep -q '^knobwise (' "$work/changelog"; } 2>/dev/null ||
    fail "no changelog in share/doc/knobwise/changelog.gz"

# Markers that only this prefix's data holds.
printf '\r\n[HKEY_LOCAL_MACHINE\\Software\\Knobwise install test]\r\n"Marker"="1"\r\n' \
    >>"$data/default.reg"
echo marker >"$data/drive_c/WINDOWS/install-test.txt"

export XDG_DATA_HOME=$work/data
export HOME=$work
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
# The desktop's document opener, replaced by one that notes what it was
# asked to open.
mkdir "$work/opener"
cat >"$work/opener/xdg-open" <<EOF
#!/bin/sh
printf '%s\n' "\$@" >>"$work/opened"
EOF
chmod +x "$work/opener/xdg-open"
export PATH=$work/opener:$prefix/bin:$PATH

start_desktop

# The menu entry's command, as a launcher runs it, and its actions'.
exec_of() { sed -n "/^\\[$1\\]/,/^\\[/s/^Exec=//p" "$desktop"; }
exec_line=$(exec_of 'Desktop Entry')
[ "$exec_line" = knobwise ] || fail "the menu entry runs '$exec_line'"
action=$(exec_of 'Desktop Action wine-prefix')
[ "$action" = "knobwise --wine-prefix" ] || fail "the Wine prefix action runs '$action'"
action=$(exec_of 'Desktop Action history')
[ "$action" = "knobwise --history" ] || fail "the history action runs '$action'"
(cd "$work" && exec $exec_line) >"$work/knobwise.log" 2>&1 &
app=$!
pids+=("$app")
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Knobwise$' | head -n1) ||
    fail "no Knobwise window; its output: $(cat "$work/knobwise.log")"

# Through the link the program runs as the real executable, whose directory
# holds the help page.
[ "$(readlink "/proc/$app/exe")" = "$program" ] ||
    fail "the program runs as $(readlink "/proc/$app/exe"), not $program"

# The seed: this prefix's registry, with the login name filled in, and this
# prefix's drive C.
machine=$XDG_DATA_HOME/knobwise
knobreg=$prefix/bin/knobreg
"$knobreg" query 'HKLM\Software\Knobwise install test' /v Marker >"$work/query" 2>&1 ||
    fail "the machine was not seeded from $data: $(cat "$work/query")"
"$knobreg" query 'HKLM\Software\Microsoft\Windows\CurrentVersion\WinLogon' /v DefaultUserName |
    grep -q "DefaultUserName    REG_SZ    $(id -un)\$" || fail "DefaultUserName is not the login name"
"$knobreg" query 'HKCR\CLSID\{20D04FE0-3AEA-1069-A2D8-08002B30309D}' /v InfoTip |
    grep -q 'InfoTip    REG_SZ    .' || fail "the seed has no info tip for My Computer"
[ -f "$machine/drive_c/WINDOWS/install-test.txt" ] || fail "drive C was not copied from $data"
for f in "${shipped[@]}"; do
    cmp -s "$data/drive_c/$f" "$machine/drive_c/$f" || fail "the machine's $f is not the shipped one"
done

# Help opens the page beside the program.
focus "$window"
xdotool key --clearmodifiers alt+h
eventually test -s "$work/opened" ||
    fail "Help opened nothing; the program said: $(cat "$work/knobwise.log")"
[ "$(cat "$work/opened")" = "file://$prefix/lib/knobwise/help.htm" ] ||
    fail "Help opened $(cat "$work/opened")"

# Cancel ends the program.
xdotool key --clearmodifiers alt+c
eventually bash -c "! kill -0 $app" || fail "Cancel did not end the program"
echo "PASS"
