#!/usr/bin/env bash
# Serves the demo page on this computer only: http://127.0.0.1:PORT/
# Usage: scripts/serve-demo.sh [PORT]   (default 8080)
set -euo pipefail
port="${1:-8080}"
demo_dir="$(cd "$(dirname "$0")/../demo" && pwd)"
echo "demo page: http://127.0.0.1:${port}/  (start periphd first, e.g. scripts/run-simulated.sh)"
exec /usr/bin/python3 -m http.server "$port" --bind 127.0.0.1 --directory "$demo_dir"
