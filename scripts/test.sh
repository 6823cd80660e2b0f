#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, starts the PulseAudio test server and runs every test;
# then the Windows build under wine: the engine's, store's and platform's tests,
# Praatkist.exe recording its takes, and its setup program installing, upgrading and
# uninstalling it (scripts/test-windows.sh --gui). The Windows libraries come from
# scripts/win-deps.sh's cache, built while the Linux tests run when it is cold.
# PRAATKIST_SKIP_WINDOWS=1 skips the Windows part. Extra arguments go to the Linux
# ctest.
#
# Praatkist.exe needs Qt Gui and Widgets for Windows, built with only what the program
# uses, once per machine into the cache; then every run builds Praatkist.exe, lets it
# record under wine, and builds, installs and uninstalls its setup program.
# PRAATKIST_WINDOWS_GUI=0 leaves the program and its setup out (by hand only).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
windows=1
if [ "${PRAATKIST_SKIP_WINDOWS:-0}" = 1 ]; then windows=0; fi

if [ $windows = 1 ]; then
  bash "$root/scripts/install-deps.sh" windows
  gui=--gui
  if [ "${PRAATKIST_WINDOWS_GUI:-1}" = 0 ]; then
    gui=
    echo "test: Praatkist.exe and its setup program are left out (PRAATKIST_WINDOWS_GUI=0)"
  fi
  # Built beside the Linux build and its tests, at a lower priority: on a fresh
  # machine Qt takes about 12 minutes of both cores, and much of the tests' time is
  # spent waiting.
  mkdir -p "$root/build-win"
  deps_log=$root/build-win/win-deps.log
  nice -n 15 bash "$root/scripts/win-deps.sh" $gui >"$deps_log" 2>&1 &
  deps_pid=$!
else
  bash "$root/scripts/install-deps.sh" test
fi

build=$root/build-test
BUILD_DIR=$build bash "$root/scripts/build.sh" -DCMAKE_BUILD_TYPE=Debug -DPRAATKIST_SANITIZE=ON

pa_dir=$(mktemp -d /tmp/praatkist-pa.XXXXXX)
cleanup() { bash "$root/tests/support/audio-test-server.sh" stop "$pa_dir" || true; rm -rf "$pa_dir"; }
trap cleanup EXIT
eval "$(bash "$root/tests/support/audio-test-server.sh" start "$pa_dir")"
export PRAATKIST_REQUIRE_PULSE=1
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
(cd "$build" && ctest --output-on-failure -j2 "$@")
cleanup
trap - EXIT

if [ $windows = 1 ]; then
  if ! wait "$deps_pid"; then
    tail -40 "$deps_log" >&2
    exit 1
  fi
  bash "$root/scripts/test-windows.sh" $gui
fi
