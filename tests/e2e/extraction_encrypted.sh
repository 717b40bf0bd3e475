#!/usr/bin/env bash
# An encrypted PDF (AES-256) whose user password holds blanks, quotes and shell characters. The
# probe asks for the password with "Password needed"; a wrong answer gives the error box and a
# fresh prompt; the right one, typed as a user would, gives the page count, and the extractor,
# handed the same password through the shell, writes the known words. Nothing of the password
# is run: no command it could spell has left a trace. Then a document whose password is 100
# bytes long (the poppler tools read only 32), with shell characters and letters beyond ASCII:
# the probe and the extractor open it all the same.
# Argument: the build's bin folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
# shellcheck source-path=SCRIPTDIR source=extraction_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/extraction_lib.sh"
e2e_init "$1" extraction-encrypted
e2e_write_record
docs=$E2E_WORK/docs
mkdir -p "$docs"
# shellcheck disable=SC2016 # the password is literal text, meant to look like shell code
password='a b"c$d'\''e`touch pwned`;'
extraction_make_pdf "$E2E_WORK/plain.pdf"
qpdf --encrypt "$password" owner-secret 256 -- "$E2E_WORK/plain.pdf" "$docs/locked.pdf" ||
    e2e_fail "qpdf could not encrypt the test PDF"

e2e_start main
main=$(e2e_wait_window Larkspan main)
extraction_pick_input "$main" "$docs/locked.pdf"

# The first prompt comes without an error box.
prompt=$(e2e_wait_window "Password needed" main)
extraction_type "$prompt" "a b"
e2e_key "$prompt" Return
box=$(e2e_wait_window Error main)
e2e_expect_contains "$(e2e_copy_box_text "$box")" "Wrong password, please try it again!" \
    "box after a wrong password"
e2e_key "$box" Return
e2e_wait_window_gone "$box"

prompt=$(e2e_wait_window "Password needed" main)
extraction_type "$prompt" "$password"
e2e_screenshot "$prompt" prompt-masked >/dev/null
e2e_key "$prompt" Return
e2e_wait_window_gone "$prompt"
e2e_expect_eq "$(extraction_page_count "$main")" 3 "page count"

e2e_key "$main" ctrl+s
e2e_wait_opened "$docs/locked.txt"
extraction_expect_known_text "$docs/locked.txt"
e2e_expect_eq "$(e2e_opened)" "$docs/locked.txt" "targets opened"
e2e_expect_eq "$(extraction_listing "$docs")" $'locked.pdf\nlocked.txt' "files beside the input"
extraction_expect_no_pwned

# shellcheck disable=SC2016 # literal text again
long='Grüße aus Köln, 100 € & "quotes" | $HOME `touch pwned2`; '
while [ "$(printf %s "$long" | wc -c)" -lt 100 ]; do long+=x; done
qpdf --encrypt "$long" owner-secret 256 -- "$E2E_WORK/plain.pdf" "$docs/long.pdf" ||
    e2e_fail "qpdf could not encrypt with the long password"
extraction_pick_input "$main" "$docs/long.pdf"
# Pasted, as from a password manager: xdotool cannot type every letter of it reliably.
printf %s "$long" | xclip -selection clipboard -i
prompt=$(e2e_wait_window "Password needed" main)
e2e_key "$prompt" ctrl+v Return
e2e_wait_window_gone "$prompt"
e2e_expect_eq "$(extraction_page_count "$main")" 3 "page count with the long password"
e2e_key "$main" ctrl+s
e2e_wait_opened "$docs/long.txt"
extraction_expect_known_text "$docs/long.txt"
extraction_expect_no_pwned

e2e_key "$main" ctrl+w
e2e_wait_exit main
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status"
e2e_pass
