#!/bin/bash
# What recording costs: CPU seconds (user + system) and peak memory per recorded minute,
# Both mode (system sound mixed with the microphone), for zav-record and, in the same run
# over the same devices for the same time, for the ffmpeg command a user would pick instead.
# Also the floor: what encoding alone costs (bench_encode_floor) plus what the bare capture
# of the two sources costs (parec of each, in the format and at the latency zav-record
# uses, to /dev/null).
#
# Usage: bench/cost.sh [-s SECONDS] [-r RUNS] [-t] [CASE...]
#   -s  seconds per recording (default 60)
#   -r  recordings per program and case; the table shows medians (default 3)
#   -t  also print zav-record's CPU per thread (main, encoder, microphone, speaker, other)
#   CASE: mp3 m4a wav voice (voice: mp3 with noise suppression and gain control); default all
set -euo pipefail
# shellcheck source=common.sh source-path=SCRIPTDIR
source "$(dirname "$0")/common.sh"

SECONDS_PER_RUN=60
RUNS=3
THREADS=0
while getopts "s:r:th" opt; do
  case $opt in
    s) SECONDS_PER_RUN=$OPTARG ;;
    r) RUNS=$OPTARG ;;
    t) THREADS=1 ;;
    *) sed -n '2,12s/^# \{0,1\}//p' "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
CASES=("$@")
[ ${#CASES[@]} -gt 0 ] || CASES=(mp3 m4a wav voice)
for c in "${CASES[@]}"; do
  case $c in mp3 | m4a | wav | voice) ;; *) bench_die "unknown case $c (mp3 m4a wav voice)" ;; esac
done

bench_require ffmpeg timeout
bench_start

format_of() { if [ "$1" = voice ]; then echo mp3; else echo "$1"; fi; }

ffmpeg_codec() {
  case $1 in
    mp3) echo "-c:a libmp3lame -b:a 128k" ;;
    m4a) echo "-c:a aac -b:a 128k" ;;
    wav) echo "-c:a pcm_s16le" ;;
  esac
}

# One recording by zav-record; appends "cpu_per_min rss_kb" to $2.
run_ours() {
  local case=$1 results=$2 format extra=() dir report
  format=$(format_of "$case")
  [ "$case" = voice ] && extra=(--noise --agc)
  dir=$BENCH_WORK/ours-$case
  rm -rf "$dir" && mkdir -p "$dir"
  report=$BENCH_WORK/report
  local threads=()
  [ "$THREADS" = 1 ] && threads=(--threads)
  "$BENCH_RUSAGE" "${threads[@]}" --out "$report" -- "$ZAV_RECORD" --source both --format "$format" \
    --bitrate 128000 --seconds "$SECONDS_PER_RUN" --output-dir "$dir" "${extra[@]}" >/dev/null 2>"$dir.log" ||
    bench_die "zav-record failed: $(cat "$dir.log")"
  record_result "$report" "$(ls "$dir"/*."$format")" "$results"
  if [ "$THREADS" = 1 ]; then
    # The engine names its threads; the main thread keeps the program's name.
    awk -v case="$case" '/^thread/ {split($3, n, "="); split($4, c, "="); name[++k] = n[2]; cpu[k] = c[2]}
      END {
        for (i = 1; i <= k; i++) {
          l = name[i]
          if (l == "zav-record" && !seen) { l = "main"; seen = 1 }
          else if (l ~ /^zav-(encoder|microphone|speaker)$/) sub(/^zav-/, "", l)
          else l = "other"
          t[l] += cpu[i]
        }
        for (l in t) printf "%s\t%s\t%.3f\n", case, l, t[l]
      }' "$report" >>"$BENCH_WORK/threads-$case"
  fi
}

# The bare capture of what zav-record records, as zav-record asks for it: system sound as
# signed 32-bit at the sink's rate and channels, the microphone as 32 kHz mono 16-bit for
# voice processing, else 44100 Hz stereo in the encoder's sample type (float for mp3 and
# m4a, 16-bit for wav); 10 ms fragments. Appends "cpu_per_min" to $2.
run_capture_floor() {
  local case=$1 results=$2 mic report
  case $case in
    voice) mic="--format=s16le --rate=32000 --channels=1" ;;
    wav) mic="--format=s16le --rate=44100 --channels=2" ;;
    *) mic="--format=float32le --rate=44100 --channels=2" ;;
  esac
  report=$BENCH_WORK/report
  "$BENCH_RUSAGE" --out "$report" -- sh -c "
    timeout -s INT $SECONDS_PER_RUN parec -d out.monitor --format=s32le --rate=44100 --channels=2 \
      --latency-msec=10 --raw >/dev/null &
    timeout -s INT $SECONDS_PER_RUN parec -d mic $mic --latency-msec=10 --raw >/dev/null &
    wait" 2>"$BENCH_WORK/parec.log" || true
  awk -v u="$(bench_field "$report" cpu_user_s)" -v s="$(bench_field "$report" cpu_sys_s)" -v d="$SECONDS_PER_RUN" \
    'BEGIN {printf "%.4f\n", (u + s) * 60 / d}' >>"$results"
}

# One recording by ffmpeg over the same two devices, 44100 Hz stereo as ours.
run_ffmpeg() {
  local case=$1 results=$2 format out report
  format=$(format_of "$case")
  out=$BENCH_WORK/ffmpeg.$format
  report=$BENCH_WORK/report
  # shellcheck disable=SC2046
  "$BENCH_RUSAGE" --out "$report" -- ffmpeg -nostdin -hide_banner -loglevel error \
    -f pulse -sample_rate 44100 -channels 2 -i out.monitor \
    -f pulse -sample_rate 44100 -channels 2 -i mic \
    -filter_complex amix=inputs=2 $(ffmpeg_codec "$format") -t "$SECONDS_PER_RUN" -y "$out" \
    2>"$BENCH_WORK/ffmpeg.log" || bench_die "ffmpeg failed: $(cat "$BENCH_WORK/ffmpeg.log")"
  record_result "$report" "$out" "$results"
}

