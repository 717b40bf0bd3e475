#!/usr/bin/env bash
# The upgrade's installer announced with its whole length (3 MB) and cut off after 1 MiB by a
# clean close: the download window reports "Installer download error!", starts nothing and
# leaves nothing in the temporary folder; the stale partial file of a killed run is removed at
# the start.
# Argument: the build's bin folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
# shellcheck source-path=SCRIPTDIR source=online_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/online_lib.sh"
e2e_init "$1" online-short-body
online_refused_download main --cut-after 1048576
e2e_pass
