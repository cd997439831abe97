#!/bin/bash
# System sound while the sound server moves it, on private servers whose sinks run at their
# default latency (no reader keeps a monitor flowing; a null sink then renders up to 2 s ahead):
#   switching  two null sinks each play a tone (1 kHz on "out" at 44.1 kHz, 660 Hz on "other" at
#              48 kHz, both started before the recording) and the default sink switches between them every 0.7 s while zav-record
#              records system sound; reports the share of 50 ms windows that hold a tone, over
#              the whole file, from the first tone on and from 2.5 s on (by then a sink at its
#              default latency has handed a reader its first block), and the longest runs
#              without one.
#              The tones' streams follow the default sink (the server moves them at each switch,
#              as it moves a player's), so the sink switched from falls silent.
#   pinned     the same with each tone kept on its sink (moved there by hand, which pins it).
#   start      a tone has played on the default sink for 3-5 s when zav-record starts (the sink
#              renders in 2 s blocks: each run starts at another point of its block); reports
#              where the tone first appears in the file.
#
# Usage: bench/sink-switch.sh [-S SERVER] [-s SECONDS] [-r RUNS] [switching] [pinned] [start]
#   -S  pulseaudio (default; bench/pulse-server.sh, tones from module-sine) or pipewire
#       (bench/pipewire-server.sh, tones played from files with paplay)
#   -s  length of each switching recording (default 20)
#   -r  runs of each case (default 2 for switching, 5 for start)
set -euo pipefail
# shellcheck source=common.sh source-path=SCRIPTDIR
source "$(dirname "$0")/common.sh"

RECORD_SECONDS=20
RUNS=
SWITCH_EVERY_S=0.7
START_RECORD_SECONDS=4
SERVER=pulseaudio
while getopts "S:s:r:h" opt; do
  case $opt in
    S) SERVER=$OPTARG ;;
    s) RECORD_SECONDS=$OPTARG ;;
    r) RUNS=$OPTARG ;;
    *) sed -n '2,22s/^# \{0,1\}//p' "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
CASES=("$@")
[ ${#CASES[@]} -gt 0 ] || CASES=(switching pinned start)

case $SERVER in pulseaudio | pipewire) ;; *) bench_die "unknown server: $SERVER" ;; esac
bench_prepare
bench_require python3 ffmpeg
bench_machine
echo "zav-record: $ZAV_RECORD; server: $SERVER"

# A server with the output "out" (44.1 kHz, the default) and a second sink "other" (48 kHz),
# 1 kHz playing on out and, with "two", 660 Hz on other.
start_server() {
  local tones=$1
  if [ "$SERVER" = pulseaudio ]; then
    ZAV_BENCH_MIC=silent bench_server_start
    pactl load-module module-null-sink sink_name=other rate=48000 sink_properties=device.description=BenchOther >/dev/null
    [ "$tones" = two ] && pactl load-module module-sine sink=other frequency=660 >/dev/null
    return 0
  fi
  local env
  env=$("$BENCH_DIR/pipewire-server.sh" start) || bench_die "could not start the PipeWire server"
  eval "$env"
  pactl load-module module-null-sink sink_name=other rate=48000 sink_properties=device.description=BenchOther >/dev/null
  local tone_s=$((RECORD_SECONDS + 20))
  [ -f "$BENCH_WORK/1000.wav" ] || ffmpeg -v error -f lavfi -i "sine=frequency=1000:duration=$tone_s" -ar 44100 "$BENCH_WORK/1000.wav"
  [ -f "$BENCH_WORK/660.wav" ] || ffmpeg -v error -f lavfi -i "sine=frequency=660:duration=$tone_s" -ar 48000 "$BENCH_WORK/660.wav"
  PLAYERS=()
  paplay --device=out "$BENCH_WORK/1000.wav" &
  PLAYERS+=($!)
  if [ "$tones" = two ]; then
    paplay --device=other "$BENCH_WORK/660.wav" &
    PLAYERS+=($!)
  fi
  BENCH_PIDS+=("${PLAYERS[@]}")
}

stop_server() {
  local pid
  for pid in "${PLAYERS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${PLAYERS[@]}"; do wait "$pid" 2>/dev/null || true; done
  PLAYERS=()
  bench_server_stop
}
PLAYERS=()

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
  printf '%-5s %10s %14s %14s %16s %16s %16s\n' run "first s" "tone, file %" "after first %" "longest gap s" \
    "from 2.5 s %" "longest gap s"
  for ((run = 1; run <= runs; run++)); do
    start_server two
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
    stop_server
    local whole first after settled
    whole=$(tone_windows "$file")
    first=$(bench_value "$whole" first)
    after=$(tone_windows "$file" --after "${first/none/0}")
    settled=$(tone_windows "$file" --after 2.5)
    printf '%-5s %10s %14s %14s %16s %16s %16s\n' "$run" "$first" "$(bench_value "$whole" share)" \
      "$(bench_value "$after" share)" "$(bench_value "$after" longest_gap)" \
      "$(bench_value "$settled" share)" "$(bench_value "$settled" longest_gap)"
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
    start_server one
    sleep "$played"
    local file whole first after
    file=$(record "$START_RECORD_SECONDS" "$BENCH_WORK/start")
    stop_server
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
