#!/usr/bin/env bash
# Builds the Debian package larkspan_<version>_<arch>.deb into ./build-deb and checks it with
# lintian. The program is built on its own (no tests) with Debian's hardening flags, installed
# with the prefix /usr by CPack, stripped, and given its dependencies by dpkg-shlibdeps. The
# shipped program asks its built-in vendor host only: LARKSPAN_WEBSITE_HOST is for development
# and test builds.
# Extra arguments go to the configure step. Install the result with
#   sudo apt install ./build-deb/larkspan_<version>_<arch>.deb
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${LARKSPAN_DEB_DIR:-$top/build-deb}
"$top/scripts/install-deps.sh"

# The flags a Debian package is built with; CMake reads CXXFLAGS and LDFLAGS when it first
# configures a build folder, and knows nothing of CPPFLAGS (which carries _FORTIFY_SOURCE).
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
# shellcheck disable=SC2153 # CPPFLAGS comes from dpkg-buildflags
export CXXFLAGS="$CPPFLAGS $CXXFLAGS"
export LDFLAGS

cmake -S "$top" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLARKSPAN_BUILD_TESTS=OFF \
  -DLARKSPAN_WEBSITE_HOST_OVERRIDE=OFF "$@"
cmake --build "$out" --parallel "$(nproc)"
rm -f "$out"/larkspan_*.deb
(cd "$out" && cpack -G DEB >/dev/null)
deb=$(ls "$out"/larkspan_*.deb)
echo "Built $deb"
dpkg-deb --field "$deb" Package Version Architecture Installed-Size Depends

if command -v lintian >/dev/null 2>&1; then
  # Errors fail the build; warnings and notes are printed for the reader.
  lintian --info --fail-on error "$deb"
fi
