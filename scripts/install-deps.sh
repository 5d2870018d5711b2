#!/usr/bin/env bash
# Installs, on Debian or Ubuntu, whatever the build and the tests need and is
# not installed yet. Safe to run again: it does nothing when all is present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-multimedia-dev
  libgl-dev libqt6svg6
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-dev
  xvfb xauth imagemagick xdotool fonts-dejavu-core ccache
  libsndfile1-dev pulseaudio pulseaudio-utils sox socat
  gcc-avr avr-libc arduino-core-avr avrdude simavr libsimavr-dev libelf-dev
  libsdl2-dev librtmidi-dev libasound2-dev liblo-dev liblo-tools
  libgpiod-dev libsystemd-dev qt6-httpserver-dev qt6-websockets-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
