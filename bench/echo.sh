#!/bin/bash
# Echo cancellation (zav-record --echo-cancel) on an echo path built from the private sound
# server's own modules: what the computer plays ("out") comes back into the microphone's feed
# ("feed") through module-loopback at a given latency, 6 dB down, as from speakers into a
# microphone. A generated call is played: the far end (into "out") alone, then the near end
# (into "feed", the person at the microphone) alone, then both (double talk); see
# bench/bench_echo.cpp and tests/support/EchoScene.h.
#
# For each loopback latency, microphone-only recordings without and with cancellation:
#   ERLE          how much weaker the echo is with cancellation, in the far end's section
#                 after 2 s of convergence (target >= 20 dB, aim 25)
#   near          the near end's level change while it talks alone (target within 2 dB): the
#                 gain by which its known signal appears, so that nothing else counts
#   dt level      while both talk, the level heard against the near end's own level through
#                 the path (target within 2 dB); what is left of the echo is far below it
#   dt gain       while both talk, the gain by which the near end's signal appears, with
#                 against without cancellation (stricter: a distorted near end counts less)
# Then Both mode at the middle latency: the far end's level in the mixed file with the echo
# path and cancellation, against the same recording without the echo path (system sound alone;
# target within 1 dB), and with the echo path but without cancellation (the doubling).
# Last, CPU per recorded minute of Both-mode recordings with the far end playing, with and
# without cancellation, in turns (target at most +50 %).
#
# Usage: bench/echo.sh [-l "50 100 150"] [-r RUNS] [-s SECONDS] [-f FORMAT]
#   -l  loopback latencies in ms (default 50 100 150)
#   -r  recordings per case for the levels, and per side for CPU (default 2 and 3)
#   -s  seconds per CPU recording (default 60)
#   -f  mp3 or m4a (default mp3; wav is recorded without voice processing)
set -euo pipefail
# shellcheck source=common.sh source-path=SCRIPTDIR
source "$(dirname "$0")/common.sh"

LATENCIES="50 100 150"
RUNS=2
CPU_RUNS=3
CPU_SECONDS=60
FORMAT=mp3
while getopts "l:r:s:f:h" opt; do
  case $opt in
    l) LATENCIES=$OPTARG ;;
    r) RUNS=$OPTARG; CPU_RUNS=$OPTARG ;;
    s) CPU_SECONDS=$OPTARG ;;
    f) FORMAT=$OPTARG ;;
    *) sed -n '2,25s/^# \{0,1\}//p' "$0"; exit 2 ;;
  esac
done
case $FORMAT in mp3 | m4a) ;; *) bench_die "format must be mp3 or m4a" ;; esac

bench_prepare
bench_require paplay
BENCH_ECHO=$BUILD_DIR/bench/bench_echo
[ -x "$BENCH_ECHO" ] || bench_die "$BENCH_ECHO is missing: build the target bench_echo (a build with tests)"
bench_machine

SCENE=$BENCH_WORK/scene
mkdir -p "$SCENE"
SCENE_SECONDS=$("$BENCH_ECHO" scene "$SCENE" | sed -n 's/^seconds=//p')
RECORD_SECONDS=$(awk -v s="$SCENE_SECONDS" 'BEGIN {print s + 2}')
# PulseAudio's software volume is cubic: 65536 x 10^(-6/60) is -6 dB.
LOOPBACK_VOLUME=$(awk 'BEGIN {printf "%d", 65536 * 10 ^ (-6 / 60)}')

# A server with nothing playing and the echo path at $1 ms (none for 0).
start_server() {
  ZAV_BENCH_OUTPUT=silent ZAV_BENCH_MIC=silent bench_server_start
  [ "$1" -gt 0 ] || return 0
  pactl load-module module-loopback source=out.monitor sink=feed latency_msec="$1" >/dev/null
  local input
  input=$(pactl list short sink-inputs | awk '$4 == "module-loopback.c" {print $1; exit}')
  [ -n "$input" ] || bench_die "the loopback did not start"
  pactl set-sink-input-volume "$input" "$LOOPBACK_VOLUME"
}

