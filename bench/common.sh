# shellcheck shell=bash
# Sourced by the benchmark scripts: finds the build, starts the private sound server and
# cleans up on exit. Not meant to be run on its own.

BENCH_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO_DIR=$(dirname "$BENCH_DIR")
BUILD_DIR=${ZAV_BUILD_DIR:-}

bench_die() { echo "$(basename "$0"): $*" >&2; exit 1; }

# The build folder: $ZAV_BUILD_DIR, else the first of build-bench and build that has the programs.
# shellcheck disable=SC2034  # the program paths are used by the scripts that source this file
bench_find_build() {
  if [ -z "$BUILD_DIR" ]; then
    local d
    for d in "$REPO_DIR/build-bench" "$REPO_DIR/build"; do
      if [ -x "$d/bench/bench_rusage" ]; then BUILD_DIR=$d; break; fi
    done
  fi
  if [ -z "$BUILD_DIR" ] || [ ! -x "$BUILD_DIR/bench/bench_rusage" ]; then
    bench_die "no build found; build first:
  cmake -S $REPO_DIR -B $REPO_DIR/build-bench -G Ninja -DZAV_BUILD_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build $REPO_DIR/build-bench -j2 --target zav-record bench_encode_floor bench_record bench_rusage
(or set ZAV_BUILD_DIR)"
  fi
  ZAV_RECORD=$BUILD_DIR/app/cli/zav-record
  BENCH_RUSAGE=$BUILD_DIR/bench/bench_rusage
  BENCH_FLOOR=$BUILD_DIR/bench/bench_encode_floor
  BENCH_RECORD=$BUILD_DIR/bench/bench_record
  local p
  for p in "$ZAV_RECORD" "$BENCH_FLOOR" "$BENCH_RECORD"; do
    [ -x "$p" ] || bench_die "$p is missing: build the targets zav-record bench_encode_floor bench_record bench_rusage"
  done
}

bench_require() {
  local p
  for p in "$@"; do command -v "$p" >/dev/null || bench_die "$p is not installed"; done
}

# Work folder and sound server, both removed on exit (also on Ctrl+C).
BENCH_PIDS=()
bench_cleanup() {
  local pid
  for pid in "${BENCH_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${BENCH_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [ -n "${ZAV_BENCH_PULSE_DIR:-}" ]; then "$BENCH_DIR/pulse-server.sh" stop "$ZAV_BENCH_PULSE_DIR"; fi
  if [ -n "${BENCH_WORK:-}" ]; then rm -rf "$BENCH_WORK"; fi
}

# Build, tools, work folder and clean-up, without a sound server.
bench_prepare() {
  bench_find_build
  bench_require ffprobe pulseaudio parec pactl
  trap bench_cleanup EXIT
  trap 'exit 130' INT TERM
  BENCH_WORK=$(mktemp -d /tmp/zav-bench-XXXXXX)
}

# Starts the sound server (see pulse-server.sh for the ZAV_BENCH_* variables it reads).
bench_server_start() {
  local env
  env=$("$BENCH_DIR/pulse-server.sh" start) || bench_die "could not start the sound server"
  eval "$env"
}

bench_server_stop() {
  if [ -n "${ZAV_BENCH_PULSE_DIR:-}" ]; then "$BENCH_DIR/pulse-server.sh" stop "$ZAV_BENCH_PULSE_DIR"; fi
  ZAV_BENCH_PULSE_DIR=
}

bench_start() {
  bench_prepare
  local env
  env=$("$BENCH_DIR/pulse-server.sh" start) || bench_die "could not start the sound server"
  eval "$env"
}

# Seconds of audio in a file, as ffprobe reads it.
bench_duration() {
  ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$1"
}

# The value of key=value ($2) among the space-separated words of the first line of file $1.
bench_field() { head -1 "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"; }

# The value of key=value ($2) among the space-separated words of text $1.
bench_value() { tr ' ' '\n' <<<"$1" | sed -n "s/^$2=//p"; }

bench_median() { sort -g | awk '{v[NR]=$1} END{if (NR==0) print "nan"; else if (NR%2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'; }

bench_machine() {
  local model cores
  model=$(lscpu | sed -n 's/^Model name: *//p' | head -1)
  cores=$(nproc)
  echo "machine: $model, $cores cores; $(uname -sr); load: $(cut -d' ' -f1-3 /proc/loadavg); $(date '+%Y-%m-%d %H:%M')"
}
