#!/bin/bash
# Timing accuracy: the length of a recording against the wall clock between Start and Stop,
# on private sound servers that behave as users' do (the output at its default latency, no
# reader keeping its monitor flowing), while busy loops keep the other core(s) occupied:
#   speaker-only and Both, with nothing playing on the sink and with a tone playing, and
#   Both with the microphone's clock 3 % fast and 3 % slow.
# A recording must be as long as the time it ran: within 0.1 s plus 0.2 %.
#
# Usage: bench/timing.sh [-s SECONDS] [-f FORMAT] [-l BUSY_LOOPS]
#   -s  length of each recording (default 60)
#   -f  mp3, m4a or wav (default mp3)
#   -l  busy-loop processes started beside the recordings (default: cores - 1)
set -euo pipefail
# shellcheck source=common.sh source-path=SCRIPTDIR
source "$(dirname "$0")/common.sh"

RECORD_SECONDS=60
FORMAT=mp3
LOOPS=$(($(nproc) - 1))
while getopts "s:f:l:h" opt; do
  case $opt in
    s) RECORD_SECONDS=$OPTARG ;;
    f) FORMAT=$OPTARG ;;
    l) LOOPS=$OPTARG ;;
    *) sed -n '2,13s/^# \{0,1\}//p' "$0"; exit 2 ;;
  esac
done

bench_prepare
bench_require python3
bench_machine
for ((i = 0; i < LOOPS; i++)); do
  bash -c 'while :; do :; done' &
  BENCH_PIDS+=($!)
done
echo "$FORMAT, $RECORD_SECONDS s each, $LOOPS busy loop(s) running"
printf '%-34s %10s %10s %10s %9s %s\n' scenario "wall s" "file s" "diff s" "diff %" "within 0.1 s + 0.2 %"

# scenario NAME SOURCE OUTPUT MIC_SPEED
scenario() {
  local name=$1 source=$2 output=$3 speed=$4
  ZAV_BENCH_OUTPUT=$output ZAV_BENCH_MIC_SPEED=$speed bench_server_start
  local out=$BENCH_WORK/record.out log=$BENCH_WORK/record.log
  "$BENCH_RECORD" --format "$FORMAT" --source "$source" --seconds "$RECORD_SECONDS" --runs 1 --keep \
    --dir "$BENCH_WORK" 2>"$log" >"$out" || bench_die "bench_record failed: $(cat "$log")"
  bench_server_stop
  local file wall duration
  file=$(sed -n 's/^run 1: .*, \(\/.*\)$/\1/p' "$out")
  wall=$(sed -n 's/^run 1: wall \([0-9.]*\) s.*/\1/p' "$out")
  duration=$(bench_duration "$file")
  rm -f "$file"
  awk -v n="$name" -v w="$wall" -v d="$duration" 'BEGIN {
    diff = d - w
    ok = (diff < 0 ? -diff : diff) <= 0.1 + 0.002 * w ? "yes" : "NO"
    printf "%-34s %10.3f %10.3f %+10.3f %+8.3f%% %s\n", n, w, d, diff, diff / w * 100, ok
  }'
}

scenario "speaker, nothing playing" speaker silent ""
scenario "speaker, tone playing" speaker tone ""
scenario "both, nothing playing" both silent ""
scenario "both, tone playing" both tone ""
scenario "both, microphone 3 % fast" both tone 1.03
scenario "both, microphone 3 % slow" both tone 0.97
