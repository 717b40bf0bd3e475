#!/usr/bin/env bash
# The installed program, started the way the menu entry starts it (/usr/bin/larkspan), turns a
# PDF into text as a user would: Ctrl+I opens the input dialog, the typed path is accepted, the
# probe counts the pages and proposes the output name, Ctrl+S runs the extraction through the
# installed tools, the result is handed to xdg-open, and Ctrl+W ends the program.
#
# Arguments: the build's bin folder (for the test harness), the PDF writer, and optionally the
# root folder of another Debian system (made by debootstrap) that has the package installed;
# the program then runs inside it with chroot, on this test's X server.
# LARKSPAN_PACKAGE_T0 (microseconds since the epoch, as e2e_now_us prints) is the moment the
# package's installation began: the time from then to the converted PDF is printed.
# shellcheck source-path=SCRIPTDIR source=../e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"
pdf_tool=$2
root=${3:-}
e2e_init "$1" package-installed-program

if [ -z "$root" ]; then
    # XDG_CONFIG_DIRS names only the test's own folder, which holds no record, as a desktop
    # session's own list may leave /etc/xdg out: the launcher adds it, and the program finds
    # the installed record there.
    docs=$E2E_WORK/docs # as this script sees it
    docs_seen=$docs     # as the program sees it
    mkdir -p "$docs"
    program=/usr/bin/larkspan
else
    # Inside the other root, the program has only what that system has, with the environment
    # a desktop would give it; it draws on this test's X server (the chroot shares the network
    # namespace, so the server's abstract socket is reachable). Its xdg-open only records.
    docs_seen=/tmp/larkspan-package-test
    docs=$root$docs_seen
    rm -rf "$docs"
    mkdir -p "$docs/runtime" "$docs/home"
    chmod 0700 "$docs/runtime"
    cp "$XAUTHORITY" "$docs/Xauthority"
    mkdir -p "$root/usr/local/bin"
    printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>%s/opened.log\n' "$docs_seen" \
        >"$root/usr/local/bin/xdg-open"
    chmod +x "$root/usr/local/bin/xdg-open"
    : >"$docs/opened.log"
    E2E_OPEN_LOG=$docs/opened.log
    program=$E2E_WORK/larkspan-in-root
    cat >"$program" <<EOF
#!/bin/sh
exec chroot '$root' /usr/bin/env -i DISPLAY='$DISPLAY' XAUTHORITY='$docs_seen/Xauthority' \
    HOME='$docs_seen/home' XDG_RUNTIME_DIR='$docs_seen/runtime' LC_ALL=C.UTF-8 \
    PATH=/usr/local/bin:/usr/bin:/bin LARKSPAN_WEBSITE_HOST=127.0.0.1:9 /usr/bin/larkspan
EOF
    chmod +x "$program"
fi

"$pdf_tool" "$docs/Report.pdf" 3

e2e_start main "$program"
main=$(e2e_wait_window Larkspan main)

# File > Select input PDF file (Ctrl+I) opens the open dialog; its file name box has the focus.
e2e_key "$main" ctrl+i
dialog=$(e2e_wait_window Open main)
timeout 10 xdotool windowfocus --sync "$dialog" || e2e_fail "could not focus the open dialog"
timeout 20 xdotool key --delay 20 ctrl+a || e2e_fail "could not select the file name"
timeout 20 xdotool type --delay 10 "$docs_seen/Report.pdf" ||
    e2e_fail "could not type the file name"
e2e_key "$dialog" Return
e2e_wait_window_gone "$dialog"

# The probe has run pdfi.bin and proposed Report.txt beside the input; Start extraction
# (Ctrl+S) runs textract.bin, and "Open After Extraction" hands the result to xdg-open once the
# job has ended.
e2e_key "$main" ctrl+s
e2e_wait_opened "$docs_seen/Report.txt" 60
if [ -n "${LARKSPAN_PACKAGE_T0:-}" ]; then
    elapsed=$(($(e2e_now_us) - LARKSPAN_PACKAGE_T0))
    printf 'Installation to converted PDF: %d.%01d s\n' $((elapsed / 1000000)) \
        $((elapsed / 100000 % 10))
fi

text=$(cat "$docs/Report.txt")
for page in 1 2 3; do
    e2e_expect_contains "$text" "Page $page of 3" "the text of page $page"
    e2e_expect_contains "$text" "Larkspan known words page $page" "the text of page $page"
done
e2e_expect_contains "$text" $'\r\n' "CR LF line ends"
e2e_screenshot "$main" converted >/dev/null

e2e_key "$main" ctrl+w
e2e_wait_exit main
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status after Ctrl+W"
if [ -n "$root" ]; then
    rm -rf "$docs" "$root/usr/local/bin/xdg-open"
fi
e2e_pass
