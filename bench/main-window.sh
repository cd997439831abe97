#!/bin/bash
# The desktop program's main window: idle cost, listing a large folder, how soon a stopped
# recording appears as a row, and what a start hears of a sink rendering ahead. Runs on a
# private X server (Xvfb) when there is one, else on Qt's offscreen platform, and on the
# private sound server of pulse-server.sh.
#
# Usage: bench/main-window.sh idle [-s SECONDS]
#        bench/main-window.sh meters [-s SECONDS]
#        bench/main-window.sh list [-n FILES] [-r RUNS] [-b]
#        bench/main-window.sh stop [-s SECONDS] [FORMAT...]
#        bench/main-window.sh start [-r RUNS] [-t]
#        bench/main-window.sh jobs [-n JOBS] [-r RUNS]
#   idle: CPU of the shown, idle window over SECONDS (default 60), and its wake-ups
#   meters: the idle window with its level meters live on a microphone whose level keeps
#           changing, then minimised: CPU, context switches and meter paints, SECONDS each
#   list: a folder of FILES different recordings (default 2000), RUNS times (default 3); with
#         -b each run is followed by one with a 2 GB file of zeros named .mp3 listed first
#   stop: records SECONDS (default 600) per format (default mp3 m4a, run side by side,
#         started 20 s apart) and times the click on stop to the new row
#   start: the output sink plays a tone at its default latency (rendering up to 2 s ahead) and
#          nothing else reads it; the window is shown for 3-5 s, then records system sound
#          for 3 s with its start button, RUNS times (default 5): where the tone first appears;
#          with -t the window is hidden at once, as in the tray (the meters do not run)
#   jobs: a job file of JOBS jobs (default 100000) shown in the job list, RUNS times (default 3)
set -euo pipefail

BENCH_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO_DIR=$(dirname "$BENCH_DIR")
die() { echo "main-window.sh: $*" >&2; exit 1; }
usage() { sed -n '2,24s/^# \{0,1\}//p' "$0"; exit 2; }

BUILD_DIR=${ZAV_BUILD_DIR:-$REPO_DIR/build}
PROGRAM=$BUILD_DIR/app/desktop/zav-audio-recorder
WINDOW_BENCH=$BUILD_DIR/bench/bench_main_window
if [ ! -x "$PROGRAM" ] || [ ! -x "$WINDOW_BENCH" ]; then
  die "build the desktop program and the benchmark first: cmake --build $BUILD_DIR --target zav-audio-recorder bench_main_window"
fi
for tool in pulseaudio pactl parec paplay ffmpeg; do command -v $tool >/dev/null || die "$tool is not installed"; done

MODE=${1:-}
[ -n "$MODE" ] || usage
shift

WORK=$(mktemp -d /tmp/zav-bench-window-XXXXXX)
PIDS=()
cleanup() {
  local pid
  for pid in "${PIDS[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  [ -n "${ZAV_BENCH_PULSE_DIR:-}" ] && "$BENCH_DIR/pulse-server.sh" stop "$ZAV_BENCH_PULSE_DIR"
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

eval "$("$BENCH_DIR/pulse-server.sh" start)"
if command -v Xvfb >/dev/null; then
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$WORK/display" 2>/dev/null &
  PIDS+=($!)
  for _ in $(seq 1 50); do [ -s "$WORK/display" ] && break; sleep 0.1; done
  DISPLAY=":$(cat "$WORK/display")"
  export DISPLAY QT_QPA_PLATFORM=xcb
else
  export QT_QPA_PLATFORM=offscreen
fi
echo "machine: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores; load $(cut -d' ' -f1-3 /proc/loadavg); platform $QT_QPA_PLATFORM; $(date '+%Y-%m-%d %H:%M')"

# A settings folder of its own for each program run, with the recordings folder set and the
# quality at 128 kbit/s.
new_home() {
  local home=$WORK/home-$1
  mkdir -p "$home/config/ZavAudioRecorder/Config"
  printf '[global]\noutput-dir=%s\nvoice-bitrate-index=2\n' "$2" >"$home/config/ZavAudioRecorder/Config/configure.ini"
  echo "$home"
}

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# "tid switches" for each thread: context switches so far (threads may end in between, such as
# Qt's pooled threads after 30 s without work, so the two samples are compared per thread).
switches() {
  local task
  for task in /proc/"$1"/task/*; do
    echo "${task##*/} $(awk '/^(voluntary|nonvoluntary)_ctxt_switches/ {n += $2} END {print n}' "$task/status" 2>/dev/null)"
  done
}

