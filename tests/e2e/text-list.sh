#!/usr/bin/env bash
# Recording from a text list with the keyboard alone, as a speaker does: the built
# program under its own Xvfb with a private home, against the PulseAudio test server.
#
#   tests/e2e/text-list.sh PROGRAM
#
# A new session (Ctrl+N), a list loaded through the file dialog (Ctrl+T), a take of the
# first text, a take of the second retaken (Ctrl+Shift+R), a take of the third and the
# program killed during it. After the restart every binding is there, the rejected take
# is chosen (Ctrl+K) and the data set exported (Ctrl+E, Return): its wavs/ and
# metadata.csv are what the list and the chosen takes say, at the rate trainers read.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=lib.sh
source "$here/lib.sh"
program=$(readlink -f "${1:?usage: text-list.sh PROGRAM}")

e2e_begin praatkist-e2e-list Xvfb xdotool pactl soxi
# the window with its text column, whole
export E2E_SCREEN=1600x1024
e2e_start_servers

e2e_private_home "$program"
sessions=$HOME/Documents/AudioSessies
folder=$sessions/Lijst
printf '[Opname]\r\nGeluidsingang=Sine source at 440 Hz\r\n' >"$work/bin/Praatkist.ini"
# an existing metadata.csv, loaded as it is
printf 'een|Goedemorgen.\ntwee|Hoe gaat het met u?\ndrie|Tot ziens.\n' >"$work/metadata.csv"

wav_bytes() { stat -c %s "$1" 2>/dev/null || echo 0; }
holds_bytes() { [ "$(wav_bytes "$1")" -ge "$2" ]; }
# A key for the main window (and not a dialog found before).
main_key() {
  e2e_wait_window Praatkist
  e2e_key "$1"
}
bound() { grep -qx "$(printf '%s\t%s\t%s' "$1" "$2" "$3")" "$folder/opnames.tsv" 2>/dev/null; }
# records until the take holds a second (48 kHz stereo)
record_second() {
  check "no take $1" e2e_poll 10 test -f "$folder/$1"
  check "$1 did not grow to a second" e2e_poll 20 holds_bytes "$folder/$1" 192044
}
no_error() { [ -z "$(e2e_window Fout)" ] || fail "an error message appeared"; }

e2e_start_program
main_key ctrl+n
e2e_wait_window "Nieuwe sessie" || { import -window root /tmp/e2e-fail.png; fail "no question for the session's name"; }
check "the dialog did not get the keyboard" e2e_poll 10 e2e_has_focus
xdotool type --delay 15 "Lijst"
xdotool key Return
check "no session folder" e2e_poll 5 test -d "$folder"

main_key ctrl+t
e2e_wait_window "Kies een tekstlijst" 20 || fail "no file dialog"
check "the file dialog did not get the keyboard" e2e_poll 10 e2e_has_focus
xdotool type --delay 10 "$work/metadata.csv"
xdotool key Return
check "the list was not kept in the session" e2e_poll 10 test -f "$folder/tekstlijst.txt"
[ "$(cat "$folder/tekstlijst.txt")" = "$(printf 'een\tGoedemorgen.\ntwee\tHoe gaat het met u?\ndrie\tTot ziens.')" ] ||
  fail "tekstlijst.txt: $(cat "$folder/tekstlijst.txt")"

main_key ctrl+r
record_second Lijst-1.wav
main_key ctrl+s
check "the take of een was not bound" e2e_poll 10 bound Lijst-1.wav een ""
check "the recording stream stayed" e2e_poll 5 e2e_not_recording "$app_pid"

main_key ctrl+Right
main_key ctrl+r
record_second Lijst-2.wav
main_key ctrl+shift+r
record_second Lijst-3.wav
bound Lijst-2.wav twee afgekeurd || fail "the retaken take was not rejected: $(cat "$folder/opnames.tsv")"
main_key ctrl+s
check "the retake of twee was not bound" e2e_poll 10 bound Lijst-3.wav twee ""
check "the recording stream stayed" e2e_poll 5 e2e_not_recording "$app_pid"
no_error

main_key ctrl+Right
main_key ctrl+r
record_second Lijst-4.wav
kill -KILL "$app_pid"
wait "$app_pid" 2>/dev/null || true
app_pid=
bound Lijst-4.wav drie "" || fail "the killed take was not bound: $(cat "$folder/opnames.tsv")"

# After the restart: the session by key, the second text and its rejected take chosen.
e2e_start_program
main_key Down
main_key ctrl+Right # twee: its latest take, Lijst-3.wav, is selected
for _ in 1 2 3 4; do main_key Tab; done # to the take list
main_key Up # Lijst-2.wav
main_key ctrl+k
check "the rejected take was not chosen" e2e_poll 10 bound Lijst-2.wav twee gekozen
for take in Lijst-1.wav:een Lijst-3.wav:twee Lijst-4.wav:drie; do
  bound "${take%%:*}" "${take##*:}" "" || fail "binding of $take lost: $(cat "$folder/opnames.tsv")"
done
no_error

main_key ctrl+e
e2e_wait_window Exporteren 10 || fail "no export dialog"
check "the export dialog did not get the keyboard" e2e_poll 10 e2e_has_focus
xdotool key Return
set=$folder/dataset
check "no data set" e2e_poll 30 test -f "$set/metadata.csv"
[ "$(cat "$set/metadata.csv")" = "$(printf 'een|Goedemorgen.|Goedemorgen.\ntwee|Hoe gaat het met u?|Hoe gaat het met u?\ndrie|Tot ziens.|Tot ziens.')" ] ||
  fail "metadata.csv: $(cat "$set/metadata.csv")"
[ "$(ls "$set/wavs")" = "$(printf 'drie.wav\neen.wav\nmetadata.jsonl\ntwee.wav')" ] || fail "wavs: $(ls "$set/wavs")"
# As trainers want them: 22050 Hz mono, each as long as its chosen take.
for pair in een:Lijst-1 twee:Lijst-2 drie:Lijst-4; do
  out=$set/wavs/${pair%%:*}.wav
  [ "$(soxi -r "$out") $(soxi -c "$out") $(soxi -b "$out")" = "22050 1 16" ] || fail "$out: $(soxi "$out")"
  awk -v a="$(soxi -D "$out")" -v b="$(soxi -D "$folder/${pair##*:}.wav")" \
    'BEGIN { d = a - b; exit !(d < 0.001 && d > -0.001) }' || fail "${pair%%:*}.wav is not as long as ${pair##*:}.wav"
done
no_error
# the closing message, then the program closes
e2e_poll 10 eval '[ "$(xdotool search --onlyvisible --name "^Praatkist\$" | wc -l)" -ge 2 ]' ||
  fail "no closing message"
xdotool key Return
main_key ctrl+q
e2e_poll 15 e2e_gone "$app_pid" || fail "the program did not close"
wait "$app_pid" || fail "the program ended with status $?"
app_pid=
echo "-- done"
