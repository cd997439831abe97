#!/bin/bash
# Screenshots of the desktop program as a person sees it, for checking the look by eye:
# idle, recording (after a real click on the start button) and, after a restart, the list
# with the recording. Runs on a private X server and a private sound server.
#
#   tests/ui/tools/main-window-shots.sh <build folder> <out folder>
#
# Writes idle.png, recording.png and listed.png into the out folder.

set -euo pipefail

die() { echo "main-window-shots.sh: $*" >&2; exit 1; }

[ $# -eq 2 ] || die "usage: main-window-shots.sh <build folder> <out folder>"
REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
BUILD=$(cd "$1" && pwd)
OUT=$(mkdir -p "$2" && cd "$2" && pwd)
PROGRAM=$BUILD/app/desktop/zav-audio-recorder
SHOTS=$BUILD/tests/ui/zav_skin_shots
for tool in Xvfb xdotool; do command -v $tool >/dev/null || die "$tool is not installed"; done
if [ ! -x "$PROGRAM" ] || [ ! -x "$SHOTS" ]; then die "build zav-audio-recorder and zav_skin_shots first"; fi

WORK=$(mktemp -d /tmp/zav-shots-XXXXXX)
XVFB_PID=""
PROGRAM_PID=""
cleanup() {
  if [ -n "$PROGRAM_PID" ]; then kill -TERM "$PROGRAM_PID" 2>/dev/null || true; wait "$PROGRAM_PID" 2>/dev/null || true; fi
  if [ -n "$XVFB_PID" ]; then kill -TERM "$XVFB_PID" 2>/dev/null || true; fi
  if [ -n "${ZAV_BENCH_PULSE_DIR:-}" ]; then "$REPO/bench/pulse-server.sh" stop "$ZAV_BENCH_PULSE_DIR" || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

eval "$("$REPO/bench/pulse-server.sh" start)"

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$WORK/display" 2>/dev/null &
XVFB_PID=$!
for _ in $(seq 1 50); do [ -s "$WORK/display" ] && break; sleep 0.1; done
DISPLAY=":$(cat "$WORK/display")"
export DISPLAY

export HOME=$WORK/home XDG_CONFIG_HOME=$WORK/config QT_QPA_PLATFORM=xcb
mkdir -p "$HOME" "$XDG_CONFIG_HOME/ZavAudioRecorder/Config" "$WORK/recordings"
printf '[global]\noutput-dir=%s\n' "$WORK/recordings" >"$XDG_CONFIG_HOME/ZavAudioRecorder/Config/configure.ini"

start_program() {
  "$PROGRAM" >/dev/null 2>&1 &
  PROGRAM_PID=$!
  WINDOW=$(xdotool search --sync --onlyvisible --name "ZAV电脑录音软件" | head -1)
  sleep 1.5  # the stored choices, the volumes and the list arrive from their workers
}
stop_program() {
  kill -TERM "$PROGRAM_PID"
  wait "$PROGRAM_PID" || die "the program ended with $?"
  PROGRAM_PID=""
}

start_program
"$SHOTS" --screen "$OUT/idle.png"
read -r X Y < <(QT_QPA_PLATFORM=offscreen "$SHOTS" --centre "$REPO/skin" MainWindow.xml recorder-start 2>/dev/null)
xdotool mousemove --window "$WINDOW" "$X" "$Y" click 1
sleep 4
"$SHOTS" --screen "$OUT/recording.png"
stop_program

start_program
"$SHOTS" --screen "$OUT/listed.png"
stop_program
ls "$WORK/recordings"
echo "shots in $OUT"
