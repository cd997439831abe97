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
#                 after 2 s of convergence (target >= 30 dB)
#   1 s min       the same in the weakest second of that section (target >= 25 dB)
#   timing        how far the microphone's timing in the file moved during the recording,
#                 against a plain capture of the microphone made at the same time (parecord):
#                 the spread of its delay over half-second windows in which the two are alike
#                 (without and with cancellation; target 0.1 ms). With cancellation from the
#                 near end's start on: before, the file holds what is left of the echo, and
#                 its voiced sound matches the raw echo a pitch period off as well as on time
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
# Usage: bench/echo.sh [-l "40 120 200 350"] [-r RUNS] [-c CPU_RUNS] [-s SECONDS] [-f FORMAT]
#   -l  loopback latencies in ms (default 40 120 200 350)
#   -r  recordings per case for the levels, and per side for CPU (default 2 and 3)
#   -c  recordings per side for CPU (0: none)
#   -s  seconds per CPU recording (default 60)
#   -f  mp3 or m4a (default mp3; wav is recorded without voice processing)
set -euo pipefail
# shellcheck source=common.sh source-path=SCRIPTDIR
source "$(dirname "$0")/common.sh"

LATENCIES="40 120 200 350"
RUNS=2
CPU_RUNS=3
CPU_SECONDS=60
FORMAT=mp3
while getopts "l:r:c:s:f:h" opt; do
  case $opt in
    l) LATENCIES=$OPTARG ;;
    r) RUNS=$OPTARG; CPU_RUNS=$OPTARG ;;
    c) CPU_RUNS=$OPTARG ;;
    s) CPU_SECONDS=$OPTARG ;;
    f) FORMAT=$OPTARG ;;
    *) sed -n '2,36s/^# \{0,1\}//p' "$0"; exit 2 ;;
  esac
done
case $FORMAT in mp3 | m4a) ;; *) bench_die "format must be mp3 or m4a" ;; esac

