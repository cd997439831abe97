#!/bin/bash
# Stop latency: the time from AudioRecorder::Stop to a finished file on disk (worker threads
# joined, FIFOs drained, encoder flushed, trailer written, file closed). Each run records a
# few seconds in Both mode over the private sound server, then times Stop; the file is then
# opened again to check that it is complete.
#
# Usage: bench/stop-latency.sh [-n RUNS] [-s SECONDS] [FORMAT...]
#   -n  recordings per format (default 10)
#   -s  seconds recorded before each Stop (default 3)
#   FORMAT: mp3 m4a wav (default all three)
set -euo pipefail
# shellcheck source=common.sh source-path=SCRIPTDIR
source "$(dirname "$0")/common.sh"

RUNS=10
RECORD_SECONDS=3
while getopts "n:s:h" opt; do
  case $opt in
    n) RUNS=$OPTARG ;;
    s) RECORD_SECONDS=$OPTARG ;;
    *) sed -n '2,10s/^# \{0,1\}//p' "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
FORMATS=("$@")
[ ${#FORMATS[@]} -gt 0 ] || FORMATS=(mp3 m4a wav)

bench_start
bench_machine
echo "Both mode, $RECORD_SECONDS s per recording, $RUNS recordings per format"
summaries=()
for format in "${FORMATS[@]}"; do
  log=$BENCH_WORK/$format.log
  "$BENCH_RECORD" --format "$format" --source both --seconds "$RECORD_SECONDS" --runs "$RUNS" \
    --dir "$BENCH_WORK" 2>"$log" | tee "$BENCH_WORK/$format.out" ||
    bench_die "bench_record failed: $(cat "$log")"
  summaries+=("$(grep '^summary' "$BENCH_WORK/$format.out")")
done
echo
printf "%-6s %12s %12s %6s\n" format "median ms" "max ms" runs
for s in "${summaries[@]}"; do
  awk '{for (i = 2; i <= NF; i++) {split($i, kv, "="); v[kv[1]] = kv[2]}
        printf "%-6s %12.1f %12.1f %6d\n", v["format"], v["stop_median_ms"], v["stop_max_ms"], v["runs"]}' <<<"$s"
done
