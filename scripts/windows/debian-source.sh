#!/usr/bin/env bash
# Fetches and unpacks Debian 12 source packages without touching the machine's apt set-up:
#   scripts/windows/debian-source.sh <work folder> <package>=<version> ...
# The deb-src lines for bookworm, its updates and its security archive live in a private apt
# state under <work folder>/apt, so other users' apt sources, lists and caches stay as they are.
# Each package is unpacked into <work folder>/<package>-<version>/ (Debian's patches applied)
# and the folder's path is printed. When the archive no longer has the exact version, the
# newest one of the same upstream release is taken, and the script says so.
set -euo pipefail
work=$(realpath -m "$1")
shift
mirror=${LARKSPAN_DEBIAN_MIRROR:-http://deb.debian.org}
apt_dir=$work/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts"
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
cat >"$apt_dir/sources.list" <<LIST
deb-src [signed-by=$keyring] $mirror/debian bookworm main
deb-src [signed-by=$keyring] $mirror/debian bookworm-updates main
deb-src [signed-by=$keyring] $mirror/debian-security bookworm-security main
LIST
apt_options=(
  -o "Dir::Etc::SourceList=$apt_dir/sources.list"
  -o "Dir::Etc::SourceParts=$apt_dir/parts"
  -o "Dir::State::Lists=$apt_dir/lists"
  -o "Dir::Cache=$apt_dir/cache"
  -o "Acquire::Languages=none"
)
# apt drops root to the _apt user for downloads, which may not write into this folder.
[ "$(id -u)" -eq 0 ] && apt_options+=(-o "APT::Sandbox::User=root")

if [ -z "$(find "$apt_dir/lists" -name '*Sources*' -mmin -720 2>/dev/null | head -n 1)" ]; then
  apt-get "${apt_options[@]}" -q update >&2
fi

for wanted in "$@"; do
  package=${wanted%%=*}
  version=${wanted#*=}
  mapfile -t available < <(apt-cache "${apt_options[@]}" showsrc "$package" |
    awk -v p="$package" '/^Package:/ { ours = ($2 == p) } ours && /^Version:/ { print $2 }' |
    sort -u)
  if ! printf '%s\n' "${available[@]}" | grep -qxF "$version"; then
    upstream=${version#*:}
    upstream=${upstream%-*}
    upstream=${upstream%.dfsg*}
    newest=$(printf '%s\n' "${available[@]}" | grep -F -- "$upstream" | sort -V | tail -n 1 || true)
    if [ -z "$newest" ]; then
      echo "$package $version is not in the archive (it has: ${available[*]:-nothing})" >&2
      exit 1
    fi
    echo "$package $version is not in the archive any more; taking $newest" >&2
    version=$newest
  fi
  folder=$work/$package-${version#*:}
  if [ ! -d "$folder" ]; then
    rm -rf "$work/fetch-$package"
    mkdir -p "$work/fetch-$package"
    (cd "$work/fetch-$package" && apt-get "${apt_options[@]}" -q source --download-only \
      "$package=$version" >&2)
    dpkg-source -x "$work/fetch-$package"/*.dsc "$folder" >&2
    rm -rf "$work/fetch-$package"
  fi
  echo "$folder"
done
