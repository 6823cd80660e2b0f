# Shared by the end-to-end test, the screenshot and the measurement scripts: a private
# X server, the program's window found and clicked by its fixed layout, and a few
# looks at the PulseAudio test server. Source it; it defines functions only.
#
# Coordinates given to e2e_click are relative to the window's client area (924 x 725);
# without a window manager the client area is the window itself.

# The start of an end-to-end test script (which sets $root): checks that TOOLs are
# there, makes the scratch folder $work and sets the trap that ends the program
# ($app_pid), the X server and an audio server of the test's own ($own_server),
# showing the program's output when the test failed. Usage: e2e_begin PREFIX TOOL...
e2e_begin() {
  local prefix=$1 tool
  shift
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/install-deps.sh)"; exit 1; }
  done
  work=$(mktemp -d "/tmp/$prefix.XXXXXX")
  app_pid=
  own_server=
  trap e2e__end EXIT
  trap 'exit 130' INT TERM
}

e2e__end() {
  local rc=$?
  e2e_end_pid "$app_pid"
  e2e_stop_xvfb
  e2e_stop_weston
  [ -z "$own_server" ] || bash "$root/tests/support/audio-test-server.sh" stop "$work/pa" \
    >/dev/null 2>&1 || true
  if [ $rc -ne 0 ] && [ -s "$work/program.log" ]; then
    echo "--- program output"
    tail -n 40 "$work/program.log"
  fi
  if [ $rc -ne 0 ] && [ -s "$work/xvfb.log" ]; then
    echo "--- X server output"
    tail -n 20 "$work/xvfb.log"
  fi
  if [ $rc -ne 0 ] && [ -s "$work/weston.log" ]; then
    echo "--- Wayland compositor output"
    tail -n 20 "$work/weston.log"
  fi
  rm -rf "$work"
}

# A failed check of an end-to-end test: its reason, and the end of the script.
fail() {
  echo "FAIL: $*"
  exit 1
}

# Runs COMMAND; fails the test with WHAT when it fails. Usage: check WHAT COMMAND...
check() {
  local what=$1
  shift
  "$@" || fail "$what"
}

# An audio test server of the test's own unless one is given (PULSE_SERVER), and a
# private X server.
e2e_start_servers() {
  if [ -z "${PULSE_SERVER:-}" ]; then
    own_server=1
    eval "$(bash "$root/tests/support/audio-test-server.sh" start "$work/pa")"
  fi
  e2e_start_xvfb "$work"
}

# The program copied to $work/bin/Praatkist (its settings file lands beside it), a home
# of the test's own ($work/home) and the X platform for it. Usage: e2e_private_home PROGRAM
e2e_private_home() {
  mkdir -p "$work/bin" "$work/home"
  cp "$1" "$work/bin/Praatkist"
  export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
  export QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8
  # for a build with the sanitizers: what the system libraries keep at exit is theirs
  export LSAN_OPTIONS=suppressions=$root/tests/e2e/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}
}

# Starts $work/bin/Praatkist (output to $work/program.log) as $app_pid and waits for its
# window to be painted: the record button's red.
e2e_start_program() {
  "$work/bin/Praatkist" >>"$work/program.log" 2>&1 &
  app_pid=$!
  e2e_wait_window Praatkist 30 || fail "the window did not appear"
  check "the window was not painted" e2e_poll 10 e2e__pixel_is $((WX + 100)) $((WY + 250)) "#CE4D4D"
}
e2e__pixel_is() { [ "$(e2e_pixel "$1" "$2")" = "$3" ]; }

# Polls COMMAND every 50 ms for at most SECONDS; fails on time-out.
e2e_poll() {
  local seconds=$1
  shift
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.05
  done
}

