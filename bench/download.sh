#!/usr/bin/env bash
# Installer download figures of a built Larkspan, on a private Xvfb like the end-to-end tests.
#
# The vendor stand-in serves an installer on 127.0.0.1: a two-line shell script that exits at
# once, followed by random bytes it never reaches (the program deletes a saved file the system
# cannot run, so it must be a program). The program offers the upgrade, xdotool answers Yes, and
# the time runs from the Yes key reaching the question until $TEMP/Setup.exe is complete (the
# program writes it as a file without a name, or under another name, and renames it at the end,
# which the watcher sees). The
# anchor is curl writing the same body from the same server to a file in the same folder (its own
# time for the transfer), in the same rounds, alternating with the program. Each case prints
# min/median/max of both and the throughput ratio of the medians (curl's time over the
# program's), plus the program's peak resident memory during the download (the kernel's
# high-water mark).
#
# Cases: 256 MiB with Content-Length, chunked and read until close (ROUNDS each), and 16 MiB with
# Content-Length (SMALL_ROUNDS). Every case also shows the window's wait before the transfer (its
# 500 ms timer, which Qt may fire a little early) as the stand-in saw it, from the
# installer-information request to the download's, and the program's time with that wait taken
# off; the aim for 16 MiB is on that figure, the aims for 256 MiB on the whole time from Yes.
#
# The program starts the saved installer, which ends at once, and then ends; should it ever stay
# up after that (say with a box saying the file cannot be run), it is ended once the figures are
# taken.
#
# Arguments: BIN_DIR WATCHER [ROUNDS [SMALL_ROUNDS]] (defaults 5 and 9); WATCHER is the
# download-watch helper.
# shellcheck source-path=SCRIPTDIR source=../tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/lib.sh"
# shellcheck source-path=SCRIPTDIR source=../tests/e2e/online_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/online_lib.sh"
[ $# -ge 2 ] || e2e_fail "usage: $0 BIN_DIR WATCHER [ROUNDS [SMALL_ROUNDS]]"
watcher=$2
rounds=${3:-5}
small_rounds=${4:-9}
command -v curl >/dev/null || e2e_fail "curl is missing"
e2e_init "$1" bench-download
e2e_write_record 1.3

mib=$((1024 * 1024))
big=$((256 * mib))
small=$((16 * mib))
files=$E2E_WORK/files
mkdir -p "$files"
installer() { # SIZE
    local script=$'#!/bin/sh\nexit 0\n'
    printf '%s' "$script"
    head -c $(($1 - ${#script})) /dev/urandom
}
installer "$big" >"$files/Setup-256.bin"
installer "$small" >"$files/Setup-16.bin"

# One stand-in per case, each offering version 1.4 and its own installer, so the program and
# curl of a case always talk to the same server.
declare -A ports
for framing in length chunked close; do
    online_start_server "standin-$framing" "$E2E_BIN/vendor-standin" --latest 1.4 \
        --installer FreeLarkspan Larkspan /Setup-256.bin --files "$files" --framing "$framing" \
        --log "$E2E_WORK/standin-$framing.log" --log-times
    ports[$framing]=$ONLINE_PORT
done
online_start_server standin-small "$E2E_BIN/vendor-standin" --latest 1.4 \
    --installer FreeLarkspan Larkspan /Setup-16.bin --files "$files" \
    --log "$E2E_WORK/standin-small.log" --log-times
ports[small]=$ONLINE_PORT

# curl_once PORT PATH SIZE: sets RESULT_US to curl's own time for the transfer, from its start
# on the request to the last byte written, which leaves out curl's start-up (its libraries take
# longer to load than a small download) and so favours curl.
curl_once() {
    local out=$TEMP/curl-Setup.bin seconds
    rm -f "$out"
    seconds=$(curl -sS -o "$out" -w '%{time_total}' "http://127.0.0.1:$1$2") ||
        e2e_fail "curl could not fetch $2"
    e2e_expect_eq "$(stat -c %s "$out")" "$3" "size of curl's file"
    rm -f "$out"
    RESULT_US=$(awk -v s="$seconds" 'BEGIN { printf "%d", s * 1000000 }')
}

# program_once NAME PORT SOURCE LOG: sets RESULT_US to the time from Yes to the saved file,
# PEAK_KIB to the program's peak resident memory by then and WAIT_US to the window's wait before
# the transfer as the server saw it: from the installer-information request to the download's.
program_once() {
    local name=$1 port=$2 source=$3 log=$4 question watch_out start landed deadline
    rm -f "$TEMP/Setup.exe"
    export LARKSPAN_WEBSITE_HOST=127.0.0.1:$port
    e2e_start "$name"
    question=$(e2e_wait_window Confirm "$name")

    watch_out=$E2E_WORK/$name.watch
    "$watcher" "$TEMP" Setup.exe "$(e2e_pid "$name")" 120 >"$watch_out" 2>"$watch_out.err" &
    local watch_pid=$!
    deadline=$(e2e__deadline 10)
    until grep -qx ready "$watch_out" 2>/dev/null; do
        e2e__past "$deadline" && e2e_fail "the watcher did not start: $(cat "$watch_out.err")"
        e2e__nap 0.01
    done

    # The clock starts when the key reaches the question, as the program sees it, not when
    # xdotool (itself a few milliseconds to start) was asked to type it.
    e2e_watch_keys "$question"
    timeout 10 xdotool key --delay 0 Return || e2e_fail "could not answer the question"
    start=$(e2e_key_time "$question" Return)
    wait "$watch_pid" || e2e_fail "no Setup.exe: $(cat "$watch_out.err")"
    e2e_unwatch_keys "$question"
    read -r landed PEAK_KIB < <(tail -n 1 "$watch_out")
    RESULT_US=$((landed - start))
    WAIT_US=$(awk '$2 == "POST" && $3 == "/requests/getsmartinstallerinfo.php" { post = $1 }
        $2 == "GET" { got = $1 } END { print got - post }' "$log")
    if [ "$WAIT_US" -le 0 ] || [ "$WAIT_US" -ge 10000000 ]; then
        e2e_fail "no wait before the download in $log: $WAIT_US"
    fi

    cmp -s "$source" "$TEMP/Setup.exe" || e2e_fail "Setup.exe differs from the served file"
    deadline=$(e2e__deadline 10)
    while e2e_running "$name" && ! e2e__past "$deadline"; do
        e2e__nap
    done
    if e2e_running "$name"; then
        e2e_kill "$name" TERM
    else
        e2e_wait_exit "$name"
    fi
    rm -f "$TEMP/Setup.exe"
}

stats() { # values in microseconds -> "min median max" in milliseconds
    printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END {
        m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "%.1f %.1f %.1f\n", v[1] / 1000, m / 1000, v[NR] / 1000 }'
}

declare -A curl_us program_us wait_us peak_kib
measure() { # CASE PORT PATH SIZE ROUND
    local case=$1
    curl_once "$2" "$3" "$4"
    curl_us[$case]+=" $RESULT_US"
    program_once "$case-$5" "$2" "$files$3" "$E2E_WORK/standin-$case.log"
    program_us[$case]+=" $RESULT_US"
    wait_us[$case]+=" $WAIT_US"
    if [ "$PEAK_KIB" -gt "${peak_kib[$case]:-0}" ]; then
        peak_kib[$case]=$PEAK_KIB
    fi
    printf '%-8s round %2d: curl %8.1f ms, download window %8.1f ms, peak resident %6.1f MiB\n' \
        "$case" "$5" "$(awk -v u="${curl_us[$case]##* }" 'BEGIN { print u / 1000 }')" \
        "$(awk -v u="$RESULT_US" 'BEGIN { print u / 1000 }')" \
        "$(awk -v k="$PEAK_KIB" 'BEGIN { print k / 1024 }')"
}

printf 'load before: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
for ((round = 1; round <= rounds; round++)); do
    for framing in length chunked close; do
        measure "$framing" "${ports[$framing]}" /Setup-256.bin "$big" "$round"
    done
done
for ((round = 1; round <= small_rounds; round++)); do
    measure small "${ports[small]}" /Setup-16.bin "$small" "$round"
done
printf 'load after: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"

report() { # CASE TITLE BODY_MIB AIM_WITHOUT_WAIT(yes|no)
    local case=$1 curl_values=() values=() waits=() shorter=()
    read -r -a curl_values <<<"${curl_us[$case]}"
    read -r -a values <<<"${program_us[$case]}"
    read -r -a waits <<<"${wait_us[$case]}"
    for ((i = 0; i < ${#values[@]}; i++)); do
        shorter+=($((values[i] - waits[i])))
    done
    read -r c1 c2 c3 <<<"$(stats "${curl_values[@]}")"
    read -r p1 p2 p3 <<<"$(stats "${values[@]}")"
    read -r w1 w2 w3 <<<"$(stats "${waits[@]}")"
    read -r s1 s2 s3 <<<"$(stats "${shorter[@]}")"
    printf '\n%s:\n' "$2"
    printf '  curl to a file            min %8.1f  median %8.1f  max %8.1f ms\n' "$c1" "$c2" "$c3"
    printf '  window, from Yes          min %8.1f  median %8.1f  max %8.1f ms\n' "$p1" "$p2" "$p3"
    printf '  its wait before the GET   min %8.1f  median %8.1f  max %8.1f ms\n' "$w1" "$w2" "$w3"
    printf '  window, that wait off     min %8.1f  median %8.1f  max %8.1f ms\n' "$s1" "$s2" "$s3"
    awk -v c="$c2" -v p="$p2" -v s="$s2" -v mib="$3" -v aim="$4" 'BEGIN {
        printf "  throughput of the medians: curl %.0f MiB/s, window %.0f MiB/s (%.0f without the wait)\n",
            mib * 1000 / c, mib * 1000 / p, mib * 1000 / s
        printf "  ratio to curl from Yes %.2f%s; without the wait %.2f%s\n", c / p,
            aim == "no" ? " (aim >= 0.80)" : "", c / s, aim == "yes" ? " (aim >= 0.80)" : "" }'
    awk -v k="${peak_kib[$case]}" -v mib="$3" 'BEGIN {
        printf "  peak resident memory %.1f MiB (aim <= body + 64 = %d MiB)\n", k / 1024, mib + 64 }'
}
printf '\nLarkspan installer download through the download window against curl, 127.0.0.1,\n'
printf 'from the Yes key to Setup.exe complete; %d rounds of 256 MiB, %d of 16 MiB:\n' \
    "$rounds" "$small_rounds"
report length "256 MiB, Content-Length" 256 no
report chunked "256 MiB, chunked (64 KiB chunks)" 256 no
report close "256 MiB, read until the server closes" 256 no
report small "16 MiB, Content-Length" 16 yes
# Figures, not a verdict: no "PASS" line, which would read as if the aims were met. Marked
# passed only so that the exit handler tidies up without keeping failure artefacts.
E2E_PASSED=1
exit 0
