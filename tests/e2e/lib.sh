# shellcheck shell=bash
# End-to-end test library: runs the real Larkspan program on a private X server (Xvfb) and drives
# it with xdotool, the way a user would.
#
# A test script is one whole path through the program. It takes the build's bin folder as its
# only argument, sources this file and calls e2e_init first:
#
#   #!/usr/bin/env bash
#   source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
#   e2e_init "$1" about-window         # private X server, temp folder, clean-up on every exit
#   e2e_write_record 1.3 http://larkspan.example/
#   e2e_start main                     # the program, in the background, output captured
#   win=$(e2e_wait_window Larkspan main)
#   e2e_key "$win" ctrl+w
#   e2e_wait_exit main
#   e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status"
#   e2e_pass
#
# e2e_init turns on `set -euo pipefail`: any failing step ends the test, and the clean-up then
# prints what the programs wrote, lists the visible windows and saves a picture of the screen.
#
# Set-up and state
#   e2e_init BIN_DIR NAME      Starts Xvfb (1280x800x24, a free display found with -displayfd,
#                              its own cookie), makes the test's folder <build>/e2e-work/NAME
#                              (HOME, XDG_RUNTIME_DIR mode 0700, TMPDIR/TEMP, XDG_CONFIG_DIRS, the
#                              XDG user folders) and puts a recording xdg-open first on PATH.
#                              Exports DISPLAY, XAUTHORITY and those variables, and
#                              LARKSPAN_WEBSITE_HOST=127.0.0.1:9 (a closed loopback port: the
#                              background check reaches nothing). A test that runs its own
#                              stand-in server exports another value after e2e_init.
#   e2e_write_record [VERSION [WEBSITE]]
#                              Writes the installation record Oxbeck/Larkspan.conf that the
#                              program finds through XDG_CONFIG_DIRS. Defaults: the build's
#                              version and E2E_WEBSITE_DEFAULT.
#   e2e_remove_record          Removes it again (the program then has no record).
#   Variables: E2E_NAME, E2E_BIN (the bin folder), E2E_PROGRAM, E2E_BUILD, E2E_WORK (the test's
#   folder; removed after a pass, kept after a failure), E2E_ARTIFACTS (<build>/e2e-artifacts),
#   E2E_CONFIG_DIR (the XDG_CONFIG_DIRS entry), E2E_OPEN_LOG, E2E_XVFB_PID.
#
# Programs (each started copy has a name of the test's choosing)
#   e2e_start NAME [PROGRAM]   Starts the program (default E2E_PROGRAM) in the background;
#                              stdout and stderr go to E2E_WORK/NAME.out and NAME.err.
#   e2e_pid NAME               Its process id.
#   e2e_running NAME           Succeeds while it runs.
#   e2e_wait_exit NAME [SECS]  Waits for it to end and sets E2E_EXIT_STATUS; fails the test at
#                              the deadline. Call it directly, not inside $(...): only this shell
#                              can collect the status of its own child.
#   e2e_kill NAME [SIGNAL]     Sends a signal (default KILL) and collects the status.
#
# Windows (ids are decimal, as xdotool prints them)
#   e2e_find_window TITLE [NAME]      The id of a visible window whose title is exactly TITLE
#                                     (of the named copy only, when NAME is given), at once;
#                                     fails when there is none.
#   e2e_wait_window TITLE [NAME] [SECS]
#                                     The same, waiting up to SECS (E2E_WINDOW_DEADLINE); fails
#                                     the test at once when the named copy ends first.
#   e2e_wait_window_gone WID [SECS]   Waits until the window is no longer shown.
#   e2e_window_geometry WID           "X Y WIDTH HEIGHT" of the window on the screen.
#   e2e_key WID KEY...                Gives the window the keyboard focus and types the keys
#                                     (xdotool names: ctrl+w, Return, Escape).
#   e2e_click WID X Y                 Left click at X,Y inside the window.
#   e2e_screenshot WID NAME [MOVING]  Saves the window as E2E_ARTIFACTS/<test>-NAME.png once its
#                                     picture has settled, and prints the path. MOVING
#                                     ("X,Y,WIDTH,HEIGHT" in the window) is a part that may change
#                                     all the while (a running gauge): only the rest must settle.
#   e2e_copy_box_text WID [SECS]      Presses Ctrl+C on a message box, which puts the box's
#                                     content on the clipboard, and prints that content (CR LF
#                                     line ends turned into LF).
#   e2e_watch_maps                    Starts recording every top-level window that is mapped
#                                     (shown) from now on, stamped with the time it happened.
#   e2e_mapped_windows                The ids of the windows mapped since e2e_watch_maps.
#   e2e_map_time WID [SINCE]          When WID was first mapped (at or after SINCE), in
#                                     microseconds since the epoch, comparable with e2e_now_us;
#                                     waits for the record. The X server hands the same ids to
#                                     the windows of a later program, hence SINCE.
#   e2e_watch_keys WID                Starts recording the key presses that reach WID, each
#                                     stamped with the time it arrived; returns once the
#                                     recording is known to run.
#   e2e_key_time WID KEYSYM           When KEYSYM (an X name: Return, Escape) first reached WID
#                                     since e2e_watch_keys, in microseconds since the epoch;
#                                     waits for the record. e2e_unwatch_keys WID stops recording.
#
# Opened links and files (the recording xdg-open opens nothing)
#   e2e_opened                        Every target the program asked to open, one a line.
#   e2e_wait_opened TARGET [SECS]     Waits until TARGET was asked to open.
#
# Checks and results
#   e2e_expect_eq ACTUAL EXPECTED WHAT, e2e_expect_near ACTUAL EXPECTED TOLERANCE WHAT,
#   e2e_expect_contains TEXT PART WHAT,
#   e2e_fail MESSAGE, e2e_pass (the last line of a passing test), e2e_now_us.
#
# Deadlines (seconds; generous because the machine may be busy building): E2E_WINDOW_DEADLINE
# (20), E2E_EXIT_DEADLINE (20). Nothing here sleeps a fixed time: every wait polls a condition
# every E2E_POLL seconds (0.05) until a deadline. A test's own waits can do the same with
#   stamp=$(e2e__deadline SECS); until CONDITION; do e2e__past "$stamp" && e2e_fail ...;
#   e2e__nap; done
# (e2e__nap [SECS] pauses without starting a process).
#
# Pictures: e2e_init removes the test's pictures of an earlier run from E2E_ARTIFACTS, so the
# folder holds those of the latest run, and a failing test adds <test>-failure.png there.

