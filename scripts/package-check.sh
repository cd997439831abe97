#!/usr/bin/env bash
# Makes the Debian package and checks it as a user gets it: lintian finds no error, the
# AppStream metainfo and the desktop entry validate, apt installs it, the installed zav-record
# prints its help and records two seconds from a private sound server, the installed desktop
# program starts from its desktop entry's Exec line and shows its window (under Xvfb), and
# the package is removed again.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(scripts/package.sh | tail -1)
scripts/install-deps.sh --with-tests
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

work=$(mktemp -d /tmp/zav-package-check-XXXXXX)
pulse_env=""
xvfb_pid=""
program_pid=""
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  [ -n "${ZAV_BENCH_PULSE_DIR:-}" ] && bench/pulse-server.sh stop "$ZAV_BENCH_PULSE_DIR" || true
  if dpkg-query -W zav-audio-recorder >/dev/null 2>&1; then $SUDO apt-get remove -y -q zav-audio-recorder </dev/null >/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "package: $deb"
lintian --fail-on error,warning --tag-display-limit 0 "$deb"
dpkg-deb -x "$deb" "$work/root"
appstreamcli validate --no-net "$work"/root/usr/share/metainfo/*.metainfo.xml
desktop-file-validate "$work/root/usr/share/applications/zav-audio-recorder.desktop"

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get install -y -q "$deb" </dev/null
zav-record --help >/dev/null

# A two-second recording with the installed program, from a private sound server.
pulse_env=$(bench/pulse-server.sh start)
eval "$pulse_env"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$HOME" "$work/recordings"
file=$(zav-record --format wav --seconds 2 --output-dir "$work/recordings")
seconds=$(ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$file")
awk -v s="$seconds" 'BEGIN { if (s < 1.9 || s > 2.1) { print "the installed zav-record recorded " s " s for 2"; exit 1 } }'
echo "recorded $seconds s with the installed zav-record"

# The desktop program as the desktop entry starts it, until its window shows.
exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/zav-audio-recorder.desktop)
exec 3< <(Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp 2>/dev/null)
xvfb_pid=$!
read -r display <&3
export DISPLAY=":$display" QT_QPA_PLATFORM=xcb
LANGUAGE=zh_CN $exec_line &
program_pid=$!
for _ in $(seq 1 100); do
  if xdotool search --name "ZAV电脑录音软件" >/dev/null 2>&1; then
    echo "the installed desktop program shows its window"
    exit 0
  fi
  kill -0 "$program_pid" 2>/dev/null || { echo "the installed desktop program ended"; exit 1; }
  sleep 0.2
done
echo "the installed desktop program showed no window in 20 s"
exit 1
