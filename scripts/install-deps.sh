#!/usr/bin/env bash
# Installs the Debian 12 packages that Praatkist needs. This file is the only place
# that lists packages, in three groups:
#
#   scripts/install-deps.sh run      what building, packaging and running the program need
#   scripts/install-deps.sh test     that, and on top what the tests and benchmarks need
#   scripts/install-deps.sh windows  that, and on top the cross-build for 64-bit Windows
#                                    and wine to run it (scripts/win-deps.sh builds the
#                                    libraries from Debian's source packages)
#
# Without an argument: run. Idempotent: packages already present are left alone, and
# apt is only asked when something is missing.
set -euo pipefail

RUN_PACKAGES=(
  # build, and cpack -G DEB (dpkg-shlibdeps comes with build-essential, file is asked)
  build-essential cmake pkg-config file
  # GUI
  qt6-base-dev qt6-base-dev-tools libgl-dev
  # the native Wayland platform of Qt (else a Wayland desktop falls back to XWayland)
  qt6-wayland
  # audio: devices, decoding, MP3 encoding
  libpulse-dev libsndfile1-dev libmp3lame-dev
  # the data set's sample rates
  libsoxr-dev
  # fonts standing in for the design's Windows families
  fonts-open-sans fonts-inconsolata fonts-dejavu-core fonts-symbola
)

TEST_PACKAGES=(
  # unit tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # Qt's private GUI headers: the window's tests plug screens in and out of the offscreen
  # platform
  qt6-base-private-dev
  # the PulseAudio test server and its clients (pactl, parec, pacat)
  pulseaudio pulseaudio-utils
  # virtual screens, input events and screen grabs for the end-to-end tests
  xvfb xauth xdotool imagemagick
  # a headless Wayland compositor for the end-to-end run on Wayland
  weston
  # reference sound files and decoders the results are checked against
  sox libsox-fmt-mp3 mpg123 lame
  # real synthetic speech for the tests that judge a voice
  espeak-ng
  # two loudness meters (libebur128, ffmpeg's ebur128 filter) the take's figures are
  # checked against
  libebur128-dev ffmpeg
  # the package's checkers
  lintian appstream desktop-file-utils
)

WINDOWS_PACKAGES=(
  # the cross compiler (posix threads, for std::thread) and wine to run its results
  g++-mingw-w64-x86-64-posix wine wine64
  # what apt-get source and the libraries' own builds need (Qt's build runs on Ninja)
  dpkg-dev autoconf automake libtool ninja-build
  # the host's Qt tools (moc, rcc, uic, qtpaths) that the cross-built Qt calls
  qt6-base-dev-tools
  # the Windows setup program (makensis)
  nsis
)

case "${1:-run}" in
  run) PACKAGES=("${RUN_PACKAGES[@]}") ;;
  test) PACKAGES=("${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}") ;;
  windows) PACKAGES=("${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}") ;;
  *)
    echo "usage: $0 [run|test|windows]" >&2
    exit 2
    ;;
esac

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
