#!/usr/bin/env bash
# Fetches and unpacks Debian 12 source packages without touching the machine's apt set-up:
#   scripts/windows/debian-source.sh <work folder> <package>=<version> ...
# The deb-src lines for bookworm, its updates and its security archive (at the URIs of the
# machine's own apt sources) live in a private apt state under <work folder>/apt, so other
# users' apt sources, lists and caches stay as they are.
# Each package is unpacked into <work folder>/<package>-<version>/ (Debian's patches applied)
# and the folder's path is printed. When the archive no longer has the exact version, the
# newest one of the same upstream release is taken, and the script says so.
set -euo pipefail
work=$(realpath -m "$1")
shift

# The archive this machine already installs from: the URI of its first "deb" source that carries
# SUITE, from the one-line lists or the deb822 .sources files, so no mirror is named here.
machine_archive() { # SUITE
  local suite=$1 file uri
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$file" ] || continue
    uri=$(awk -v suite="$suite" '
      $1 == "deb" {
        i = 2
        if ($i ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
        if ($(i + 1) == suite) { print $i; exit }
      }' "$file")
    [ -n "$uri" ] && { echo "$uri"; return; }
  done
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    uri=$(awk -v suite="$suite" '
      BEGIN { RS = "" }
      {
        types = ""; uris = ""; suites = ""
        n = split($0, lines, "\n")
        for (l = 1; l <= n; l++) {
          if (lines[l] ~ /^Types:/) types = " " substr(lines[l], 7) " "
          if (lines[l] ~ /^URIs:/) uris = substr(lines[l], 6)
          if (lines[l] ~ /^Suites:/) suites = " " substr(lines[l], 8) " "
        }
        if (types ~ / deb / && suites ~ (" " suite " ")) { split(uris, u, " "); print u[1]; exit }
      }' "$file")
    [ -n "$uri" ] && { echo "$uri"; return; }
  done
}
# LARKSPAN_DEBIAN_ARCHIVE and LARKSPAN_DEBIAN_SECURITY_ARCHIVE (full URIs, such as the ones in a
# deb line) take the place of the machine's own.
archive=${LARKSPAN_DEBIAN_ARCHIVE:-$(machine_archive bookworm)}
security=${LARKSPAN_DEBIAN_SECURITY_ARCHIVE:-$(machine_archive bookworm-security)}
if [ -z "$archive" ]; then
  echo "No apt source for bookworm on this machine: set LARKSPAN_DEBIAN_ARCHIVE" \
    "to the URI of a Debian archive." >&2
  exit 1
fi
apt_dir=$work/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts"
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
cat >"$apt_dir/sources.list" <<LIST
deb-src [signed-by=$keyring] $archive bookworm main
deb-src [signed-by=$keyring] $archive bookworm-updates main
LIST
# Without a security source on the machine the release's own versions are taken.
[ -n "$security" ] &&
  echo "deb-src [signed-by=$keyring] $security bookworm-security main" >>"$apt_dir/sources.list"
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
