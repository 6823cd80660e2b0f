#!/usr/bin/env bash
# Builds optimised (no sanitizers) and runs every benchmark with the PulseAudio test
# server up (the engine opens an output). Usage: scripts/bench.sh [folder] [seconds]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh" test
BUILD_DIR=$root/build-bench bash "$root/scripts/build.sh" -DCMAKE_BUILD_TYPE=Release \
  -DPRAATKIST_SANITIZE=OFF -DPRAATKIST_TESTS=ON
pa_dir=$(mktemp -d /tmp/praatkist-pa.XXXXXX)
cleanup() { bash "$root/tests/support/audio-test-server.sh" stop "$pa_dir" || true; rm -rf "$pa_dir"; }
trap cleanup EXIT
eval "$(bash "$root/tests/support/audio-test-server.sh" start "$pa_dir")"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
# the benchmarks write their sound files into the folder: made here when missing
[ $# -ge 1 ] && mkdir -p "$1"
for b in "$root"/build-bench/bench/bench_*; do
  [ -f "$b" ] && [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" "$@"
done
