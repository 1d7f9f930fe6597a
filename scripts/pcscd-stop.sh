#!/usr/bin/env bash
# Stops a pcscd that pcscd-start.sh started: the private one of RUNDIR, or
# without an argument the system's instance. Waits (bounded) for its exit.
set -euo pipefail

if [[ $# -eq 0 ]]; then
  pidfile=/run/pcscd/pcscd.pid
else
  pidfile="$1/pcscd.pid"
fi
[[ -f "$pidfile" ]] || { echo "pcscd-stop: no pcscd recorded in $pidfile"; exit 0; }
pid=$(tr -dc '0-9' <"$pidfile") # pcscd ends it with a NUL
if kill -0 "$pid" 2>/dev/null; then
  kill -TERM "$pid"
  deadline=$((SECONDS + 10))
  while kill -0 "$pid" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.05; done
  kill -0 "$pid" 2>/dev/null && kill -KILL "$pid"
fi
if [[ $# -gt 0 ]]; then
  rm -f "$pidfile" "$1/pcscd.comm"
fi
echo "pcscd-stop: pcscd $pid stopped"
