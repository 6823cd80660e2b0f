#!/usr/bin/env bash
# The built program used as a user would: started under its own Xvfb with a private
# home, driven with real mouse and keyboard events on its fixed layout, against the
# PulseAudio test server (the one scripts/test.sh started, or a private one).
#
#   tests/e2e/user-session.sh PROGRAM
#
# Session 1: new session, "Stiltes trimmen" ticked, a take from the sine source, stop,
# listen to the end, delete, close. Files and the settings file are checked each step.
# Session 2: a take recorded and the program killed with SIGKILL. Session 3: that take
# is listed and drawn, and plays back to within a second of its end.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=lib.sh
source "$here/lib.sh"
program=$(readlink -f "${1:?usage: user-session.sh PROGRAM}")

e2e_begin praatkist-e2e Xvfb xdotool import pactl soxi sox

t_start=$(date +%s%N)
step() { printf -- '-- %5.1f s  %s\n' "$((($(date +%s%N) - t_start) / 1000000))e-3" "$*"; }
e2e_start_servers

# The program in a folder of our own, so that its settings file lands beside it.
mkdir -p "$work/bin" "$work/home"
cp "$program" "$work/bin/Praatkist"
ini=$work/bin/Praatkist.ini
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8
# for a build with the sanitizers: what the system libraries keep at exit is theirs
export LSAN_OPTIONS=suppressions=$here/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}
sessions=$HOME/Documents/AudioSessies
folder=$sessions/Proef
sine="Sine source at 440 Hz"


# Closes through the exit button, answering the purge question with $1 when it comes.
close_program() {
  local answer=$1
  asked=0
  e2e_click "${E2E_EXIT[@]}"
  local deadline=$((SECONDS + 15))
  while ! e2e_gone "$app_pid"; do
    [ $SECONDS -lt $deadline ] || fail "the program did not close"
    if [ $asked -eq 0 ] && [ -n "$(e2e_window Bevestigen)" ]; then
      asked=1
      e2e_wait_window Bevestigen
      if [ "$answer" = yes ]; then
        e2e_click "${E2E_CONFIRM_OK[@]}"
      else
        e2e_click "${E2E_CONFIRM_CANCEL[@]}"
      fi
    fi
    sleep 0.05
  done
  local rc=0
  wait "$app_pid" || rc=$?
  app_pid=
  [ $rc -eq 0 ] || fail "the program ended with status $rc"
}

fail_on_error_window() {
  [ -z "$(e2e_window Fout)" ] || fail "an error message appeared"
}

wav_bytes() { stat -c %s "$1" 2>/dev/null || echo 0; }
holds_bytes() { [ "$(wav_bytes "$1")" -ge "$2" ]; }
seconds_of() { soxi -D "$1" 2>/dev/null; }
# The take's tone: sox's rough frequency of the first channel.
rough_frequency() { sox "$1" -n remix 1 stat 2>&1 | awk '/Rough   frequency/ { print $3 }'; }

# Plays the selected take to its end; sets played_ms to the milliseconds the playing
# form was shown. The clock, the server's stream and the lit meter are looked for in one
# loop, each until it was seen once, so that a slow look at one does not make another
# miss the short playback.
listen_to_end() {
  local limit=$1 clock=0 stream=0 meter=0
  e2e_click "${E2E_LISTEN[@]}"
  local t0 deadline=$((SECONDS + limit))
  t0=$(date +%s%N)
  while :; do
    [ $clock = 1 ] || ! e2e_clock_playing || clock=1
    [ $stream = 1 ] || ! e2e_playing "$app_pid" || stream=1
    [ $meter = 1 ] || ! e2e_meter_lit || meter=1
    if [ $clock = 1 ] && [ $stream = 1 ] && [ $meter = 1 ]; then
      break
    fi
    [ $SECONDS -lt $deadline ] || break
    sleep 0.05
  done
  [ $clock = 1 ] || fail "the playback did not start"
  [ $stream = 1 ] || fail "no playback stream on the server"
  [ $meter = 1 ] || fail "the meter stayed dark during the playback"
  check "the playback did not end by itself" e2e_poll "$limit" e2e_clock_idle
  played_ms=$((($(date +%s%N) - t0) / 1000000))
}

# ---- session 1 ------------------------------------------------------------------------

step "start without a settings file"
e2e_start_program
check "default root not created" test -d "$sessions"
[ -z "$(ls -A "$sessions")" ] || fail "the root is not empty"
[ ! -e "$HOME/.config/Praatkist/Praatkist.ini" ] || fail "settings went to ~/.config"

step "new session, typed with blanks"
e2e_click "${E2E_NEW[@]}"
e2e_wait_window "Nieuwe sessie"
check "the dialog did not get the keyboard" e2e_poll 10 e2e_has_focus
xdotool type --delay 15 "  Proef "
e2e_click "${E2E_INPUT_OK[@]}"
e2e_wait_window Praatkist
check "no session folder" e2e_poll 5 test -d "$folder"
[ "$(ls -A "$sessions")" = Proef ] || fail "sessions: $(ls -A "$sessions")"

step "tick Stiltes trimmen, record about 2 s"
e2e_click "${E2E_TRIM[@]}"
e2e_click "${E2E_RECORD[@]}"
check "no recording stream on the server" e2e_poll 5 e2e_recording "$app_pid"
take=$folder/Proef-1.wav
check "no take file" e2e_poll 5 test -f "$take"
check "the take did not grow to 2 s" e2e_poll 20 holds_bytes "$take" 384044
fail_on_error_window

