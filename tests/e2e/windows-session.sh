#!/usr/bin/env bash
# Praatkist.exe under wine on its own Xvfb, against the audio test server that
# scripts/test-windows.sh started, driven with real mouse and keyboard events:
#
#   tests/e2e/windows-session.sh PRAATKIST.EXE
#
# A WAV take from the tone sink's monitor ("Praatkist-toon"), paused and resumed on
# the way, and an MP3 take from the
# test sink's monitor ("Praatkist-proef") while a tone burst plays into the sink, both
# with "Stiltes trimmen" on: the WAV keeps its tone whole, the MP3 is trimmed to the
# burst and keeps its backup and trim record. Then, with "Vooropname" on, an MP3 take
# clicked right after a tone burst: it opens with the burst's last second, kept while
# the input stood open, and its trailing silence is trimmed. Needs WINEPREFIX and
# PULSE_SERVER.
#
#   tests/e2e/windows-session.sh --installed PRAATKIST.EXE ROOT
#
# runs an installed Praatkist.exe where it is (tests/install/windows-setup.sh): its
# settings must then be in the user's application-data folder, none beside it, and
# the takes go to ROOT/Proef, which stays.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=lib.sh
source "$here/lib.sh"
installed=0
if [ "${1:-}" = --installed ]; then
  installed=1
  shift
fi
usage="usage: windows-session.sh [--installed PRAATKIST.EXE ROOT | PRAATKIST.EXE]"
program=$(readlink -f "${1:?$usage}")
[ $installed = 0 ] || [ -n "${2:-}" ] || { echo "$usage"; exit 2; }
[ -n "${PULSE_SERVER:-}" ] || { echo "FAIL: no PULSE_SERVER"; exit 1; }

e2e_begin praatkist-win-e2e Xvfb xdotool import pactl soxi sox wine winepath

t_start=$(date +%s%N)
step() { printf -- '-- %5.1f s  %s\n' "$((($(date +%s%N) - t_start) / 1000000))e-3" "$*"; }
e2e_start_servers
# wine's desktop process opens the display once per wineserver: a fresh wineserver that
# knows this one (and ended with the test)
wineserver -k 2>/dev/null || true
windows__end() {
  local rc=$?
  e2e_end_pid "$app_pid"
  app_pid=
  wineserver -k 2>/dev/null || true
  return $rc
}
# (errexit off: the status goes on to e2e__end, which reports and cleans up)
trap 'set +e; windows__end; e2e__end' EXIT

pactl load-module module-remap-source master=testsink.monitor source_name=praatkist_proef \
  source_properties=device.description=Praatkist-proef >/dev/null
if [ $installed = 1 ]; then
  exe=$program
  sessions=$(mkdir -p "$2" && cd "$2" && pwd)
  appdata=$(winepath -u "$(wine cmd /c echo %APPDATA% </dev/null 2>/dev/null | tr -d '\r')")
  ini=$appdata/Praatkist/Praatkist.ini
  beside=$(dirname "$exe")/Praatkist.ini
  rm -f "$ini" "$beside"
  mkdir -p "$(dirname "$ini")"
else
  exe=$work/bin/Praatkist.exe
  sessions=$work/sessions
  ini=$work/bin/Praatkist.ini
  mkdir -p "$work/bin"
  cp "$program" "$exe"
fi
folder=$sessions/Proef
mkdir -p "$folder"
sox -n -r 48000 -c 2 -b 16 "$work/burst.wav" synth 2 sine 440 gain -6

# The settings the program starts with (CR LF lines).
settings() { # format device [pre-roll]
  printf '[Sessies]\r\nHoofdmap=%s\r\n[Opname]\r\nFormaat=%s\r\nSamplerate=48000\r\nBitrateIndex=1\r\nGeluidsingang=%s\r\nStiltesTrimmen=1\r\nMono=0\r\nVooropname=%s\r\n' \
    "$(winepath -w "$sessions")" "$1" "$2" "${3:-0}" >"$ini"
}

start_program() {
  wine "$exe" >>"$work/program.log" 2>&1 &
  app_pid=$!
  e2e_wait_window Praatkist 60 || fail "the window did not appear"
  check "the window was not painted" e2e_poll 20 e2e__pixel_is $((WX + 100)) $((WY + 250)) "#CE4D4D"
  # the only session, picked with the keyboard
  e2e_key Down
}

grows_to() { [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -ge "$2" ]; }
stands_still() {
  local before
  before=$(stat -c %s "$1")
  sleep 0.3
  [ "$(stat -c %s "$1")" -eq "$before" ]
}

close_program() {
  e2e_click "${E2E_EXIT[@]}"
  local deadline=$((SECONDS + 20))
  while ! e2e_gone "$app_pid"; do
    [ $SECONDS -lt $deadline ] || fail "the program did not close"
    if [ -n "$(e2e_window Bevestigen)" ]; then # keep the trim files
      e2e_wait_window Bevestigen
      e2e_click "${E2E_CONFIRM_CANCEL[@]}"
      sleep 0.5
    fi
    sleep 0.1
  done
  wait "$app_pid" 2>/dev/null || true
  app_pid=
}

