#!/usr/bin/env bash
# Runs a command in a throwaway copy of this system: a private mount
# namespace in which /usr, /etc and /var are copy-on-write overlays (what is
# written lands in a tmpfs that goes with the namespace) and /run is empty,
# so no udev or systemd of the machine is reached. A package installed there
# is installed for real (apt, dpkg, maintainer scripts) and nothing outside
# sees it. Needs root.
#
#   throwaway-root.sh COMMAND [ARG...]
#
# The command finds what was written under $THROWAWAY_CHANGES/{usr,etc,var}.
set -euo pipefail

if [[ ${1:-} != --inside ]]; then
  scratch=$(mktemp -d /tmp/periphd-throwaway-XXXXXX)
  status=0
  unshare --mount --propagation private "$0" --inside "$scratch" "$@" || status=$?
  rmdir "$scratch"
  exit $status
fi

scratch=$2
shift 2
mount -t tmpfs -o mode=0755 throwaway "$scratch"
for dir in usr etc var; do
  mkdir "$scratch/$dir" "$scratch/$dir.work"
  mount -t overlay overlay -o "lowerdir=/$dir,upperdir=$scratch/$dir,workdir=$scratch/$dir.work" "/$dir"
done
mount -t tmpfs -o mode=0755 run /run
mkdir /run/lock
export THROWAWAY_CHANGES=$scratch
exec "$@"
