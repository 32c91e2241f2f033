#!/usr/bin/env bash
# End to end through the desktop's accessibility bus (AT-SPI), as a screen
# reader reads it: the real knobwise under Xvfb, with a private session bus,
# on a throw-away machine that holds a password, read and pressed by an AT-SPI
# client; the desktop's opener a stand-in that notes what it is asked to open.
#
#   accessibility_e2e.sh KNOBWISE KNOBREG     (KEEP=1 keeps the scratch directory)
set -euo pipefail

knobwise=$1
knobreg=$2
. "$(dirname "${BASH_SOURCE[0]}")/support/e2e_lib.sh"

export XDG_DATA_HOME=$work/data HOME=$work XDG_RUNTIME_DIR=$work PATH=$work/opener:$PATH
unset QT_QPA_PLATFORM WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS
logon='HKLM\Software\Microsoft\Windows\CurrentVersion\WinLogon'
"$knobreg" add "$logon" /v DefaultUserName /d 'Pat Example' /f >/dev/null
"$knobreg" add "$logon" /v DefaultPassword /d 'Hunter2 secret' /f >/dev/null
mkdir "$work/opener"
cat >"$work/opener/xdg-open" <<EOF
#!/bin/sh
printf '%s\n' "\$@" >>"$work/opened"
EOF
chmod +x "$work/opener/xdg-open"

start_desktop

start_accessibility_bus

QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$knobwise" >"$work/knobwise.log" 2>&1 &
app=$!
pids+=($app)

# Prints the web address that the longer link names.
/usr/bin/python3 - >"$work/address" <<'EOF' || fail "read through AT-SPI"
import sys
from e2e_atspi import *

problems = []
def check(ok, what):
    if not ok: problems.append(what)
def check_named(win):
    problems.extend(unnamed(win, images=True))
def check_distinct(accs, count, what):
    check(len(accs) == len({a.name for a in accs}) == count, f"{what}: {[a.name for a in accs]}")

main = wait_for(lambda: window("Knobwise"), "no window on the bus")
app = main.parent
check_named(main)
tab_list = of_role(main, R.ROLE_PAGE_TAB_LIST)[0]
pages = dict(zip((t.name for t in of_role(tab_list, R.ROLE_PAGE_TAB)),
                 (p for p in tab_list.parent if p.getRole() == R.ROLE_FILLER)))
check_distinct(of_role(pages["Info Tips"], R.ROLE_TEXT), 6, "info-tip boxes")
check_distinct(of_role(pages["Info Tips"], R.ROLE_IMAGE), 6, "info-tip pictures")
creates = of_role(pages["System Folders"], R.ROLE_PUSH_BUTTON)
check_distinct(creates, 4, "create buttons")
boxes = of_role(pages["Boot"], R.ROLE_TEXT) + of_role(pages["Boot"], R.ROLE_PASSWORD_TEXT)
boxes = [(b.name, text(b)) for b in boxes]
check(boxes == [("UserName", "Pat Example"), ("Password", "")], f"logon boxes {boxes}")

links = sorted(of_role(main, R.ROLE_LINK), key=lambda link: len(link.name))
check([link.name for link in links][:1] == ["Vantrell"] and len(links) == 2 and not any(
    link.getState().contains(R.STATE_FOCUSABLE) for link in links), f"links {links}")
for link in links:
    press(link)

press(creates[0])
dialog = wait_for(lambda: window("Dialog Caption", app), "no folder picker")
check_named(dialog)
(label,), (folders,) = of_role(dialog, R.ROLE_LABEL), of_role(dialog, R.ROLE_LIST)
check(folders.name == label.name, f"folder list {folders.name!r}, its label {label.name!r}")
press(next(b for b in of_role(dialog, R.ROLE_PUSH_BUTTON) if b.name == "Cancel"))
wait_for(lambda: not window("Dialog Caption", app), "the folder picker stayed open")

if problems:
    sys.exit("FAIL:\n  " + "\n  ".join(problems))
press(next(b for b in main if b is not None and b.name == "Cancel"))
print(links[1].name.removeprefix("Vantrell - "))
EOF

# Pressed Cancel ends the program, with no error (nor, sanitized, a leak).
eventually bash -c "! kill -0 $app" || fail "Cancel did not end the program"
wait $app || fail "the program ended with status $?: $(cat "$work/knobwise.log")"
address=$(cat "$work/address")
opened_both() { [ "$(cat "$work/opened")" = "$(printf '%s\n' "$address" "$address")" ]; }
eventually opened_both || fail "the links opened: $(cat "$work/opened" 2>/dev/null)"
echo "PASS"
