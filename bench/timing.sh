#!/bin/bash
# Timing accuracy: one long Both-mode recording over the private sound server while busy
# loops keep the other core(s) occupied. Compares the recorded duration (ffprobe) with the
# wall clock between Start and Stop, and counts the engine's dropped-audio log lines:
# "audio fifo not enough space" (a system-sound chunk dropped) and "audio fifo space is not
# enough" (the microphone waited for room).
#
# Usage: bench/timing.sh [-s SECONDS] [-f FORMAT] [-l BUSY_LOOPS]
#   -s  length of the recording (default 300)
#   -f  mp3, m4a or wav (default mp3)
#   -l  busy-loop processes started beside the recording (default: cores - 1)
set -euo pipefail
# shellcheck source=common.sh source-path=SCRIPTDIR
source "$(dirname "$0")/common.sh"

RECORD_SECONDS=300
FORMAT=mp3
LOOPS=$(($(nproc) - 1))
while getopts "s:f:l:h" opt; do
  case $opt in
    s) RECORD_SECONDS=$OPTARG ;;
    f) FORMAT=$OPTARG ;;
    l) LOOPS=$OPTARG ;;
    *) sed -n '2,12s/^# \{0,1\}//p' "$0"; exit 2 ;;
  esac
done

bench_start
bench_machine
for ((i = 0; i < LOOPS; i++)); do
  bash -c 'while :; do :; done' &
  BENCH_PIDS+=($!)
done
echo "Both mode, $FORMAT, $RECORD_SECONDS s, $LOOPS busy loop(s) running"
log=$BENCH_WORK/record.log
"$BENCH_RECORD" --format "$FORMAT" --source both --seconds "$RECORD_SECONDS" --runs 1 --keep \
  --dir "$BENCH_WORK" 2>"$log" >"$BENCH_WORK/record.out" || bench_die "bench_record failed: $(cat "$log")"
for pid in "${BENCH_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
file=$(sed -n 's/^run 1: .*, \(\/.*\)$/\1/p' "$BENCH_WORK/record.out")
wall=$(sed -n 's/^run 1: wall \([0-9.]*\) s.*/\1/p' "$BENCH_WORK/record.out")
duration=$(bench_duration "$file")
dropped=$(grep -c "audio fifo not enough space" "$log" || true)
waited=$(grep -c "audio fifo space is not enough" "$log" || true)
awk -v w="$wall" -v d="$duration" -v dropped="$dropped" -v waited="$waited" 'BEGIN {
  printf "wall clock Start->Stop   %10.3f s\n", w
  printf "recorded (ffprobe)       %10.3f s\n", d
  printf "difference               %+10.3f s (%+.4f %%)\n", d - w, (d - w) / w * 100
  printf "dropped chunks           %10d  (\"audio fifo not enough space\")\n", dropped
  printf "microphone FIFO full     %10d  (\"audio fifo space is not enough\")\n", waited
}'
if [ -s "$log" ]; then
  echo "other log lines:"
  grep -v -e "audio fifo not enough space" -e "audio fifo space is not enough" "$log" | head -20 || true
fi
