#!/bin/bash
# What live levels cost. A recording: zav-record with --levels (levels measured on the capture
# threads and printed once a second) against the same recording without (nothing measured),
# Both mode, alternating which goes first; CPU seconds (user + system) per recorded minute and
# the capture threads' share. Idle: the level monitor alone (bench_level_monitor), CPU in % of
# a core.
#
# Usage: bench/levels-cost.sh [-s SECONDS] [-r RUNS] [-f FORMAT]
#   -s  seconds per recording and of the idle run (default 60)
#   -r  recordings with and without levels; the table shows medians (default 5)
#   -f  mp3, m4a or wav (default mp3)
set -euo pipefail
# shellcheck source=common.sh source-path=SCRIPTDIR
source "$(dirname "$0")/common.sh"

SECONDS_PER_RUN=60
RUNS=5
FORMAT=mp3
while getopts "s:r:f:h" opt; do
  case $opt in
    s) SECONDS_PER_RUN=$OPTARG ;;
    r) RUNS=$OPTARG ;;
    f) FORMAT=$OPTARG ;;
    *) sed -n '2,11s/^# \{0,1\}//p' "$0"; exit 2 ;;
  esac
done
case $FORMAT in mp3 | m4a | wav) ;; *) bench_die "unknown format $FORMAT (mp3 m4a wav)" ;; esac

bench_start
MONITOR=$BUILD_DIR/bench/bench_level_monitor
[ -x "$MONITOR" ] || bench_die "$MONITOR is missing: build the target bench_level_monitor"

# One recording; appends "cpu_per_min microphone_thread speaker_thread" (s per minute) to $2.
run_record() {
  local levels=$1 results=$2 dir report seconds extra=()
  [ "$levels" = on ] && extra=(--levels)
  dir=$BENCH_WORK/rec-$levels
  rm -rf "$dir" && mkdir -p "$dir"
  report=$BENCH_WORK/report
  "$BENCH_RUSAGE" --threads --out "$report" -- "$ZAV_RECORD" --source both --format "$FORMAT" --bitrate 128000 \
    --seconds "$SECONDS_PER_RUN" --output-dir "$dir" "${extra[@]}" >/dev/null 2>"$dir.log" ||
    bench_die "zav-record failed: $(cat "$dir.log")"
  if [ "$levels" = on ]; then
    local lines
    lines=$(grep -c '^mic .* speaker ' "$dir.log" || true)
    [ "$lines" -ge $((${SECONDS_PER_RUN%.*} - 1)) ] || bench_die "only $lines level lines in $SECONDS_PER_RUN s"
  fi
  seconds=$(bench_duration "$(ls "$dir"/*."$FORMAT")")
  awk -v d="$seconds" '
    NR == 1 { for (i = 1; i <= NF; i++) { split($i, kv, "="); f[kv[1]] = kv[2] } }
    /^thread/ { split($3, n, "="); split($4, c, "="); t[n[2]] += c[2] }
    END { printf "%.4f %.4f %.4f\n", (f["cpu_user_s"] + f["cpu_sys_s"]) * 60 / d,
          t["zav-microphone"] * 60 / d, t["zav-speaker"] * 60 / d }' "$report" >>"$results"
}

bench_machine
echo "recording ${SECONDS_PER_RUN} s per run, $RUNS run(s) with and without levels, $FORMAT, Both mode"
: >"$BENCH_WORK/on" && : >"$BENCH_WORK/off"
for ((run = 1; run <= RUNS; run++)); do
  echo "run $run/$RUNS ..." >&2
  if ((run % 2)); then
    run_record on "$BENCH_WORK/on"; run_record off "$BENCH_WORK/off"
  else
    run_record off "$BENCH_WORK/off"; run_record on "$BENCH_WORK/on"
  fi
done
median_col() { cut -d' ' -f"$2" "$1" | bench_median; }
echo
echo "CPU s per recorded minute (medians): whole process, microphone thread, speaker thread"
printf "%-16s %9s %11s %9s\n" "" process microphone speaker
for mode in off on; do
  printf "%-16s %9.3f %11.3f %9.3f\n" "levels $mode" "$(median_col "$BENCH_WORK/$mode" 1)" \
    "$(median_col "$BENCH_WORK/$mode" 2)" "$(median_col "$BENCH_WORK/$mode" 3)"
done
awk -v on="$(median_col "$BENCH_WORK/on" 1)" -v off="$(median_col "$BENCH_WORK/off" 1)" \
  'BEGIN {printf "with levels / without: %.3f (%+.1f %%; target at most +3 %%)\n", on / off, 100 * (on / off - 1)}'
echo "every run (process, microphone, speaker):"
echo "  on:  $(tr '\n' ';' <"$BENCH_WORK/on")"
echo "  off: $(tr '\n' ';' <"$BENCH_WORK/off")"

echo
echo "idle level monitor, both sources, ${SECONDS_PER_RUN} s:"
"$MONITOR" --seconds "$SECONDS_PER_RUN" --source both
