#!/usr/bin/env bash
# The background check against the vendor stand-in. With the latest version installed, only the
# tutorial answer counts: the "Play Video Tutorial" button appears in the input group and opens
# the tutorial page. With an older version installed the program offers the upgrade; Enter
# answers Yes, the download window fetches the installer (served slowly, so the gauge is seen
# moving), saves it as Setup.exe in TEMP, starts it (a script that leaves a file in its folder)
# and the program ends with status 0.
# Argument: the build's bin folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
# shellcheck source-path=SCRIPTDIR source=online_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/online_lib.sh"
e2e_init "$1" online-upgrade
website=http://larkspan.example/
log=$E2E_WORK/standin.log
files=$E2E_WORK/files
mkdir -p "$files"
# A runnable installer: a script that notes that it ran, then 2 MB of bytes it never reaches.
{
    printf '#!/bin/sh\n: > installer-ran\nexit 0\n'
    head -c 2000000 /dev/urandom
} >"$files/Setup.bin"

# 2 MB at 400 kB/s: about five seconds of transfer.
online_start_server standin "$E2E_BIN/vendor-standin" --tutorial yes --latest 1.4 \
    --installer FreeLarkspan Larkspan /Setup.bin --files "$files" --rate 400000 --log "$log"
export LARKSPAN_WEBSITE_HOST=127.0.0.1:$ONLINE_PORT

# ---- the latest version installed: the tutorial button only ----
e2e_write_record 1.4 "$website"
e2e_start current
main=$(e2e_wait_window Larkspan current)
# The version question follows the tutorial controls, so once it is asked they are in place.
online_wait_line "$log" "POST /requests/checkversionid.php product_id=10"
read -r _ _ width height < <(e2e_window_geometry "$main")
e2e_expect_eq "$width" 496 "main window width"
menu=$((height - 266))
# The button: 6,70 (140 x 25) in the input group, which is now at 6,4 in the panel at 85,0.
e2e_click "$main" $((85 + 6 + 6 + 70)) $((menu + 4 + 70 + 12))
e2e_wait_opened "${website}?playvideo"
e2e_screenshot "$main" tutorial-shown >/dev/null
e2e_key "$main" ctrl+w
e2e_wait_exit current
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status without an upgrade"
e2e_expect_eq "$(grep -c '^GET ' "$log" || true)" 0 "downloads without an upgrade"

# ---- an older version installed: the upgrade ----
e2e_write_record 1.3 "$website"
e2e_start old
question=$(e2e_wait_window Confirm old)
e2e_expect_contains "$(e2e_copy_box_text "$question")" "Version number: 1.40" "upgrade question"
e2e_key "$question" Return
download=$(e2e_wait_window "Larkspan Setup" old)

# The gauge (20,38, 340 x 20 in the window) is seen at three different fillings while the
# installer comes in.
online_wait_line "$log" "GET /Setup.bin"
gauge_picture() {
    xwd -silent -id "$download" | convert xwd:- -crop 340x20+20+38 +repage "$1"
}
gauge_picture "$E2E_ARTIFACTS/$E2E_NAME-gauge-1.png"
deadline=$(e2e__deadline 4)
for step in 2 3; do
    previous=$E2E_ARTIFACTS/$E2E_NAME-gauge-$((step - 1)).png
    current=$E2E_ARTIFACTS/$E2E_NAME-gauge-$step.png
    while :; do
        gauge_picture "$current"
        [ "$(compare -metric AE "$previous" "$current" null: 2>&1 || true)" != 0 ] && break
        e2e__past "$deadline" && e2e_fail "the gauge did not move (pictures in $E2E_ARTIFACTS)"
        e2e__nap 0.2
    done
done
e2e_running old || e2e_fail "the program ended during the transfer"
xwd -silent -id "$download" | convert xwd:- "png:$E2E_ARTIFACTS/$E2E_NAME-downloading.png"

deadline=$(e2e__deadline "$E2E_WINDOW_DEADLINE")
until [ -e "$TEMP/installer-ran" ]; do
    e2e__past "$deadline" && e2e_fail "the installer was not started"
    e2e__nap
done
cmp -s "$files/Setup.bin" "$TEMP/Setup.exe" || e2e_fail "Setup.exe differs from the served file"
e2e_expect_eq "$(stat -c %a "$TEMP/Setup.exe")" 700 "Setup.exe permissions"
e2e_wait_window_gone "$download"
# The installer was started: the program ends by itself.
e2e_wait_exit old
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status after the upgrade"
e2e_pass