set -euo pipefail

E2E_WINDOW_DEADLINE=${E2E_WINDOW_DEADLINE:-20}
E2E_EXIT_DEADLINE=${E2E_EXIT_DEADLINE:-20}
E2E_POLL=${E2E_POLL:-0.05}
E2E_WEBSITE_DEFAULT=http://larkspan.example/

declare -gA E2E_PIDS=()
E2E_EXIT_STATUS=
E2E_XVFB_PID=
E2E_WATCH_PIDS=()
E2E_PASSED=0

e2e_now_us() {
    # EPOCHREALTIME is a builtin, so reading the clock costs no process; C.UTF-8 (set by
    # e2e_init) keeps its decimal separator a dot, the comma is handled anyway.
    local now=${EPOCHREALTIME/[.,]/}
    printf '%s\n' "$now"
}

# A pause without starting a process: a read that times out on a FIFO nobody writes to.
e2e__nap() {
    read -r -t "${1:-$E2E_POLL}" -u "$E2E_NAP_FD" _ || true
}

e2e__deadline() { # SECONDS -> microsecond time stamp
    local now=${EPOCHREALTIME/[.,]/}
    printf '%s\n' $((now + ${1%.*} * 1000000))
}

e2e__past() { # DEADLINE
    local now=${EPOCHREALTIME/[.,]/}
    [ "$now" -ge "$1" ]
}

