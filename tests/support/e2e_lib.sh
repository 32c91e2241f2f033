# Shared by the end-to-end test scripts (sourced): a work directory removed
# at exit (KEEP=1 keeps it), the processes started (add their PIDs to
# `pids`) ended at exit, `fail` and `eventually`.

work=$(mktemp -d)
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
