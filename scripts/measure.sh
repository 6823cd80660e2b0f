#!/usr/bin/env bash
# Start-up time and memory of the built program, under Xvfb against the PulseAudio test
# server (both started here and stopped on exit).
#
#   scripts/measure.sh [PROGRAM] [MINUTES]
#
# PROGRAM defaults to the Release build of scripts/run.sh (build/src/Praatkist); MINUTES (10) is
# the length of the recording during which memory is sampled once a minute.
#
# Start-up: from exec to the window being mapped with its record button painted
# (the button's red read back from the screen), five runs with a fresh settings file.
# Memory: RSS and PSS from /proc/PID/smaps_rollup, idle after start-up, every minute of
# a take from the sine source, and after the stop has analysed the long take.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh" test # Xvfb, the test server, xdotool
prog=$(readlink -f "${1:-$root/build/src/Praatkist}")
minutes=${2:-10}
# shellcheck source=../tests/e2e/lib.sh
source "$root/tests/e2e/lib.sh"

work=$(mktemp -d /tmp/praatkist-measure.XXXXXX)
app_pid=
cleanup() {
  e2e_end_pid "$app_pid"
  e2e_stop_xvfb
  bash "$root/tests/support/audio-test-server.sh" stop "$work/pa" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

eval "$(bash "$root/tests/support/audio-test-server.sh" start "$work/pa")"
e2e_start_xvfb "$work"
mkdir -p "$work/bin" "$work/home"
cp "$prog" "$work/bin/Praatkist"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config QT_QPA_PLATFORM=xcb

now_ms() { echo $(($(date +%s%N) / 1000000)); }
# CPU time (user + system) of a process in clock ticks
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

launch() {
  "$work/bin/Praatkist" >>"$work/program.log" 2>&1 &
  app_pid=$!
}

painted() {
  WIN=$(e2e_window Praatkist)
  [ -n "$WIN" ] || return 1
  local X Y WINDOW WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$WIN")"
  WX=$X WY=$Y
  [ "$(e2e_pixel $((WX + 100)) $((WY + 250)))" = "#CE4D4D" ]
}

echo "program: $prog ($(stat -c %s "$prog") bytes)"
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "start-up to the first painted window (ms):"
for run in 1 2 3 4 5; do
  rm -f "$work/bin/Praatkist.ini"
  t0=$(now_ms)
  launch
  until painted; do
    [ $(($(now_ms) - t0)) -lt 20000 ] || { echo "no window" >&2; exit 1; }
  done
  echo "  run $run: $(($(now_ms) - t0))"
  e2e_click "${E2E_EXIT[@]}"
  e2e_poll 10 e2e_gone "$app_pid" || { echo "the program did not close" >&2; exit 1; }
  wait "$app_pid" || true
  app_pid=
done

echo
launch
e2e_wait_window Praatkist 20
sleep 2
echo "idle after start-up:         RSS/PSS KiB $(e2e_memory "$app_pid")"
e2e_click "${E2E_NEW[@]}"
e2e_wait_window "Nieuwe sessie"
xdotool type --delay 20 Meting
e2e_click "${E2E_INPUT_OK[@]}"
e2e_wait_window Praatkist
take=$HOME/Documents/AudioSessies/Meting/Meting-1.wav
e2e_poll 5 test -d "$(dirname "$take")"
sleep 1
echo "idle with a session:         RSS/PSS KiB $(e2e_memory "$app_pid")"

e2e_click "${E2E_RECORD[@]}"
e2e_poll 5 e2e_recording "$app_pid"
echo "recording $minutes min from the sine source:"
cpu0=$(cpu_ticks "$app_pid") rec0=$(now_ms)
for minute in $(seq 0 "$minutes"); do
  [ "$minute" -eq 0 ] || sleep 60
  size=$(stat -c %s "$take" 2>/dev/null || echo 0)
  printf '  %2d min: RSS/PSS KiB %s   take %d MiB, %d threads\n' "$minute" \
    "$(e2e_memory "$app_pid")" $((size / 1048576)) "$(ls /proc/"$app_pid"/task | wc -l)"
done
awk -v c=$(($(cpu_ticks "$app_pid") - cpu0)) -v hz="$(getconf CLK_TCK)" -v ms=$(($(now_ms) - rec0)) \
  'BEGIN { printf "CPU while recording: %.2f %% of one core\n", 100 * c / hz / (ms / 1000) }'
t0=$(now_ms)
e2e_click "${E2E_STOP[@]}"
# The stop lists the take and draws its waveform: wait for the green.
e2e_poll 120 e2e_not_recording "$app_pid"
until e2e_wave_drawn; do
  [ $(($(now_ms) - t0)) -lt 300000 ] || { echo "no waveform" >&2; break; }
  sleep 0.2
done
echo "stop and waveform of the long take: $(($(now_ms) - t0)) ms"
sleep 1
echo "after the stop (take shown): RSS/PSS KiB $(e2e_memory "$app_pid")   take $(($(stat -c %s "$take") / 1048576)) MiB"
echo "peak RSS of the whole run:   $(awk '/^VmHWM:/ { print $2, $3 }' "/proc/$app_pid/status")"
e2e_click "${E2E_EXIT[@]}"
e2e_poll 20 e2e_gone "$app_pid" || true
