#!/usr/bin/env bash
# Installs every Debian 12 package that Praatkist needs to build, run and test.
# Idempotent: packages already present are left alone, and apt is only asked
# when something is missing. This file is the only place that lists packages.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake pkg-config
  # GUI
  qt6-base-dev qt6-base-dev-tools libgl-dev
  # audio: devices, decoding, MP3 encoding
  libpulse-dev libsndfile1-dev libmp3lame-dev
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  pulseaudio pulseaudio-utils xvfb xauth xdotool imagemagick sox libsox-fmt-mp3 mpg123 lame
  # fonts standing in for the design's Windows families
  fonts-open-sans fonts-inconsolata fonts-dejavu-core fonts-symbola
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is present"
  exit 0
fi

SUDO=
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
