#!/usr/bin/env bash
# Installs what is missing, builds, and runs periphd with its simulated
# devices on port 12343 (extra arguments are passed to periphd). Without a
# display the windows are drawn off screen.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh

if [ -f scripts/pcscd-start.sh ]; then
  # The simulated SIM card sits in the virtual reader of a real pcscd.
  bash scripts/pcscd-start.sh || echo "pcscd could not be started: the SIM command will fail as with no reader"
  trap 'bash scripts/pcscd-stop.sh || true' EXIT
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
fi
echo "periphd --simulate: connect a page to ws://localhost:12343 (Ctrl-C stops)"
./build/app/periphd --simulate "$@"
