#!/usr/bin/env bash
# Installs, from Debian 12's packages, whatever the build, the simulated
# devices and the test suite need and the machine does not have yet.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qtbase5-dev libqt5websockets5-dev libqt5svg5 qttools5-dev-tools
  libopencv-dev libusb-1.0-0-dev libudev-dev libpcsclite-dev libfontconfig-dev
  pcscd vsmartcard-vpcd
  umockdev libumockdev-dev
  libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev
  python3 python3-websockets
  xvfb xauth xdotool fonts-noto-cjk fonts-dejavu-core
  gstreamer1.0-plugins-base
  chromium
  imagemagick
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
