# shellcheck shell=bash
# Helpers of the online end-to-end tests, on top of lib.sh: starting a loopback server that
# prints its port first, and waiting for a line in a file.

# online_start_server NAME PROGRAM [ARGUMENT...]
# Starts a server as a named program (so the clean-up stops it), waits for the port it prints as
# its first line and sets ONLINE_PORT. Not inside $(...): the program must be this shell's child.
online_start_server() {
    local name=$1 wrapper deadline
    shift
    wrapper=$E2E_WORK/$name.start
    {
        printf '#!/usr/bin/env bash\nexec'
        printf ' %q' "$@"
        printf '\n'
    } >"$wrapper"
    chmod +x "$wrapper"
    e2e_start "$name" "$wrapper"
    deadline=$(e2e__deadline 10)
    ONLINE_PORT=
    until [ -n "$ONLINE_PORT" ]; do
        ONLINE_PORT=$(head -n 1 "$E2E_WORK/$name.out" 2>/dev/null || true)
        case $ONLINE_PORT in
        *[!0-9]*) e2e_fail "$name printed '$ONLINE_PORT' instead of its port" ;;
        esac
        e2e_running "$name" || e2e_fail "$name ended: $(cat "$E2E_WORK/$name.err")"
        e2e__past "$deadline" && e2e_fail "$name printed no port"
        [ -n "$ONLINE_PORT" ] || e2e__nap
    done
}

# online_wait_line FILE TEXT [SECONDS]: waits until a line of FILE contains TEXT.
online_wait_line() {
    local deadline
    deadline=$(e2e__deadline "${3:-$E2E_WINDOW_DEADLINE}")
    until grep -Fq -- "$2" "$1" 2>/dev/null; do
        e2e__past "$deadline" && e2e_fail "no line with '$2' in $1"
        e2e__nap
    done
}
