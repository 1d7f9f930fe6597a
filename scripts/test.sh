#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: the CTest
# suites (with pcscd and the virtual reader running for the PC/SC tests),
# then the Debian package's checks, the service's suites (end-to-end ones
# included) and the portrait decoder's under the sanitizers, and the fuzzers
# for a bounded time (the last two share one sanitizer build).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh

pcscd_started=
if [ -x scripts/pcscd-start.sh ] || [ -f scripts/pcscd-start.sh ]; then
  bash scripts/pcscd-start.sh
  pcscd_started=1
fi
cleanup() { [ -n "$pcscd_started" ] && bash scripts/pcscd-stop.sh || true; }
trap cleanup EXIT

status=0
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)") || status=1

for extra in scripts/check-package.sh scripts/sanitize.sh scripts/fuzz.sh; do
  if [ -f "$extra" ]; then
    echo "== $extra"
    bash "$extra" || status=1
  fi
done
exit $status
