#!/usr/bin/env bash
# The output on a disk that fills up during the job: a small tmpfs holding the PDF, with room for
# a part of its text only, and yesterday's text file under the output's name. pdftotext alone
# would write what fits over it and end as if all were well; here the job shows an error box
# naming the problem and the file, leaves yesterday's file exactly as it was and hands nothing to
# "open".
# A tmpfs is mounted as root; otherwise the test runs itself again in a user and mount namespace
# of its own (unshare -rm), and is skipped (77) when neither can mount one.
# Argument: the build's bin folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
# shellcheck source-path=SCRIPTDIR source=extraction_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/extraction_lib.sh"

can_mount_tmpfs() {
    local probe status=1
    probe=$(mktemp -d)
    if mount -t tmpfs -o size=64k tmpfs "$probe" 2>/dev/null; then
        umount "$probe"
        status=0
    fi
    rmdir "$probe"
    return "$status"
}
if ! can_mount_tmpfs; then
    if [ -z "${E2E_IN_NAMESPACE:-}" ] && unshare -rm true 2>/dev/null; then
        E2E_IN_NAMESPACE=1 exec unshare -rm -- bash "${BASH_SOURCE[0]}" "$@"
    fi
    echo "skipped: no tmpfs can be mounted here (not root, and no user namespaces for unshare -rm)"
    exit 77
fi

e2e_init "$1" extraction-full-disk
e2e_write_record
disk=$E2E_WORK/disk
mkdir -p "$disk"
mount -t tmpfs -o size=1m tmpfs "$disk" || e2e_fail "could not mount a tmpfs on $disk"
unmount_disk() { umount "$disk"; }
E2E_ON_EXIT_HOOK=unmount_disk
# 2,000 pages: about 650 KB of PDF and 100 KB of text, of which 40 KB fit.
"$E2E_BIN/e2e-make-pdf" "$disk/long.pdf" pages 2000 || e2e_fail "could not write long.pdf"
printf "yesterday's text\r\n" >"$disk/long.txt"
cp "$disk/long.txt" "$E2E_WORK/yesterday.txt"
dd if=/dev/zero of="$disk/filler" bs=4096 2>/dev/null || true
truncate -s -40K "$disk/filler"

e2e_start main
main=$(e2e_wait_window Larkspan main)
extraction_pick_input "$main" "$disk/long.pdf"
e2e_expect_eq "$(extraction_page_count "$main")" 2000 "page count"
e2e_key "$main" ctrl+s
confirm=$(e2e_wait_window Confirm main)
e2e_key "$confirm" Return
box=$(e2e_wait_window Error main 60)
e2e_screenshot "$box" full-disk >/dev/null
e2e_expect_contains "$(e2e_copy_box_text "$box")" \
    "I/O Error: Couldn't write text file '$disk/long.txt': No space left on device." "error box"
e2e_key "$box" Return
e2e_wait_window_gone "$box"
cmp -s "$disk/long.txt" "$E2E_WORK/yesterday.txt" ||
    e2e_fail "yesterday's long.txt is not what it was: $(head -c 200 "$disk/long.txt" | od -c | head -n 3)"
e2e_expect_eq "$(extraction_listing "$disk")" $'filler\nlong.pdf\nlong.txt' "files on the disk"
e2e_expect_eq "$(e2e_opened)" "" "targets opened"

e2e_key "$main" ctrl+w
e2e_wait_exit main
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status"
e2e_pass
