#!/usr/bin/env bash
# Starts pcscd with the vpcd virtual reader driver, for the tests and the
# simulated run, and waits (bounded) until its readers accept a card.
#
#   pcscd-start.sh                  the system's pcscd: socket
#                                   /run/pcscd/pcscd.comm, readers of
#                                   /etc/reader.conf.d (vpcd on 35963)
#   pcscd-start.sh RUNDIR [PORT..]  a private pcscd for one test run:
#                                   socket RUNDIR/pcscd.comm (clients set
#                                   PCSCLITE_CSOCK_NAME to it), one vpcd
#                                   reader per PORT (default 35963), pid in
#                                   RUNDIR/pcscd.pid, log in RUNDIR/pcscd.log
#                                   (PCSCD_VPCD_NAME names the readers,
#                                   default "Virtual PCD")
#
# PCSCD_START_TIMEOUT (seconds, default 10) bounds the wait.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
vpcd_driver=/usr/lib/pcsc/drivers/serial/libifdvpcd.so
timeout_s="${PCSCD_START_TIMEOUT:-10}"

if ! command -v pcscd >/dev/null || [[ ! -e "$vpcd_driver" ]]; then
  if [[ $(id -u) -eq 0 ]]; then
    bash "$here/install-deps.sh"
  fi
fi
if ! command -v pcscd >/dev/null; then
  echo "pcscd-start: pcscd is not installed (Debian package pcscd)" >&2
  exit 2
fi
if [[ ! -e "$vpcd_driver" ]]; then
  echo "pcscd-start: the vpcd reader driver is not installed (Debian package vsmartcard-vpcd)" >&2
  exit 2
fi

# True when something listens on TCP port $1 (IPv4 or IPv6).
listening() {
  local hex
  hex=$(printf '%04X' "$1")
  awk -v port="$hex" 'NR > 1 { split($2, a, ":"); if (a[2] == port && $4 == "0A") found = 1 }
                      END { exit !found }' /proc/net/tcp /proc/net/tcp6 2>/dev/null
}

wait_for_ports() {
  local pid="$1"; shift
  local deadline=$((SECONDS + timeout_s))
  for port in "$@"; do
    until listening "$port"; do
      if [[ -n "$pid" ]] && ! kill -0 "$pid" 2>/dev/null; then
        echo "pcscd-start: pcscd exited during start-up" >&2
        return 1
      fi
      if ((SECONDS >= deadline)); then
        echo "pcscd-start: the vpcd reader on port $port did not come up within ${timeout_s}s" >&2
        return 1
      fi
      sleep 0.05
    done
  done
}

if [[ $# -eq 0 ]]; then
  # The system instance, for the simulated run and by hand.
  # pcscd writes its pid with a trailing NUL.
  running=$(tr -dc '0-9' 2>/dev/null </run/pcscd/pcscd.pid || true)
  if [[ -S /run/pcscd/pcscd.comm && -n "$running" ]] && kill -0 "$running" 2>/dev/null; then
    echo "pcscd-start: pcscd is already running (pid $running)"
    exit 0
  fi
  pcscd
  wait_for_ports "" 35963
  echo "pcscd-start: pcscd running, vpcd reader on port 35963"
  exit 0
fi

rundir="$1"; shift
ports=("$@")
((${#ports[@]})) || ports=(35963)
mkdir -p "$rundir/reader.conf.d"
rm -f "$rundir"/reader.conf.d/vpcd-* "$rundir/pcscd.comm"
name="${PCSCD_VPCD_NAME:-Virtual PCD}"
i=0
for port in "${ports[@]}"; do
  suffix=""; ((i == 0)) || suffix=" $i"
  cat > "$rundir/reader.conf.d/vpcd-$i" <<CONF
FRIENDLYNAME "$name$suffix"
DEVICENAME   /dev/null:$port
LIBPATH      $vpcd_driver
CHANNELID    $port
CONF
  i=$((i + 1))
done

# pcscd has no option for its socket path, but it takes a listening socket
# the way systemd hands one over (LISTEN_FDS): bind it where this run wants
# it, then become pcscd. When root, a private /run/pcscd keeps its pid file
# away from the system's instance.
activate='
import os, socket, sys
path = sys.argv[1]
s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
s.bind(path)
os.chmod(path, 0o666)
s.listen(64)
if s.fileno() != 3:
    os.dup2(s.fileno(), 3)
os.set_inheritable(3, True)
os.environ["LISTEN_FDS"] = "1"
os.environ["LISTEN_PID"] = str(os.getpid())
os.execvp(sys.argv[2], sys.argv[2:])
'
# --auto-exit: a private pcscd whose test died without stopping it goes away
# by itself after a minute without clients.
launch=(python3 -c "$activate" "$rundir/pcscd.comm" pcscd -f --auto-exit -c "$rundir/reader.conf.d")
if [[ $(id -u) -eq 0 ]] && command -v unshare >/dev/null && unshare -m true 2>/dev/null; then
  mkdir -p /run/pcscd
  launch=(unshare -m --propagation private sh -c 'mount -t tmpfs tmpfs /run/pcscd && exec "$@"' sh "${launch[@]}")
fi
"${launch[@]}" >"$rundir/pcscd.log" 2>&1 </dev/null &
pid=$!
echo "$pid" > "$rundir/pcscd.pid"
if ! wait_for_ports "$pid" "${ports[@]}"; then
  cat "$rundir/pcscd.log" >&2 || true
  bash "$here/pcscd-stop.sh" "$rundir" || true
  exit 1
fi
echo "pcscd-start: pcscd $pid running; export PCSCLITE_CSOCK_NAME=$rundir/pcscd.comm"
