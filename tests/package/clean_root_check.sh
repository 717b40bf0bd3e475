#!/usr/bin/env bash
# The package on a clean Debian 12 system: debootstrap makes a minimal bookworm root (minbase:
# no X, no Qt, no poppler); `apt-get install --no-install-recommends ./<package>.deb` inside it
# must pull in everything the program needs; the program there converts a PDF driven through
# its window (installed_program.sh, on an X server of this machine); and `apt-get purge` must
# leave nothing of the package behind. Prints how long each step took.
#
# Too slow for every test run (the root alone takes minutes), so it is run by hand, as root:
#   tests/package/clean_root_check.sh <package.deb> <build folder> [<root folder>]
# The build folder gives the test harness and the PDF writer (ctest's build, ./build). An
# existing root folder is reused as it is (delete it for a fresh one); the default is
# /var/tmp/larkspan-clean-root. The archive is the one this machine's apt uses.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
deb=$(readlink -f "$1")
build=$(cd "$2" && pwd)
root=${3:-/var/tmp/larkspan-clean-root}
[ "$(id -u)" -eq 0 ] || {
    echo "run as root" >&2
    exit 1
}
command -v debootstrap >/dev/null || apt-get install -y -q --no-install-recommends debootstrap

seconds_since() { # START (microseconds)
    local now=${EPOCHREALTIME/[.,]/}
    printf '%d.%01d s' $(((now - $1) / 1000000)) $(((now - $1) / 100000 % 10))
}
now_us() {
    local now=${EPOCHREALTIME/[.,]/}
    printf '%s\n' "$now"
}

sources=/etc/apt/sources.list.d/debian.sources
mirror=$(awk '/^URIs:/ && $2 ~ /\/debian\/?$/ { print $2; exit }' "$sources")
[ -n "$mirror" ] || {
    echo "no Debian archive found in $sources" >&2
    exit 1
}

if [ ! -x "$root/usr/bin/apt-get" ]; then
    start=$(now_us)
    debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.debootstrap.log" 2>&1
    echo "debootstrap --variant=minbase bookworm: $(seconds_since "$start")"
fi
# The same suites as this machine (with updates and security), so the dependencies resolve to
# the versions the package was built against.
cp "$sources" "$root/etc/apt/sources.list.d/debian.sources"
rm -f "$root/etc/apt/sources.list"
cp /etc/resolv.conf "$root/etc/resolv.conf"

mounted=()
cleanup() {
    local code=$? i
    # What installed_program.sh puts into the root: a recording xdg-open and its documents.
    rm -rf "$root/usr/local/bin/xdg-open" "$root/tmp/larkspan-package-test"
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount "${mounted[i]}" || umount -l "${mounted[i]}" || true
    done
    exit "$code"
}
trap cleanup EXIT
for fs in proc dev dev/pts; do
    case $fs in
    proc) mount -t proc proc "$root/proc" ;;
    *) mount --bind "/$fs" "$root/$fs" ;;
    esac
    mounted+=("$root/$fs")
done
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
    DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 "$@"; }

in_root apt-get update -q >/dev/null
if in_root dpkg-query -W larkspan >/dev/null 2>&1; then
    in_root apt-get purge -y -q larkspan >/dev/null
fi
# shellcheck disable=SC2016 # dpkg-query's own format
before=$(in_root dpkg-query -W -f '${Package}\n' | sort)
used_before=$(du -sxk "$root" | cut -f1)
cp "$deb" "$root/tmp/"

start=$(now_us)
# Without the recommended packages: the package's own dependencies must be enough.
in_root apt-get install -y -q --no-install-recommends "/tmp/$(basename "$deb")" \
    >"$root.install.log" 2>&1 || {
    tail -n 30 "$root.install.log"
    exit 1
}
echo "apt-get install of the package and its dependencies: $(seconds_since "$start")"
# shellcheck disable=SC2016
after=$(in_root dpkg-query -W -f '${Package}\n' | sort)
echo "packages added: $(comm -13 <(echo "$before") <(echo "$after") | wc -l)," \
    "disk used: $((($(du -sxk "$root" | cut -f1) - used_before) / 1024)) MiB"
if in_root ldd /usr/lib/larkspan/larkspan | grep 'not found'; then
    echo "libraries missing in the clean root" >&2
    exit 1
fi

LARKSPAN_PACKAGE_T0=$start bash "$here/installed_program.sh" "$build/bin" \
    "$build/tests/package-test-pdf" "$root"

in_root apt-get purge -y -q larkspan >/dev/null
while read -r path; do
    if [ -e "$root$path" ]; then
        echo "left after purge: $path" >&2
        exit 1
    fi
done < <(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { print substr($6, 2) }')
for dir in /usr/lib/larkspan /usr/share/doc/larkspan /etc/xdg/Oxbeck; do
    if [ -e "$root$dir" ]; then
        echo "left after purge: $dir" >&2
        exit 1
    fi
done
rm -f "$root/tmp/$(basename "$deb")"
# Back to the minimal system, so that the next run starts from a clean root again (the
# downloaded packages go too, so it also measures the downloads).
in_root apt-get autoremove --purge -y -q >/dev/null
in_root apt-get clean
echo "PASS clean root: installed, converted a PDF, purged without leftovers"
