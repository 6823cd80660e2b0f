#!/usr/bin/env bash
# A session of Dutch sentences judged and exported as a new user does it, by keys
# alone: the built program under its own Xvfb with a private home, against the
# PulseAudio test server.
#
#   tests/e2e/data-set-checks.sh PROGRAM
#
# The session holds seven takes of real synthetic speech, each bound to its text:
# three clean ones, a clipped one, one cut at its start, a silent one and one read at
# twice the pace. The overview (Ctrl+O) measures them all into cijfers.tsv; the export
# (Ctrl+E) with "Opnames met opmerkingen overslaan", margins and loudness on leaves
# exactly the four bad ones out, lists them in overgeslagen.tsv, and writes the three
# clean ones at 22050 Hz mono with 0.2 s of room and -23 LUFS.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=lib.sh
source "$here/lib.sh"
program=$(readlink -f "${1:?usage: data-set-checks.sh PROGRAM}")

e2e_begin praatkist-e2e-checks Xvfb xdotool pactl soxi sox espeak-ng ffmpeg
export E2E_SCREEN=1600x1024
e2e_start_servers

e2e_private_home "$program"
folder=$HOME/Documents/AudioSessies/Zinnen
mkdir -p "$folder"
printf '[Opname]\r\nGeluidsingang=Sine source at 440 Hz\r\n' >"$work/bin/Praatkist.ini"

# id, text, words per minute, sox effects on the voice, silence around it; each take a
# sentence of its own in 48 kHz stereo with room noise under it.
takes=(
  "kat|De kat krabt de krullen van de trap.|150||0.7"
  "regen|Het regent al de hele dag in Rotterdam.|150||0.7"
  "fiets|Mijn fiets staat achter het oude station.|150||0.7"
  "luid|Wij wonen aan de rand van het bos.|150|gain 9|0.7"
  "kort|De trein naar Utrecht vertrekt om negen uur.|150|trim 0.05|0"
  "stil|Het is vandaag heel erg stil op straat.|0||0.7"
  "snel|Zij leest elke avond een boek voor het slapen.|300||0.7"
)
n=0
printf 'opname\tid\tstatus\n' >"$folder/opnames.tsv"
: >"$folder/tekstlijst.txt"
for t in "${takes[@]}"; do
  IFS='|' read -r id text wpm effects lead <<<"$t"
  n=$((n + 1))
  take=$folder/Zinnen-$n.wav
  if [ "$wpm" = 0 ]; then
    sox -V0 -n -r 48000 -c 2 -b 16 "$work/voice.wav" trim 0 2
  else
    espeak-ng -v nl -s "$wpm" -w "$work/said.wav" "$text"
    # shellcheck disable=SC2086
    sox -V0 "$work/said.wav" -r 48000 -c 2 -b 16 "$work/voice.wav" \
      silence 1 0.001 0.1% reverse silence 1 0.001 0.1% reverse gain -n -3.5 $effects pad "$lead" 0.7
  fi
  sox -V0 "$work/voice.wav" "$work/noise.wav" synth whitenoise gain -68
  sox -V0 -m -v 1 "$work/voice.wav" -v 1 "$work/noise.wav" -b 16 "$take"
  printf '%s\t%s\n' "$id" "$text" >>"$folder/tekstlijst.txt"
  printf 'Zinnen-%d.wav\t%s\t\n' "$n" "$id" >>"$folder/opnames.tsv"
done

main_key() {
  e2e_wait_window Praatkist
  e2e_key "$1"
}
no_error() { [ -z "$(e2e_window Fout)" ] || fail "an error message appeared"; }
lines() { [ "$(grep -c . "$1" 2>/dev/null)" -ge "$2" ]; }

e2e_start_program
main_key Down # the session
main_key ctrl+o
e2e_wait_window Overzicht 10 || fail "no overview"
check "the takes were not all measured" e2e_poll 60 lines "$folder/cijfers.tsv" 8
no_error
xdotool key Escape

main_key ctrl+e
e2e_wait_window Exporteren 10 || fail "no export dialog"
check "the export dialog did not get the keyboard" e2e_poll 10 e2e_has_focus
# "Opnames met opmerkingen overslaan", "Stilte aan begin en eind" and "Luidheid gelijk
# maken" by their keys, and Return right after them exports with all three
xdotool key alt+o alt+s alt+l Return
set=$folder/dataset
check "no data set" e2e_poll 60 test -f "$set/metadata.csv"
[ "$(cat "$set/metadata.csv")" = "$(printf '%s\n' \
  'kat|De kat krabt de krullen van de trap.|De kat krabt de krullen van de trap.' \
  'regen|Het regent al de hele dag in Rotterdam.|Het regent al de hele dag in Rotterdam.' \
  'fiets|Mijn fiets staat achter het oude station.|Mijn fiets staat achter het oude station.')" ] ||
  fail "metadata.csv: $(cat "$set/metadata.csv")"
[ "$(cut -f1,2 "$set/overgeslagen.tsv")" = "$(printf 'id\topname\nluid\tZinnen-4.wav\nkort\tZinnen-5.wav\nstil\tZinnen-6.wav\nsnel\tZinnen-7.wav')" ] ||
  fail "overgeslagen.tsv: $(cat "$set/overgeslagen.tsv")"
for pair in luid:overstuurd kort:'afgekapt begin' stil:'geen spraak' snel:tempo; do
  grep -q "^${pair%%:*}	.*${pair#*:}" "$set/overgeslagen.tsv" ||
    fail "no remark ${pair#*:} for ${pair%%:*}: $(cat "$set/overgeslagen.tsv")"
done
# Each file: 22050 Hz mono, 0.2 s of room before and after the voice, -23 LUFS.
near() { awk -v a="$1" -v b="$2" -v d="$3" 'BEGIN { x = a - b; exit !(x <= d && x >= -d) }'; }
for id in kat regen fiets; do
  out=$set/wavs/$id.wav
  [ "$(soxi -r "$out") $(soxi -c "$out")" = "22050 1" ] || fail "$out: $(soxi "$out")"
  all=$(soxi -D "$out")
  sox -V0 "$out" "$work/lead.wav" silence 1 0.005 -45d
  sox -V0 "$out" "$work/tail.wav" reverse silence 1 0.005 -45d
  lead=$(awk -v a="$all" -v b="$(soxi -D "$work/lead.wav")" 'BEGIN { print a - b }')
  tail=$(awk -v a="$all" -v b="$(soxi -D "$work/tail.wav")" 'BEGIN { print a - b }')
  near "$lead" 0.2 0.04 || fail "$id.wav: $lead s before the voice"
  near "$tail" 0.2 0.04 || fail "$id.wav: $tail s after the voice"
  lufs=$(ffmpeg -nostats -hide_banner -i "$out" -af ebur128 -f null - 2>&1 |
    awk '/Integrated loudness/ { f = 1 } f && /I:/ { print $2; exit }')
  near "$lufs" -23 0.5 || fail "$id.wav: $lufs LUFS"
done
no_error
e2e_poll 10 eval '[ "$(xdotool search --onlyvisible --name "^Praatkist\$" | wc -l)" -ge 2 ]' ||
  fail "no closing message"
xdotool key Return
main_key ctrl+q
e2e_poll 15 e2e_gone "$app_pid" || fail "the program did not close"
wait "$app_pid" || fail "the program ended with status $?"
app_pid=
echo "-- done"