# record SOURCE CANCEL OUT_DIR: zav-record of the scene; prints the file.
record_scene() {
  local source=$1 cancel=$2 dir=$3 extra=()
  [ "$cancel" = on ] && extra=(--echo-cancel)
  rm -rf "$dir" && mkdir -p "$dir"
  # --verbose: the log (with the canceller's delay estimate) on standard error.
  "$ZAV_RECORD" --source "$source" --format "$FORMAT" --seconds "$RECORD_SECONDS" --output-dir "$dir" \
    --verbose "${extra[@]}" >/dev/null 2>"$dir.log" &
  local recorder=$!
  # Both talkers start together once the recording runs.
  sleep 0.7
  paplay --device=out "$SCENE/far.wav" &
  local far=$!
  paplay --device=feed "$SCENE/near.wav" &
  local near=$!
  wait "$recorder" || bench_die "zav-record failed: $(cat "$dir.log")"
  wait "$far" "$near" || true
  ls "$dir"/*."$FORMAT"
}

value() { bench_value "$1" "$2"; }

echo "scene: far end alone 5 s (measured from 2 s), near end alone 3 s, both 4 s; $FORMAT, 128 kbit/s"
echo
printf '%-8s %-4s %8s %8s %8s %8s %8s %8s\n' latency run "echo off" "echo on" ERLE near "dt level" "dt gain"
for latency in $LATENCIES; do
  start_server "$latency"
  for ((run = 1; run <= RUNS; run++)); do
    off=$("$BENCH_ECHO" measure mic "$(record_scene mic off "$BENCH_WORK/off")" 2>/dev/null)
    on=$("$BENCH_ECHO" measure mic "$(record_scene mic on "$BENCH_WORK/on")" 2>/dev/null)
    delay=$(grep -ho 'echo canceller: delay estimate [0-9-]* ms' "$BENCH_WORK/on.log" | sed 's/.*estimate //' || true)
    # Where the recorder found the echo when it moved the reference (nothing: it lay in reach).
    moved=$(grep -ho 'the echo lies [0-9-]* ms' "$BENCH_WORK/on.log" | sed 's/the echo lies //; s/ ms//' | paste -sd, - || true)
    awk -v l="$latency" -v r="$run" -v eoff="$(value "$off" echo)" -v eon="$(value "$on" echo)" \
      -v noff="$(value "$off" near)" -v non="$(value "$on" near)" \
      -v doff="$(value "$off" dt_near)" -v don="$(value "$on" dt_near)" -v lon="$(value "$on" dt_level)" \
      -v d="$delay" -v m="${moved:+$moved ms}" 'BEGIN {
        printf "%-8s %-4s %8.1f %8.1f %8.1f %+8.2f %+8.2f %+8.2f   (reference moved for an echo at: %s; canceller estimate %s)\n",
          l " ms", r, eoff, eon, eoff - eon, non - noff, lon - noff, don - doff, m == "" ? "none" : m, d }'
  done
  bench_server_stop
done
echo "echo off/on: level of the far end's section in the microphone (dBFS); ERLE = off - on;"
echo "near, dt gain: the near end's gain with cancellation against without (dB); dt level: the"
echo "level in double talk against the near end's own through the path (dB)."

echo
middle=$(awk '{print $(int((NF + 1) / 2))}' <<<"$LATENCIES")
echo "Both mode, loopback $middle ms: the far end's level in the mixed file (dBFS)"
for ((run = 1; run <= RUNS; run++)); do
  start_server 0
  alone=$("$BENCH_ECHO" measure both "$(record_scene both off "$BENCH_WORK/alone")" 2>/dev/null)
  bench_server_stop
  start_server "$middle"
  doubled=$("$BENCH_ECHO" measure both "$(record_scene both off "$BENCH_WORK/doubled")" 2>/dev/null)
  cancelled=$("$BENCH_ECHO" measure both "$(record_scene both on "$BENCH_WORK/cancelled")" 2>/dev/null)
  bench_server_stop
  awk -v r="$run" -v a="$(value "$alone" far)" -v d="$(value "$doubled" far)" -v c="$(value "$cancelled" far)" 'BEGIN {
    printf "run %s: system sound alone %.2f, echo path without cancellation %.2f (%+.2f), with cancellation %.2f (%+.2f)\n",
      r, a, d, d - a, c, c - a }'
done

echo
echo "CPU per recorded minute, Both mode, $FORMAT, the far end playing over the echo path ($middle ms):"
start_server "$middle"
# The far end talks throughout.
"$BENCH_ECHO" talk $((CPU_SECONDS + 10)) "$BENCH_WORK/talk.wav"
: >"$BENCH_WORK/cpu-off"
: >"$BENCH_WORK/cpu-on"
cpu_run() {
  local cancel=$1 extra=() dir=$BENCH_WORK/cpu report=$BENCH_WORK/report
  [ "$cancel" = on ] && extra=(--echo-cancel)
  rm -rf "$dir" && mkdir -p "$dir"
  paplay --device=out "$BENCH_WORK/talk.wav" &
  local player=$!
  "$BENCH_RUSAGE" --threads --out "$report" -- "$ZAV_RECORD" --source both --format "$FORMAT" \
    --seconds "$CPU_SECONDS" --output-dir "$dir" "${extra[@]}" >/dev/null 2>"$dir.log" ||
    bench_die "zav-record failed: $(cat "$dir.log")"
  kill "$player" 2>/dev/null || true
  wait "$player" 2>/dev/null || true
  local user sys seconds mic speaker
  user=$(bench_field "$report" cpu_user_s)
  sys=$(bench_field "$report" cpu_sys_s)
  seconds=$(bench_duration "$(ls "$dir"/*."$FORMAT")")
  mic=$(awk '/^thread/ && $3 == "name=zav-microphone" {split($4, c, "="); print c[2]}' "$report")
  speaker=$(awk '/^thread/ && $3 == "name=zav-speaker" {split($4, c, "="); print c[2]}' "$report")
  awk -v u="$user" -v s="$sys" -v d="$seconds" -v m="${mic:-0}" -v k="${speaker:-0}" \
    'BEGIN {printf "%.4f %.4f %.4f\n", (u + s) * 60 / d, m * 60 / d, k * 60 / d}' >>"$BENCH_WORK/cpu-$cancel"
}
for ((run = 1; run <= CPU_RUNS; run++)); do
  echo "cpu run $run/$CPU_RUNS ..." >&2
  if ((run % 2)); then cpu_run off; cpu_run on; else cpu_run on; cpu_run off; fi
done
bench_server_stop
off=$(cut -d' ' -f1 "$BENCH_WORK/cpu-off" | bench_median)
on=$(cut -d' ' -f1 "$BENCH_WORK/cpu-on" | bench_median)
awk -v off="$off" -v on="$on" -v moff="$(cut -d' ' -f2 "$BENCH_WORK/cpu-off" | bench_median)" \
  -v mon="$(cut -d' ' -f2 "$BENCH_WORK/cpu-on" | bench_median)" \
  -v soff="$(cut -d' ' -f3 "$BENCH_WORK/cpu-off" | bench_median)" \
  -v son="$(cut -d' ' -f3 "$BENCH_WORK/cpu-on" | bench_median)" 'BEGIN {
    printf "process: without %.3f s/min, with %.3f s/min: %+.0f %%\n", off, on, (on / off - 1) * 100
    printf "microphone thread: %.3f -> %.3f s/min; speaker thread: %.3f -> %.3f s/min\n", moff, mon, soff, son }'
echo "every run (process, microphone, speaker s/min): off $(tr '\n' ';' <"$BENCH_WORK/cpu-off") on $(tr '\n' ';' <"$BENCH_WORK/cpu-on")"