step "stop"
e2e_click "${E2E_STOP[@]}"
check "the recording stream stayed" e2e_poll 5 e2e_not_recording "$app_pid"
check "the take's waveform was not drawn" e2e_poll 10 e2e_wave_drawn
fail_on_error_window
duration=$(seconds_of "$take")
e2e_above "$duration" 1.9 || fail "take of $duration s"
frames=$(soxi -s "$take")
[ "$(soxi -r "$take")" = 48000 ] && [ "$(soxi -c "$take")" = 2 ] || fail "not 48 kHz stereo"
[ $((frames * 4 + 44)) -eq "$(wav_bytes "$take")" ] || fail "header does not match the data"
freq=$(rough_frequency "$take")
e2e_above "$freq" 430 && ! e2e_above "$freq" 450 || fail "tone of $freq Hz"
if [ -e "$take.triminfo" ]; then
  # trimmed: the backup holds the longer original
  check "trimmed without backup" test -f "$take.untrimmed"
  e2e_above "$(seconds_of "$take.untrimmed")" "$duration" || fail "backup not longer"
else
  [ ! -e "$take.untrimmed" ] || fail "a backup without trim record"
fi
ls "$folder"/*.trimtmp* >/dev/null 2>&1 && fail "a trim's temporary file was left"

step "listen to the end ($duration s)"
listen_to_end 15
step "played for $played_ms ms"
e2e_above "$played_ms" "$(awk -v d="$duration" 'BEGIN { print d * 1000 - 500 }')" ||
  fail "played for $played_ms ms only"

step "delete, answering the confirmation"
e2e_click "${E2E_DELETE[@]}"
e2e_wait_window Bevestigen
e2e_click "${E2E_CONFIRM_OK[@]}"
check "the take is still there" e2e_poll 5 test ! -e "$take"
[ -z "$(ls -A "$folder")" ] || fail "left in the session: $(ls -A "$folder")"
e2e_wait_window Praatkist
check "the waveform stayed after the delete" e2e_poll 5 eval '! e2e_wave_drawn'

step "close"
close_program yes
[ "$asked" = 0 ] || fail "asked to remove trim files where there are none"
check "no settings file beside the program" test -f "$ini"
[ ! -e "$HOME/.config/Praatkist/Praatkist.ini" ] || fail "settings went to ~/.config"
expect_setting() {
  local got
  got=$(e2e_ini "$ini" "$1" "$2")
  [ "$got" = "$3" ] || fail "setting $1/$2 is \"$got\", not \"$3\""
}
expect_setting Sessies Hoofdmap "$sessions"
expect_setting Opname Formaat 0
expect_setting Opname Samplerate 48000
expect_setting Opname BitrateIndex 1
expect_setting Opname Geluidsingang "$sine"
expect_setting Opname StiltesTrimmen 1
expect_setting Opname Mono 0

# ---- session 2: killed during a take --------------------------------------------------

step "start again, pick the session with the keyboard, record, kill"
cp "$ini" "$work/ini.before"
e2e_start_program
e2e_key Down
e2e_click "${E2E_RECORD[@]}"
check "no recording stream (no session picked?)" e2e_poll 5 e2e_recording "$app_pid"
check "no take file" e2e_poll 5 test -f "$take"
check "the take did not grow to 3 s" e2e_poll 20 holds_bytes "$take" 576044
killed=$app_pid
kill -KILL "$app_pid"
wait "$app_pid" 2>/dev/null || true
app_pid=
check "the server kept the dead program's stream" e2e_poll 5 e2e_not_recording "$killed"
killed_bytes=$(wav_bytes "$take")
cmp -s "$ini" "$work/ini.before" || fail "the settings changed during a killed session"

# ---- session 3: the killed take comes back ---------------------------------------------

step "start again: the killed take is listed, drawn and plays"
e2e_start_program
e2e_key Down
check "the killed take's waveform was not drawn" e2e_poll 10 e2e_wave_drawn
fail_on_error_window
[ "$(wav_bytes "$take")" -ge "$killed_bytes" ] || fail "the take lost data on the way"
killed_s=$(awk -v b="$killed_bytes" 'BEGIN { print (b - 44) / 192000 }')
listen_to_end 20
step "played $played_ms ms of a take of $killed_s s"
e2e_above "$played_ms" "$(awk -v d="$killed_s" 'BEGIN { print d * 1000 - 1000 }')" ||
  fail "played $played_ms ms of a $killed_s s take"
# An earlier trim's backup and record, a folder deeper: the close offers to remove them.
old=$sessions/Oud/2025
mkdir -p "$old"
printf 'x' >"$old/Oud-1.wav.untrimmed"
printf '[Trim]\r\nStartSeconds=0,5\r\nEndSeconds=0,5\r\n' >"$old/Oud-1.wav.triminfo"
step "close, removing the trim files"
close_program yes
[ "$asked" = 1 ] || fail "the close did not offer to remove the trim files"
[ -z "$(ls -A "$old")" ] || fail "trim files left: $(ls -A "$old")"
check "the killed take was removed" test -f "$take"
# what was read at the start is what was written at the close
cmp -s "$ini" "$work/ini.before" || fail "the settings did not survive a start and a close"

step "done"