# Appends "cpu_s_per_min peak_kb running_kb seconds_recorded" to $3.
record_result() {
  local report=$1 file=$2 results=$3 user sys rss run seconds
  user=$(bench_field "$report" cpu_user_s)
  sys=$(bench_field "$report" cpu_sys_s)
  rss=$(bench_field "$report" max_rss_kb)
  run=$(bench_field "$report" run_rss_kb)
  seconds=$(bench_duration "$file")
  awk -v u="$user" -v s="$sys" -v d="$seconds" -v m="$rss" -v r="$run" \
    'BEGIN {printf "%.4f %d %d %.3f\n", (u + s) * 60 / d, m, r, d}' >>"$results"
}

median_col() { cut -d' ' -f"$2" "$1" | bench_median; }

bench_machine
echo "recording ${SECONDS_PER_RUN} s per run, $RUNS run(s) per program and case"
declare -A FLOOR_ENCODE
for format in $(for c in "${CASES[@]}"; do format_of "$c"; done | sort -u); do
  : >"$BENCH_WORK/floor-$format"
  for ((run = 1; run <= RUNS; run++)); do
    "$BENCH_FLOOR" --format "$format" --seconds 60 --dir "$BENCH_WORK" >>"$BENCH_WORK/floor-$format" ||
      bench_die "bench_encode_floor failed"
  done
  FLOOR_ENCODE[$format]=$(while read -r line; do bench_value "$line" encode_cpu_s_per_min; done \
    <"$BENCH_WORK/floor-$format" | bench_median)
done

for ((run = 1; run <= RUNS; run++)); do
  for c in "${CASES[@]}"; do
    echo "run $run/$RUNS: $c ..." >&2
    run_capture_floor "$c" "$BENCH_WORK/capture-$c.txt"
    # Alternate which program goes first, so that neither always meets the warmer machine.
    if ((run % 2)); then
      run_ours "$c" "$BENCH_WORK/ours-$c.txt"
      run_ffmpeg "$c" "$BENCH_WORK/ffmpeg-$c.txt"
    else
      run_ffmpeg "$c" "$BENCH_WORK/ffmpeg-$c.txt"
      run_ours "$c" "$BENCH_WORK/ours-$c.txt"
    fi
  done
done

echo
echo "CPU: user + system seconds per recorded minute. Peak: the kernel's peak resident size"
echo "(GNU time's figure; it includes process exit). Running: the highest resident size seen"
echo "while recording. Floor: encode = bench_encode_floor encoding the same tones without"
echo "capture; capture = parec of both sources to /dev/null; floor = encode + capture"
echo "(medians of as many runs as recordings)."
printf "%-6s %9s %9s %6s %8s %8s %8s %8s %8s %8s %8s %7s\n" case ours ffmpeg ratio ours ffmpeg ours ffmpeg floor floor floor ours/
printf "%-6s %9s %9s %6s %8s %8s %8s %8s %8s %8s %8s %7s\n" "" "cpu s" "cpu s" "" "peak MiB" "peak MiB" "run MiB" "run MiB" encode capture total floor
for c in "${CASES[@]}"; do
  format=$(format_of "$c")
  awk -v c="$c" -v o="$(median_col "$BENCH_WORK/ours-$c.txt" 1)" -v t="$(median_col "$BENCH_WORK/ffmpeg-$c.txt" 1)" \
    -v om="$(median_col "$BENCH_WORK/ours-$c.txt" 2)" -v tm="$(median_col "$BENCH_WORK/ffmpeg-$c.txt" 2)" \
    -v orun="$(median_col "$BENCH_WORK/ours-$c.txt" 3)" -v trun="$(median_col "$BENCH_WORK/ffmpeg-$c.txt" 3)" \
    -v fe="${FLOOR_ENCODE[$format]}" -v fc="$(median_col "$BENCH_WORK/capture-$c.txt" 1)" 'BEGIN {
      printf "%-6s %9.3f %9.3f %6.2f %8.1f %8.1f %8.1f %8.1f %8.3f %8.3f %8.3f %7.2f\n",
        c, o, t, o / t, om / 1024, tm / 1024, orun / 1024, trun / 1024, fe, fc, fe + fc, o / (fe + fc) }'
done
echo
echo "every run (cpu s/min, peak KB, running KB, seconds recorded):"
for c in "${CASES[@]}"; do
  echo "  $c ours:   $(tr '\n' ';' <"$BENCH_WORK/ours-$c.txt")"
  echo "  $c ffmpeg: $(tr '\n' ';' <"$BENCH_WORK/ffmpeg-$c.txt")"
  echo "  $c parec:  $(tr '\n' ';' <"$BENCH_WORK/capture-$c.txt")"
done
if [ "$THREADS" = 1 ]; then
  echo
  echo "zav-record CPU per thread, s/min (median over runs):"
  for c in "${CASES[@]}"; do
    cut -f2 "$BENCH_WORK/threads-$c" | sort -u | while read -r name; do
      v=$(awk -F'\t' -v n="$name" '$2 == n {print $3}' "$BENCH_WORK/threads-$c" | bench_median)
      awk -v c="$c" -v n="$name" -v v="$v" -v s="$SECONDS_PER_RUN" 'BEGIN {printf "  %-6s %-16s %.3f\n", c, n, v * 60 / s}'
    done
  done
fi
