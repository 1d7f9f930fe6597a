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
# Only that pcscd: a stale pid file may name some other process by now.
ours() {
  [[ -n "$pid" && -r /proc/$pid/cmdline ]] || return 1
  local cmdline
  cmdline=$(tr '\0' ' ' </proc/$pid/cmdline)
  [[ "$cmdline" == *pcscd* ]] || return 1
  [[ $# -eq 0 ]] || [[ "$cmdline" == *"$1/reader.conf.d"* ]]
}
if ! ours "$@"; then
  echo "pcscd-stop: no pcscd of ours runs as pid ${pid:-?}"
  [[ $# -gt 0 ]] && rm -f "$pidfile" "$1/pcscd.comm"
  exit 0
fi
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