e2e_fail() {
    printf 'FAIL %s: %s\n' "${E2E_NAME:-e2e}" "$*" >&"${E2E_STDERR:-2}"
    exit 1
}

e2e_expect_eq() { # ACTUAL EXPECTED WHAT
    if [ "$1" != "$2" ]; then
        e2e_fail "$3: expected '$2', got '$1'"
    fi
}

e2e_expect_near() { # ACTUAL EXPECTED TOLERANCE WHAT (whole numbers)
    local difference=$(($1 - $2))
    if [ "${difference#-}" -gt "$3" ]; then
        e2e_fail "$4: expected $2 (give or take $3), got $1"
    fi
}

e2e_expect_contains() { # TEXT PART WHAT
    case $1 in
    *"$2"*) ;;
    *) e2e_fail "$3: '$2' not found in: $1" ;;
    esac
}

e2e_pass() {
    E2E_PASSED=1
    printf 'PASS %s\n' "$E2E_NAME"
    exit 0
}

e2e__require_tools() {
    local tool missing=()
    for tool in Xvfb xauth mcookie xdotool xwininfo xprop xev xwd convert identify xclip stdbuf; do
        command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        e2e_fail "missing tools: ${missing[*]} (scripts/install-deps.sh installs them)"
    fi
}

e2e_init() { # BIN_DIR NAME
    [ $# -eq 2 ] || e2e_fail "usage: e2e_init BIN_DIR NAME"
    E2E_NAME=$2
    exec {E2E_STDERR}>&2 # failures are reported here even from a step whose errors are hidden
    E2E_BIN=$(cd "$1" 2>/dev/null && pwd) || e2e_fail "no bin folder '$1'"
    E2E_PROGRAM=$E2E_BIN/larkspan
    [ -x "$E2E_PROGRAM" ] || e2e_fail "no program at $E2E_PROGRAM (build the larkspan target)"
    E2E_BUILD=$(dirname "$E2E_BIN")
    E2E_WORK=$E2E_BUILD/e2e-work/$E2E_NAME
    E2E_ARTIFACTS=$E2E_BUILD/e2e-artifacts
    e2e__require_tools

    trap e2e__on_exit EXIT
    trap 'exit 129' HUP
    trap 'exit 130' INT
    trap 'exit 143' TERM

    rm -rf "$E2E_WORK"
    mkdir -p "$E2E_WORK"/{home,runtime,tmp,config,fakebin} "$E2E_ARTIFACTS"
    rm -f "$E2E_ARTIFACTS/$E2E_NAME"-*.png # the pictures always come from the latest run
    chmod 0700 "$E2E_WORK/runtime"
    mkfifo "$E2E_WORK/nap"
    exec {E2E_NAP_FD}<>"$E2E_WORK/nap"

    # Only what the test provides: its own home, runtime and temporary folders, its own record,
    # no desktop session to talk to.
    export LC_ALL=C.UTF-8
    export HOME=$E2E_WORK/home
    export XDG_RUNTIME_DIR=$E2E_WORK/runtime
    export TMPDIR=$E2E_WORK/tmp TEMP=$E2E_WORK/tmp
    export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share
    export XDG_CACHE_HOME=$HOME/.cache XDG_STATE_HOME=$HOME/.local/state
    export E2E_CONFIG_DIR=$E2E_WORK/config
    export XDG_CONFIG_DIRS=$E2E_CONFIG_DIR
    export LARKSPAN_WEBSITE_HOST=127.0.0.1:9
    export QT_QPA_PLATFORM=xcb NO_AT_BRIDGE=1
    unset WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS SESSION_MANAGER XDG_SESSION_TYPE \
        XDG_CURRENT_DESKTOP DESKTOP_SESSION QT_STYLE_OVERRIDE QT_SCALE_FACTOR

    # The program hands links and files to xdg-open; this one only writes down what it was
    # given, so no test ever starts a browser or a mail program.
    E2E_OPEN_LOG=$E2E_WORK/opened.log
    : >"$E2E_OPEN_LOG"
    {
        printf '#!/bin/sh\n# Records what would have been opened; opens nothing.\n'
        printf 'printf %s "$*" >>%q\n' "'%s\\n'" "$E2E_OPEN_LOG"
    } >"$E2E_WORK/fakebin/xdg-open"
    chmod +x "$E2E_WORK/fakebin/xdg-open"
    export PATH=$E2E_WORK/fakebin:$PATH

    e2e__start_xvfb
}

e2e__start_xvfb() {
    # The server takes the cookie from the file it is given whatever display number the entry
    # names; clients look the cookie up by display number, so that entry is added once the
    # number is known.
    export XAUTHORITY=$E2E_WORK/Xauthority
    local cookie
    cookie=$(mcookie)
    : >"$XAUTHORITY"
    xauth -q -f "$XAUTHORITY" add :0 . "$cookie"
    mkfifo "$E2E_WORK/displayfd"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset -br -auth "$XAUTHORITY" \
        3>"$E2E_WORK/displayfd" </dev/null >"$E2E_WORK/xvfb.log" 2>&1 &
    E2E_XVFB_PID=$!
    local number=
    read -r -t 20 number <"$E2E_WORK/displayfd" || true
    [ -n "$number" ] || e2e_fail "Xvfb did not start: $(tail -n 5 "$E2E_WORK/xvfb.log")"
    export DISPLAY=:$number
    xauth -q -f "$XAUTHORITY" add "$DISPLAY" . "$cookie"
}

# shellcheck disable=SC2120 # both arguments are optional
e2e_write_record() { # [VERSION [WEBSITE]]
    local version=${1:-} website=${2:-$E2E_WEBSITE_DEFAULT}
    if [ -z "$version" ]; then
        # The record cmake writes for installation carries the project's version.
        version=$(sed -n 's/^Version=//p' "$E2E_BUILD/Larkspan.conf" 2>/dev/null || true)
        version=${version:-1.3}
    fi
    mkdir -p "$E2E_CONFIG_DIR/Oxbeck"
    printf 'Version=%s\nWebsite=%s\n' "$version" "$website" >"$E2E_CONFIG_DIR/Oxbeck/Larkspan.conf"
}

e2e_remove_record() {
    rm -f "$E2E_CONFIG_DIR/Oxbeck/Larkspan.conf"
}

# ---- programs --------------------------------------------------------------------------------

e2e_start() { # NAME [PROGRAM]
    local name=$1 program=${2:-$E2E_PROGRAM}
    [ -z "${E2E_PIDS[$name]:-}" ] || e2e_fail "a program named '$name' was started already"
    "$program" </dev/null >"$E2E_WORK/$name.out" 2>"$E2E_WORK/$name.err" &
    E2E_PIDS[$name]=$!
}

e2e_pid() { # NAME
    local pid=${E2E_PIDS[$1]:-}
    [ -n "$pid" ] || e2e_fail "no program named '$1' was started"
    printf '%s\n' "$pid"
}

e2e__alive() { # PID: running, and not a zombie waiting to be collected
    local stat
    { read -r stat <"/proc/$1/stat"; } 2>/dev/null || return 1
    stat=${stat##*) }
    [ "${stat%% *}" != Z ]
}

e2e_running() { # NAME
    e2e__alive "$(e2e_pid "$1")"
}

# shellcheck disable=SC2034 # E2E_EXIT_STATUS is read by the test scripts
e2e_wait_exit() { # NAME [SECONDS]
    local name=$1 pid deadline
    pid=$(e2e_pid "$name")
    deadline=$(e2e__deadline "${2:-$E2E_EXIT_DEADLINE}")
    while e2e__alive "$pid"; do
        if e2e__past "$deadline"; then
            e2e_fail "'$name' (pid $pid) still runs after ${2:-$E2E_EXIT_DEADLINE} s"
        fi
        e2e__nap
    done
    E2E_EXIT_STATUS=0
    wait "$pid" || E2E_EXIT_STATUS=$?
}

e2e_kill() { # NAME [SIGNAL]
    # Quietly: bash reports a child ended by a signal as "Killed" when it collects it.
    {
        kill "-${2:-KILL}" "$(e2e_pid "$1")" || true
        e2e_wait_exit "$1"
    } 2>/dev/null
}

# ---- windows ---------------------------------------------------------------------------------

e2e__title_pattern() { # TITLE -> an anchored regular expression matching exactly TITLE
    printf '^%s$\n' "$(printf '%s' "$1" | sed 's/[][\.*^$+?(){}|/]/\\&/g')"
}

e2e_find_window() { # TITLE [NAME]
    local found args=(search --all --onlyvisible)
    if [ -n "${2:-}" ]; then
        args+=(--pid "$(e2e_pid "$2")")
    fi
    args+=(--name "$(e2e__title_pattern "$1")") # the pattern comes last
    found=$(xdotool "${args[@]}" 2>/dev/null) || true
    found=${found%%$'\n'*}
    [ -n "$found" ] || return 1
    printf '%s\n' "$found"
}

e2e_wait_window() { # TITLE [NAME] [SECONDS]
    local title=$1 name=${2:-} seconds=${3:-$E2E_WINDOW_DEADLINE} deadline pid=
    deadline=$(e2e__deadline "$seconds")
    [ -z "$name" ] || pid=$(e2e_pid "$name")
    while ! e2e_find_window "$title" "$name"; do
        if [ -n "$pid" ] && ! e2e__alive "$pid"; then
            e2e_fail "'$name' ended before showing a window titled '$title'"
        fi
        if e2e__past "$deadline"; then
            e2e_fail "no window titled '$title' within $seconds s"
        fi
        e2e__nap
    done
}

e2e__viewable() { # WID
    xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'
}

e2e_wait_window_gone() { # WID [SECONDS]
    local deadline
    deadline=$(e2e__deadline "${2:-$E2E_WINDOW_DEADLINE}")
    while e2e__viewable "$1"; do
        e2e__past "$deadline" && e2e_fail "window $1 still shown after ${2:-$E2E_WINDOW_DEADLINE} s"
        e2e__nap
    done
}

e2e_window_geometry() { # WID -> X Y WIDTH HEIGHT
    xwininfo -id "$1" | awk '
        /Absolute upper-left X:/ { x = $NF } /Absolute upper-left Y:/ { y = $NF }
        /^ *Width:/ { w = $NF } /^ *Height:/ { h = $NF }
        END { print x, y, w, h }'
}

e2e_key() { # WID KEY...
    local window=$1
    shift
    # Keys typed into the focused window go through XTEST, as from a keyboard. Sent to a window
    # that is not focused they would be synthetic events, and when a key closes its window the
    # key releases would go to a window that no longer exists: xdotool would stop with the key
    # still held down for every later test step.
    timeout 10 xdotool windowfocus --sync "$window" ||
        e2e_fail "could not focus window $window"
    timeout 10 xdotool key --delay 20 "$@" || e2e_fail "could not type $* into window $window"
}

e2e_click() { # WID X Y
    # A --sync move waits for the pointer to move, which it never does when it is there already
    # (a second click on the same spot): it is taken elsewhere first.
    xdotool mousemove 0 0 2>/dev/null || true
    timeout 10 xdotool mousemove --window "$1" --sync "$2" "$3" click 1 ||
        e2e_fail "could not click at $2,$3 in window $1"
}

e2e__capture() { # WID FILE
    xwd -silent -id "$1" >"$2" 2>/dev/null
}

e2e__still_part() { # FILE MOVING -> FILE.still: the capture with its moving part painted over
    local x y width height
    IFS=, read -r x y width height <<<"$2"
    convert "xwd:$1" -fill black \
        -draw "rectangle $x,$y $((x + width - 1)),$((y + height - 1))" "rgb:$1.still"
}

e2e_screenshot() { # WID NAME [MOVING]
    # A window is drawn after it is shown, and may be drawn again as it settles (texts filled
    # on activation): the picture is taken once two captures in a row are equal (but for their
    # moving part) and hold more than one colour, which an undrawn window on the black screen
    # does not.
    local window=$1 path=$E2E_ARTIFACTS/$E2E_NAME-$2.png moving=${3:-} deadline
    local previous=$E2E_WORK/capture-a.xwd current=$E2E_WORK/capture-b.xwd compared=
    [ -n "$moving" ] && compared=.still
    deadline=$(e2e__deadline "$E2E_WINDOW_DEADLINE")
    e2e__capture "$window" "$previous" || e2e_fail "cannot capture window $window"
    [ -z "$moving" ] || e2e__still_part "$previous" "$moving"
    while :; do
        e2e__nap 0.1
        e2e__capture "$window" "$current" || e2e_fail "cannot capture window $window"
        [ -z "$moving" ] || e2e__still_part "$current" "$moving"
        if cmp -s "$previous$compared" "$current$compared" &&
            [ "$(identify -format '%k' "xwd:$current")" -gt 1 ]; then
            break
        fi
        e2e__past "$deadline" && e2e_fail "window $window never settled for a screenshot"
        mv "$current" "$previous"
        [ -z "$moving" ] || mv "$current.still" "$previous.still"
    done
    convert "xwd:$current" "png:$path"
    rm -f "$previous" "$current" "$previous.still" "$current.still"
    printf '%s\n' "$path"
}

e2e__clipboard() {
    timeout 5 xclip -o -selection clipboard 2>/dev/null || true
}

e2e_copy_box_text() { # WID [SECONDS]
    local window=$1 seconds=${2:-$E2E_WINDOW_DEADLINE} before text deadline
    # The text is read while the box is still open: an X clipboard is served by the program
    # that owns it and is gone with it. A box copied twice with the same content would not be
    # told apart from the earlier copy, so each box is copied once.
    before=$(e2e__clipboard)
    e2e_key "$window" ctrl+c
    deadline=$(e2e__deadline "$seconds")
    while :; do
        text=$(e2e__clipboard)
        [ -n "$text" ] && [ "$text" != "$before" ] && break
        e2e__past "$deadline" && e2e_fail "Ctrl+C on window $window put nothing on the clipboard"
        e2e__nap
    done
    printf '%s\n' "${text//$'\r'/}"
}

# ---- shown windows, with time stamps ---------------------------------------------------------

# Reads xev's report of the root window's children: a MapNotify line is stamped when it arrives
# (xev writes each line as the event comes), the next line names the window.
e2e__stamp_maps() {
    local line kind='' stamp id
    while IFS= read -r line; do
        case $line in
        MapNotify*)
            kind=map
            stamp=${EPOCHREALTIME/[.,]/}
            ;;
        UnmapNotify*)
            kind=unmap
            stamp=${EPOCHREALTIME/[.,]/}
            ;;
        PropertyNotify*) printf '%s property\n' "${EPOCHREALTIME/[.,]/}" ;;
        *", window "*)
            if [ -n "$kind" ]; then
                id=${line##*, window }
                id=${id%%,*}
                printf '%s %s %d\n' "$stamp" "$kind" "$id"
                kind=
            fi
            ;;
        esac
    done
}

