#!/usr/bin/env bash
# Configures and builds everything into build/ (or $PERIPHD_BUILD_DIR), for
# the install prefix /usr that the Debian package uses (scripts/package.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${PERIPHD_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr "$@"
cmake --build "$build_dir" -j"$(nproc)"
