#!/usr/bin/env bash
# A PDF whose name holds a command substitution and backquotes, in a folder whose name holds a
# blank, is probed and extracted like any other: the text file lands beside it under the same
# name with ".txt", it is the one target opened, and no part of the name was run as a command
# (the probe and the extractor both get the path through the shell).
# Argument: the build's bin folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
# shellcheck source-path=SCRIPTDIR source=extraction_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/extraction_lib.sh"
e2e_init "$1" extraction-hostile-name
e2e_write_record
docs="$E2E_WORK/my docs"
mkdir -p "$docs"
# shellcheck disable=SC2016 # the name is literal text, meant to look like shell code
stem='`touch pwned-by-backquotes` $(touch pwned) \$HOME'\''s; `id`'
extraction_make_pdf "$docs/$stem.pdf"

e2e_start main
main=$(e2e_wait_window Larkspan main)
extraction_pick_input "$main" "$docs/$stem.pdf"
e2e_expect_eq "$(extraction_page_count "$main")" 3 "page count"
e2e_key "$main" ctrl+s
e2e_wait_opened "$docs/$stem.txt"
extraction_expect_known_text "$docs/$stem.txt"
e2e_expect_eq "$(e2e_opened)" "$docs/$stem.txt" "targets opened"
e2e_expect_eq "$(extraction_listing "$docs")" "$stem.pdf"$'\n'"$stem.txt" "files beside the input"
extraction_expect_no_pwned

e2e_key "$main" ctrl+w
e2e_wait_exit main
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status"
e2e_pass
