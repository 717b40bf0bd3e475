#!/usr/bin/env bash
# The upgrade's installer comes at one byte every 5 s after its first 64 KiB. The download window
# still takes a click on Cancel at once, and Yes to the question ends the transfer: the stand-in
# sees the connection closed soon after the key (the time is printed; the aim is 1 s, the bound
# checked is generous), the window closes without a message, nothing is started or left in the
# temporary folder, and the program goes on. A copy killed during such a download leaves nothing
# either, once the next start has looked.
# Argument: the build's bin folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
# shellcheck source-path=SCRIPTDIR source=online_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/online_lib.sh"
e2e_init "$1" online-trickle-cancel
log=$E2E_WORK/standin.log
online_installer_files "$E2E_WORK/files"
online_start_server standin "$E2E_BIN/vendor-standin" --latest 1.4 \
    --installer FreeLarkspan Larkspan /Setup.bin --files "$E2E_WORK/files" \
    --trickle-after 65536 5 --log "$log" --log-times
export LARKSPAN_WEBSITE_HOST=127.0.0.1:$ONLINE_PORT
e2e_write_record 1.3

# start_download NAME: the program offers the upgrade, Yes, and the trickle has begun. Not
# inside $(...): the program must be this shell's child.
downloads() { # the GET requests of the installer so far
    { awk '$2 == "GET" && $3 == "/Setup.bin"' "$log" 2>/dev/null || true; } | wc -l
}
start_download() {
    local question before
    before=$(downloads)
    e2e_start "$1"
    question=$(e2e_wait_window Confirm "$1")
    e2e_key "$question" Return
    until [ "$(downloads)" -gt "$before" ]; do
        e2e_running "$1" || e2e_fail "$1 ended before its download"
        e2e__nap
    done
}

e2e_watch_maps
start_download main
download=$(e2e_wait_window "Larkspan Setup" main)
# Well into the trickle: the first 64 KiB came at once, no byte has come for a while.
e2e__nap 1.5
clicked=$(e2e_now_us)
e2e_click "$download" 190 82
question=$(e2e_wait_window Confirm main 10)
shown=$(e2e_map_time "$question" "$clicked")
e2e_expect_contains "$(e2e_copy_box_text "$question")" "Are you sure to cancel this download?" \
    "the question"
e2e_watch_keys "$question"
timeout 10 xdotool key --delay 0 Return || e2e_fail "could not answer the question"
yes=$(e2e_key_time "$question" Return)
online_wait_line "$log" "CLOSED /Setup.bin" 10
closed=$(awk '$2 == "CLOSED" { print $1; exit }' "$log")
printf 'Cancel: the question was up %d ms after the click; the server saw the connection closed %d ms after Yes\n' \
    $(((shown - clicked) / 1000)) $(((closed - yes) / 1000))
[ $((shown - clicked)) -lt 5000000 ] || e2e_fail "the click was taken $(((shown - clicked) / 1000)) ms late"
[ $((closed - yes)) -lt 5000000 ] || e2e_fail "the transfer ended $(((closed - yes) / 1000)) ms after Yes"
e2e_wait_window_gone "$download"
[ -z "$(e2e_find_window Error main 2>/dev/null || true)" ] || e2e_fail "an error box after Cancel"
online_expect_nothing_left "after Cancel"
e2e_running main || e2e_fail "the program ended after Cancel"
e2e_key "$(e2e_find_window Larkspan main)" ctrl+w
e2e_wait_exit main

# Killed during the download, then started again.
start_download killed
e2e__nap 0.5
e2e_kill killed
e2e_start again
e2e_wait_window Confirm again >/dev/null
online_expect_nothing_left "after a copy was killed during the download"
e2e_key "$(e2e_find_window Confirm again)" Escape
e2e_key "$(e2e_find_window Larkspan again)" ctrl+w
e2e_wait_exit again
e2e_pass
