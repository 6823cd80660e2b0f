#!/usr/bin/env bash
# Builds optimised (no sanitizers) and runs every benchmark; extra arguments go to each.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
BUILD_DIR=$root/build-bench bash "$root/scripts/build.sh" -DCMAKE_BUILD_TYPE=Release \
  -DPRAATKIST_SANITIZE=OFF -DPRAATKIST_TESTS=ON
for b in "$root"/build-bench/bench/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" "$@"
done