# Changes a property of the root window until xev reports it. Events reach xev in the order
# they happened, so once the report is in, so is every window shown before.
e2e__sync_watch() {
    local log=$E2E_WORK/maps.log deadline before
    before=$(grep -c ' property$' "$log" || true)
    deadline=$(e2e__deadline 10)
    while :; do
        E2E_PROBE=$((${E2E_PROBE:-0} + 1))
        xprop -root -f _LARKSPAN_E2E_PROBE 32c -set _LARKSPAN_E2E_PROBE "$E2E_PROBE"
        e2e__nap
        [ "$(grep -c ' property$' "$log" || true)" -gt "$before" ] && return 0
        e2e__past "$deadline" && e2e_fail "the window watcher does not answer"
    done
}

e2e_watch_maps() {
    local log=$E2E_WORK/maps.log
    mkfifo "$E2E_WORK/xev"
    : >"$log"
    stdbuf -oL xev -root -event substructure -event property >"$E2E_WORK/xev" 2>/dev/null &
    E2E_WATCH_PIDS+=($!)
    e2e__stamp_maps <"$E2E_WORK/xev" >>"$log" &
    E2E_WATCH_PIDS+=($!)
    # xev says nothing once it listens; once it reports a change made now, no window can be
    # shown unseen.
    e2e__sync_watch
}

