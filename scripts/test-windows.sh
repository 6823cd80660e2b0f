#!/usr/bin/env bash
# Cross-builds the engine, the session store and the platform layer for 64-bit Windows
# with their tests and runs them under wine through ctest, against the audio test
# server (tests/support/audio-test-server.sh: wine's WASAPI reaches it through its
# PulseAudio driver).
#
#   scripts/test-windows.sh          the tests
#   scripts/test-windows.sh --gui    also Praatkist.exe against the cross-built Qt, run
#                                    under wine on Xvfb: a WAV and an MP3 take recorded
#                                    from the tone sink's monitor, trimmed, checked;
#                                    then its zip and its setup program, the setup
#                                    installed silently, the installed program
#                                    recording the same takes, upgraded and
#                                    uninstalled (tests/install/windows-setup.sh)
#
# The libraries come from scripts/win-deps.sh: built once per machine into its cache,
# offered in BUILD_DIR/deps/prefix. BUILD_DIR (default <repo>/build-win) also holds the
# wine prefix (made once) and the builds. Extra arguments go to ctest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-win}
gui=0
if [ "${1:-}" = --gui ]; then
  gui=1
  shift
fi
t0=$SECONDS
say() { echo "test-windows: $*  [$((SECONDS - t0)) s]"; }

bash "$root/scripts/install-deps.sh" windows
if [ $gui = 1 ]; then
  BUILD_DIR=$build bash "$root/scripts/win-deps.sh" --gui
else
  BUILD_DIR=$build bash "$root/scripts/win-deps.sh"
fi
prefix=$build/deps/prefix
say "libraries ready"

# ---- wine: a prefix of our own, made once; one wineserver for the whole run ----
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
  say "wine prefix made"
fi

pa_dir=$(mktemp -d /tmp/praatkist-pa.XXXXXX)
cleanup() {
  wineserver -k 2>/dev/null || true
  bash "$root/tests/support/audio-test-server.sh" stop "$pa_dir" || true
  rm -rf "$pa_dir"
}
trap cleanup EXIT
eval "$(bash "$root/tests/support/audio-test-server.sh" start "$pa_dir")"
# Under wine every endpoint is called by its description, and both monitors are
# "Monitor of Null Output": the tone sink's monitor is offered once more under a name
# of its own.
export PRAATKIST_TONE_DEVICE=Praatkist-toon
pactl load-module module-remap-source master=tonesink.monitor source_name=praatkist_tone \
  source_properties=device.description=$PRAATKIST_TONE_DEVICE >/dev/null
# and once more, for a test that takes it away during a capture
pactl load-module module-remap-source master=tonesink.monitor source_name=praatkist_weg \
  source_properties=device.description=Praatkist-weg >/dev/null
# One wineserver for the whole run (later starts take a tenth of a second), and wine's
# own services started now: started by the first test, they would keep ctest's output
# pipe open after the test has ended.
wineserver -p 2>/dev/null || true # (already running: kept)
wine cmd /c exit </dev/null >/dev/null 2>&1 || true

configure() { # folder, cmake arguments...
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_PREFIX_PATH="$prefix" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DPRAATKIST_BENCH=OFF "$@" >"$dir.configure.log" 2>&1 || {
    tail -30 "$dir.configure.log" >&2
    exit 1
  }
}

tests=$build/tests
configure "$tests" -DPRAATKIST_GUI=OFF
nice -n 10 cmake --build "$tests" -j2 --target tests_platform tests_session tests_audio \
  tests_audio_wasapi
say "tests built"
(cd "$tests" && ctest --output-on-failure -j2 "$@")
say "tests passed"

if [ $gui = 1 ]; then
  app=$build/gui
  configure "$app" -DPRAATKIST_GUI=ON -DPRAATKIST_TESTS=OFF
  nice -n 10 cmake --build "$app" -j2 --target praatkist
  say "Praatkist.exe built"
  bash "$root/tests/e2e/windows-session.sh" "$app/src/Praatkist.exe"
  say "the window recorded its takes"
  nice -n 10 cmake --build "$app" --target praatkist-zip >/dev/null
  say "package: $(ls "$app"/Praatkist-*-win64.zip) ($(stat -c %s "$app"/Praatkist-*-win64.zip) bytes)"
  nice -n 10 cmake --build "$app" --target praatkist-setup >/dev/null
  staged=$app/setup/stage/Praatkist.exe
  setup=$app/Praatkist-$(strings -el "$staged" | grep -A1 -x FileVersion | tail -1)-setup.exe
  say "setup program: $setup ($(stat -c %s "$setup") bytes)"
  bash "$root/tests/install/windows-setup.sh" "$setup" "$staged"
  say "the setup installed, upgraded and uninstalled the program, which recorded its takes"
fi
