#!/bin/bash
# What recording one application costs against recording all the system sound: CPU seconds
# (user + system) per recorded minute of zav-record, system sound alone, mp3 at 128 kbit/s,
# while two players that name themselves play tones into the default sink. "sink" records
# the default sink as it is, "app" records one of the two players (--app).
#
# Usage: bench/app-cost.sh [-s SECONDS] [-r RUNS]
#   -s  seconds per recording (default 60)
#   -r  recordings per case, taken in turns; the table shows medians (default 3)
set -euo pipefail
# shellcheck source=common.sh source-path=SCRIPTDIR
source "$(dirname "$0")/common.sh"

SECONDS_PER_RUN=60
RUNS=3
while getopts "s:r:h" opt; do
  case $opt in
    s) SECONDS_PER_RUN=$OPTARG ;;
    r) RUNS=$OPTARG ;;
    *) sed -n '2,9s/^# \{0,1\}//p' "$0"; exit 2 ;;
  esac
done

bench_require pacat python3
export ZAV_BENCH_OUTPUT=silent
bench_start

# An endless tone of $2 Hz, 16-bit stereo at 44.1 kHz, played by an application called $1.
play_as() {
  python3 -c "
import math, struct, sys
hz = $2
period = [int(8000 * math.sin(2 * math.pi * hz * i / 44100)) for i in range(44100)]
block = b''.join(struct.pack('<hh', v, v) for v in period)
try:
    while True:
        sys.stdout.buffer.write(block)
except BrokenPipeError:
    pass
" 2>/dev/null | pacat --raw --format=s16le --rate=44100 --channels=2 --device=out --property=application.name="$1" &
  BENCH_PIDS+=($!)
}
play_as ZavBenchChosen 1000
play_as ZavBenchOther 660
sleep 1

# One recording; appends "cpu_per_min" to $2.
run_case() {
  local case=$1 results=$2 dir report extra=() user sys seconds
  [ "$case" = app ] && extra=(--app ZavBenchChosen)
  dir=$BENCH_WORK/$case
  rm -rf "$dir" && mkdir -p "$dir"
  report=$BENCH_WORK/report
  "$BENCH_RUSAGE" --out "$report" -- "$ZAV_RECORD" --source speaker --format mp3 --bitrate 128000 \
    --seconds "$SECONDS_PER_RUN" --output-dir "$dir" "${extra[@]}" >/dev/null 2>"$dir.log" ||
    bench_die "zav-record failed: $(cat "$dir.log")"
  user=$(bench_field "$report" cpu_user_s)
  sys=$(bench_field "$report" cpu_sys_s)
  seconds=$(bench_duration "$(ls "$dir"/*.mp3)")
  awk -v u="$user" -v s="$sys" -v d="$seconds" 'BEGIN {printf "%.4f\n", (u + s) * 60 / d}' >>"$results"
}

bench_machine
echo "recording ${SECONDS_PER_RUN} s per run, $RUNS run(s) per case, system sound only, mp3 128 kbit/s"
for ((run = 1; run <= RUNS; run++)); do
  run_case sink "$BENCH_WORK/sink.txt"
  run_case app "$BENCH_WORK/app.txt"
done
sink=$(bench_median <"$BENCH_WORK/sink.txt")
app=$(bench_median <"$BENCH_WORK/app.txt")
printf '%-6s %22s %s\n' case "CPU s per rec. minute" runs
printf '%-6s %22.3f %s\n' sink "$sink" "$(tr '\n' ' ' <"$BENCH_WORK/sink.txt")"
printf '%-6s %22.3f %s\n' app "$app" "$(tr '\n' ' ' <"$BENCH_WORK/app.txt")"
awk -v a="$app" -v s="$sink" 'BEGIN {printf "app / sink: %.2f\n", a / s}'
