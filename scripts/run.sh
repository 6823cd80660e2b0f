#!/usr/bin/env bash
# Installs what is missing, builds Praatkist and starts it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
BUILD_DIR=$root/build bash "$root/scripts/build.sh" -DCMAKE_BUILD_TYPE=Release \
  -DPRAATKIST_SANITIZE=OFF -DPRAATKIST_TESTS=OFF
exec "$root/build/src/Praatkist" "$@"
