# Shared by the end-to-end test scripts (sourced): a work directory removed
# at exit (KEEP=1 keeps it), the processes started (add their PIDs to
# `pids`) ended at exit, `fail`, `eventually`, `start_desktop`,
# `start_accessibility_bus`, and `new_window` and `prefix_window` that wait
# for the program's windows; e2e_atspi.py for their Python.

work=$(mktemp -d)
# The scripts' Python reads the program through AT-SPI with e2e_atspi.py.
export PYTHONPATH=$(dirname "${BASH_SOURCE[0]}")${PYTHONPATH:+:$PYTHONPATH}
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Waits up to about ten seconds for a command to succeed.
eventually() {
    for _ in $(seq 100); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

# Starts Xvfb and openbox (so that windows take the keyboard focus; with a
# configuration of its own, openbox-rc.xml) and exports their DISPLAY; logs go
# to the work directory.
start_desktop() {
    exec 3>"$work/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    exec 3>&-
    eventually test -s "$work/display" || fail "Xvfb did not start"
    DISPLAY=:$(head -n1 "$work/display")
    export DISPLAY
    # openbox runs its start-up command once it manages windows.
    openbox --config-file "$(dirname "${BASH_SOURCE[0]}")/openbox-rc.xml" --startup "touch $work/wm-ready" >"$work/openbox.log" 2>&1 &
    pids+=($!)
    eventually test -e "$work/wm-ready" || fail "openbox did not start"
}

# Starts a private session bus and the accessibility bus on it (AT-SPI), and
# exports their addresses; programs started later with
# QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 show themselves there.
start_accessibility_bus() {
    unset DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS
    eval "$(dbus-launch --sh-syntax)"
    [ -n "${DBUS_SESSION_BUS_PID:-}" ] || fail "no session bus"
    pids+=("$DBUS_SESSION_BUS_PID")
    /usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/at-spi.log" 2>&1 &
    pids+=($!)
    a11y_bus_up() {
        dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus | grep -q 'boolean true'
    }
    eventually a11y_bus_up || fail "no accessibility bus: $(cat "$work/at-spi.log")"
}

# The id of the next visible window titled Knobwise that is not one of the
# ids given, once it shows (within about twenty seconds).
new_window() {
    for _ in $(seq 200); do
        for w in $(xdotool search --onlyvisible --name '^Knobwise$' 2>/dev/null); do
            case " $* " in *" $w "*) ;; *) echo "$w"; return 0 ;; esac
        done
        sleep 0.1
    done
    return 1
}

# The id of the main window on the Wine prefix named NAME (titled
# "Knobwise - NAME", a regular expression's text), once it shows (within
# about twenty seconds).
prefix_window() {
    local id
    id=$(timeout 20 xdotool search --sync --onlyvisible --name "^Knobwise - $1\$" | head -n1)
    [ -n "$id" ] && echo "$id"
}

# Brings the window to the front and waits until it has the keyboard.
focus() {
    xdotool windowactivate --sync "$1"
    eventually test "$(xdotool getactivewindow)" = "$1" || fail "the window did not take the focus"
}

# Replaces the text of the main window's first info tip with TEXT: its box
# lies 960 twips from the left and 600 from the top of the client area (64,
# 40 pixels); the click lands a little inside it.
type_first_tip() {
    xdotool mousemove --window "$1" 120 46 click 1
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 20 "$2"
}