case $MODE in
  idle)
    SECONDS_IDLE=60
    while getopts "s:" opt; do case $opt in s) SECONDS_IDLE=$OPTARG ;; *) usage ;; esac; done
    mkdir -p "$WORK/recordings"
    home=$(new_home idle "$WORK/recordings")
    HOME=$home XDG_CONFIG_HOME=$home/config "$PROGRAM" >/dev/null 2>&1 &
    pid=$!
    PIDS+=("$pid")
    for _ in $(seq 1 200); do
      grep -qs "recordings listed" "$home"/config/ZavAudioRecorder/Log/log.* && break
      sleep 0.1
    done
    sleep 5  # start-up work done, workers idle
    t0=$(cpu_ticks "$pid"); switches "$pid" >"$WORK/switches0"
    sleep "$SECONDS_IDLE"
    kill -0 "$pid" 2>/dev/null || die "the program ended: $(tail -3 "$home"/config/ZavAudioRecorder/Log/log.* 2>/dev/null)"
    t1=$(cpu_ticks "$pid"); switches "$pid" >"$WORK/switches1"
    c=$(awk 'NR == FNR {before[$1] = $2; next} $1 in before {n += $2 - before[$1]} END {print n + 0}' \
      "$WORK/switches0" "$WORK/switches1")
    hz=$(getconf CLK_TCK)
    awk -v t=$((t1 - t0)) -v hz="$hz" -v s="$SECONDS_IDLE" -v c="$c" \
      'BEGIN {printf "idle %d s: cpu %.3f s = %.3f %% of a core (target < 0.5 %%), %.1f context switches a second\n", s, t / hz, 100 * t / hz / s, c / s}'
    ;;
  meters)
    SECONDS_IDLE=60
    while getopts "s:" opt; do case $opt in s) SECONDS_IDLE=$OPTARG ;; *) usage ;; esac; done
    mkdir -p "$WORK/recordings"
    home=$(new_home meters "$WORK/recordings")
    # A microphone that swells and fades about three times a second, so the meters change at
    # every report (a steady tone would leave them still and cost nothing to draw).
    ffmpeg -loglevel error -f lavfi -i "sine=f=440:d=$((2 * SECONDS_IDLE + 30))" \
      -af "volume='0.05+0.95*abs(sin(2*PI*1.5*t))':eval=frame" -ar 44100 -ac 2 "$WORK/swell.wav"
    paplay --device=feed "$WORK/swell.wav" &
    PIDS+=($!)
    HOME=$home XDG_CONFIG_HOME=$home/config "$WINDOW_BENCH" idle "$REPO_DIR/skin" "$WORK/recordings" \
      "$SECONDS_IDLE" 2>/dev/null | grep '^window='
    ;;
  list)
    FILES=2000
    RUNS=3
    NOT_AUDIO=0
    while getopts "n:r:b" opt; do
      case $opt in n) FILES=$OPTARG ;; r) RUNS=$OPTARG ;; b) NOT_AUDIO=1 ;; *) usage ;; esac
    done
    mkdir -p "$WORK/recordings"
    ffmpeg -loglevel error -f lavfi -i "sine=f=440:d=2" -ac 2 -ar 44100 -b:a 128k "$WORK/sample.mp3"
    # Copies, not links: each file is probed on its own, as a real folder's are.
    for i in $(seq 1 "$FILES"); do
      cp "$WORK/sample.mp3" "$WORK/recordings/新录音-$(printf '2024%010d' "$i").mp3"
    done
    list_once() {
      local home
      home=$(new_home "list$1" "$WORK/recordings")
      HOME=$home XDG_CONFIG_HOME=$home/config "$WINDOW_BENCH" list "$REPO_DIR/skin" "$WORK/recordings" 2>/dev/null |
        grep '^first_paint' | sed "s/^/run $1: /"
    }
    for run in $(seq 1 "$RUNS"); do
      list_once "$run"
      if [ "$NOT_AUDIO" = 1 ]; then
        # Sparse: 2 GB of zeros that take no disk; named to be listed (and read) first.
        truncate -s 2G "$WORK/recordings/0-not-audio.mp3"
        list_once "$run-not-audio"
        rm -f "$WORK/recordings/0-not-audio.mp3"
      fi
    done
    ;;
  stop)
    RECORD_SECONDS=600
    while getopts "s:" opt; do case $opt in s) RECORD_SECONDS=$OPTARG ;; *) usage ;; esac; done
    shift $((OPTIND - 1))
    FORMATS=("$@")
    [ ${#FORMATS[@]} -gt 0 ] || FORMATS=(mp3 m4a)
    runs=()
    for format in "${FORMATS[@]}"; do
      mkdir -p "$WORK/rec-$format"
      home=$(new_home "stop-$format" "$WORK/rec-$format")
      HOME=$home XDG_CONFIG_HOME=$home/config "$WINDOW_BENCH" stop "$REPO_DIR/skin" "$WORK/rec-$format" "$format" \
        "$RECORD_SECONDS" >"$WORK/stop-$format.out" 2>"$WORK/stop-$format.log" &
      runs+=($!)
      PIDS+=($!)
      sleep 20  # the recordings stop 20 s apart
    done
    for pid in "${runs[@]}"; do wait "$pid" || die "bench_main_window stop failed"; done
    for format in "${FORMATS[@]}"; do
      grep '^format=' "$WORK/stop-$format.out"
      find "$WORK/rec-$format" -type f -printf '%s bytes %f\n'
    done
    ;;
  start)
    RUNS=5
    SHOWN=shown
    while getopts "r:t" opt; do case $opt in r) RUNS=$OPTARG ;; t) SHOWN=hidden ;; *) usage ;; esac; done
    command -v python3 >/dev/null || die "python3 is not installed"
    for run in $(seq 1 "$RUNS"); do
      mkdir -p "$WORK/start-$run"
      home=$(new_home "start$run" "$WORK/start-$run")
      echo "voice-source=2" >>"$home/config/ZavAudioRecorder/Config/configure.ini"
      # Each run at another point of the sink's 2 s block.
      wait_ms=$((3000 + RANDOM % 2000))
      HOME=$home XDG_CONFIG_HOME=$home/config "$WINDOW_BENCH" stop "$REPO_DIR/skin" "$WORK/start-$run" wav 3 \
        "$wait_ms" $SHOWN >/dev/null 2>&1 || die "bench_main_window stop failed"
      file=$(find "$WORK/start-$run" -name '*.wav' | head -1)
      windows=$(ffmpeg -v error -i "$file" -f s16le -ac 1 -ar 44100 - | python3 "$BENCH_DIR/tone-windows.py")
      echo "run $run: window=$SHOWN wait_ms=$wait_ms $windows"
    done
    ;;
  jobs)
    JOBS=100000
    RUNS=3
    while getopts "n:r:" opt; do case $opt in n) JOBS=$OPTARG ;; r) RUNS=$OPTARG ;; *) usage ;; esac; done
    mkdir -p "$WORK/recordings"
    for run in $(seq 1 "$RUNS"); do
      home=$(new_home "jobs$run" "$WORK/recordings")
      HOME=$home XDG_CONFIG_HOME=$home/config "$WINDOW_BENCH" jobs "$REPO_DIR/skin" "$WORK/recordings" "$JOBS" \
        2>/dev/null | grep '^jobs=' | sed "s/^/run $run: /"
    done
    ;;
  *) usage ;;
esac