# Starts Xvfb on a free display (it picks one and tells it through -displayfd) and
# exports DISPLAY; its screen is E2E_SCREEN ("WIDTHxHEIGHT", 1280x1024 by default), and
# E2E_SCREEN2, where set, a second X screen of the display (:N.1). Its pid lands in E2E_XVFB_PID; stop it with e2e_stop_xvfb.
# -noreset: by default the server resets when its last client leaves, and a client
# that connects during that reset is dropped ("could not connect to display") - which
# is just what a program started right after a killed one does.
e2e_start_xvfb() {
  local work=$1
  rm -f "$work/display"
  local second=()
  [ -z "${E2E_SCREEN2:-}" ] || second=(-screen 1 "${E2E_SCREEN2}x24")
  Xvfb -displayfd 3 -screen 0 "${E2E_SCREEN:-1280x1024}x24" "${second[@]}" -nolisten tcp -noreset 3>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
  E2E_XVFB_PID=$!
  e2e_poll 10 test -s "$work/display" || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$(head -n1 "$work/display")"
}

e2e_stop_xvfb() {
  [ -n "${E2E_XVFB_PID:-}" ] || return 0
  kill -TERM "$E2E_XVFB_PID" 2>/dev/null || true
  wait "$E2E_XVFB_PID" 2>/dev/null || true
  E2E_XVFB_PID=
}

# Starts a headless weston (CPU renderer, desktop shell, WIDTHxHEIGHT) with a runtime
# folder of its own under $work and exports XDG_RUNTIME_DIR and WAYLAND_DISPLAY for
# the clients; DISPLAY goes, so that nothing reaches an X server. Its pid lands in
# E2E_WESTON_PID; stop it with e2e_stop_weston. --debug lets weston-screenshooter in.
e2e_start_weston() {
  local work=$1 size=${2:-1280x1024}
  mkdir -p -m 700 "$work/xdg"
  export XDG_RUNTIME_DIR=$work/xdg WAYLAND_DISPLAY=praatkist-$$
  unset DISPLAY
  weston --backend=headless-backend.so --use-pixman --width="${size%x*}" --height="${size#*x}" \
    --socket="$WAYLAND_DISPLAY" --idle-time=0 --debug >"$work/weston.log" 2>&1 &
  E2E_WESTON_PID=$!
  e2e_poll 10 test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" || {
    echo "weston did not start" >&2
    return 1
  }
}

e2e_stop_weston() {
  [ -n "${E2E_WESTON_PID:-}" ] || return 0
  e2e_end_pid "$E2E_WESTON_PID"
  E2E_WESTON_PID=
}

