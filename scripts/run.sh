#!/usr/bin/env bash
# Installs what is missing, builds Praatkist and starts it. Extra arguments go to the
# program. Says plainly what is missing when there is no desktop or no sound server.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh" run
BUILD_DIR=$root/build bash "$root/scripts/build.sh" -DCMAKE_BUILD_TYPE=Release \
  -DPRAATKIST_SANITIZE=OFF -DPRAATKIST_TESTS=OFF -DPRAATKIST_BENCH=OFF

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<'TXT'
Praatkist is built (build/src/Praatkist), but it cannot start here: there is no
graphical desktop (neither DISPLAY nor WAYLAND_DISPLAY is set).
Start it from a desktop session, or try it on a virtual screen:
    xvfb-run -a build/src/Praatkist
TXT
  exit 1
fi

# pactl (pulseaudio-utils) is not among what running needs; without it, no note.
if command -v pactl >/dev/null && ! pactl info >/dev/null 2>&1; then
  cat >&2 <<'TXT'
Note: no sound server (PulseAudio or PipeWire) answers for this user. Praatkist
starts, but it cannot record or play until one runs; its status line says so.
On a desktop, log in to a normal session (the server starts with it), or start
one with:  pulseaudio --start
TXT
fi

exec "$root/build/src/Praatkist" "$@"
