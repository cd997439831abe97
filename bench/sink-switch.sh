#!/bin/bash
# System sound while the sound server moves it, on private servers whose sinks run at their
# default latency (no reader keeps a monitor flowing; a null sink then renders up to 2 s ahead):
#   switching  two null sinks each play a tone (1 kHz on "out" at 44.1 kHz, 660 Hz on "other" at
#              48 kHz) and the default sink switches between them every 0.7 s while zav-record
#              records system sound; reports the share of 50 ms windows that hold a tone, over
#              the whole file and from the first tone on, and the longest run without one.
#              The tones' streams follow the default sink (the server moves them at each switch,
#              as it moves a player's), so the sink switched from falls silent.
#   pinned     the same with each tone kept on its sink (moved there by hand, which pins it).
#   start      a tone has played on the default sink for 3-5 s when zav-record starts (the sink
#              renders in 2 s blocks: each run starts at another point of its block); reports
#              where the tone first appears in the file.
#
# Usage: bench/sink-switch.sh [-s SECONDS] [-r RUNS] [switching] [pinned] [start]
#   -s  length of each switching recording (default 20)
#   -r  runs of each case (default 2 for switching, 5 for start)
set -euo pipefail
# shellcheck source=common.sh source-path=SCRIPTDIR
source "$(dirname "$0")/common.sh"

RECORD_SECONDS=20
RUNS=
SWITCH_EVERY_S=0.7
START_RECORD_SECONDS=4
while getopts "s:r:h" opt; do
  case $opt in
    s) RECORD_SECONDS=$OPTARG ;;
    r) RUNS=$OPTARG ;;
    *) sed -n '2,18s/^# \{0,1\}//p' "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
CASES=("$@")
[ ${#CASES[@]} -gt 0 ] || CASES=(switching pinned start)

bench_prepare
bench_require python3 ffmpeg
bench_machine
echo "zav-record: $ZAV_RECORD"

# Records system sound for $1 seconds into the folder $2; prints the file.
record() {
  local seconds=$1 dir=$2
  rm -rf "$dir" && mkdir -p "$dir"
  HOME=$BENCH_WORK/home XDG_CONFIG_HOME=$BENCH_WORK/home/config \
    "$ZAV_RECORD" --source speaker --format wav --seconds "$seconds" --output-dir "$dir" >/dev/null 2>"$dir.log" ||
    bench_die "zav-record failed: $(cat "$dir.log")"
  ls "$dir"/*.wav
}

# tone_windows FILE [--after SECONDS]: see tone-windows.py.
tone_windows() {
  local file=$1
  shift
  ffmpeg -v error -i "$file" -f s16le -ac 1 -ar 44100 - | python3 "$BENCH_DIR/tone-windows.py" "$@"
}

# switching [pinned]
switching() {
  local pinned=${1:-} runs=${RUNS:-2} run
  echo
  echo "switching${pinned:+ (pinned tones)}: the default sink switches every $SWITCH_EVERY_S s between two tone sinks, $RECORD_SECONDS s recordings"
  printf '%-5s %10s %14s %14s %16s\n' run "first s" "tone, file %" "tone, after %" "longest gap s"
  for ((run = 1; run <= runs; run++)); do
    ZAV_BENCH_MIC=silent bench_server_start
    pactl load-module module-null-sink sink_name=other rate=48000 sink_properties=device.description=BenchOther >/dev/null
    pactl load-module module-sine sink=other frequency=660 >/dev/null
    if [ -n "$pinned" ]; then
      local input sink
      while read -r input sink _; do
        [ "$sink" = "$(pactl list short sinks | awk '$2 == "other" {print $1}')" ] && pactl move-sink-input "$input" other
        [ "$sink" = "$(pactl list short sinks | awk '$2 == "out" {print $1}')" ] && pactl move-sink-input "$input" out
      done < <(pactl list short sink-inputs)
    fi
    # Both sinks settle into their long blocks before the recording starts.
    sleep 3
    (
      sink=other
      while :; do
        sleep "$SWITCH_EVERY_S"
        pactl set-default-sink "$sink" || exit 0
        if [ "$sink" = other ]; then sink=out; else sink=other; fi
      done
    ) &
    local switcher=$!
    BENCH_PIDS+=("$switcher")
    local file
    file=$(record "$RECORD_SECONDS" "$BENCH_WORK/switching")
    kill "$switcher" 2>/dev/null || true
    wait "$switcher" 2>/dev/null || true
    bench_server_stop
    local whole first after
    whole=$(tone_windows "$file")
    first=$(bench_value "$whole" first)
    after=$(tone_windows "$file" --after "${first/none/0}")
    printf '%-5s %10s %14s %14s %16s\n' "$run" "$first" "$(bench_value "$whole" share)" \
      "$(bench_value "$after" share)" "$(bench_value "$after" longest_gap)"
  done
}

start() {
  local runs=${RUNS:-5} run
  echo
  echo "start: a tone has played on the default sink (at its default latency) for 3-5 s when the recording starts"
  printf '%-5s %10s %14s %14s\n' run "played s" "first tone s" "tone after %"
  for ((run = 1; run <= runs; run++)); do
    local played
    played=$(awk -v r="$run" -v n="$runs" 'BEGIN {printf "%.2f", 3 + 2 * (r - 1) / n}')
    ZAV_BENCH_MIC=silent bench_server_start
    sleep "$played"
    local file whole first after
    file=$(record "$START_RECORD_SECONDS" "$BENCH_WORK/start")
    bench_server_stop
    whole=$(tone_windows "$file")
    first=$(bench_value "$whole" first)
    after=$(tone_windows "$file" --after "${first/none/0}")
    printf '%-5s %10s %14s %14s\n' "$run" "$played" "$first" "$(bench_value "$after" share)"
  done
}

for c in "${CASES[@]}"; do
  case $c in
    switching | start) "$c" ;;
    pinned) switching pinned ;;
    *) bench_die "unknown case: $c" ;;
  esac
done
