#!/bin/sh
# Starts Larkspan from its program folder. For an installation under a prefix other than /usr,
# the installation record lives in <prefix>/etc/xdg, which is put first among the system
# configuration folders so the program finds it.
here=$(dirname "$(readlink -f "$0")")
prefix=$(dirname "$here")
if [ -d "$prefix/etc/xdg" ]; then
    XDG_CONFIG_DIRS="$prefix/etc/xdg:${XDG_CONFIG_DIRS:-/etc/xdg}"
    export XDG_CONFIG_DIRS
fi
exec "$prefix/lib/larkspan/larkspan"
