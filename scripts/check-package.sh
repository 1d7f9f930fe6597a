#!/usr/bin/env bash
# Builds the Debian package and checks it: control fields and file list
# (dpkg-deb), lintian (no errors; warnings are shown), then installs it with
# apt in a throwaway root, runs the installed service there, removes and
# purges it (tests/packaging/). Needs root, for the throwaway root.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${PERIPHD_BUILD_DIR:-build}

bash scripts/package.sh
deb=$(ls "$build_dir"/periphd_*.deb)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")

echo "== dpkg-deb -I / -c"
/usr/bin/python3 tests/packaging/check_deb.py "$deb" "$version"

echo "== lintian"
# lintian leaves files in its TMPDIR.
lintian_tmp=$(mktemp -d)
TMPDIR=$lintian_tmp lintian --fail-on error "$deb" || { rm -rf "$lintian_tmp"; exit 1; }
rm -rf "$lintian_tmp"

echo "== install, run, remove and purge in a throwaway root"
bash tests/packaging/throwaway-root.sh bash tests/packaging/installed_package.sh "$deb"
