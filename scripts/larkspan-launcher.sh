#!/bin/sh
# Starts Larkspan from its program folder, <prefix>/lib/larkspan, making sure the program finds
# its installation record Oxbeck/Larkspan.conf among the system configuration folders
# (XDG_CONFIG_DIRS, /etc/xdg when unset).
#
# The prefix comes from the launcher's own path, <prefix>/bin/larkspan, by the shell's own
# means: no process runs before the program, which users notice as a slower start. readlink is
# asked only when the path cannot be taken as it is: "." or ".." or a doubled slash in it, a
# link to the launcher, or a linked folder that leaves no program where the path points.
self=$0
case $self in
/*) ;;
*) self=$PWD/$self ;;
esac
case $self in
*/./* | */../* | *//*) self=$(readlink -f "$self") ;;
*)
    if [ -L "$self" ] || [ ! -x "${self%/*/*}/lib/larkspan/larkspan" ]; then
        self=$(readlink -f "$self")
    fi
    ;;
esac
prefix=${self%/*/*}
if [ "$prefix" = /usr ]; then
    # The system installation keeps the record in /etc/xdg. A session that sets its own list
    # without /etc/xdg would hide it, so it is added last, after the session's own folders.
    case ":${XDG_CONFIG_DIRS:-/etc/xdg}:" in
    *:/etc/xdg:* | *:/etc/xdg/:*) ;;
    *)
        XDG_CONFIG_DIRS="$XDG_CONFIG_DIRS:/etc/xdg"
        export XDG_CONFIG_DIRS
        ;;
    esac
elif [ -d "$prefix/etc/xdg" ]; then
    # Any other prefix keeps the record inside the prefix; it comes first, so this
    # installation's record wins over one of another installation in /etc/xdg.
    XDG_CONFIG_DIRS="$prefix/etc/xdg:${XDG_CONFIG_DIRS:-/etc/xdg}"
    export XDG_CONFIG_DIRS
fi
exec "$prefix/lib/larkspan/larkspan"
