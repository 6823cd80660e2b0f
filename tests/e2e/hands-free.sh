#!/usr/bin/env bash
# Hands-free reading as a new user tries it: the built program under its own Xvfb with
# two screens (a 1280 x 800 laptop and a 1920 x 1080 monitor, X screens :N.0 and :N.1),
# against the PulseAudio test server, with a session of five Dutch sentences and, in its
# settings file, Handsfree and "Tekst op tweede scherm" on. After the session is chosen
# no key is pressed: the five sentences, spoken by espeak-ng with room noise and pauses
# of 2 s and fed to a pipe source at a microphone's pace, become five takes bound to
# their five texts, each holding its voice whole; the speaker's window fills the second
# screen, and the main window fits the first.
#
#   tests/e2e/hands-free.sh PROGRAM
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=lib.sh
source "$here/lib.sh"
program=$(readlink -f "${1:?usage: hands-free.sh PROGRAM}")

e2e_begin praatkist-e2e-handsfree Xvfb xdotool pactl sox soxi espeak-ng
export E2E_SCREEN=1280x800 E2E_SCREEN2=1920x1080
e2e_start_servers
pactl load-module module-pipe-source source_name=mic file="$work/mic" format=s16le \
  rate=48000 channels=2 source_properties=device.description=Microfoon >/dev/null

e2e_private_home "$program"
folder=$HOME/Documents/AudioSessies/Lezen
mkdir -p "$folder"
printf '[Opname]\r\nGeluidsingang=Microfoon\r\nHandsfree=1\r\nTekstOpTweedeScherm=1\r\n' \
  >"$work/bin/Praatkist.ini"
sentences=(
  "De kat krabt de krullen van de trap."
  "Morgen gaan we met de fiets naar de markt."
  "Het regent al de hele week in Utrecht."
  "Wil je de deur even dicht doen?"
  "Na de les fietst zij snel naar huis."
)
: >"$folder/tekstlijst.txt"
parts=()
sox -V0 -n -r 48000 -c 2 -b 16 "$work/lead.wav" trim 0 1.5
parts+=("$work/lead.wav")
for i in "${!sentences[@]}"; do
  printf 'z%d\t%s\n' $((i + 1)) "${sentences[$i]}" >>"$folder/tekstlijst.txt"
  espeak-ng -v nl -s 150 -w "$work/said.wav" "${sentences[$i]}"
  sox -V0 "$work/said.wav" -r 48000 -c 2 -b 16 "$work/voice-$i.wav" \
    silence 1 0.001 0.1% reverse silence 1 0.001 0.1% reverse gain -n -3.5 pad 0 2
  parts+=("$work/voice-$i.wav")
done
sox -V0 "${parts[@]}" "$work/spoken.wav"
sox -V0 "$work/spoken.wav" "$work/noise.wav" synth whitenoise gain -68
sox -V0 -m "$work/spoken.wav" "$work/noise.wav" -t raw -b 16 -e signed-integer "$work/said.raw"

# The microphone's room until the reading starts, then the reading, 0.1 s at a time.
feed() {
  local chunk=19200 blocks i
  blocks=$((($(stat -c %s "$1") + chunk - 1) / chunk))
  for ((i = 0; i < blocks; i++)); do
    dd if="$1" bs=$chunk skip=$i count=1 status=none
    sleep 0.1
  done
}
e2e_start_program
e2e_key Down # the session
on() { [ -n "$(e2e_window 'Praatkist: tekst voor de spreker')" ]; }
check "the speaker's window did not open" e2e_poll 20 on
speaker=$(e2e_window 'Praatkist: tekst voor de spreker')
eval "$(xdotool getwindowgeometry --shell "$speaker")"
[ "$SCREEN $WIDTH $HEIGHT" = "1 1920 1080" ] || fail "speaker's window: screen $SCREEN, ${WIDTH}x$HEIGHT"
e2e_wait_window Praatkist 10
eval "$(xdotool getwindowgeometry --shell "$WIN")"
[ "$SCREEN" = 0 ] && [ $((X + WIDTH)) -le 1280 ] && [ $((Y + HEIGHT)) -le 800 ] ||
  fail "the main window does not fit 1280 x 800: ${WIDTH}x$HEIGHT at $X,$Y"
feed "$work/said.raw" >"$work/mic"
takes() { [ "$(grep -c $'\tz' "$folder/opnames.tsv" 2>/dev/null)" -ge "$1" ]; }
check "not five takes: $(cat "$folder/opnames.tsv" 2>/dev/null)" e2e_poll 20 takes 5
sleep 1
[ "$(cut -f2,3 "$folder/opnames.tsv")" = "$(printf 'id\tstatus\nz1\t\nz2\t\nz3\t\nz4\t\nz5\t')" ] ||
  fail "opnames.tsv: $(cat "$folder/opnames.tsv")"
# Each take: its voice whole, the pre-roll's second before it.
for n in 1 2 3 4 5; do
  take=$folder/Lezen-$n.wav
  sox -V0 "$take" "$work/from-voice.wav" silence 1 0.005 -45d
  lead=$(awk -v a="$(soxi -D "$take")" -v b="$(soxi -D "$work/from-voice.wav")" 'BEGIN { print a - b }')
  awk -v l="$lead" 'BEGIN { exit !(l >= 0.9 && l <= 1.1) }' || fail "Lezen-$n.wav: $lead s before the voice"
done
[ ! -e "$folder/Lezen-6.wav" ] || fail "a sixth take"
e2e_key ctrl+q
e2e_poll 15 e2e_gone "$app_pid" || fail "the program did not close"
wait "$app_pid" || fail "the program ended with status $?"
app_pid=
echo "-- done"
