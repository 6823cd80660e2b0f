#!/usr/bin/env bash
# A private PulseAudio server for the tests: no sound card, known sources.
#
#   audio-test-server.sh start DIR   starts it under DIR and prints the lines to
#                                    export (PULSE_SERVER, XDG_RUNTIME_DIR, ...)
#   audio-test-server.sh stop DIR    stops it and the keepers
#
# Sources: "sine" (440 Hz, listed as an ordinary input), "fifo" (whatever a test
# writes to DIR/fifo, s16le 48 kHz stereo), and the monitors of the null sinks
# "testsink" (the default output) and "tonesink" (a real-time 440 Hz tone).
set -euo pipefail

cmd=${1:?start or stop}
dir=${2:?folder}

stop_pids() {
  local f pid
  for f in "$dir"/keeper-*.pid "$dir"/pulseaudio.pid; do
    [ -f "$f" ] || continue
    pid=$(cat "$f")
    kill -TERM "$pid" 2>/dev/null || true
  done
  for _ in $(seq 50); do
    local alive=0
    for f in "$dir"/keeper-*.pid "$dir"/pulseaudio.pid; do
      [ -f "$f" ] || continue
      kill -0 "$(cat "$f")" 2>/dev/null && alive=1
    done
    [ $alive -eq 0 ] && break
    sleep 0.1
  done
  for f in "$dir"/keeper-*.pid "$dir"/pulseaudio.pid; do
    [ -f "$f" ] || continue
    kill -KILL "$(cat "$f")" 2>/dev/null || true
    rm -f "$f"
  done
}

case "$cmd" in
start)
  mkdir -p "$dir/pulse" "$dir/config"
  chmod 700 "$dir" "$dir/pulse"
  stop_pids
  rm -f "$dir/fifo" "$dir/pulse/native"
  export XDG_RUNTIME_DIR=$dir PULSE_SERVER=unix:$dir/pulse/native
  XDG_CONFIG_HOME=$dir/config HOME=$dir pulseaudio --daemonize=no --exit-idle-time=-1 -n \
    --use-pid-file=no --realtime=no --high-priority=no --log-target=file:$dir/pulse.log \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$dir/pulse/native" \
    -L "module-null-sink sink_name=testsink rate=48000 channels=2" \
    -L "module-null-sink sink_name=tonesink rate=48000 channels=2" \
    -L "module-sine sink=tonesink frequency=440" \
    -L "module-sine-source source_name=sine rate=48000 frequency=440" \
    -L "module-pipe-source source_name=fifo file=$dir/fifo format=s16le rate=48000 channels=2" \
    </dev/null >/dev/null 2>&1 &
  echo $! > "$dir/pulseaudio.pid"
  for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl info >/dev/null 2>&1 || { echo "audio-test-server: the server did not start" >&2; exit 1; }
  sources=$(pactl list short sources)
  for s in sine fifo testsink.monitor tonesink.monitor; do
    printf '%s\n' "$sources" | awk '{print $2}' | grep -qx "$s" \
      || { echo "audio-test-server: source $s is missing" >&2; exit 1; }
  done
  pactl set-default-sink testsink
  pactl set-default-source sine
  # An idle null sink answers a new stream only after 1 to 2 s; a reader keeps each awake.
  for sink in testsink tonesink; do
    parec -d $sink.monitor --raw --rate=48000 --channels=2 --format=s16le --latency-msec=10 \
      >/dev/null </dev/null 2>/dev/null &
    echo $! > "$dir/keeper-$sink.pid"
  done
  # Awake once a new reader of each monitor gets its first 50 ms (at most 20 s).
  for sink in testsink tonesink; do
    got=$(timeout 20 parec -d $sink.monitor --raw --rate=48000 --channels=2 --format=s16le \
      --latency-msec=10 2>/dev/null </dev/null | head -c 9600 | wc -c || true)
    [ "$got" = 9600 ] || { echo "audio-test-server: $sink.monitor gives nothing" >&2; exit 1; }
  done
  echo "export XDG_RUNTIME_DIR=$dir PULSE_SERVER=unix:$dir/pulse/native PRAATKIST_TEST_PA_DIR=$dir"
  ;;
stop)
  stop_pids
  ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2
  ;;
esac
