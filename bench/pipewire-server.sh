#!/bin/bash
# A private PipeWire server with its pulse server, for the benchmarks; never the user's own.
#
#   eval "$(bench/pipewire-server.sh start)"   # exports PULSE_SERVER and ZAV_BENCH_PULSE_DIR
#   bench/pipewire-server.sh stop "$ZAV_BENCH_PULSE_DIR"
#
# Runs pipewire, the wireplumber session manager (which keeps the default sink and links
# streams) and pipewire-pulse, on a session bus of their own, in a temporary XDG_RUNTIME_DIR.
# Devices: null sinks "out" (44100 Hz, the default) and "feed", made through the pulse server;
# nothing plays. Needs pipewire, pipewire-pulse and wireplumber (not installed by
# scripts/install-deps.sh: `apt-get install pipewire pipewire-pulse wireplumber`).
#
# Every process started here is recorded in $dir/pids and ended by "stop", by its id.

set -euo pipefail

die() { echo "pipewire-server.sh: $*" >&2; exit 1; }

start() {
  local p
  for p in pipewire wireplumber pipewire-pulse dbus-daemon pactl; do
    command -v "$p" >/dev/null || die "$p is not installed"
  done
  local dir
  dir=$(mktemp -d /tmp/zav-bench-pulse-XXXXXX)
  mkdir -p "$dir/runtime" "$dir/home" "$dir/state"
  chmod 700 "$dir/runtime"
  export XDG_RUNTIME_DIR="$dir/runtime" HOME="$dir/home" XDG_CONFIG_HOME="$dir/home/.config" XDG_STATE_HOME="$dir/state"
  dbus-daemon --session --fork --nopidfile --print-address=3 --print-pid=4 3>"$dir/bus" 4>>"$dir/pids" ||
    die "the session bus did not start"
  DBUS_SESSION_BUS_ADDRESS=$(cat "$dir/bus")
  export DBUS_SESSION_BUS_ADDRESS
  for p in pipewire wireplumber pipewire-pulse; do
    setsid "$p" </dev/null >"$dir/$p.log" 2>&1 &
    echo $! >> "$dir/pids"
    sleep 0.3
  done
  export PULSE_SERVER="unix:$dir/runtime/pulse/native"
  local ok=0
  for _ in $(seq 1 100); do
    if pactl info >/dev/null 2>&1; then ok=1; break; fi
    sleep 0.1
  done
  [ "$ok" = 1 ] || { stop_dir "$dir"; die "the pulse server did not come up (logs in $dir)"; }
  pactl load-module module-null-sink sink_name=out rate=44100 sink_properties=device.description=BenchOutput >/dev/null
  pactl load-module module-null-sink sink_name=feed rate=44100 sink_properties=device.description=BenchFeed >/dev/null
  # The session manager takes the default once it has seen the sink.
  for _ in $(seq 1 50); do
    pactl set-default-sink out 2>/dev/null && [ "$(pactl get-default-sink)" = out ] && break
    sleep 0.1
  done
  [ "$(pactl get-default-sink)" = out ] || { stop_dir "$dir"; die "the default sink could not be set (logs in $dir)"; }
  echo "export PULSE_SERVER=unix:$dir/runtime/pulse/native"
  echo "export ZAV_BENCH_PULSE_DIR=$dir"
}

# The processes and the folder go as the PulseAudio server's do (their ids in $dir/pids).
stop_dir() { "$(dirname "$0")/pulse-server.sh" stop "$1"; }

case "${1:-}" in
  start) start ;;
  stop)
    [ -n "${2:-}" ] || die "usage: pipewire-server.sh stop <dir>"
    stop_dir "$2"
    ;;
  *) die "usage: pipewire-server.sh start | stop <dir>" ;;
esac
