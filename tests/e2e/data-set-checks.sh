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

mkdir -p "$work/bin" "$work/home"
cp "$program" "$work/bin/Praatkist"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8
export LSAN_OPTIONS=suppressions=$here/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}
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