bench_prepare
bench_require paplay
bench_require parecord
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
  local source=$1 cancel=$2 dir=$3 extra=() farSink=out
  [ "$cancel" = on ] && extra=(--echo-cancel)
  # The server's own canceller: its source is the microphone, its sink plays into "out".
  [ "$cancel" = module ] && extra=(--mic ec) && farSink=ec_sink
  rm -rf "$dir" && mkdir -p "$dir"
  # The microphone as it is, captured alongside, for its timing.
  parecord --device=mic --latency-msec=10 --format=s16le --rate=44100 --channels=2 --file-format=wav "$dir.raw.wav" &
  local raw=$!
  # --verbose: the log (with the canceller's delay estimate) on standard error.
  "$ZAV_RECORD" --source "$source" --format "$FORMAT" --seconds "$RECORD_SECONDS" --output-dir "$dir" \
    --verbose "${extra[@]}" >/dev/null 2>"$dir.log" &
  local recorder=$!
  # Both talkers start together once the recording runs.
  sleep 0.7
  paplay --device="$farSink" "$SCENE/far.wav" &
  local far=$!
  paplay --device=feed "$SCENE/near.wav" &
  local near=$!
  wait "$recorder" || bench_die "zav-record failed: $(cat "$dir.log")"
  wait "$far" "$near" || true
  kill -INT "$raw" 2>/dev/null || true
  wait "$raw" || true
  ls "$dir"/*."$FORMAT"
}

value() { bench_value "$1" "$2"; }

# The server's own echo-cancel module, with the same library and its extended filter, the
# rest of its processing off, as a yardstick; prints the module's index.
load_module() {
  pactl load-module module-echo-cancel source_master=mic sink_master=out aec_method=webrtc \
    source_name=ec sink_name=ec_sink \
    aec_args='"extended_filter=1 noise_suppression=0 analog_gain_control=0 digital_gain_control=0"' 2>/dev/null
}

# row LABEL RUN OFF ON WEAKEST TIMING_OFF TIMING_ON NOTE: a line of the table.
row() {
  awk -v l="$1" -v r="$2" -v eoff="$(value "$3" echo)" -v eon="$(value "$4" echo)" \
    -v noff="$(value "$3" near)" -v non="$(value "$4" near)" \
    -v doff="$(value "$3" dt_near)" -v don="$(value "$4" dt_near)" -v lon="$(value "$4" dt_level)" \
    -v w="$5" -v toff="$6" -v ton="$7" -v note="$8" 'BEGIN {
      printf "%-8s %-4s %8.1f %8.1f %8.1f %8.1f %+8.2f %+8.2f %+8.2f %6s/%6.2f   %s\n",
        l, r, eoff, eon, eoff - eon, w, non - noff, lon - noff, don - doff, toff, ton, note }'
}

# timing FILE [near]: the spread of the microphone's delay in FILE against its raw capture
# ("near": from the near end's start on, for a cancelled recording).
timing() { bench_value "$("$BENCH_ECHO" timing "$1" "${1%/*}.raw.wav" "${@:2}" 2>/dev/null)" spread; }

# weakest_second OFF ON: the lowest ERLE of the far-end section's seconds.
weakest_second() {
  awk -v off="$(value "$1" echo_1s)" -v on="$(value "$2" echo_1s)" 'BEGIN {
    n = split(off, a, ","); split(on, b, ","); low = 1e9
    for (i = 1; i <= n; i++) if (a[i] - b[i] < low) low = a[i] - b[i]
    printf "%.1f", low }'
}

echo "scene: far end alone 5 s (measured from 2 s), near end alone 3 s, both 4 s; $FORMAT, 128 kbit/s"
echo
printf '%-8s %-4s %8s %8s %8s %8s %8s %8s %8s %13s\n' latency run "echo off" "echo on" ERLE "1 s min" near "dt level" "dt gain" "timing (ms)"
for latency in $LATENCIES; do
  start_server "$latency"
  for ((run = 1; run <= RUNS; run++)); do
    offFile=$(record_scene mic off "$BENCH_WORK/off")
    onFile=$(record_scene mic on "$BENCH_WORK/on")
    off=$("$BENCH_ECHO" measure mic "$offFile" 2>/dev/null)
    on=$("$BENCH_ECHO" measure mic "$onFile" 2>/dev/null)
    delay=$(grep -ho 'echo canceller: delay estimate [0-9-]* ms' "$BENCH_WORK/on.log" | sed 's/.*estimate //' || true)
    # Where the recorder found the echo when it moved the reference (nothing: it lay in reach).
    moved=$(grep -ho 'the echo lies [0-9-]* ms' "$BENCH_WORK/on.log" | sed 's/the echo lies //; s/ ms//' | paste -sd, - || true)
    row "$latency ms" "$run" "$off" "$on" "$(weakest_second "$off" "$on")" "$(printf %.2f "$(timing "$offFile")")" \
      "$(timing "$onFile" near)" "(reference moved for an echo at: ${moved:-none}${moved:+ ms}; canceller estimate $delay)"
    if MODULE_INDEX=$(load_module); then
      moduleFile=$(record_scene mic module "$BENCH_WORK/module")
      pactl unload-module "$MODULE_INDEX"
      module=$("$BENCH_ECHO" measure mic "$moduleFile" 2>/dev/null)
      row "  module" "$run" "$off" "$module" "$(weakest_second "$off" "$module")" "" "$(timing "$moduleFile" near)" \
        "(the server's echo-cancel module, same library, extended filter)"
    fi
  done
  bench_server_stop
done
echo "echo off/on: level of the far end's section in the microphone (dBFS); ERLE = off - on;"
echo "1 s min: the ERLE of the section's weakest second; timing: spread of the microphone's delay"
echo "against a plain capture of it, without/with cancellation (ms);"
echo "near, dt gain: the near end's gain with cancellation against without (dB); dt level: the"
echo "level in double talk against the near end's own through the path (dB). module: the sound"
echo "server's own module-echo-cancel on the same path (webrtc, extended filter, nothing else)."

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

((CPU_RUNS > 0)) || exit 0
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
