#!/usr/bin/env bash
# The built program in an unfriendly world, under its own Xvfb with a private home:
#
#   tests/e2e/system-end.sh PROGRAM
#
# 1. Neither the stored root (below a plain file) nor the default one (HOME is a file)
#    can be used: the window opens all the same and stays up; SIGTERM ends it cleanly
#    and the stored root is still in the settings file.
# 2. SIGTERM during a take from the sine source, with an earlier trim's files under the
#    root: the program ends at once without asking, the take's file is complete (its
#    header matches its data), the trim files are left alone and the settings are saved.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=lib.sh
source "$here/lib.sh"
program=$(readlink -f "${1:?usage: system-end.sh PROGRAM}")

e2e_begin praatkist-end Xvfb xdotool import pactl soxi

step() { echo "-- $*"; }
e2e_start_servers

mkdir -p "$work/bin"
cp "$program" "$work/bin/Praatkist"
ini=$work/bin/Praatkist.ini
export QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8
export LSAN_OPTIONS=suppressions=$here/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}
sine="Sine source at 440 Hz"


# Sends SIGTERM and expects a clean end within 5 s, with no window asking anything.
terminate_program() {
  kill -TERM "$app_pid"
  e2e_poll 5 e2e_gone "$app_pid" || fail "the program did not end on SIGTERM"
  local rc=0
  wait "$app_pid" || rc=$?
  app_pid=
  [ $rc -eq 0 ] || fail "the program ended with status $rc"
}

setting() { e2e_ini "$ini" "$1" "$2"; }

# ---- 1: no usable root -----------------------------------------------------------------

step "start with a root below a plain file and HOME on a file"
printf 'x' >"$work/home-file"
bad_root=$work/home-file/Sessies
printf '[Sessies]\r\nHoofdmap=%s\r\n' "$bad_root" >"$ini"
HOME=$work/home-file XDG_CONFIG_HOME=$work/cfg XDG_DATA_HOME=$work/data e2e_start_program
sleep 2
e2e_gone "$app_pid" && fail "the program ended at start"
[ -n "$(e2e_window Praatkist)" ] || fail "the window went away"
[ -z "$(e2e_window Fout)" ] || fail "an error window appeared"
terminate_program
[ "$(setting Sessies Hoofdmap)" = "$bad_root" ] || fail "stored root became \"$(setting Sessies Hoofdmap)\""
[ "$(setting Opname Formaat)" = 0 ] || fail "the settings were not saved at the end"

# ---- 2: SIGTERM during a take ------------------------------------------------------------

step "record from the sine source, then SIGTERM"
mkdir -p "$work/home"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
sessions=$work/root
mkdir -p "$sessions/Proef" "$sessions/Oud"
printf 'x' >"$sessions/Oud/Oud-1.wav.untrimmed"
printf '[Trim]\r\nStartSeconds=0,5\r\nEndSeconds=0,5\r\n' >"$sessions/Oud/Oud-1.wav.triminfo"
printf '[Sessies]\r\nHoofdmap=%s\r\n[Opname]\r\nGeluidsingang=%s\r\nStiltesTrimmen=1\r\n' \
  "$sessions" "$sine" >"$ini"
e2e_start_program
# "Oud" sorts before "Proef": the second entry of the focused session list
e2e_key Down
e2e_key Down
e2e_click "${E2E_RECORD[@]}"
take=$sessions/Proef/Proef-1.wav
check "no recording stream (no session picked?)" e2e_poll 5 e2e_recording "$app_pid"
check "no take file" e2e_poll 5 test -f "$take"
check "the take did not grow to 1 s" e2e_poll 5 eval '[ "$(stat -c %s "$take")" -ge 192044 ]'
terminate_program
frames=$(soxi -s "$take")
bytes=$(stat -c %s "$take")
[ $((frames * 4 + 44)) -eq "$bytes" ] || fail "header of $frames frames on $bytes bytes"
[ "$frames" -ge 48000 ] || fail "take of $frames frames"
[ ! -e "$take.triminfo" ] || fail "the take was trimmed on the way out"
test -f "$sessions/Oud/Oud-1.wav.triminfo" || fail "trim files removed without asking"
[ "$(setting Sessies Hoofdmap)" = "$sessions" ] || fail "root not saved"
[ "$(setting Opname Samplerate)" = 48000 ] || fail "recording options not saved"
[ "$(setting Opname StiltesTrimmen)" = 1 ] || fail "trim option not kept"

step "done"
