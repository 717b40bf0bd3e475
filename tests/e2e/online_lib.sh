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

# online_installer_files FOLDER: a runnable installer FOLDER/Setup.bin, a script that leaves
# installer-ran in its folder when started, followed by 3 MB of bytes it never reaches.
online_installer_files() {
    mkdir -p "$1"
    {
        printf '#!/bin/sh\n: > installer-ran\nexit 0\n'
        head -c 3000000 /dev/urandom
    } >"$1/Setup.bin"
}

# online_expect_nothing_left WHAT: no installer ran, and TEMP holds no Setup.exe and no partial
# file of the program's.
online_expect_nothing_left() {
    local left
    [ ! -e "$TEMP/installer-ran" ] || e2e_fail "$1: an installer was started"
    left=$(find "$TEMP" -maxdepth 1 \( -name Setup.exe -o -name '.larkspan-*' \) -printf '%f ')
    e2e_expect_eq "$left" "" "$1: left in the temporary folder"
}

# online_refused_download NAME STANDIN_OPTION...: the upgrade is offered and taken while the
# stand-in serves the installer as the options say, with a stale partial file of a killed run
# and an old Setup.exe in TEMP. The program must remove the stale file at its start, answer with
# "Installer download error!", start nothing, leave nothing in TEMP and go on running.
online_refused_download() {
    local name=$1 log=$E2E_WORK/standin.log question download box
    shift
    online_installer_files "$E2E_WORK/files"
    online_start_server standin "$E2E_BIN/vendor-standin" --latest 1.4 \
        --installer FreeLarkspan Larkspan /Setup.bin --files "$E2E_WORK/files" --log "$log" "$@"
    export LARKSPAN_WEBSITE_HOST=127.0.0.1:$ONLINE_PORT
    e2e_write_record 1.3
    printf 'half of an installer' >"$TEMP/.larkspan-partial-00000000deadbeef.tmp"
    printf 'an old installer' >"$TEMP/Setup.exe"

    e2e_start "$name"
    question=$(e2e_wait_window Confirm "$name")
    [ ! -e "$TEMP/.larkspan-partial-00000000deadbeef.tmp" ] ||
        e2e_fail "the stale partial file is still there after the start"
    e2e_key "$question" Return
    download=$(e2e_wait_window "Larkspan Setup" "$name")
    box=$(e2e_wait_window Error "$name")
    e2e_expect_contains "$(e2e_copy_box_text "$box")" "Installer download error!" "the message"
    online_wait_line "$log" "GET /Setup.bin"
    e2e_screenshot "$box" error >/dev/null
    e2e_key "$box" Return
    e2e_wait_window_gone "$download"
    online_expect_nothing_left "after the error"
    e2e_running "$name" || e2e_fail "the program ended after a failed download"
    e2e_key "$(e2e_find_window Larkspan "$name")" ctrl+w
    e2e_wait_exit "$name"
}
