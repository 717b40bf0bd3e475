#!/usr/bin/env bash
# The upgrade's installer sent chunked, with the chunk-size line ffffffffffffffffffff after the
# first 64 KiB chunk: the download window reports "Installer download error!", starts nothing
# and leaves nothing in the temporary folder.
# Argument: the build's bin folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
# shellcheck source-path=SCRIPTDIR source=online_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/online_lib.sh"
e2e_init "$1" online-overflowing-chunk
online_refused_download main --framing chunked --bad-chunk-after 65536
e2e_pass