# Ends a process we started: SIGTERM, up to 5 s, then SIGKILL.
e2e_end_pid() {
  local pid=$1
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  e2e_poll 5 e2e_gone "$pid" || kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

e2e_gone() { ! kill -0 "$1" 2>/dev/null; }

# The id of the visible top-level window with exactly this title, or nothing.
e2e_window() {
  xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1
}

# Waits for the window titled $1 (at most $2 seconds) and sets WIN, WX, WY to its id
# and position.
e2e_wait_window() {
  local title=$1 seconds=${2:-10}
  WIN=
  e2e_poll "$seconds" e2e__found "$title" || { echo "no window \"$title\"" >&2; return 1; }
  local X Y WINDOW WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$WIN")"
  WX=$X WY=$Y
}
e2e__found() { WIN=$(e2e_window "$1"); [ -n "$WIN" ]; }

# The window found last (WIN) has the keyboard: typed text reaches it, not the window
# that had it before the program asked for the change.
e2e_has_focus() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$WIN" ]; }

# A left click at (x, y) of the window found last (WX, WY).
e2e_click() {
  xdotool mousemove --sync $((WX + $1)) $((WY + $2)) click 1
}

# The colour of one pixel of the screen as #RRGGBB.
e2e_pixel() {
  import -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null |
    sed -n '2s/.*\(#[0-9A-Fa-f]\{6\}\).*/\1/p'
}

# An ImageMagick fx expression (mean.r, mean.g, mean.b: 0..1) over the box x y w h of
# the window found last.
e2e_box() {
  import -window root -crop "$3x$4+$((WX + $1))+$((WY + $2))" -format "%[fx:$5]" info: \
    2>/dev/null
}

# True when the number $1 is above $2.
e2e_above() { awk -v v="${1:-0}" -v l="$2" 'BEGIN { exit !(v > l) }'; }

# The waveform is drawn in green on a near-black field.
e2e_wave_drawn() { e2e_above "$(e2e_box "${E2E_WAVE[@]}" 'mean.g-mean.r')" 0.02; }
# The meter's lit segments are green and yellow on grey.
e2e_meter_lit() { e2e_above "$(e2e_box "${E2E_METER[@]}" 'mean.g-mean.b')" 0.04; }
# The clock reads "position / length" while playing: yellow digits reach its left part,
# which stays dark for the centred "00:00" of the idle and recording forms.
e2e_clock_playing() { e2e_above "$(e2e_box "${E2E_CLOCK_LEFT[@]}" 'mean.r+mean.g-2*mean.b')" 0.1; }
e2e_clock_idle() { ! e2e_clock_playing; }

# Streams of our program on the test server: source outputs (recording) and sink
# inputs (playback) whose client is the process $2.
e2e_streams() {
  local kind=$1 pid=$2
  pactl list "$kind" 2>/dev/null | grep -c "application.process.id = \"$pid\"" || true
}
e2e_recording() { [ "$(e2e_streams source-outputs "$1")" -gt 0 ]; }
e2e_not_recording() { [ "$(e2e_streams source-outputs "$1")" -eq 0 ]; }
e2e_playing() { [ "$(e2e_streams sink-inputs "$1")" -gt 0 ]; }
e2e_not_playing() { [ "$(e2e_streams sink-inputs "$1")" -eq 0 ]; }

# Value of Key in [Section] of an INI file (CR/LF tolerant), or nothing.
e2e_ini() {
  local file=$1 section=$2 key=$3
  tr -d '\r' <"$file" | awk -v s="[$section]" -v k="$key" '
    /^\[/ { in_s = ($0 == s); next }
    in_s { i = index($0, "="); if (i > 0 && substr($0, 1, i - 1) == k) { print substr($0, i + 1); exit } }'
}

# Resident and proportional set size of a process in KiB: "RSS PSS".
e2e_memory() {
  awk '/^Rss:/ { r = $2 } /^Pss:/ { p = $2 } END { print r, p }' "/proc/$1/smaps_rollup"
}

# Main window layout: centres of the panel buttons' text labels and other controls.
E2E_NEW=(674 84)          # btnNew, "NIEUWE SESSIE"
E2E_EXIT=(843 84)         # btnExit, "AFSLUITEN"
E2E_TRIM=(770 132)        # chkTrimSilence
E2E_RECORD=(166 254)      # btnRecord, "OPNAME STARTEN"
E2E_STOP=(378 254)        # btnStop, "STOPPEN"
E2E_LISTEN=(571 254)      # btnListen, "BELUISTEREN"
E2E_DELETE=(802 614)      # btnDelete, "OPNAME WISSEN"
E2E_SESSION=(340 82)      # cbSession
E2E_WAVE=(28 475 610 180) # the waveform box
E2E_METER=(28 330 610 50) # the level meter
E2E_CLOCK_LEFT=(212 392 45 38)
# Dark dialogs, relative to their own window: the right button (OK / "Wissen").
E2E_INPUT_OK=(387 164)
E2E_CONFIRM_OK=(387 154)
E2E_CONFIRM_CANCEL=(252 154)

# A key press for the window found last: the pointer rests over it and the window has
# the keyboard (no window manager gives it; a window's shortcuts work only while it is
# the active one), then the key goes through XTEST like a real one. The move is not
# synchronous: one to where the pointer already is would never be reported.
e2e_key() {
  xdotool mousemove $((WX + 5)) $((WY + 5))
  xdotool windowfocus --sync "$WIN" 2>/dev/null || true
  xdotool key "$1"
}
