#!/usr/bin/env bash
# The built program on Wayland, natively (Qt's wayland platform, no X server at all),
# under a headless weston of its own:
#
#   tests/e2e/wayland.sh PROGRAM
#
# The program asks for a top-level window titled "Praatkist", and weston's screen shows
# it painted: the dark window with the record button's red. SIGTERM ends it cleanly.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=lib.sh
source "$here/lib.sh"
program=$(readlink -f "${1:?usage: wayland.sh PROGRAM}")

e2e_begin praatkist-wayland weston weston-screenshooter convert
[ -e "$(qtpaths6 --plugin-dir 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6/plugins)/platforms/libqwayland-generic.so" ] ||
  fail "Qt's wayland platform is missing (qt6-wayland, scripts/install-deps.sh)"

e2e_start_weston "$work" 1280x1024 || fail "weston did not start"
mkdir -p "$work/bin" "$work/home" "$work/shots"
cp "$program" "$work/bin/Praatkist"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export QT_QPA_PLATFORM=wayland LC_ALL=C.UTF-8
# Under the sanitizers: the Wayland platform probes the graphics drivers, which leave
# allocations behind in libraries that are unloaded again before the leak check, so no
# suppression can name them. The program's own leaks are checked on X11 (user-session.sh).
export LSAN_OPTIONS=suppressions=$here/lsan.supp:detect_leaks=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}
# the test server when scripts/test.sh gives one, else none at all (the window opens
# all the same and says so in its status line)
export PULSE_SERVER=${PULSE_SERVER:-unix:$work/no-audio-server}

WAYLAND_DEBUG=client "$work/bin/Praatkist" >"$work/program.log" 2>&1 &
app_pid=$!

# Pixels of one colour on weston's screen, from a fresh screen shot.
screen_pixels() {
  rm -f "$work"/shots/*.png
  (cd "$work/shots" && weston-screenshooter >/dev/null 2>&1) || return 1
  local shot
  shot=$(ls "$work"/shots/*.png 2>/dev/null | head -n1)
  [ -n "$shot" ] || return 1
  convert "$shot" -fill black +opaque "$1" -fill white -opaque "$1" -format '%[fx:mean*w*h]' info:
}
# The record button (210 x 36) and the window's dark background are on screen.
window_shown() {
  [ "$(screen_pixels '#CE4D4D' || echo 0)" -gt 6000 ] &&
    [ "$(screen_pixels '#1B1D21' || echo 0)" -gt 100000 ]
}

shown_or_ended() { e2e_gone "$app_pid" || window_shown; }

e2e_poll 60 shown_or_ended || fail "no painted Praatkist window on weston's screen"
e2e_gone "$app_pid" && fail "the program ended before it showed its window"
grep -Eq 'xdg_toplevel@[0-9]+\.set_title\("Praatkist"\)' "$work/program.log" ||
  fail "no top-level window titled Praatkist was asked for"

kill -TERM "$app_pid"
e2e_poll 10 e2e_gone "$app_pid" || fail "the program did not end on SIGTERM"
rc=0
wait "$app_pid" || rc=$?
app_pid=
[ $rc -eq 0 ] || fail "the program ended with status $rc"
echo "PASS: the program shows its window on Wayland"
