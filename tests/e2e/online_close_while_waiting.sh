#!/usr/bin/env bash
# The background check waits on a vendor server that takes the request and never answers.
# Closing the main window meanwhile ends the program at once, with status 0: nothing waits for
# the check.
# Argument: the build's bin folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
# shellcheck source-path=SCRIPTDIR source=online_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/online_lib.sh"
e2e_init "$1" online-close-while-waiting

online_start_server silent "$E2E_BIN/online-silent-server"
export LARKSPAN_WEBSITE_HOST=127.0.0.1:$ONLINE_PORT
e2e_write_record

e2e_start main
main=$(e2e_wait_window Larkspan main)
online_wait_line "$E2E_WORK/silent.out" "request POST /requests/getytvideoid.php HTTP/1.0"
e2e_key "$main" ctrl+w
# The check would wait a minute for an answer; the program must not.
e2e_wait_exit main 3
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status"
e2e_running silent || e2e_fail "the silent server ended; it should still hold the request"
e2e_pass