rough_frequency() { sox "$1" -n remix 1 stat 2>&1 | awk '/Rough   frequency/ { print $3 }'; }
tone_ok() {
  local f
  f=$(rough_frequency "$1")
  e2e_above "$f" 430 && ! e2e_above "$f" 450
}

step "WAV take from the tone, trimming on"
settings 0 Praatkist-toon
start_program
e2e_click "${E2E_RECORD[@]}"
take=$folder/Proef-1.wav
check "no take file (no session picked?)" e2e_poll 10 test -f "$take"
check "the take did not grow to 2 s" e2e_poll 20 grows_to "$take" 384044
# PAUZEREN: the file stands still while the tone goes on; HERVATTEN: it grows again
e2e_click "${E2E_RECORD[@]}"
check "the paused take went on growing" e2e_poll 20 stands_still "$take"
paused_size=$(stat -c %s "$take")
sleep 1 # the tone goes on meanwhile: a paused take must not take it
[ "$(stat -c %s "$take")" -eq "$paused_size" ] || fail "the paused take grew"
e2e_click "${E2E_RECORD[@]}"
check "the resumed take did not grow" e2e_poll 20 grows_to "$take" $((paused_size + 96000))
e2e_click "${E2E_STOP[@]}"
check "the take's waveform was not drawn" e2e_poll 15 e2e_wave_drawn
[ -z "$(e2e_window Fout)" ] || fail "an error message appeared"
frames=$(soxi -s "$take")
[ "$(soxi -r "$take")" = 48000 ] && [ "$(soxi -c "$take")" = 2 ] || fail "not 48 kHz stereo"
[ $((frames * 4 + 44)) -eq "$(stat -c %s "$take")" ] || fail "header does not match the data"
e2e_above "$(soxi -D "$take")" 1.9 || fail "take of $(soxi -D "$take") s"
tone_ok "$take" || fail "tone of $(rough_frequency "$take") Hz"
[ ! -e "$take.triminfo" ] || fail "a tone from its first frame was trimmed"
close_program

step "MP3 take of a tone burst between silences, trimming on"
settings 1 Praatkist-proef
start_program
e2e_click "${E2E_RECORD[@]}"
take=$folder/Proef-1.mp3
check "no take file" e2e_poll 10 test -f "$take"
sleep 1
paplay -d testsink "$work/burst.wav"
sleep 1.5
e2e_click "${E2E_STOP[@]}"
check "the take was not trimmed" e2e_poll 20 test -f "$take.triminfo"
check "the trimmed take's waveform was not drawn" e2e_poll 15 e2e_wave_drawn
[ -z "$(e2e_window Fout)" ] || fail "an error message appeared"
check "trimmed without backup" test -f "$take.untrimmed"
cp "$take.untrimmed" "$work/untrimmed.mp3" # sox goes by the ending
recorded=$(soxi -D "$work/untrimmed.mp3")
trimmed=$(soxi -D "$take")
step "recorded $recorded s, trimmed to $trimmed s"
e2e_above "$recorded" 4 || fail "recorded only $recorded s"
e2e_above "$trimmed" 2.0 && ! e2e_above "$trimmed" 2.5 || fail "trimmed to $trimmed s"
tone_ok "$take" || fail "tone of $(rough_frequency "$take") Hz"
ls "$folder"/*.trimtmp* >/dev/null 2>&1 && fail "a trim's temporary file was left"
close_program

step "MP3 take with Vooropname, clicked after a tone burst"
settings 1 Praatkist-proef 1
start_program
sleep 1.5 # the input stands open
paplay -d testsink "$work/burst.wav"
e2e_click "${E2E_RECORD[@]}"
take=$folder/Proef-2.mp3
check "no take file" e2e_poll 10 test -f "$take"
sleep 1.5
e2e_click "${E2E_STOP[@]}"
check "the take's trailing silence was not trimmed" e2e_poll 20 test -f "$take.triminfo"
check "the trimmed take's waveform was not drawn" e2e_poll 15 e2e_wave_drawn
[ -z "$(e2e_window Fout)" ] || fail "an error message appeared"
cp "$take.untrimmed" "$work/untrimmed.mp3"
recorded=$(soxi -D "$work/untrimmed.mp3")
trimmed=$(soxi -D "$take")
step "recorded $recorded s, trimmed to $trimmed s"
e2e_above "$recorded" 2.3 || fail "recorded only $recorded s: no pre-roll?"
e2e_above "$trimmed" 0.6 && ! e2e_above "$trimmed" 1.3 || fail "trimmed to $trimmed s"
tone_ok "$take" || fail "tone of $(rough_frequency "$take") Hz"
close_program
if [ $installed = 1 ]; then
  # the program wrote its settings (VoorloopMs is its own, the test never writes it)
  # into the application-data folder, and nothing beside itself
  grep -q '^VoorloopMs=' "$ini" || fail "the settings were not written to $ini"
  [ ! -e "$beside" ] || fail "settings beside the installed program: $beside"
fi
step "done"
