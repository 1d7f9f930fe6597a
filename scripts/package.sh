#!/usr/bin/env bash
# Builds the Debian package of periphd and leaves it in build/ (or
# $PERIPHD_BUILD_DIR): periphd_<version>_<arch>.deb. Extra arguments go to
# cmake, as for scripts/build.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${PERIPHD_BUILD_DIR:-build}
bash scripts/build.sh "$@"
rm -f "$build_dir"/periphd_*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)
ls "$build_dir"/periphd_*.deb
