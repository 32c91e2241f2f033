#!/usr/bin/env bash
# End to end on a hostile machine: the real knobwise, offscreen, started on a
# machine whose info tips are a megabyte each, whose other settings all have
# the wrong type, and whose Startup folder holds 10,000 files, some with names
# that are not UTF-8. It must reach its first frame (the benchmark hook
# KNOBWISE_EXIT_AFTER_FIRST_FRAME=1 tells when, then ends it) and leave the
# registry exactly as it was.
#
#   hostile_e2e.sh KNOBWISE KNOBREG
set -euo pipefail

knobwise=$1
knobreg=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

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
echo "PASS"
