#!/usr/bin/env bash
# What a screen reader finds, read through the desktop's accessibility interface (AT-SPI) on a
# private D-Bus session: in the main window, a message box, the About window and the password
# prompt every control a person acts on or reads has a name, no two side by side share one,
# and Tab walks each window in reading order. Then a whole extraction by the keyboard alone:
# Tab to the input file's browse button, Space, the path typed into the dialog, the password,
# "Insert Page Breaks" switched off, Space on the start button; the text file comes out
# without form feeds. Each window's table is printed (see the test's output).
# Argument: the build's bin folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
# shellcheck source-path=SCRIPTDIR source=extraction_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/extraction_lib.sh"
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
e2e_init "$1" accessibility
e2e_write_record
python=/usr/bin/python3 # Debian's, which has the Atspi bindings
for tool in dbus-daemon dbus-send "$python"; do
    command -v "$tool" >/dev/null || e2e_fail "missing $tool (scripts/install-deps.sh installs it)"
done
"$python" -c 'import gi; gi.require_version("Atspi", "2.0")' 2>/dev/null ||
    e2e_fail "no Atspi bindings for $python (scripts/install-deps.sh installs them)"

# A session bus of the test's own, so nothing reaches a desktop session's bus or its screen
# reader; only the bus, the program and the checks are given its address. The accessibility
# bus it starts on request (at-spi-bus-launcher, its own bus and the registry) keeps its socket
# in the test's XDG_RUNTIME_DIR and its address on the test's X server. All of it ends with the
# test: the session bus is stopped with the test's programs, then whatever it started, found
# by the bus address in its environment.
bus_socket=$E2E_WORK/session-bus
[ ${#bus_socket} -lt 100 ] || e2e_fail "the build folder's path is too long for a socket: $bus_socket"
bus=unix:path=$bus_socket
unset AT_SPI_BUS_ADDRESS
DBUS_SESSION_BUS_ADDRESS=$bus dbus-daemon --session --nofork --nopidfile --address="$bus" \
    >"$E2E_WORK/session-bus.log" 2>&1 &
E2E_WATCH_PIDS+=($!)
# shellcheck disable=SC2317 # run by the library's exit hook
accessibility_stop_bus_children() {
    local deadline pids
    deadline=$(e2e__deadline 3)
    while :; do
        pids=$(grep -lsz -- "$bus_socket" /proc/[0-9]*/environ | cut -d/ -f3 | tr '\n' ' ')
        [ -n "${pids// /}" ] || return 0
        if e2e__past "$deadline"; then
            # shellcheck disable=SC2086 # a list of process ids
            kill -KILL $pids 2>/dev/null || true
            return 0
        fi
        # shellcheck disable=SC2086
        kill -TERM $pids 2>/dev/null || true
        e2e__nap 0.1
    done
}
E2E_ON_EXIT_HOOK=accessibility_stop_bus_children
stamp=$(e2e__deadline "$E2E_WINDOW_DEADLINE")
until dbus-send --bus="$bus" --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.a11y.Bus.GetAddress >"$E2E_WORK/a11y-address" 2>/dev/null; do
    e2e__past "$stamp" && e2e_fail "no accessibility bus: $(cat "$E2E_WORK/session-bus.log")"
    e2e__nap
done

# Reads WINDOW of the program through AT-SPI (accessibility_tree.py); the window is focused
# first, so that the Tab presses of --tabs reach it.
tree() { # WID TITLE [OPTIONS...]
    local window=$1
    shift
    timeout 10 xdotool windowfocus --sync "$window" || e2e_fail "could not focus window $window"
    DBUS_SESSION_BUS_ADDRESS=$bus timeout 60 "$python" "$here/accessibility_tree.py" \
        "$(e2e_pid main)" "$@" ||
        e2e_fail "the accessibility check of '$1' failed (see above)"
}

docs=$E2E_WORK/docs
mkdir -p "$docs"
extraction_make_pdf "$E2E_WORK/plain.pdf"
qpdf --encrypt secret owner-secret 256 -- "$E2E_WORK/plain.pdf" "$docs/locked.pdf" ||
    e2e_fail "qpdf could not encrypt the test PDF"

# Qt offers its tree to the bus without waiting for a screen reader to ask for it.
DBUS_SESSION_BUS_ADDRESS=$bus QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 e2e_start main
main=$(e2e_wait_window Larkspan main)
tree "$main" Larkspan --tabs "Start extraction" Donate "${LARKSPAN_WEBSITE_HOST}" "I like it!" \
    "Input PDF File" "Choose input PDF file" "View selected PDF file" "Page Count" "Page Range" \
    "Output Text File" "Choose output text file" "View extracted text file" Layout \
    "Insert Page Breaks" "Open After Extraction" "Start Pro version"

# Space on the start button with no file chosen: the warning is an alert that carries its text.
e2e_key "$main" space
box=$(e2e_wait_window Warning main)
tree "$box" Warning --role alert --description "Please specify the input PDF file!" --tabs OK
e2e_key "$box" Return
e2e_wait_window_gone "$box"

# Help > About through the menu by keys: Alt+H opens it at "Website", five Downs reach About
# (the hidden video item and the separators are passed over).
e2e_key "$main" alt+h Down Down Down Down Down Return
about=$(e2e_wait_window "About Larkspan" main)
tree "$about" "About Larkspan" --tabs OK "http://${LARKSPAN_WEBSITE_HOST}/"
e2e_key "$about" Escape
e2e_wait_window_gone "$about"

# The extraction, keys only. From the start button, five Tabs reach the input's browse button.
e2e_key "$main" Tab Tab Tab Tab Tab
e2e_expect_eq "$(tree "$main" Larkspan --focused)" "Choose input PDF file" "focus after five Tabs"
e2e_key "$main" space
dialog=$(e2e_wait_window Open main)
extraction_type "$dialog" "$docs/locked.pdf"
e2e_key "$dialog" Return
prompt=$(e2e_wait_window "Password needed" main)
tree "$prompt" "Password needed" --tabs \
    "This PDF is password protected! Please enter the password:" OK Cancel
extraction_type "$prompt" secret
e2e_key "$prompt" Return
e2e_wait_window_gone "$prompt"
# After the probe the focus is back on the start button; three Shift+Tabs reach the page
# breaks, Space takes them off, three Tabs go back and Space starts.
stamp=$(e2e__deadline "$E2E_WINDOW_DEADLINE")
until [ "$(tree "$main" Larkspan --focused)" = "Start extraction" ]; do
    e2e__past "$stamp" && e2e_fail "the focus did not come back to the start button"
    e2e__nap
done
e2e_key "$main" shift+Tab shift+Tab shift+Tab
e2e_expect_eq "$(tree "$main" Larkspan --focused)" "Insert Page Breaks" "focus after Shift+Tabs"
e2e_key "$main" space Tab Tab Tab space
e2e_wait_opened "$docs/locked.txt"
[ -f "$docs/locked.txt" ] || e2e_fail "no text file written"
if ! cmp -s "$docs/locked.txt" <(extraction_expected_text | tr -d '\f'); then
    e2e_fail "locked.txt holds $(od -c "$docs/locked.txt" | head -n 20)"
fi

e2e_key "$main" ctrl+w
e2e_wait_exit main
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status"
e2e_pass