e2e_mapped_windows() {
    e2e__sync_watch
    awk '$2 == "map" { if (!seen[$3]++) print $3 }' "$E2E_WORK/maps.log"
}

e2e_map_time() { # WID [SINCE]
    local stamp deadline
    deadline=$(e2e__deadline 5)
    while :; do
        stamp=$(awk -v id="$1" -v since="${2:-0}" '$2 == "map" && $3 == id && $1 >= since {
            print $1; exit }' "$E2E_WORK/maps.log")
        [ -n "$stamp" ] && break
        e2e__past "$deadline" && e2e_fail "no record of window $1 being shown"
        e2e__nap
    done
    printf '%s\n' "$stamp"
}

# ---- key presses, with time stamps ----------------------------------------------------------

declare -gA E2E_KEY_WATCH_PIDS=()

# Reads xev's report of key presses: the "KeyPress event" line is stamped when it arrives, the
# keysym follows two lines later.
e2e__stamp_keys() {
    local line stamp=
    while IFS= read -r line; do
        case $line in
        KeyPress*) stamp=${EPOCHREALTIME/[.,]/} ;;
        *"(keysym "*)
            if [ -n "$stamp" ]; then
                line=${line#*(keysym }
                line=${line#*, }
                printf '%s %s\n' "$stamp" "${line%%)*}"
                stamp=
            fi
            ;;
        esac
    done
}

e2e_watch_keys() { # WID
    local log=$E2E_WORK/keys-$1.log deadline
    [ -z "${E2E_KEY_WATCH_PIDS[$1]:-}" ] || e2e_fail "the keys of window $1 are watched already"
    : >"$log"
    mkfifo "$E2E_WORK/keys-$1"
    stdbuf -oL xev -id "$1" -event keyboard >"$E2E_WORK/keys-$1" 2>/dev/null &
    E2E_KEY_WATCH_PIDS[$1]=$!
    e2e__stamp_keys <"$E2E_WORK/keys-$1" >>"$log" &
    E2E_KEY_WATCH_PIDS[$1]+=" $!"
    # xev says nothing once it listens; a Shift press, which no window acts on, proves it does.
    timeout 10 xdotool windowfocus --sync "$1" || e2e_fail "could not focus window $1"
    deadline=$(e2e__deadline 10)
    until grep -q ' Shift_L$' "$log"; do
        e2e__past "$deadline" && e2e_fail "the key watcher of window $1 does not answer"
        timeout 10 xdotool key --delay 0 shift
        e2e__nap
    done
}

e2e_key_time() { # WID KEYSYM
    local stamp deadline
    deadline=$(e2e__deadline 5)
    while :; do
        stamp=$(awk -v key="$2" '$2 == key { print $1; exit }' "$E2E_WORK/keys-$1.log")
        [ -n "$stamp" ] && break
        e2e__past "$deadline" && e2e_fail "no record of $2 reaching window $1"
        e2e__nap
    done
    printf '%s\n' "$stamp"
}

e2e_unwatch_keys() { # WID
    local pid
    for pid in ${E2E_KEY_WATCH_PIDS[$1]:-}; do
        e2e__stop_pid "$pid" 2>/dev/null
    done
    unset "E2E_KEY_WATCH_PIDS[$1]"
    rm -f "$E2E_WORK/keys-$1"
}

# ---- opened links ----------------------------------------------------------------------------

e2e_opened() {
    cat "$E2E_OPEN_LOG"
}

e2e_wait_opened() { # TARGET [SECONDS]
    local deadline
    # The program starts xdg-open detached and does not wait for it, so the record may follow
    # the click by a moment.
    deadline=$(e2e__deadline "${2:-$E2E_WINDOW_DEADLINE}")
    until grep -Fxq -- "$1" "$E2E_OPEN_LOG"; do
        e2e__past "$deadline" && e2e_fail "'$1' was not opened; opened: $(e2e_opened)"
        e2e__nap
    done
}

# ---- clean-up --------------------------------------------------------------------------------

e2e__stop_pid() { # PID
    local deadline
    e2e__alive "$1" || return 0
    kill -TERM "$1" 2>/dev/null || true
    deadline=$(e2e__deadline 3)
    while e2e__alive "$1" && ! e2e__past "$deadline"; do
        e2e__nap
    done
    kill -KILL "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}

e2e__diagnose() {
    local name window
    {
        printf -- '--- diagnostics of %s (folder %s)\n' "$E2E_NAME" "$E2E_WORK"
        for name in "${!E2E_PIDS[@]}"; do
            if e2e__alive "${E2E_PIDS[$name]}"; then
                printf -- '--- %s (pid %s): running\n' "$name" "${E2E_PIDS[$name]}"
            else
                printf -- '--- %s (pid %s): ended\n' "$name" "${E2E_PIDS[$name]}"
            fi
            tail -n 20 "$E2E_WORK/$name.err" 2>/dev/null || true
        done
        if [ -n "${DISPLAY:-}" ] && [ -n "$E2E_XVFB_PID" ] && e2e__alive "$E2E_XVFB_PID"; then
            printf -- '--- visible windows\n'
            for window in $(xdotool search --onlyvisible --name '.' 2>/dev/null || true); do
                printf '%s %s %s\n' "$window" "$(xdotool getwindowname "$window" 2>/dev/null)" \
                    "$(e2e_window_geometry "$window" 2>/dev/null)"
            done
            if xwd -silent -root 2>/dev/null | convert xwd:- "png:$E2E_ARTIFACTS/$E2E_NAME-failure.png" \
                2>/dev/null; then
                printf -- '--- screen saved as %s\n' "$E2E_ARTIFACTS/$E2E_NAME-failure.png"
            fi
        fi
        if [ -s "${E2E_OPEN_LOG:-}" ]; then
            printf -- '--- opened\n'
            cat "$E2E_OPEN_LOG"
        fi
    } >&"$E2E_STDERR"
}

e2e__on_exit() {
    local status=$? name pid
    trap - EXIT
    set +e
    if [ "$status" -ne 0 ] || [ "$E2E_PASSED" -ne 1 ]; then
        [ "$status" -ne 0 ] || status=1 # a script that ends without e2e_pass has not passed
        e2e__diagnose
    fi
    {
        for name in "${!E2E_PIDS[@]}"; do
            e2e__stop_pid "${E2E_PIDS[$name]}"
        done
        for pid in "${E2E_WATCH_PIDS[@]}"; do
            e2e__stop_pid "$pid"
        done
        for pid in ${E2E_KEY_WATCH_PIDS[@]+"${E2E_KEY_WATCH_PIDS[@]}"}; do
            e2e__stop_pid "$pid"
        done
        # A suite's own tidying up, once its programs are stopped and while the display lives.
        [ -z "${E2E_ON_EXIT_HOOK:-}" ] || "$E2E_ON_EXIT_HOOK" >/dev/null
        [ -z "$E2E_XVFB_PID" ] || e2e__stop_pid "$E2E_XVFB_PID"
    } 2>/dev/null
    if [ "$status" -eq 0 ] && [ -n "${E2E_WORK:-}" ]; then
        rm -rf "$E2E_WORK"
    fi
    exit "$status"
}
