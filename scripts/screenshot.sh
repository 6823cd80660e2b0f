#!/usr/bin/env bash
# Makes docs/screenshot.png: the real window under Xvfb, against a private PulseAudio
# test server, showing a freshly recorded and trimmed take during its playback (the
# waveform with its trim note, the cursor and the lit meter), in a session that reads
# from a text list (the text column, the takes' ids).
#
#   scripts/screenshot.sh [PROGRAM] [OUTPUT]
#
# PROGRAM defaults to build/src/Praatkist, OUTPUT to docs/screenshot.png. The take is
# recorded from a pipe source named "Microfoon" fed with silence, a speech-like sound
# and silence again, in real time.
#
# The program runs with the home folder of a plausible user, /home/sanne, so that the
# window shows /home/sanne/Documents/AudioSessies. That folder exists only for this
# run: the script works in a private mount namespace where /home is overlaid with a
# scratch layer in memory, and nothing is left in the real /home.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=$(readlink -f "${1:-$root/build/src/Praatkist}")
output=$(readlink -f "${2:-$root/docs/screenshot.png}")
user_home=/home/sanne

if [ -z "${PRAATKIST_SHOT_PRIVATE:-}" ]; then
  bash "$root/scripts/install-deps.sh" test # Xvfb, the test server, sox, import
  ns=(unshare --mount --propagation private)
  [ "$(id -u)" -eq 0 ] || ns=(unshare --user --map-root-user --mount --propagation private)
  # The picture comes out in /tmp: an OUTPUT under /home would land in the scratch layer.
  picture=$(mktemp /tmp/praatkist-shot.XXXXXX.png)
  trap 'rm -f "$picture"' EXIT
  env PRAATKIST_SHOT_PRIVATE=1 "${ns[@]}" bash "$0" "$program" "$picture"
  mkdir -p "$(dirname "$output")"
  cp "$picture" "$output"
  echo "screenshot: $output ($(stat -c %s "$output") bytes)"
  exit 0
fi
# shellcheck source=../tests/e2e/lib.sh
source "$root/tests/e2e/lib.sh"

work=$(mktemp -d /tmp/praatkist-shot.XXXXXX)
app_pid=
feeder=
cleanup() {
  [ -z "$feeder" ] || e2e_end_pid "$feeder"
  e2e_end_pid "$app_pid"
  e2e_stop_xvfb
  bash "$root/tests/support/audio-test-server.sh" stop "$work/pa" >/dev/null 2>&1 ||   umount -l /home 2>/dev/null || true
  umount -l "$work/layer" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
die() {
  echo "screenshot: $*; the screen is in $work.png" >&2
  import -window root "$work.png" 2>/dev/null || true
  exit 1
}

[ -x "$program" ] || die "no program at $program (build it first: scripts/build.sh)"
# This namespace's /home: the real one read-only below, a layer in memory on top.
mkdir "$work/layer"
mount -t tmpfs tmpfs "$work/layer" || die "cannot mount a scratch layer"
mkdir "$work/layer/upper" "$work/layer/work"
mount -t overlay overlay \
  -o "lowerdir=/home,upperdir=$work/layer/upper,workdir=$work/layer/work" /home ||
  die "cannot lay a scratch layer over /home"
[ ! -e "$user_home" ] || die "$user_home exists already"
eval "$(bash "$root/tests/support/audio-test-server.sh" start "$work/pa")"
pactl load-module module-pipe-source source_name=mic file="$work/mic" format=s16le \
  rate=48000 channels=2 source_properties=device.description=Microfoon >/dev/null
# wide enough for the window with its text column
E2E_SCREEN=1600x1024 e2e_start_xvfb "$work"

# 0.9 s of silence, 2.6 s of syllable-like bursts, 0.9 s of silence.
sox -n -r 48000 -c 1 -b 16 -e signed-integer "$work/voice.wav" \
  synth 2.6 pinknoise synth 2.6 sine amod 4.2 0 tremolo 1.3 60 norm -2 fade 0.05 2.6 0.3
sox "$work/voice.wav" -t raw "$work/take.raw" channels 2 pad 0.9 0.9

export HOME=$user_home XDG_CONFIG_HOME=$user_home/.config QT_QPA_PLATFORM=xcb
sessions=$HOME/Documents/AudioSessies
mkdir -p "$work/bin" "$sessions/Interview"
for n in 1 2; do # two earlier takes, for the list
  sox -n -r 48000 -c 2 -b 16 "$sessions/Interview/Interview-$n.wav" synth 1 sine 300 gain -20
done
# The session reads from a text list; its two earlier takes belong to its first texts.
printf '%s\t%s\n' \
  0001 "Goedemorgen, en welkom bij de eerste aflevering." \
  0002 "Vandaag praten we met een imker uit Drenthe over het voorjaar." \
  0003 "Zij houdt al dertig jaar bijen, en zag in die tijd veel veranderen." \
  0004 "Wat doet een bijenvolk eigenlijk in de winter?" >"$sessions/Interview/tekstlijst.txt"
printf 'opname\tid\tstatus\nInterview-1.wav\t0001\tafgekeurd\nInterview-2.wav\t0001\t\n' \
  >"$sessions/Interview/opnames.tsv"
cp "$program" "$work/bin/Praatkist"
printf '[Opname]\r\nGeluidsingang=Microfoon\r\nStiltesTrimmen=1\r\nVooropname=1\r\n' >"$work/bin/Praatkist.ini"

"$work/bin/Praatkist" >"$work/program.log" 2>&1 &
app_pid=$!
e2e_wait_window Praatkist 30 || die "no window"
e2e_key Down # the session
# Its text column widens the window, which moves to stay on the screen: find it anew.
wide() { [ "$(xdotool getwindowgeometry --shell "$WIN" | sed -n 's/^WIDTH=//p')" -ge 1252 ]; }
e2e_poll 10 wide || die "no text column"
e2e_wait_window Praatkist 10 || die "no window"
e2e_key ctrl+Right # its second text: the take is of that one

take=$sessions/Interview/Interview-3.wav
e2e_click "${E2E_RECORD[@]}"
e2e_poll 5 test -f "$take" || die "the recording did not start"
# Fed at the pace of a microphone: 0.1 s at a time.
(
  chunk=19200
  blocks=$((($(stat -c %s "$work/take.raw") + chunk - 1) / chunk))
  for ((i = 0; i < blocks; i++)); do
    dd if="$work/take.raw" bs=$chunk skip=$i count=1 status=none
    sleep 0.1
  done
) >"$work/mic" &
feeder=$!
wait "$feeder"
feeder=
sleep 0.3
e2e_click "${E2E_STOP[@]}"
e2e_poll 10 test -f "$take.triminfo" || die "the take was not trimmed"
e2e_poll 10 e2e_wave_drawn || die "no waveform"

e2e_click "${E2E_LISTEN[@]}"
e2e_poll 5 e2e_meter_lit || die "the meter stayed dark"
sleep 0.9 # the cursor well into the sound, the meter at its height
import -window "$WIN" -strip -define png:compression-level=9 "$output"
