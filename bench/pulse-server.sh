#!/bin/bash
# A private PulseAudio server for the benchmarks; never the user's own.
#
#   eval "$(bench/pulse-server.sh start)"   # exports PULSE_SERVER and ZAV_BENCH_PULSE_DIR
#   bench/pulse-server.sh stop "$ZAV_BENCH_PULSE_DIR"
#
# Devices: the default sink "out" (a null sink at 44100 Hz with a 1 kHz tone playing into
# it) is what the computer plays; the default source "mic" is the monitor of a second null
# sink "feed" with a 440 Hz tone, remapped into an ordinary source. A null sink delivers
# its monitor in real time, which module-sine-source does not (it comes in bursts).
#
# A null sink runs at its configured latency (2 s) until a low-latency client is connected,
# and until then a monitor stream sees nothing for up to 2 s. A parec with a 10 ms latency
# keeps the microphone's feed sink ticking, as a microphone delivers what it hears at once;
# the output runs at its default latency, as a user's does.
#
# Set before "start":
#   ZAV_BENCH_OUTPUT=silent      nothing plays into the output (default: the 1 kHz tone)
#   ZAV_BENCH_MIC=silent         nothing plays into the microphone's feed (default: the 440 Hz
#                                tone); the benchmark plays what it needs into "feed"
#   ZAV_BENCH_MIC_SPEED=1.03     the microphone runs on a clock of its own, this much faster
#                                than real time (a pipe source fed by bench/paced-tone.py)
#   ZAV_BENCH_OUTPUT_FLOWING=1   a parec keeps the output's monitor flowing too
#
# Every process started here is recorded in $dir/pids and ended by "stop", by its id.

set -euo pipefail

die() { echo "pulse-server.sh: $*" >&2; exit 1; }

start() {
  command -v pulseaudio >/dev/null || die "pulseaudio is not installed"
  command -v parec >/dev/null || die "parec is not installed (pulseaudio-utils)"
  command -v pactl >/dev/null || die "pactl is not installed (pulseaudio-utils)"
  local dir
  dir=$(mktemp -d /tmp/zav-bench-pulse-XXXXXX)
  mkdir -p "$dir/runtime" "$dir/home" "$dir/state"
  chmod 700 "$dir/runtime"
  local sock="$dir/sock"
  {
    echo "load-module module-native-protocol-unix socket=$sock auth-anonymous=1"
    echo "load-module module-null-sink sink_name=out rate=44100 sink_properties=device.description=BenchOutput"
    [ "${ZAV_BENCH_OUTPUT:-tone}" = silent ] || echo "load-module module-sine sink=out frequency=1000"
    echo "load-module module-null-sink sink_name=feed rate=44100 sink_properties=device.description=BenchFeed"
    if [ -n "${ZAV_BENCH_MIC_SPEED:-}" ]; then
      echo "load-module module-pipe-source source_name=mic file=$dir/mic.fifo format=s16le rate=44100 channels=2 source_properties=device.description=BenchMicrophone"
    else
      [ "${ZAV_BENCH_MIC:-tone}" = silent ] || echo "load-module module-sine sink=feed frequency=440"
      echo "load-module module-remap-source master=feed.monitor source_name=mic source_properties=device.description=BenchMicrophone"
    fi
    echo "set-default-sink out"
    echo "set-default-source mic"
  } > "$dir/server.pa"
  XDG_RUNTIME_DIR="$dir/runtime" HOME="$dir/home" XDG_STATE_HOME="$dir/state" \
    XDG_CONFIG_HOME="$dir/home/.config" PULSE_STATE_PATH="$dir/state" \
    setsid pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --system=no \
      --realtime=no --high-priority=no --log-target=stderr -F "$dir/server.pa" \
      </dev/null >"$dir/pulseaudio.log" 2>&1 &
  echo $! >> "$dir/pids"

  export PULSE_SERVER="unix:$sock"
  local ok=0
  for _ in $(seq 1 150); do
    if pactl info >/dev/null 2>&1 && pactl list short sources 2>/dev/null | grep -q $'\tmic\t'; then
      ok=1
      break
    fi
    sleep 0.1
  done
  if [ "$ok" != 1 ]; then
    stop_dir "$dir"
    die "the server did not come up (log: $dir/pulseaudio.log)"
  fi
  if [ -n "${ZAV_BENCH_MIC_SPEED:-}" ]; then
    setsid python3 "$(dirname "$0")/paced-tone.py" "$dir/mic.fifo" "$ZAV_BENCH_MIC_SPEED" </dev/null >/dev/null 2>>"$dir/parec.log" &
    echo $! >> "$dir/pids"
  fi
  local monitors=(feed.monitor)
  [ "${ZAV_BENCH_OUTPUT_FLOWING:-0}" = 1 ] && monitors+=(out.monitor)
  local monitor
  for monitor in "${monitors[@]}"; do
    setsid parec -d "$monitor" --latency-msec=10 --raw </dev/null >/dev/null 2>>"$dir/parec.log" &
    echo $! >> "$dir/pids"
  done
  # The sinks leave their 2 s latency once the low-latency readers are connected.
  sleep 0.5
  echo "export PULSE_SERVER=unix:$sock"
  echo "export ZAV_BENCH_PULSE_DIR=$dir"
}

stop_dir() {
  local dir=$1
  [ -f "$dir/pids" ] || return 0
  local pid
  # Readers first, the server last.
  for pid in $(tac "$dir/pids"); do
    kill -TERM "$pid" 2>/dev/null || true
  done
  while read -r pid; do
    for _ in $(seq 1 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
  done <"$dir/pids"
  rm -rf "$dir"
}

case "${1:-}" in
  start) start ;;
  stop)
    [ -n "${2:-}" ] || die "usage: pulse-server.sh stop <dir>"
    case "$2" in /tmp/zav-bench-pulse-*) ;; *) die "not a benchmark server folder: $2" ;; esac
    stop_dir "$2"
    ;;
  *) die "usage: pulse-server.sh start | stop <dir>" ;;
esac
