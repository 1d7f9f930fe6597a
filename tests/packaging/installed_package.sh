#!/usr/bin/env bash
# Installs the package with apt inside a throwaway root (throwaway-root.sh),
# checks what it installed and runs it, then removes and purges it and checks
# that nothing of it is left.
#
#   throwaway-root.sh installed_package.sh PACKAGE.deb
set -euo pipefail
deb=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
[[ -n ${THROWAWAY_CHANGES:-} ]] || { echo "run through throwaway-root.sh" >&2; exit 2; }
fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "== $*"; }
export DEBIAN_FRONTEND=noninteractive
# man-db's trigger would rebuild the whole manual index, slowly; not tested here.
rm -f /var/lib/man-db/auto-update

triplet=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
library=/usr/lib/$triplet/periphd/libCardBridge.so.1
unit=/usr/lib/systemd/user/periphd.service
enabled=/etc/systemd/user/graphical-session.target.wants/periphd.service
conffiles=(/etc/periphd/periphd.conf /etc/xdg/autostart/periphd.desktop)

# The folders there are now, to tell new ones from old after the purge.
folders_before=$(mktemp)
trap 'rm -f "$folders_before"' EXIT
find /usr /etc /var -xdev -type d | sort >"$folders_before"

step "apt-get install $(basename "$deb")"
apt-get install -y -q --no-install-recommends "$deb" >/dev/null
dpkg-query -W -f='${Status}' periphd | grep -qx "install ok installed" || fail "periphd is not installed"

step "installed files"
for file in /usr/bin/periphd "$library" /usr/sbin/periphd-chromium-policy /usr/lib/udev/rules.d/70-periphd.rules \
  "$unit" "${conffiles[@]}" /usr/share/periphd/chromium-policy.json /usr/share/periphd/demo/index.html \
  /usr/share/man/man1/periphd.1.gz /usr/share/doc/periphd/copyright; do
  [[ -e $file ]] || fail "$file is not installed"
done
[[ $(readlink "$enabled") == "$unit" ]] || fail "the user unit is not enabled for every user ($enabled)"
version=$(dpkg-query -W -f='${Version}' periphd)
# No display here: Qt's offscreen platform.
export QT_QPA_PLATFORM=offscreen
said=$(periphd --version 2>/dev/null) && [[ $said == "periphd $version" ]] || fail "periphd --version says '$said'"
# The autostart entry starts it the same way as the unit.
[[ $(sed -n 's/^Exec=//p' /etc/xdg/autostart/periphd.desktop) == $(sed -n 's/^ExecStart=//p' "$unit") ]] ||
  fail "the autostart entry and the unit start periphd differently"

step "systemd-analyze --user verify $unit"
runtime=$(mktemp -d)
report=$(XDG_RUNTIME_DIR=$runtime systemd-analyze --user verify "$unit" 2>&1) || fail "systemd-analyze: $report"
rm -r "$runtime"
[[ -z $report ]] || fail "systemd-analyze: $report"

step "the installed service"
/usr/bin/python3 "$here/installed_service.py" "$unit" "$(readlink -f "$library")"

step "periphd-chromium-policy and Chromium's Local Network Access"
/usr/bin/python3 "$here/local_network_access.py"
policy=/etc/chromium/policies/managed/periphd.json

# What the package owns, to look for after it is gone.
mapfile -t owned < <(dpkg-query -L periphd | grep -v '^/\.$')

step "apt-get remove"
apt-get remove -y -q periphd >/dev/null
for file in "${owned[@]}"; do
  [[ ! -e $file || -d $file ]] || [[ " ${conffiles[*]} " == *" $file "* ]] || fail "$file is left after remove"
done
for file in "${conffiles[@]}" "$policy"; do
  [[ -e $file ]] || fail "remove took the configuration $file"
done

step "apt-get purge"
apt-get purge -y -q periphd >/dev/null
! dpkg-query -W periphd >/dev/null 2>&1 || fail "periphd is still known to dpkg"
# Everything written to /usr, /etc and /var since the start (the overlays'
# upper layers), less the package tools' own records, must be gone again:
# no file made or changed, no folder made, nothing of the system deleted.
left=$(cd "$THROWAWAY_CHANGES" && find usr etc var -mindepth 1 \
  ! -path 'var/lib/dpkg/*' ! -path 'var/cache/*' ! -path 'var/log/*' ! -path 'var/lib/apt/*' \
  ! -path 'var/lib/man-db/auto-update' |
  while read -r path; do
    if [[ -c $path ]]; then echo "/$path (deleted)"
    elif [[ ! -d $path ]]; then echo "/$path"
    elif ! grep -qxF "/$path" "$folders_before"; then echo "/$path/"
    fi
  done)
[[ -z $left ]] || fail "left after purge:"$'\n'"$left"
echo "installed, ran, removed and purged cleanly"
