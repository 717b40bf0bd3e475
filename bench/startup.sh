#!/usr/bin/env bash
# Start-up figures of a built Larkspan, on a private Xvfb like the end-to-end tests:
#   - the time from starting the process to its main window being shown (mapped), taken from
#     the X server's own report of the mapping as it arrives, so it does not depend on how often
#     anything polls;
#   - its resident memory (VmRSS) once idle: after the window is up, when the figure has not
#     changed for half a second;
#   - the processor time it used until then (user and system, all threads), which tells the
#     program's own cost apart from waiting on a machine busy with other work.
# Each is the median of RUNS starts (default 10). Arguments: BIN_DIR [RUNS].
# shellcheck source-path=SCRIPTDIR source=../tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/lib.sh"
[ $# -ge 1 ] || e2e_fail "usage: $0 BIN_DIR [RUNS]"
runs=${2:-10}
e2e_init "$1" bench-startup
e2e_write_record
e2e_watch_maps

# Prints the resident memory in kB once it has held still for 5 readings 100 ms apart.
settled_rss() { # PID
    local pid=$1 rss previous='' same=0 deadline
    deadline=$(e2e__deadline 10)
    while [ "$same" -lt 5 ]; do
        rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status")
        if [ "$rss" = "$previous" ]; then
            same=$((same + 1))
        else
            same=0
            previous=$rss
        fi
        e2e__past "$deadline" && break
        e2e__nap 0.1
    done
    printf '%s\n' "$rss"
}

cpu_ms() { # PID -> user + system time of all its threads so far, in milliseconds
    local stat fields
    stat=$(<"/proc/$1/stat")
    read -r -a fields <<<"${stat##*) }"
    # utime and stime are the 14th and 15th fields; the ones after the name start at the 3rd
    printf '%s\n' $(((fields[11] + fields[12]) * 1000 / $(getconf CLK_TCK)))
}

median() { # values on stdin, one a line
    sort -n | awk '{ v[NR] = $1 } END {
        if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

times=() memories=() cpus=()
for ((run = 1; run <= runs; run++)); do
    start=${EPOCHREALTIME/[.,]/}
    e2e_start "run$run"
    window=$(e2e_wait_window Larkspan "run$run")
    shown=$(e2e_map_time "$window" "$start")
    times+=("$(awk -v us=$((shown - start)) 'BEGIN { printf "%.1f", us / 1000 }')")
    rss=$(settled_rss "$(e2e_pid "run$run")")
    memories+=("$(awk -v kb="$rss" 'BEGIN { printf "%.1f", kb / 1024 }')")
    cpus+=("$(cpu_ms "$(e2e_pid "run$run")")")
    printf 'run %2d: window shown after %7s ms, %6s MiB resident when idle, %5s ms of CPU\n' \
        "$run" "${times[-1]}" "${memories[-1]}" "${cpus[-1]}"
    e2e_key "$window" ctrl+w
    e2e_wait_exit "run$run"
    e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status of run $run"
done

summary() { # NAME UNIT AIM VALUES...
    local name=$1 unit=$2 aim=$3
    shift 3
    printf '%s: median %s %s (min %s, max %s); aim: under %s %s\n' "$name" \
        "$(printf '%s\n' "$@" | median)" "$unit" "$(printf '%s\n' "$@" | sort -n | head -n1)" \
        "$(printf '%s\n' "$@" | sort -n | tail -n1)" "$aim" "$unit"
}
printf '\nLarkspan start-up, %d runs of %s on a private X server:\n' "$runs" "$E2E_PROGRAM"
summary "main window shown after" ms 300 "${times[@]}"
summary "resident memory when idle" MiB 60 "${memories[@]}"
printf 'processor time used by then: median %s ms (user and system, all threads)\n' \
    "$(printf '%s\n' "${cpus[@]}" | median)"
e2e_pass
