#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, starts the PulseAudio test server and runs every test;
# then the Windows build's tests under wine (scripts/test-windows.sh; skipped with
# PRAATKIST_SKIP_WINDOWS=1). Extra arguments go to the Linux ctest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh" test
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

if [ "${PRAATKIST_SKIP_WINDOWS:-0}" != 1 ]; then
  bash "$root/scripts/test-windows.sh"
fi
